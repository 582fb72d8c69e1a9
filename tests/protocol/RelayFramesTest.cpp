#include "protocol/LongForm.h"
#include "protocol/RelayFrames.h"
#include "protocol/ShortForm.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::protocol;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes WithoutLastByte(Bytes bytes)
{
    bytes.pop_back();
    return bytes;
}

Bytes ShortSearch()
{
    Bytes search(kShortFormRequestSize);
    BuildShortFormSearchRequest(std::span<std::uint8_t, kShortFormRequestSize>(search.data(), kShortFormRequestSize));
    return search;
}

Bytes SetRequest(const std::function<void(ShortFormSetRequest&)>& change = {})
{
    ShortFormSetRequest request;
    request.addressChanged = true;
    request.ipAddress = {203, 0, 113, 20};
    request.macAddress = {2, 0, 0, 0, 0, 1};
    request.netmask = {255, 255, 255, 0};
    request.port = 8080;
    request.name = NameBytes{'g', 'a', 't', 'e'};
    if (change)
        change(request);
    Bytes packet(kShortFormRequestSize);
    BuildShortFormSetRequest(std::span<std::uint8_t, kShortFormRequestSize>(packet.data(), kShortFormRequestSize), request);
    return packet;
}

// The frames a stream holds, read in pieces of `piece` bytes, as "type:body length" and then
// the failure, if any.
std::vector<std::string> Read(const Bytes& stream, std::size_t piece)
{
    RelayFrameReader reader;
    std::vector<std::string> seen;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        reader.Append(wire::Bytes(stream).subspan(at, std::min(piece, stream.size() - at)));
        while (const std::optional<RelayFrame> frame = reader.Next())
            seen.push_back(std::to_string(static_cast<int>(frame->type)) + ":" + std::to_string(frame->body.size()));
    }
    if (!reader.Failure().empty())
        seen.push_back("failed: " + reader.Failure());
    return seen;
}

} // namespace

// A stream is cut into its frames however it arrives; a length or type that no frame has ends it
// for good, and nothing after it is read.
TEST(RelayFrameReader, CutsFramesWhereverTheStreamBreaksAndStopsAtTheFirstImpossibleOne)
{
    const RelayReceived reply{kLongFormPort, {203, 0, 113, 9}, "eth0", Bytes(445, 7)};
    struct Case {
        const char* what;
        Bytes stream;
        std::vector<std::string> frames;
    };
    const Case cases[] = {
        {"hello, send, sent, received, error", Concat({HelloFrame(), SendFrame(kShortFormPort, ShortSearch()), SentFrame(2),
                                                     ReceivedFrame(reply), ErrorFrame("no")}),
         {"1:14", "2:76", "3:1", "4:456", "5:2"}},
        {"a frame not yet whole", WithoutLastByte(HelloFrame()), {}},
        {"length 0", Concat({HelloFrame(), {0, 0, 1}, SentFrame(1)}), {"1:14", "failed: a frame of 0 bytes"}},
        {"length past the largest frame", {0x04, 0x2a, 4}, {"failed: a frame of 1066 bytes"}},
        {"unknown type", Concat({{0, 1, 9}, SentFrame(1)}), {"failed: a frame of unknown type 9"}},
        {"type 0", {0, 1, 0}, {"failed: a frame of unknown type 0"}},
    };
    for (const Case& c : cases)
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}})
            EXPECT_EQ(Read(c.stream, piece), c.frames) << c.what << ", in pieces of " << piece;
}

// Each body is read only when it holds exactly its layout; a reply's card name becomes part of
// "HOST:CARD" and is shown, so only what an interface name may hold passes.
TEST(RelayFrameBodies, AreReadOnlyWhenTheyHoldTheirLayout)
{
    const auto body = [](const Bytes& frame) { return Bytes(frame.begin() + 3, frame.end()); };
    const auto received = [&](const std::string& card, std::uint16_t port, std::size_t length) {
        return ReadReceived(body(ReceivedFrame({port, {10, 0, 0, 7}, card, Bytes(length, 1)}))).has_value();
    };
    EXPECT_EQ(ReadHello(body(HelloFrame())), std::optional<std::uint8_t>(kRelayVersion));
    EXPECT_FALSE(ReadHello(Bytes{'q', 'u', 'i', 'l', 'l', 'o', 'n', 1}));
    EXPECT_EQ(ReadSent(body(SentFrame(3))), std::optional<std::uint8_t>(3));
    EXPECT_FALSE(ReadSent(Bytes{}));
    EXPECT_FALSE(ReadSend(Bytes{0x0f, 0xb6}).has_value()) << "a send without a datagram";
    EXPECT_EQ(ReadSend(body(SendFrame(kLongFormPort, Bytes(445, 0))))->datagram.size(), 445u);

    const std::optional<RelayReceived> reply = ReadReceived(body(ReceivedFrame({kShortFormPort, {10, 0, 0, 7}, "wlan0", Bytes(70, 5)})));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->card, "wlan0");
    EXPECT_EQ(reply->source, (wire::Ipv4{10, 0, 0, 7}));
    EXPECT_EQ(reply->datagram, Bytes(70, 5));
    EXPECT_TRUE(received("", kShortFormPort, 50)) << "a card the relay could not name";
    EXPECT_TRUE(received("br-lan.100", kShortFormPort, 1000));
    for (const char* card : {"a:b", "a b", "a/b", "\x1b[2J", "caf\xc3\xa9"})
        EXPECT_FALSE(received(card, kShortFormPort, 50)) << card;
    EXPECT_FALSE(received("eth0", 22, 50)) << "a port of neither protocol";
    EXPECT_FALSE(received("eth0", kShortFormPort, 0)) << "no datagram";
    Bytes cardTooLong = body(ReceivedFrame({kShortFormPort, {}, "eth0", Bytes(50, 1)}));
    cardTooLong[relayframe::kCardLengthOffset] = 200;
    EXPECT_FALSE(ReadReceived(cardTooLong));
    EXPECT_EQ(ReadErrorText(Bytes{'o', 'k', 0x07, '\n'}), "ok??");
}

// A relay broadcasts on someone else's LAN: only the requests this program itself sends pass,
// byte for byte; a set request with a flag, a tag, a padding byte or a port digit of its own
// does not.
TEST(RelayableRequest, IsExactlyASearchOrAWellFormedSetRequestOfItsPort)
{
    Bytes longSearch(kLongFormPacketSize);
    BuildLongFormRequest(std::span<std::uint8_t, kLongFormPacketSize>(longSearch.data(), kLongFormPacketSize));
    const auto altered = [](Bytes packet, std::size_t offset, std::uint8_t value) {
        packet[offset] = value;
        return packet;
    };
    struct Case {
        const char* what;
        std::uint16_t port;
        Bytes datagram;
        bool relayable;
    };
    const Case cases[] = {
        {"long-form search", kLongFormPort, longSearch, true},
        {"short-form search", kShortFormPort, ShortSearch(), true},
        {"set request", kShortFormPort, SetRequest(), true},
        {"set request changing nothing but DHCP", kShortFormPort, SetRequest([](auto& r) { r = {}; r.dhcp = true; }), true},
        {"set request with every group", kShortFormPort,
         SetRequest([](auto& r) { r.gateway = wire::Ipv4{203, 0, 113, 1}; r.dns = DnsServers{{1, 1, 1, 1}, {}}; r.dhcp = false; }), true},
        {"short-form search on the long form's port", kLongFormPort, ShortSearch(), false},
        {"long-form search on the short form's port", kShortFormPort, longSearch, false},
        {"long-form search one byte longer", kLongFormPort, Concat({longSearch, {0}}), false},
        {"long-form request with another code", kLongFormPort, altered(longSearch, 6, '2'), false},
        {"set request one byte short", kShortFormPort, WithoutLastByte(SetRequest()), false},
        {"set request with a flag of 2", kShortFormPort, altered(SetRequest(), 63, 2), false},
        {"set request with DHCP 7", kShortFormPort, altered(SetRequest([](auto& r) { r.dhcp = true; }), 73, 7), false},
        {"set request with another tag", kShortFormPort, altered(SetRequest(), 0, 'X'), false},
        {"set request with a byte in its padding", kShortFormPort, altered(SetRequest(), 58, 1), false},
        {"set request with a port of its own digits", kShortFormPort, altered(SetRequest(), 52, '+'), false},
        {"set request's value kept by a cleared flag", kShortFormPort, altered(SetRequest(), 32, 0), false},
        {"a reply", kShortFormPort, Concat({{'I', 'P', 'C', 'a', 'm'}, Bytes(65, 0)}), false},
        {"another port", 4024, ShortSearch(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsRelayableRequest(c.port, c.datagram), c.relayable) << c.what;
}
