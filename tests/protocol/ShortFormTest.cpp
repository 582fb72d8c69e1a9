#include "protocol/ShortForm.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

using namespace quillon;
using namespace quillon::protocol;
using quillon::devsim::SimulatedDevice;

namespace {

// The 74 bytes a builder wrote over 0xEE bytes, so that a byte it leaves alone shows, as hex.
std::string Built(const std::function<void(ShortFormRequestBytes)>& build)
{
    std::array<std::uint8_t, 74> packet;
    packet.fill(0xEE);
    build(packet);
    return QByteArray(reinterpret_cast<const char*>(packet.data()), 74).toHex().toStdString();
}

} // namespace

TEST(ShortFormSearchRequest, IsTagAndFourTwos)
{
    QByteArray expected(74, '\0');
    expected.replace(0, 7, "PCEdit\x02");
    expected[25] = expected[32] = expected[60] = 2;
    EXPECT_EQ(Built(BuildShortFormSearchRequest), expected.toHex().toStdString());
}

// The address group travels in every set request, with the device's address and MAC even when
// only another group changes; each other group only when it carries a new value. Each row: the
// change, and the bytes (hex, from an offset) that differ from a request that changes nothing.
TEST(ShortFormSetRequest, EveryGroupAtItsOffsetWithItsFlag)
{
    using Change = std::function<void(ShortFormSetRequest&)>;
    struct Case {
        const char* what;
        Change change;
        std::vector<std::pair<std::size_t, const char*>> differences;
    };
    const Case cases[] = {
        {"nothing", [](auto&) {}, {}},
        {"netmask", [](auto& r) { r.netmask = {255, 255, 0, 0}; r.addressChanged = true; }, {{6, "01"}, {21, "ffff0000"}}},
        {"DHCP on", [](auto& r) { r.dhcp = true; }, {{72, "0101"}}},
        {"static", [](auto& r) { r.dhcp = false; }, {{72, "0100"}}},
        {"gateway", [](auto& r) { r.gateway = wire::Ipv4{192, 168, 1, 254}; }, {{25, "016700c0a801fe"}}},
        {"name of 18 bytes", [](auto& r) { r.name.emplace(); std::iota(r.name->begin(), r.name->end(), 'A'); },
         {{32, "014142434445464748494a4b4c4d4e4f505152"}}},
        {"DNS servers", [](auto& r) { r.dns = DnsServers{{1, 1, 1, 1}, {9, 9, 9, 9}}; }, {{63, "010101010109090909"}}},
        {"port 8080", [](auto& r) { r.port = 8080; }, {{51, "013830383000"}}},
        {"port 65535", [](auto& r) { r.port = 65535; }, {{51, "013635353335"}}},
        {"port 0", [](auto& r) { r.port = 0; }, {{51, "013000000000"}}},
    };
    for (const Case& c : cases) {
        ShortFormSetRequest request;
        request.ipAddress = {192, 168, 1, 20};
        request.macAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        request.netmask = {255, 255, 255, 0};
        c.change(request);
        QByteArray expected = QByteArray::fromHex("50434564697400650074" "00c0a80114001a2b3c4d5effffff00");
        expected.append(74 - expected.size(), '\0');
        for (const auto& [offset, hex] : c.differences)
            expected.replace(static_cast<qsizetype>(offset), QByteArray::fromHex(hex).size(), QByteArray::fromHex(hex));
        EXPECT_EQ(Built([&](ShortFormRequestBytes packet) { BuildShortFormSetRequest(packet, request); }),
                  expected.toHex().toStdString()) << c.what;
    }
}

// Each row: a reply's length, whether it is taken, and which groups it carries. The fixed fields
// are read from their offsets whatever the length.
TEST(ShortFormReply, ReadsTheFixedFieldsAndTheGroupsItsLengthCarries)
{
    struct Case {
        std::size_t length;
        bool accepted, ports, dns, dhcp;
    };
    const Case cases[] = {
        {49, false, false, false, false}, {50, true, false, false, false}, {59, true, false, false, false},
        {60, true, true, false, false},   {68, true, true, false, false},  {69, true, true, true, false},
        {70, true, true, true, true},     {1000, true, true, true, true},  {1001, false, false, false, false},
    };
    SimulatedDevice device;
    device.ip = {255, 0, 10, 5};
    device.mac = {1, 2, 3, 4, 5, 6};
    device.netmask = {255, 0, 0, 0};
    device.gateway = {10, 0, 0, 1};
    device.name = "Lobby";
    device.interfaceName = "e1";
    device.dns1 = {192, 168, 1, 53};
    device.dns2 = {192, 168, 2, 53};
    device.dhcp = true;
    const std::array<std::uint8_t, 4> expectedInterface{'e', '1', 0, 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const auto reply = ReadShortFormReply(devsim::ShortFormReply(device, 1, c.length));
        ASSERT_EQ(reply.has_value(), c.accepted);
        if (!reply)
            continue;
        EXPECT_EQ(reply->replyKind, 1);
        EXPECT_EQ(reply->interfaceName, expectedInterface);
        EXPECT_EQ(reply->ipAddress, device.ip);
        EXPECT_EQ(reply->macAddress, device.mac);
        EXPECT_EQ(reply->netmask, device.netmask);
        EXPECT_EQ(reply->gateway, device.gateway);
        EXPECT_EQ(reply->addressText, QStringLiteral("255.000.010.005")) << "every octet three digits wide";
        EXPECT_EQ(reply->nameText, QStringLiteral("Lobby"));
        EXPECT_EQ(reply->hasPorts, c.ports);
        EXPECT_EQ(reply->port1, c.ports ? 80 : 0);
        EXPECT_EQ(reply->port2, c.ports ? 554 : 0);
        EXPECT_EQ(reply->hasDns, c.dns);
        EXPECT_EQ(reply->dns1, c.dns ? device.dns1 : wire::Ipv4{});
        EXPECT_EQ(reply->dns2, c.dns ? device.dns2 : wire::Ipv4{});
        EXPECT_EQ(reply->hasDhcp, c.dhcp);
        EXPECT_EQ(reply->dhcpEnabled, c.dhcp);
    }
}

TEST(ShortFormReply, RequiresTheExactMagicSoOurOwnRequestsAreNotReplies)
{
    for (const char* magic : {"IPCAM", "ipcam", "IPCa ", "PCEdi"}) {
        auto bytes = devsim::ShortFormReply(SimulatedDevice{}, 0, 70);
        std::copy_n(magic, 5, bytes.begin());
        EXPECT_FALSE(ReadShortFormReply(bytes).has_value()) << magic;
    }
}

// The last row: digits right behind the field belong to the next field, never to this one.
TEST(ShortFormPortField, ReadsLikeAtoiWithinFiveBytes)
{
    struct Case {
        std::string_view field;
        std::int32_t value;
    };
    const Case cases[] = {
        {{"8080\0", 5}, 8080}, {{"\0\0\0\0\0", 5}, 0}, {"  +42", 42}, {"-7\0\0\0", -7}, {"12a45", 12},
        {"     ", 0},          {"+-123", 0},               {"99999", 99999}, {" \t 9 ", 9}, {"1234567", 12345},
    };
    for (const Case& c : cases) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.field.data());
        EXPECT_EQ(ReadPortField({bytes, c.field.size()}), c.value) << c.field;
    }
}
