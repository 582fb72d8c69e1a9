#include "protocol/ShortForm.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

using namespace quillon;
using namespace quillon::protocol;
using quillon::devsim::SimulatedDevice;

namespace {

using Request = std::array<std::uint8_t, kShortFormRequestSize>;

Request Search()
{
    Request packet;
    packet.fill(0xEE);
    BuildShortFormSearchRequest(packet);
    return packet;
}

Request Set(const ShortFormSetRequest& request)
{
    Request packet;
    packet.fill(0xEE);
    BuildShortFormSetRequest(packet, request);
    return packet;
}

// The request with the address group every set request carries, for the device of the tests.
ShortFormSetRequest AddressedToDevice()
{
    ShortFormSetRequest request;
    request.ipAddress = {192, 168, 1, 20};
    request.macAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    request.netmask = {255, 255, 255, 0};
    return request;
}

Request ExpectedSetFrame(const ShortFormSetRequest& request)
{
    Request packet{};
    const std::uint8_t head[] = {'P', 'C', 'E', 'd', 'i', 't', 0, 0x65, 0x00, 0x74, 0x00};
    std::copy(std::begin(head), std::end(head), packet.begin());
    std::copy(request.ipAddress.begin(), request.ipAddress.end(), packet.begin() + 11);
    std::copy(request.macAddress.begin(), request.macAddress.end(), packet.begin() + 15);
    std::copy(request.netmask.begin(), request.netmask.end(), packet.begin() + 21);
    return packet;
}

std::string_view PortField(const Request& packet)
{
    return {reinterpret_cast<const char*>(packet.data()) + 52, 5};
}

} // namespace

TEST(ShortFormSearchRequest, IsTagAndFourTwos)
{
    Request expected{};
    const std::uint8_t tag[] = {0x50, 0x43, 0x45, 0x64, 0x69, 0x74};
    std::copy(std::begin(tag), std::end(tag), expected.begin());
    expected[6] = expected[25] = expected[32] = expected[60] = 2;
    EXPECT_EQ(Search(), expected);
}

TEST(ShortFormSetRequest, NetmaskChangeCarriesTheUnchangedAddress)
{
    auto request = AddressedToDevice();
    request.netmask = {255, 255, 0, 0};
    request.addressChanged = true;
    auto expected = ExpectedSetFrame(request);
    expected[6] = 1;
    EXPECT_EQ(Set(request), expected);
}

TEST(ShortFormSetRequest, DhcpSwitchAloneStillCarriesTheAddressGroup)
{
    auto request = AddressedToDevice();
    request.dhcp = true;
    auto expected = ExpectedSetFrame(request);
    expected[72] = 1;
    expected[73] = 1;
    EXPECT_EQ(Set(request), expected);

    request.dhcp = false; // back to a static address: the flag is set, the value is 0
    expected[73] = 0;
    EXPECT_EQ(Set(request), expected);
}

TEST(ShortFormSetRequest, EveryGroupAtItsOffsetWithItsTag)
{
    auto request = AddressedToDevice();
    request.gateway = wire::Ipv4{192, 168, 1, 254};
    std::array<std::uint8_t, kNameSize> name{};
    const std::string_view full = "ABCDEFGHIJKLMNOPQR";
    std::copy(full.begin(), full.end(), name.begin());
    request.name = name;
    request.port = 8080;
    request.dns = DnsServers{{1, 1, 1, 1}, {9, 9, 9, 9}};

    auto expected = ExpectedSetFrame(request);
    expected[25] = 1;
    expected[26] = 0x67;
    expected[27] = 0x00;
    const std::uint8_t gateway[] = {192, 168, 1, 254};
    std::copy(std::begin(gateway), std::end(gateway), expected.begin() + 28);
    expected[32] = 1;
    std::copy(full.begin(), full.end(), expected.begin() + 33);
    expected[51] = 1;
    const std::uint8_t port[] = {'8', '0', '8', '0', 0};
    std::copy(std::begin(port), std::end(port), expected.begin() + 52);
    expected[63] = 1;
    const std::uint8_t dns[] = {1, 1, 1, 1, 9, 9, 9, 9};
    std::copy(std::begin(dns), std::end(dns), expected.begin() + 64);
    EXPECT_EQ(Set(request), expected);
}

TEST(ShortFormSetRequest, PortTextHasNoSignNoLeadingZerosAndFillsAtMostFiveBytes)
{
    auto request = AddressedToDevice();
    request.port = 65535;
    EXPECT_EQ(PortField(Set(request)), std::string_view("65535", 5));
    request.port = 0;
    EXPECT_EQ(PortField(Set(request)), std::string_view("0\0\0\0\0", 5));
    request.port = 7;
    EXPECT_EQ(Set(request)[57], 0) << "the byte behind the port field stays zero";
}

TEST(ShortFormReply, ReadsTheGroupsItsLengthCarries)
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
    device.dhcp = true;
    device.dns1 = {192, 168, 1, 53};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const auto reply = ReadShortFormReply(devsim::ShortFormReply(device, 0, c.length));
        ASSERT_EQ(reply.has_value(), c.accepted);
        if (!reply)
            continue;
        EXPECT_EQ(reply->hasPorts, c.ports);
        EXPECT_EQ(reply->port1, c.ports ? 80 : 0);
        EXPECT_EQ(reply->port2, c.ports ? 554 : 0);
        EXPECT_EQ(reply->hasDns, c.dns);
        EXPECT_EQ(reply->dns1, c.dns ? device.dns1 : wire::Ipv4{});
        EXPECT_EQ(reply->hasDhcp, c.dhcp);
        EXPECT_EQ(reply->dhcpEnabled, c.dhcp);
    }
}

TEST(ShortFormReply, TakesTheFixedFieldsFromTheirOffsets)
{
    SimulatedDevice device;
    device.ip = {10, 0, 0, 5};
    device.mac = {1, 2, 3, 4, 5, 6};
    device.netmask = {255, 0, 0, 0};
    device.gateway = {10, 0, 0, 1};
    device.name = "Lobby";
    device.interfaceName = "e1";
    const auto reply = ReadShortFormReply(devsim::ShortFormReply(device, 1, 70));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->replyKind, 1);
    EXPECT_EQ(reply->ipAddress, device.ip);
    EXPECT_EQ(reply->macAddress, device.mac);
    EXPECT_EQ(reply->netmask, device.netmask);
    EXPECT_EQ(reply->gateway, device.gateway);
    const std::array<std::uint8_t, 4> expectedInterface{'e', '1', 0, 0};
    EXPECT_EQ(reply->interfaceName, expectedInterface);
    EXPECT_EQ(reply->addressText, QStringLiteral("010.000.000.005"));
    EXPECT_EQ(reply->nameText, QStringLiteral("Lobby"));
}

TEST(ShortFormReply, RequiresTheExactMagicSoOurOwnRequestsAreNotReplies)
{
    for (const char* magic : {"IPCAM", "ipcam", "IPCa ", "PCEdi"}) {
        auto bytes = devsim::ShortFormReply(SimulatedDevice{}, 0, 70);
        std::copy_n(magic, 5, bytes.begin());
        EXPECT_FALSE(ReadShortFormReply(bytes).has_value()) << magic;
    }
    EXPECT_FALSE(ReadShortFormReply(Search()).has_value());
    EXPECT_FALSE(ReadShortFormReply(Set(AddressedToDevice())).has_value());
}

TEST(ShortFormPortField, ReadsLikeAtoiWithinFiveBytes)
{
    struct Case {
        std::string_view field;
        std::int32_t value;
    };
    const Case cases[] = {
        {{"8080\0", 5}, 8080}, {"12345", 12345}, {{"\0\0\0\0\0", 5}, 0}, {"  +42", 42},
        {"-7\0\0\0", -7},      {"12a45", 12},   {"     ", 0},            {"+-123", 0},
        {"99999", 99999},      {" \t 9 ", 9},
    };
    for (const Case& c : cases) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.field.data());
        EXPECT_EQ(ReadPortField({bytes, c.field.size()}), c.value) << c.field;
    }
    // Digits right behind the field belong to the next field, never to this one.
    const std::uint8_t packed[] = {'1', '2', '3', '4', '5', '6', '7'};
    EXPECT_EQ(ReadPortField(packed), 12345);
}
