#include "platform/Interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <memory>

namespace quillon::platform {

std::vector<BroadcastInterface> BroadcastInterfaces()
{
    std::vector<BroadcastInterface> interfaces;
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0)
        return interfaces;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(raw, ::freeifaddrs);
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        const bool usable = entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
                            (entry->ifa_flags & IFF_UP) && !(entry->ifa_flags & IFF_LOOPBACK);
        if (!usable)
            continue;
        const unsigned index = ::if_nametoindex(entry->ifa_name);
        const bool known = std::any_of(interfaces.begin(), interfaces.end(),
                                       [&](const BroadcastInterface& i) { return i.index == index; });
        if (index != 0 && !known)
            interfaces.push_back({index, entry->ifa_name, reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr});
    }
    return interfaces;
}

} // namespace quillon::platform
