#include "devices/ListLock.h"

namespace quillon::devices {

platform::NamedLock& ListLock()
{
    static platform::NamedLock lock("LIST LOCK");
    return lock;
}

} // namespace quillon::devices
