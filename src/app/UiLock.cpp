#include "app/UiLock.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <thread>

namespace quillon::app {

void LockServingEvents(platform::NamedLock& lock, std::chrono::milliseconds patience)
{
    lock.Lock(patience, [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    });
}

void RunServingEvents(const std::function<void()>& work)
{
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

} // namespace quillon::app
