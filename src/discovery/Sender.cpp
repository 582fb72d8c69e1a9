#include "discovery/Sender.h"

#include "discovery/RelayLink.h"
#include "platform/Interfaces.h"
#include "platform/MessageBox.h"
#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <chrono>
#include <thread>

namespace quillon::discovery {

namespace {

struct SenderProfile {
    std::uint16_t port;
    bool writesRetryLines;
};

constexpr SenderProfile kLongFormSender{protocol::kLongFormPort, false};
constexpr SenderProfile kShortFormSender{protocol::kShortFormPort, true};

// The sender goes on without waiting for the box to be closed; nothing depends on it.
void ShowSocketError(const char* format, int error)
{
    platform::PostMessageBox(platform::SystemBox(QString::asprintf(format, error)));
}

// One send, out of `through` when it names an interface, else wherever the routing table says.
int SendOnce(int fd, std::span<const std::uint8_t> packet, const sockaddr_in& destination,
             const platform::BroadcastInterface* through)
{
    iovec data{const_cast<std::uint8_t*>(packet.data()), packet.size()};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&destination);
    message.msg_namelen = sizeof destination;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    if (through != nullptr) {
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(through->index);
        info.ipi_spec_dst = through->address;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    return static_cast<int>(::sendmsg(fd, &message, 0));
}

void WriteLine(const char* format, int result, int error)
{
    std::printf(format, result, error);
    std::fflush(stdout);
}

struct SendOutcome {
    bool sent = false;
    int result = 0; // the bytes sent, -1 without a socket, or minus errno after a failed retry
};

// A failure result is always negative, so that no caller can take it for bytes sent.
int FailureResult(int error)
{
    return error > 0 ? -error : -1;
}

// One fresh socket, one send and at most one retry a millisecond later.
SendOutcome SendThrough(const SenderProfile& profile, std::span<const std::uint8_t> packet,
                        const platform::BroadcastInterface* through)
{
    platform::UniqueFd socket(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket.IsValid()) {
        ShowSocketError("ERROR:  %d socket() failed", errno);
        return {false, socket.Get()};
    }
    const int enable = 1;
    if (::setsockopt(socket.Get(), SOL_SOCKET, SO_BROADCAST, &enable, sizeof enable) == -1)
        ShowSocketError("ERROR:  %d setsockopt( SO_BROADCAST )", errno);

    const sockaddr_in destination = platform::BroadcastAddress(profile.port);
    int sent = SendOnce(socket.Get(), packet, destination, through);
    if (sent == -1) {
        if (profile.writesRetryLines)
            WriteLine("ERROR:  sendto failed %d,errno:%d\n", sent, errno);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sent = SendOnce(socket.Get(), packet, destination, through);
        const int error = errno;
        if (profile.writesRetryLines)
            WriteLine("again:  sendto st %d,errno:%d\n", sent, error);
        if (sent < 0)
            return {false, FailureResult(error)};
    }
    return {true, sent};
}

// A broadcast to 255.255.255.255 leaves through one interface only, the one the routing table
// picks; devices on the computer's other LANs would never hear it. So it goes out through every
// interface that can carry it, as they are at this moment; with none, the routing table decides,
// unless the search was limited to named interfaces: then it goes nowhere else.
int SendBroadcast(const SenderProfile& profile, std::span<const std::uint8_t> packet)
{
    const std::vector<platform::BroadcastInterface> interfaces = platform::BroadcastInterfaces();
    if (interfaces.empty() && !platform::BroadcastInterfacesLimited())
        return SendThrough(profile, packet, nullptr).result;
    SendOutcome outcome;
    for (const platform::BroadcastInterface& through : interfaces) {
        const SendOutcome here = SendThrough(profile, packet, &through);
        if (!outcome.sent)
            outcome = here;
    }
    return outcome.result;
}

void ReportNegativeResult(int result)
{
    if (result < 0) {
        std::printf("ERROR:  SOCKET transmit test fails %d\n", result);
        std::fflush(stdout);
    }
}

} // namespace

int SendLongFormBroadcast(LongFormRequestView packet)
{
    return SendBroadcast(kLongFormSender, packet);
}

int SendShortFormBroadcast(ShortFormRequestView packet)
{
    return SendBroadcast(kShortFormSender, packet);
}

void BroadcastLongForm(LongFormRequestView packet)
{
    ReportNegativeResult(SendLongFormBroadcast(packet));
}

void BroadcastShortForm(ShortFormRequestView packet)
{
    ReportNegativeResult(SendShortFormBroadcast(packet));
}

bool CanSendSetRequest(unsigned card)
{
    return !platform::IsRemoteCard(card) || RelayIsUp(platform::RemoteCardHost(card));
}

void SendSetRequest(ShortFormRequestView packet, unsigned card)
{
    if (!platform::IsRemoteCard(card)) {
        BroadcastShortForm(packet);
        return;
    }
    const std::string host = platform::RemoteCardHost(card);
    if (!SendThroughRelay(host, protocol::kShortFormPort, packet))
        platform::PostMessageBox(platform::SystemBox(
            QStringLiteral("ERROR:  the relay of %1 is not running").arg(QString::fromStdString(host))));
}

} // namespace quillon::discovery
