#pragma once

#include "protocol/Wire.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::protocol {

// The frames a relay and its client exchange over a byte stream (the relay's standard input and
// output, carried by ssh). Integers are in network order.
//
// Frame:                                    Bodies:
//    0  2  length of type and body           HELLO     "quillon-relay", version (1 byte)
//    2  1  type                              SEND      port (2), datagram
//    3  …  body                              SENT      cards it went out through (1)
//                                            RECEIVED  port (2), source address (4),
//                                                      card name length (1), card name, datagram
//                                            ERROR     text, UTF-8
//
// Both sides say HELLO first. The client sends SEND; the relay answers each with SENT (or ERROR
// and ends) and sends RECEIVED for every datagram it hears.
namespace relayframe {
inline constexpr std::size_t kLengthOffset = 0;
inline constexpr std::size_t kTypeOffset = 2;
inline constexpr std::size_t kBodyOffset = 3;

inline constexpr std::size_t kPortOffset = 0; // SEND, RECEIVED
inline constexpr std::size_t kSendDatagramOffset = 2;
inline constexpr std::size_t kSourceOffset = 2;
inline constexpr std::size_t kCardLengthOffset = 6;
inline constexpr std::size_t kCardOffset = 7;

inline constexpr std::string_view kHelloTag = "quillon-relay";
inline constexpr std::size_t kMaxCardName = 15; // a Linux interface name
inline constexpr std::size_t kMaxErrorText = 512;
inline constexpr std::size_t kMaxDatagram = 1000; // what a receiver reads of one datagram
inline constexpr std::size_t kMaxFrameLength = 1 + kCardOffset + kMaxCardName + kMaxDatagram;
} // namespace relayframe

inline constexpr std::uint8_t kRelayVersion = 1;

enum class RelayFrameType : std::uint8_t { Hello = 1, Send = 2, Sent = 3, Received = 4, Error = 5 };

struct RelayFrame {
    RelayFrameType type = RelayFrameType::Hello;
    std::vector<std::uint8_t> body;
};

struct RelayDatagram {
    std::uint16_t port = 0;
    std::vector<std::uint8_t> datagram;
};

struct RelayReceived {
    std::uint16_t port = 0;
    wire::Ipv4 source{};
    std::string card;
    std::vector<std::uint8_t> datagram;
};

std::vector<std::uint8_t> HelloFrame();
std::vector<std::uint8_t> SendFrame(std::uint16_t port, wire::Bytes datagram);
std::vector<std::uint8_t> SentFrame(std::uint8_t cards);
// A card name longer than a Linux interface's is cut; so is a datagram past kMaxDatagram.
std::vector<std::uint8_t> ReceivedFrame(const RelayReceived& received);
std::vector<std::uint8_t> ErrorFrame(std::string_view text);

// Cuts a stream into frames. A length out of bounds or an unknown type makes the stream
// unusable: Next() then returns nothing ever again and Failure() says why. Holds at most one
// frame and what arrived after it.
class RelayFrameReader {
public:
    void Append(wire::Bytes bytes);
    std::optional<RelayFrame> Next();
    const std::string& Failure() const { return failure_; }

private:
    std::vector<std::uint8_t> pending_;
    std::size_t start_ = 0;
    std::string failure_;
};

// The bodies, each checked against its layout; nothing when it does not hold.
std::optional<std::uint8_t> ReadHello(wire::Bytes body); // the version
std::optional<RelayDatagram> ReadSend(wire::Bytes body);
std::optional<std::uint8_t> ReadSent(wire::Bytes body);
std::optional<RelayReceived> ReadReceived(wire::Bytes body);
std::string ReadErrorText(wire::Bytes body); // printable ASCII, others as '?', bounded

// True when `datagram` is exactly a request this program sends on `port`: the long-form search
// on 4023, the short-form search or a well-formed short-form set request on 4022. Nothing else
// may be broadcast by a relay.
bool IsRelayableRequest(std::uint16_t port, wire::Bytes datagram);

} // namespace quillon::protocol
