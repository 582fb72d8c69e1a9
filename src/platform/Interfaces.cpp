#include "platform/Interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <bit>
#include <fstream>
#include <memory>
#include <mutex>

namespace quillon::platform {

namespace {

std::mutex namesMutex;
std::vector<std::string> limitNames;

in_addr Ipv4Of(const sockaddr* address)
{
    if (address == nullptr || address->sa_family != AF_INET)
        return {};
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
}

} // namespace

std::vector<BroadcastInterface> UsableInterfaces()
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
            interfaces.push_back({index, entry->ifa_name, Ipv4Of(entry->ifa_addr), Ipv4Of(entry->ifa_netmask)});
    }
    return interfaces;
}

std::vector<BroadcastInterface> BroadcastInterfaces()
{
    std::vector<BroadcastInterface> interfaces = UsableInterfaces();
    const std::scoped_lock lock(namesMutex);
    if (!limitNames.empty())
        std::erase_if(interfaces, [](const BroadcastInterface& i) {
            return std::find(limitNames.begin(), limitNames.end(), i.name) == limitNames.end();
        });
    return interfaces;
}

void SetBroadcastInterfaceNames(std::vector<std::string> names)
{
    const std::scoped_lock lock(namesMutex);
    limitNames = std::move(names);
}

bool BroadcastInterfacesLimited()
{
    const std::scoped_lock lock(namesMutex);
    return !limitNames.empty();
}

std::string AddressWithPrefix(const BroadcastInterface& card)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &card.address, text, sizeof text);
    return std::string(text) + '/' + std::to_string(std::popcount(ntohl(card.netmask.s_addr)));
}

std::optional<int> ReversePathFilter(const std::string& name)
{
    // An interface name never holds a slash; refusing one keeps the path inside conf/.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return std::nullopt;
    std::ifstream file("/proc/sys/net/ipv4/conf/" + name + "/rp_filter");
    int value = 0;
    if (!(file >> value))
        return std::nullopt;
    return value;
}

namespace {

// Interface indexes are positive ints; remote cards count from here.
constexpr unsigned kFirstRemoteCard = 0x80000000u;

struct RemoteCards {
    std::mutex mutex;
    std::vector<std::string> names; // index kFirstRemoteCard + i
};

RemoteCards& Remote()
{
    static RemoteCards cards;
    return cards;
}

} // namespace

unsigned RemoteCardIndex(const std::string& name)
{
    RemoteCards& remote = Remote();
    const std::scoped_lock lock(remote.mutex);
    auto known = std::find(remote.names.begin(), remote.names.end(), name);
    if (known == remote.names.end())
        known = remote.names.insert(known, name);
    return kFirstRemoteCard + static_cast<unsigned>(known - remote.names.begin());
}

bool IsRemoteCard(unsigned index)
{
    return index >= kFirstRemoteCard;
}

namespace {

std::string RemoteCardName(unsigned index)
{
    RemoteCards& remote = Remote();
    const std::scoped_lock lock(remote.mutex);
    const std::size_t i = index - kFirstRemoteCard;
    return i < remote.names.size() ? remote.names[i] : std::string();
}

} // namespace

std::string RemoteCardHost(unsigned index)
{
    if (!IsRemoteCard(index))
        return {};
    const std::string name = RemoteCardName(index);
    return name.substr(0, name.rfind(':'));
}

std::string InterfaceName(unsigned index)
{
    if (IsRemoteCard(index))
        return RemoteCardName(index);
    char name[IF_NAMESIZE] = {};
    return index != 0 && ::if_indextoname(index, name) != nullptr ? std::string(name) : std::string();
}

} // namespace quillon::platform
