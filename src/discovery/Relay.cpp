#include "discovery/Relay.h"

#include "discovery/ReceiveSocket.h"
#include "discovery/Sender.h"
#include "platform/Interfaces.h"
#include "protocol/LongForm.h"
#include "protocol/RelayFrames.h"
#include "protocol/ShortForm.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillon::discovery {

using protocol::RelayFrameType;

namespace {

bool WriteFrames(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& frame)
{
    out.insert(out.end(), frame.begin(), frame.end());
}

// Broadcasts a checked request; the number of cards it went out through (0 when it failed).
std::uint8_t Broadcast(const protocol::RelayDatagram& request)
{
    int result = 0;
    if (request.port == protocol::kLongFormPort)
        result = SendLongFormBroadcast(LongFormRequestView(request.datagram.data(), protocol::kLongFormPacketSize));
    else
        result = SendShortFormBroadcast(ShortFormRequestView(request.datagram.data(), protocol::kShortFormRequestSize));
    if (result < 0)
        return 0;
    const std::size_t cards = platform::BroadcastInterfaces().size();
    return static_cast<std::uint8_t>(std::min<std::size_t>(std::max<std::size_t>(cards, 1), 255));
}

// Only replies go back: the relay also hears the requests it broadcast itself.
bool IsReply(std::uint16_t port, wire::Bytes datagram)
{
    return port == protocol::kLongFormPort ? protocol::ReadLongFormReply(datagram).has_value()
                                           : protocol::ReadShortFormReply(datagram).has_value();
}

class RelayRun {
public:
    RelayRun(int input, int output, std::string& why) : input_(input), output_(output), why_(why) {}

    RelayEnd Run()
    {
        const std::uint16_t ports[] = {protocol::kShortFormPort, protocol::kLongFormPort};
        for (int i = 0; i < 2; ++i) {
            sockets_[i] = OpenReceiverSocket(ports[i]);
            if (!sockets_[i].fd.IsValid()) {
                why_ = "port " + std::to_string(ports[i]) + ": " + sockets_[i].failure.messages.join(QStringLiteral("; ")).toStdString();
                WriteFrames(output_, protocol::ErrorFrame(why_));
                return RelayEnd::SetupFailed;
            }
        }
        if (!WriteFrames(output_, protocol::HelloFrame()))
            return OutputClosed();
        for (;;) {
            pollfd watched[] = {{input_, POLLIN, 0}, {sockets_[0].fd.Get(), POLLIN, 0}, {sockets_[1].fd.Get(), POLLIN, 0}};
            if (::poll(watched, 3, -1) < 0) {
                if (errno == EINTR)
                    continue;
                why_ = std::strerror(errno);
                return RelayEnd::SetupFailed;
            }
            for (int i = 0; i < 2; ++i)
                if (watched[1 + i].revents & POLLIN)
                    if (!PassReplies(sockets_[i].fd.Get(), ports[i]))
                        return OutputClosed();
            if (watched[0].revents & (POLLIN | POLLHUP | POLLERR))
                if (const std::optional<RelayEnd> end = TakeInput())
                    return *end;
        }
    }

private:
    RelayEnd OutputClosed()
    {
        why_ = "the output closed";
        return RelayEnd::SetupFailed;
    }

    RelayEnd Refuse(const std::string& what)
    {
        why_ = what;
        WriteFrames(output_, protocol::ErrorFrame("refused: " + what));
        return RelayEnd::Refused;
    }

    bool PassReplies(int fd, std::uint16_t port)
    {
        const unsigned count = batch_.Receive(fd);
        std::vector<std::uint8_t> frames;
        for (unsigned i = 0; i < count; ++i) {
            const wire::Bytes datagram = batch_.Datagram(i);
            if (datagram.empty() || !IsReply(port, datagram))
                continue;
            const Arrival arrival = batch_.ArrivalOf(i);
            Append(frames, protocol::ReceivedFrame({port, arrival.source, platform::InterfaceName(arrival.interfaceIndex),
                                                    {datagram.begin(), datagram.end()}}));
        }
        return frames.empty() || WriteFrames(output_, frames);
    }

    // Nothing while the relay goes on; how it ended otherwise.
    std::optional<RelayEnd> TakeInput()
    {
        std::array<std::uint8_t, 4096> buffer{};
        const ssize_t got = ::read(input_, buffer.data(), buffer.size());
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            return std::nullopt;
        if (got <= 0)
            return RelayEnd::InputClosed;
        reader_.Append(wire::Bytes(buffer.data(), static_cast<std::size_t>(got)));
        while (const std::optional<protocol::RelayFrame> frame = reader_.Next())
            if (const std::optional<RelayEnd> end = Take(*frame))
                return end;
        if (!reader_.Failure().empty())
            return Refuse(reader_.Failure());
        return std::nullopt;
    }

    std::optional<RelayEnd> Take(const protocol::RelayFrame& frame)
    {
        if (!helloSeen_) {
            const std::optional<std::uint8_t> version =
                frame.type == RelayFrameType::Hello ? protocol::ReadHello(frame.body) : std::nullopt;
            if (!version)
                return Refuse("the first frame is not a hello");
            if (*version != protocol::kRelayVersion)
                return Refuse("version " + std::to_string(*version) + " (this relay speaks " +
                              std::to_string(protocol::kRelayVersion) + ")");
            helloSeen_ = true;
            return std::nullopt;
        }
        if (frame.type != RelayFrameType::Send)
            return Refuse("a frame of type " + std::to_string(static_cast<int>(frame.type)) + " after the hello");
        const std::optional<protocol::RelayDatagram> request = protocol::ReadSend(frame.body);
        if (!request || !protocol::IsRelayableRequest(request->port, request->datagram))
            return Refuse("a datagram that is not a search or set request of its port");
        if (!WriteFrames(output_, protocol::SentFrame(Broadcast(*request))))
            return OutputClosed();
        return std::nullopt;
    }

    int input_;
    int output_;
    std::string& why_;
    ReceiverSocket sockets_[2];
    DatagramBatch batch_;
    protocol::RelayFrameReader reader_;
    bool helloSeen_ = false;
};

} // namespace

RelayEnd RunRelay(int input, int output, std::string& why)
{
    return RelayRun(input, output, why).Run();
}

} // namespace quillon::discovery
