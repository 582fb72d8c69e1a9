#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace quillon::platform {

// The IPv4 socket address of `port` at `address` (host order).
inline sockaddr_in Ipv4SocketAddress(in_addr_t address, std::uint16_t port)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(port);
    socketAddress.sin_addr.s_addr = htonl(address);
    return socketAddress;
}

// 255.255.255.255:port, where the discovery requests go.
inline sockaddr_in BroadcastAddress(std::uint16_t port)
{
    return Ipv4SocketAddress(INADDR_BROADCAST, port);
}

// Every local address at `port`, where replies are heard.
inline sockaddr_in AnyAddress(std::uint16_t port)
{
    return Ipv4SocketAddress(INADDR_ANY, port);
}

inline const sockaddr* AsSocketAddress(const sockaddr_in& address)
{
    return reinterpret_cast<const sockaddr*>(&address);
}

} // namespace quillon::platform
