#include "discovery/PasswordNotices.h"

#include <iterator>

namespace quillon::discovery {

bool PasswordNotices::Admit(const wire::MacAddress& mac, Clock::time_point now)
{
    std::scoped_lock lock(mutex_);
    if (open_)
        return false;
    // Devices quiet for long enough are forgotten, so the map holds only recent boxes.
    for (auto entry = lastShown_.begin(); entry != lastShown_.end();)
        entry = now - entry->second >= kQuietTime ? lastShown_.erase(entry) : std::next(entry);
    if (!lastShown_.try_emplace(wire::MacKey(mac), now).second)
        return false;
    open_ = true;
    return true;
}

void PasswordNotices::Closed()
{
    std::scoped_lock lock(mutex_);
    open_ = false;
}

} // namespace quillon::discovery
