#include "discovery/ReceiveSocket.h"

#include "platform/ReceiveBuffer.h"
#include "platform/SocketAddress.h"

#include <cerrno>

namespace quillon::discovery {

namespace {

ReceiverExit SetupFailure(int result, const char* format, int error)
{
    return {result, {QString::asprintf(format, error)}};
}

} // namespace

ReceiverSocket OpenReceiverSocket(std::uint16_t port)
{
    ReceiverSocket opened;
    opened.fd.Reset(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!opened.fd.IsValid()) {
        const int error = errno;
        opened.failure = SetupFailure(-1, "ERROR:  %d socket() failed", error);
        opened.failure.messages << QString::asprintf("ERROR:  %d SOCKET test fails", error);
        return opened;
    }
    // Copies of the program share the port, and each gets every broadcast answer. SO_REUSEPORT
    // lets only processes of the same user join; SO_REUSEADDR would let any user bind the port
    // too and take the datagrams sent to it.
    const int enable = 1;
    if (::setsockopt(opened.fd.Get(), SOL_SOCKET, SO_REUSEPORT, &enable, sizeof enable) < 0) {
        opened.failure = SetupFailure(errno, "ERROR:  %d setsockopt( SO_REUSEPORT )", errno);
        opened.fd.Reset();
        return opened;
    }
    // Each datagram then tells the card it arrived on. Without it answers are still taken, only
    // without their card.
    (void)::setsockopt(opened.fd.Get(), IPPROTO_IP, IP_PKTINFO, &enable, sizeof enable);
    const sockaddr_in address = platform::AnyAddress(port);
    if (::bind(opened.fd.Get(), platform::AsSocketAddress(address), sizeof address) < 0) {
        opened.failure = SetupFailure(errno, "ERROR:  %d bind() failed", errno);
        opened.fd.Reset();
        return opened;
    }
    platform::EnlargeReceiveBuffer(opened.fd.Get());
    return opened;
}

} // namespace quillon::discovery
