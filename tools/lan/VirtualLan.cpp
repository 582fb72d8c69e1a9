#include "VirtualLan.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string_view>

namespace quillon::test {

namespace {

bool IsTestLanName(std::string_view name)
{
    if (name == "lo")
        return true;
    if (name.size() > 3 && name.substr(0, 3) == "lan")
        return std::all_of(name.begin() + 3, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    const char* extra = std::getenv("QUILLON_LAN_EXTRA_INTERFACES");
    std::istringstream names(extra != nullptr ? extra : "");
    for (std::string allowed; names >> allowed;)
        if (allowed == name)
            return true;
    return false;
}

bool IsTestLanAddress(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        const std::uint32_t host = ntohl(v4->sin_addr.s_addr);
        return (host >> 24) == 127 || (host >> 8) == 0xCB0071; // 127/8, 203.0.113/24
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) || IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr);
    }
    return true; // link-layer entries carry no IP address
}

std::string Describe(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (address->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return text;
}

std::optional<std::string> FindForeignInterface()
{
    std::unique_ptr<struct if_nameindex, decltype(&::if_freenameindex)> list(::if_nameindex(), ::if_freenameindex);
    if (!list)
        return "the network interfaces cannot be listed";
    for (const struct if_nameindex* entry = list.get(); entry->if_index != 0; ++entry)
        if (!IsTestLanName(entry->if_name))
            return std::string("interface ") + entry->if_name;
    return std::nullopt;
}

std::optional<std::string> FindForeignAddress()
{
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0)
        return "the network addresses cannot be listed";
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(raw, ::freeifaddrs);
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next)
        if (entry->ifa_addr != nullptr && !IsTestLanAddress(entry->ifa_addr))
            return "address " + Describe(entry->ifa_addr) + " on " + entry->ifa_name;
    return std::nullopt;
}

} // namespace

std::optional<std::string> FindRealNetworkExposure()
{
    if (auto interface = FindForeignInterface())
        return interface;
    return FindForeignAddress();
}

} // namespace quillon::test
