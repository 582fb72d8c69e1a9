#include "protocol/LongForm.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace quillon;
using namespace quillon::protocol;
using quillon::devsim::SimulatedDevice;

TEST(LongFormRequest, IsMagicLengthCodeAndZeros)
{
    LongFormPacket packet;
    packet.fill(0xEE); // the builder must clear what it does not name
    BuildLongFormRequest(packet);
    std::vector<std::uint8_t> expected(445, 0);
    const std::uint8_t head[] = {0x33, 0x32, 0x39, 0x37, 0xBD, 0x01, 0x31, 0x00};
    std::copy(std::begin(head), std::end(head), expected.begin());
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin(), packet.end()), expected);
}

// Exactly 445 bytes with a reply code of 1 to 3, whatever its magic and length bytes say; our
// own request has the code '1' and is no reply.
TEST(LongFormReply, AcceptsExactly445BytesWithACodeOfOneToThree)
{
    const auto reply = devsim::LongFormReply(SimulatedDevice{});
    auto mangledHead = reply;
    std::fill_n(mangledHead.begin(), 6, 0xA5);
    auto longer = reply;
    longer.push_back(0);
    const std::tuple<const char*, std::vector<std::uint8_t>, bool> cases[] = {
        {"445 bytes", reply, true},
        {"magic and length ignored", mangledHead, true},
        {"one byte short", {reply.begin(), reply.end() - 1}, false},
        {"one byte more", longer, false},
        {"empty", {}, false},
    };
    for (const auto& [what, bytes, accepted] : cases)
        EXPECT_EQ(ReadLongFormReply(bytes).has_value(), accepted) << what;
    for (int code = 0; code < 256; ++code) {
        const auto coded = ReadLongFormReply(devsim::LongFormReply(SimulatedDevice{}, static_cast<std::uint8_t>(code)));
        EXPECT_EQ(coded.has_value(), code >= 1 && code <= 3) << "code " << code;
    }
}

TEST(LongFormReply, TakesEveryFieldFromItsOffset)
{
    SimulatedDevice device;
    device.mac = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};
    device.ip = {10, 0, 0, 5};
    device.netmask = {255, 255, 0, 0};
    device.gateway = {10, 0, 0, 254};
    device.dns1 = {1, 1, 1, 1};
    device.dns2 = {9, 9, 9, 9};
    device.port1 = -2; // signed, least significant byte first
    device.port2 = 0x01020304;
    device.dhcp = true;
    device.name = "ABCDEFGHIJKLMNOPQR"; // all 18 bytes, no terminating zero
    device.interfaceName = "wl";

    const auto reply = ReadLongFormReply(devsim::LongFormReply(device, 2));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->replyCode, 2);
    EXPECT_EQ(reply->macAddress, device.mac);
    EXPECT_EQ(reply->ipAddress, device.ip);
    EXPECT_EQ(reply->netmask, device.netmask);
    EXPECT_EQ(reply->gateway, device.gateway);
    EXPECT_EQ(reply->dns1, device.dns1);
    EXPECT_EQ(reply->dns2, device.dns2);
    EXPECT_EQ(reply->port1, -2);
    EXPECT_EQ(reply->port2, 0x01020304);
    EXPECT_EQ(reply->dhcp, 1);
    EXPECT_EQ(reply->addressText, QStringLiteral("010.000.000.005"));
    EXPECT_EQ(reply->nameText, QStringLiteral("ABCDEFGHIJKLMNOPQR"));
    const std::array<std::uint8_t, 4> expectedInterface{'w', 'l', 0, 0};
    EXPECT_EQ(reply->interfaceName, expectedInterface);
}
