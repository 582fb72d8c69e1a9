// Selection, Submit and the web address on a device table, without a window. Submit
// broadcasts, so this runs in the virtual LAN and listens for what it sends.

#include "commands/Confirmation.h"
#include "commands/DeviceSettings.h"
#include "commands/Submit.h"
#include "devices/RowStore.h"
#include "platform/UniqueFd.h"
#include "protocol/ShortForm.h"
#include "support/Sockets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <optional>
#include <vector>

using namespace quillon;
using namespace quillon::commands;
using devices::DeviceRecord;

namespace {

class CommandsTest : public testing::Test {
protected:
    void SetUp() override
    {
        listener_ = test::ListenOn(protocol::kShortFormPort, std::chrono::milliseconds(300));
        ASSERT_TRUE(listener_.IsValid());

        device = table.AppendDevice({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        device->ipAddress = {192, 168, 1, 20, 0};
        device->netmask = {255, 255, 255, 0, 0};
        device->gateway = {192, 168, 1, 1, 0, 0};
        device->dns1 = {8, 8, 8, 8, 0};
        device->dns2 = {8, 8, 4, 4, 0};
        device->port1 = 80;
        const char name[] = "Lobby";
        std::copy(std::begin(name), std::end(name) - 1, device->name.begin());
        table.AssignRow(*device, QStringLiteral("Lobby"), QStringLiteral("192.168.001.020"));
        table.SelectByListIndex(device->listIndex);
    }

    // The settings that change nothing on the device.
    NewSettings Unchanged() const
    {
        NewSettings settings;
        settings.name = QStringLiteral("Lobby");
        settings.ipAddress = {192, 168, 1, 20};
        settings.netmask = {255, 255, 255, 0};
        settings.gateway = {192, 168, 1, 1};
        settings.dns1 = {8, 8, 8, 8};
        settings.dns2 = {8, 8, 4, 4};
        settings.port = 80;
        return settings;
    }

    SubmitOutcome Submit(const NewSettings& settings, bool confirm = true)
    {
        questions = 0;
        return SubmitSettings(table, settings, [&] { ++questions; return confirm; }, sendBuffer);
    }

    // The next request on port 4022, or nothing within 300 ms.
    std::optional<std::vector<std::uint8_t>> Sent()
    {
        std::vector<std::uint8_t> bytes(2048);
        const ssize_t length = ::recv(listener_.Get(), bytes.data(), bytes.size(), MSG_TRUNC);
        if (length < 0)
            return std::nullopt;
        bytes.resize(static_cast<std::size_t>(length));
        return bytes;
    }

    devices::RowStore rows;
    devices::DeviceTable table{rows};
    DeviceRecord* device = nullptr;
    std::array<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer{};
    int questions = 0;

private:
    platform::UniqueFd listener_;
};

} // namespace

TEST_F(CommandsTest, EachChangedGroupIsFlaggedAndOnlyThatAndTheRecordTakesIt)
{
    struct Case {
        const char* what;
        void (*change)(NewSettings&);
        std::size_t flagOffset;
    };
    const Case cases[] = {
        {"name", [](NewSettings& s) { s.name = QString::fromUtf8("玄関カメラ北"); }, 32}, // 18 bytes of UTF-8
        {"netmask", [](NewSettings& s) { s.netmask = {255, 255, 0, 0}; }, 6},
        {"address", [](NewSettings& s) { s.ipAddress = {192, 168, 1, 21}; }, 6},
        {"gateway", [](NewSettings& s) { s.gateway = {192, 168, 1, 254}; }, 25},
        {"port", [](NewSettings& s) { s.port = 8080; }, 51},
        {"dns", [](NewSettings& s) { s.dns2 = {1, 0, 0, 1}; }, 63},
        {"dhcp", [](NewSettings& s) { s.wantsDhcp = true; }, 72},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NewSettings settings = Unchanged();
        c.change(settings);
        ASSERT_EQ(Submit(settings), SubmitOutcome::Sent);
        const auto sent = Sent();
        ASSERT_TRUE(sent.has_value());
        for (std::size_t flag : {6u, 25u, 32u, 51u, 63u, 72u})
            EXPECT_EQ((*sent)[flag], flag == c.flagOffset ? 1 : 0) << "flag at " << flag;
        EXPECT_EQ(std::vector<std::uint8_t>(sent->begin() + 11, sent->begin() + 15),
                  std::vector<std::uint8_t>(settings.ipAddress.begin(), settings.ipAddress.end()))
            << "the address group always carries the address";
        // The record holds what was sent, so the same again sends nothing; but the mode is the
        // device's to report, so a DHCP switch goes again until it does.
        const bool modeSwitch = c.flagOffset == 72;
        EXPECT_EQ(Submit(settings), modeSwitch ? SubmitOutcome::Sent : SubmitOutcome::NothingChanged);
        if (modeSwitch) {
            EXPECT_TRUE(Sent().has_value());
        }
        // Put the record back so that the next case changes one group only.
        device->ipAddress = {192, 168, 1, 20, 0};
        device->netmask = {255, 255, 255, 0, 0};
        device->gateway = {192, 168, 1, 1, 0, 0};
        device->port1 = 80;
        device->dns2 = {8, 8, 4, 4, 0};
        device->name = {'L', 'o', 'b', 'b', 'y'};
    }
}

TEST_F(CommandsTest, UnusableAddressesAndNoDeviceSendNothing)
{
    NewSettings settings = Unchanged();
    settings.name = QStringLiteral("changed");
    settings.ipAddress = {192, 168, 1, 0};
    EXPECT_EQ(Submit(settings), SubmitOutcome::UnusableAddress);
    settings.ipAddress = {192, 168, 1, 255};
    EXPECT_EQ(Submit(settings), SubmitOutcome::UnusableAddress);
    settings.ipAddress = {192, 168, 1, 20};
    table.FreeAllDevices(); // as a search does
    EXPECT_EQ(Submit(settings), SubmitOutcome::NoDevice);
    EXPECT_FALSE(Sent().has_value());
}

TEST_F(CommandsTest, GatewayOutsideTheSubnetAsksFirst)
{
    NewSettings settings = Unchanged();
    settings.gateway = {192, 168, 2, 1};
    EXPECT_EQ(Submit(settings, false), SubmitOutcome::Declined);
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(Sent().has_value());
    EXPECT_EQ(device->gateway[2], 1) << "a declined change leaves the record alone";
    EXPECT_EQ(Submit(settings, true), SubmitOutcome::Sent);
    EXPECT_TRUE(Sent().has_value());

    settings.gateway = {0, 0, 0, 0}; // no gateway at all: no question
    EXPECT_EQ(Submit(settings), SubmitOutcome::Sent);
    EXPECT_EQ(questions, 0);
    settings = Unchanged();
    settings.gateway = {192, 168, 1, 254};
    EXPECT_EQ(Submit(settings), SubmitOutcome::Sent);
    EXPECT_EQ(questions, 0);
}

TEST(DeviceName, EncodesWholeCharactersWithinEighteenBytes)
{
    const auto ascii = EncodeDeviceName(QStringLiteral("ABCDEFGHIJKLMNOPQRSTU"));
    EXPECT_EQ(std::string(ascii.begin(), ascii.end()), "ABCDEFGHIJKLMNOPQR");
    // Seventeen letters and a three-byte character: the character does not fit and is left out.
    const auto cut = EncodeDeviceName(QString::fromUtf8("ABCDEFGHIJKLMNOPQ北"));
    EXPECT_EQ(cut[16], 'Q');
    EXPECT_EQ(cut[17], 0);
    const auto emoji = EncodeDeviceName(QString::fromUtf8("cam 📷"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(emoji.data())), "cam 📷");
}

TEST(WebAddress, PortIsShownOnlyWhenItIsNeeded)
{
    const wire::Ipv4 address{192, 168, 1, 20};
    EXPECT_EQ(DeviceWebAddress({address, 80}), QStringLiteral("http://192.168.1.20"));
    EXPECT_EQ(DeviceWebAddress({address, 0}), QStringLiteral("http://192.168.1.20"));
    EXPECT_EQ(DeviceWebAddress({address, -5}), QStringLiteral("http://192.168.1.20"));
    EXPECT_EQ(DeviceWebAddress({address, 8080}), QStringLiteral("http://192.168.1.20:8080"));
    EXPECT_EQ(DeviceWebAddress({address, 65535}), QStringLiteral("http://192.168.1.20:65535"));
    EXPECT_EQ(DeviceWebAddress({address, 65536}), QStringLiteral("http://192.168.1.20"));
}

TEST(WebAddress, OnlyAddressesADeviceOnTheLanCanHaveAreOpened)
{
    const std::pair<wire::Ipv4, bool> cases[] = {
        {{127, 0, 0, 1}, false},       {{127, 255, 0, 9}, false},   {{0, 0, 0, 0}, false},
        {{0, 10, 0, 1}, false},        {{224, 0, 0, 251}, false},   {{239, 255, 255, 250}, false},
        {{255, 255, 255, 255}, false}, {{240, 0, 0, 1}, false},     {{192, 168, 1, 20}, true},
        {{169, 254, 10, 20}, true},    {{10, 0, 0, 1}, true},       {{223, 255, 255, 254}, true},
        {{1, 0, 0, 1}, true},          {{126, 255, 255, 255}, true},
    };
    for (const auto& [address, openable] : cases)
        EXPECT_EQ(UnusableDeviceAddressReason(address).isEmpty(), openable)
            << int(address[0]) << '.' << int(address[1]) << '.' << int(address[2]) << '.' << int(address[3]);
}

TEST(Selection, FindsTheDeviceByRowNumberAndKeepsTheLastOne)
{
    devices::RowStore rows;
    devices::DeviceTable table(rows);
    DeviceRecord* first = table.AppendDevice({2, 0, 0, 0, 0, 1});
    table.AssignRow(*first, QStringLiteral("a"), QStringLiteral("x"));
    DeviceRecord* second = table.AppendDevice({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    second->hasDhcp = 1;
    second->dhcpEnabled = 1;
    second->port1 = 8080;
    table.AssignRow(*second, QStringLiteral("b"), QStringLiteral("y"));

    EXPECT_EQ(SelectDevice(table, 0, 2), std::nullopt);
    EXPECT_EQ(table.CurrentDevice(), nullptr);
    const auto settings = SelectDevice(table, 2, 2);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(table.CurrentDevice(), second);
    EXPECT_EQ(settings->macText, QStringLiteral("00:1a:2b:3c:4d:5e"));
    EXPECT_TRUE(settings->hasDhcp);
    EXPECT_TRUE(settings->dhcpEnabled);
    EXPECT_FALSE(settings->hasDns);
    EXPECT_EQ(settings->port1, 8080);

    // A number without a device keeps the device chosen before.
    const auto again = SelectDevice(table, 7, 2);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(table.CurrentDevice(), second);
    EXPECT_EQ(SelectDevice(table, 1, 0), std::nullopt) << "an empty list selects nothing";
}

// What the device reports against what was asked: every field asked for must match; the
// address is the new one unless DHCP was asked, which only needs the device to say DHCP on.
TEST(Confirmation, ReportMustShowEveryFieldAsked)
{
    protocol::ShortFormSetRequest address;
    address.addressChanged = true;
    address.ipAddress = {192, 168, 1, 50};
    address.netmask = {255, 255, 0, 0};
    protocol::ShortFormSetRequest dhcp = address;
    dhcp.addressChanged = false;
    dhcp.dhcp = true;
    dhcp.port = 8080;
    protocol::ShortFormSetRequest named;
    named.ipAddress = {192, 168, 1, 20};
    named.name = EncodeDeviceName(QStringLiteral("Hall"));
    named.dns = protocol::DnsServers{{1, 1, 1, 1}, {9, 9, 9, 9}};
    named.dhcp = false;

    using Report = std::function<void(DeviceRecord&)>;
    const Report newAddress = [](DeviceRecord& r) { r.ipAddress = {192, 168, 1, 50, 0}; };
    const Report newNetmask = [](DeviceRecord& r) { r.netmask = {255, 255, 0, 0, 0}; };
    const Report dhcpOn = [](DeviceRecord& r) { r.dhcpEnabled = 1; };
    const Report newPort = [](DeviceRecord& r) { r.port1 = 8080; };
    const Report otherAddress = [](DeviceRecord& r) { r.ipAddress = {10, 0, 0, 7, 0}; };
    const Report modeUntold = [](DeviceRecord& r) { r.hasDhcp = 0; };
    const Report longForm = [](DeviceRecord& r) { r.protocolsAnswered = devices::kAnsweredLongForm; };
    const Report newDns = [](DeviceRecord& r) { r.dns1 = {1, 1, 1, 1, 0}; r.dns2 = {9, 9, 9, 9, 0}; };
    const Report noDns = [](DeviceRecord& r) { r.hasDns = 0; };
    const Report otherName = [](DeviceRecord& r) { r.name = {'H', 'a', 'l', 'l', 'o'}; };
    struct Case {
        const char* what;
        const protocol::ShortFormSetRequest& request;
        std::vector<Report> report;
        bool confirms;
    };
    const Case cases[] = {
        {"new address", address, {newAddress, newNetmask}, true},
        {"old address", address, {}, false},
        {"new address, old netmask", address, {newAddress}, false},
        {"DHCP on at another address", dhcp, {dhcpOn, newPort, otherAddress}, true},
        {"DHCP on, old port", dhcp, {dhcpOn}, false},
        {"DHCP still off", dhcp, {newPort}, false},
        {"mode not told", dhcp, {dhcpOn, newPort, modeUntold}, false},
        {"name, DNS and static", named, {newDns}, true},
        {"static told by a long-form reply", named, {newDns, modeUntold, longForm}, true},
        {"static not told", named, {newDns, modeUntold}, false},
        {"replies carry no DNS", named, {newDns, noDns}, false},
        {"other name", named, {newDns, otherName}, false},
    };
    for (const Case& c : cases) {
        DeviceRecord record;
        record.ipAddress = {192, 168, 1, 20, 0};
        record.netmask = {255, 255, 255, 0, 0};
        record.port1 = 80;
        record.hasDhcp = 1;
        record.hasDns = 1;
        record.name = {'H', 'a', 'l', 'l'};
        for (const Report& change : c.report)
            change(record);
        EXPECT_EQ(RecordConfirms(c.request, record), c.confirms) << c.what;
    }
}
