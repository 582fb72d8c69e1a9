#include "protocol/RelayFrames.h"

#include "protocol/LongForm.h"
#include "protocol/Protocol.h"
#include "protocol/ShortForm.h"

#include <algorithm>
#include <array>

namespace quillon::protocol {

using namespace relayframe;

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFFu));
}

std::uint16_t ReadU16NetworkOrder(wire::Bytes bytes, std::size_t offset)
{
    const wire::Bytes field = bytes.subspan(offset, 2);
    return static_cast<std::uint16_t>(field[0] << 8 | field[1]);
}

std::vector<std::uint8_t> Frame(RelayFrameType type, wire::Bytes body)
{
    std::vector<std::uint8_t> frame;
    frame.reserve(kBodyOffset + body.size());
    PutU16(frame, static_cast<std::uint16_t>(1 + body.size()));
    frame.push_back(static_cast<std::uint8_t>(type));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

bool IsRelayPort(std::uint16_t port) { return port == kShortFormPort || port == kLongFormPort; }

bool IsKnownType(std::uint8_t type)
{
    return type >= static_cast<std::uint8_t>(RelayFrameType::Hello) &&
           type <= static_cast<std::uint8_t>(RelayFrameType::Error);
}

} // namespace

std::vector<std::uint8_t> HelloFrame()
{
    std::vector<std::uint8_t> body(kHelloTag.begin(), kHelloTag.end());
    body.push_back(kRelayVersion);
    return Frame(RelayFrameType::Hello, body);
}

std::vector<std::uint8_t> SendFrame(std::uint16_t port, wire::Bytes datagram)
{
    std::vector<std::uint8_t> body;
    PutU16(body, port);
    body.insert(body.end(), datagram.begin(), datagram.begin() + static_cast<std::ptrdiff_t>(std::min(datagram.size(), kMaxDatagram)));
    return Frame(RelayFrameType::Send, body);
}

std::vector<std::uint8_t> SentFrame(std::uint8_t cards)
{
    const std::array<std::uint8_t, 1> body{cards};
    return Frame(RelayFrameType::Sent, body);
}

std::vector<std::uint8_t> ReceivedFrame(const RelayReceived& received)
{
    std::vector<std::uint8_t> body;
    PutU16(body, received.port);
    body.insert(body.end(), received.source.begin(), received.source.end());
    const std::size_t cardLength = std::min(received.card.size(), kMaxCardName);
    body.push_back(static_cast<std::uint8_t>(cardLength));
    body.insert(body.end(), received.card.begin(), received.card.begin() + static_cast<std::ptrdiff_t>(cardLength));
    const std::size_t datagramLength = std::min(received.datagram.size(), kMaxDatagram);
    body.insert(body.end(), received.datagram.begin(), received.datagram.begin() + static_cast<std::ptrdiff_t>(datagramLength));
    return Frame(RelayFrameType::Received, body);
}

std::vector<std::uint8_t> ErrorFrame(std::string_view text)
{
    const std::string_view bounded = text.substr(0, kMaxErrorText);
    return Frame(RelayFrameType::Error, wire::Bytes(reinterpret_cast<const std::uint8_t*>(bounded.data()), bounded.size()));
}

void RelayFrameReader::Append(wire::Bytes bytes)
{
    if (!failure_.empty())
        return;
    // What was read is dropped before more is kept: the buffer never holds more than a frame and
    // one read's worth.
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<RelayFrame> RelayFrameReader::Next()
{
    if (!failure_.empty())
        return std::nullopt;
    const wire::Bytes waiting = wire::Bytes(pending_).subspan(start_);
    if (waiting.size() < kBodyOffset)
        return std::nullopt;
    const std::size_t length = ReadU16NetworkOrder(waiting, kLengthOffset);
    if (length < 1 || length > kMaxFrameLength) {
        failure_ = "a frame of " + std::to_string(length) + " bytes";
        return std::nullopt;
    }
    const std::uint8_t type = waiting[kTypeOffset];
    if (!IsKnownType(type)) {
        failure_ = "a frame of unknown type " + std::to_string(type);
        return std::nullopt;
    }
    if (waiting.size() < kTypeOffset + length)
        return std::nullopt;
    const wire::Bytes body = waiting.subspan(kBodyOffset, length - 1);
    start_ += kTypeOffset + length;
    return RelayFrame{static_cast<RelayFrameType>(type), {body.begin(), body.end()}};
}

std::optional<std::uint8_t> ReadHello(wire::Bytes body)
{
    if (body.size() != kHelloTag.size() + 1 || !wire::HasAscii(body, 0, kHelloTag))
        return std::nullopt;
    return body.back();
}

std::optional<RelayDatagram> ReadSend(wire::Bytes body)
{
    if (body.size() <= kSendDatagramOffset || body.size() > kSendDatagramOffset + kMaxDatagram)
        return std::nullopt;
    const wire::Bytes datagram = body.subspan(kSendDatagramOffset);
    return RelayDatagram{ReadU16NetworkOrder(body, kPortOffset), {datagram.begin(), datagram.end()}};
}

std::optional<std::uint8_t> ReadSent(wire::Bytes body)
{
    if (body.size() != 1)
        return std::nullopt;
    return body[0];
}

std::optional<RelayReceived> ReadReceived(wire::Bytes body)
{
    if (body.size() <= kCardOffset)
        return std::nullopt;
    const std::size_t cardLength = body[kCardLengthOffset];
    const std::size_t datagramOffset = kCardOffset + cardLength;
    if (cardLength > kMaxCardName || body.size() <= datagramOffset || body.size() - datagramOffset > kMaxDatagram)
        return std::nullopt;
    RelayReceived received;
    received.port = ReadU16NetworkOrder(body, kPortOffset);
    if (!IsRelayPort(received.port))
        return std::nullopt;
    received.source = wire::ReadArray<4>(body, kSourceOffset);
    const wire::Bytes card = body.subspan(kCardOffset, cardLength);
    // A card's name is shown and joined to the host's: only what an interface name may hold.
    const bool printable = std::all_of(card.begin(), card.end(), [](std::uint8_t c) {
        return c > ' ' && c < 0x7F && c != ':' && c != '/';
    });
    if (!printable)
        return std::nullopt;
    received.card.assign(card.begin(), card.end());
    const wire::Bytes datagram = body.subspan(datagramOffset);
    received.datagram.assign(datagram.begin(), datagram.end());
    return received;
}

std::string ReadErrorText(wire::Bytes body)
{
    std::string text;
    for (const std::uint8_t c : body.first(std::min(body.size(), kMaxErrorText)))
        text.push_back(c >= ' ' && c < 0x7F ? static_cast<char>(c) : '?');
    return text;
}

bool IsRelayableRequest(std::uint16_t port, wire::Bytes datagram)
{
    if (port == kLongFormPort) {
        std::array<std::uint8_t, kLongFormPacketSize> search{};
        BuildLongFormRequest(search);
        return std::equal(search.begin(), search.end(), datagram.begin(), datagram.end());
    }
    if (port == kShortFormPort) {
        std::array<std::uint8_t, kShortFormRequestSize> search{};
        BuildShortFormSearchRequest(search);
        return std::equal(search.begin(), search.end(), datagram.begin(), datagram.end()) ||
               ReadShortFormSetRequest(datagram).has_value();
    }
    return false;
}

} // namespace quillon::protocol
