#include "support/Sockets.h"

#include "platform/SocketAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quillon::test {

platform::UniqueFd ListenOn(std::uint16_t port, std::chrono::milliseconds timeout)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    const timeval limit{static_cast<time_t>(micros / 1000000), static_cast<suseconds_t>(micros % 1000000)};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const sockaddr_in address = platform::AnyAddress(port);
    if (::bind(fd.Get(), platform::AsSocketAddress(address), sizeof address) != 0)
        fd.Reset();
    return fd;
}

void BroadcastRaw(std::uint16_t port, const std::vector<std::uint8_t>& bytes)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in destination = platform::BroadcastAddress(port);
    ::sendto(fd.Get(), bytes.data(), bytes.size(), 0, platform::AsSocketAddress(destination), sizeof destination);
}

} // namespace quillon::test
