#include "protocol/Sender.h"

#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <thread>

namespace quillon::protocol {

namespace {

struct SenderProfile {
    std::uint16_t port;
    bool writesRetryLines;
};

constexpr SenderProfile kLongFormSender{kLongFormPort, false};
constexpr SenderProfile kShortFormSender{kShortFormPort, true};

// The sender goes on without waiting for the box to be closed; nothing depends on it.
void ShowSocketError(const char* format, int error)
{
    platform::PostMessageBox(platform::SystemBox(QString::asprintf(format, error)));
}

sockaddr_in LimitedBroadcast(std::uint16_t port)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return destination;
}

int SendOnce(int fd, std::span<const std::uint8_t> packet, const sockaddr_in& destination)
{
    return static_cast<int>(::sendto(fd, packet.data(), packet.size(), 0,
                                     reinterpret_cast<const sockaddr*>(&destination), sizeof destination));
}

void WriteLine(const char* format, int result, int error)
{
    std::printf(format, result, error);
    std::fflush(stdout);
}

int SendBroadcast(const SenderProfile& profile, std::span<const std::uint8_t> packet)
{
    platform::UniqueFd socket(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket.IsValid()) {
        ShowSocketError("ERROR:  %d socket() failed", errno);
        return socket.Get();
    }
    const int enable = 1;
    if (::setsockopt(socket.Get(), SOL_SOCKET, SO_BROADCAST, &enable, sizeof enable) == -1)
        ShowSocketError("ERROR:  %d setsockopt( SO_BROADCAST )", errno);

    const sockaddr_in destination = LimitedBroadcast(profile.port);
    int sent = SendOnce(socket.Get(), packet, destination);
    if (sent == -1) {
        if (profile.writesRetryLines)
            WriteLine("ERROR:  sendto failed %d,errno:%d\n", sent, errno);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sent = SendOnce(socket.Get(), packet, destination);
        const int error = errno;
        if (profile.writesRetryLines)
            WriteLine("again:  sendto st %d,errno:%d\n", sent, error);
        if (sent < 0)
            return error;
    }
    return sent;
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

} // namespace quillon::protocol
