#include "support/Sockets.h"

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
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fd.Reset();
    return fd;
}

void BroadcastRaw(std::uint16_t port, const std::vector<std::uint8_t>& bytes)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    ::sendto(fd.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
             sizeof destination);
}

} // namespace quillon::test
