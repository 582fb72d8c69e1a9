#include "app/UiLock.h"

#include <QCoreApplication>

namespace quillon::app {

void LockServingEvents(platform::NamedLock& lock, std::chrono::milliseconds patience)
{
    lock.Lock(patience, [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    });
}

} // namespace quillon::app
