#include "app/UiLock.h"

#include <QCoreApplication>
#include <QThread>

namespace quillon::app {

void LockServingEvents(platform::NamedLock& lock)
{
    while (!lock.try_lock()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(1);
    }
}

} // namespace quillon::app
