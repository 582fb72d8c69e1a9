// Selection, Submit, the name's bytes, the web address and the confirmation rule on a device
// table, without a window. Submit broadcasts, so this runs in the virtual LAN. Which groups a
// set request carries is checked where the simulator logs them, in Quillonctl.SetSends....

#include "commands/Confirmation.h"
#include "commands/DeviceSettings.h"
#include "commands/Submit.h"
#include "devices/RowStore.h"
#include "protocol/ShortForm.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

using namespace quillon;
using namespace quillon::commands;
using devices::DeviceRecord;

namespace {

class CommandsTest : public testing::Test {
protected:
    // A device with an address and nothing else; what the rows below change starts out empty.
    void SetUp() override
    {
        device = table.AppendDevice({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        device->ipAddress = {192, 168, 1, 20, 0};
        device->netmask = {255, 255, 255, 0, 0};
        table.AssignRow(*device, QString(), QStringLiteral("192.168.001.020"));
        table.SelectByListIndex(device->listIndex);
    }

    // The settings that change nothing on the device.
    static NewSettings Unchanged()
    {
        NewSettings settings;
        settings.ipAddress = {192, 168, 1, 20};
        settings.netmask = {255, 255, 255, 0};
        return settings;
    }

    // Submit with the user declining every question, so that a question shows as Declined.
    SubmitOutcome Submit(const NewSettings& settings)
    {
        return SubmitSettings(table, settings, [] { return false; }, sendBuffer, &sent);
    }

    devices::RowStore rows;
    devices::DeviceTable table{rows};
    DeviceRecord* device = nullptr;
    std::array<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer{};
    protocol::ShortFormSetRequest sent;
};

} // namespace

// The rows change one more value each, on top of the rows before. The record takes what was
// sent, so the same again sends nothing; but the mode is the device's to report, so a DHCP
// switch goes again until it does. A gateway inside the subnet, or none, asks nothing.
TEST_F(CommandsTest, TheRecordTakesEachChangeSentExceptTheMode)
{
    const std::pair<const char*, void (*)(NewSettings&)> changes[] = {
        {"name", [](NewSettings& s) { s.name = QString::fromUtf8("玄関カメラ北"); }}, // 18 bytes of UTF-8
        {"address", [](NewSettings& s) { s.ipAddress = {192, 168, 1, 21}; }},
        {"netmask", [](NewSettings& s) { s.netmask = {255, 255, 0, 0}; }},
        {"gateway", [](NewSettings& s) { s.gateway = {192, 168, 7, 254}; }},
        {"no gateway", [](NewSettings& s) { s.gateway = {0, 0, 0, 0}; }},
        {"port", [](NewSettings& s) { s.port = 8080; }},
        {"dns1", [](NewSettings& s) { s.dns1 = {1, 0, 0, 1}; }},
        {"dns2", [](NewSettings& s) { s.dns2 = {1, 1, 1, 1}; }},
        {"dhcp", [](NewSettings& s) { s.wantsDhcp = true; }},
    };
    NewSettings settings = Unchanged();
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change(settings);
        ASSERT_EQ(Submit(settings), SubmitOutcome::Sent);
        EXPECT_EQ(sent.ipAddress, settings.ipAddress) << "the address group always carries the address";
        const bool modeSwitch = settings.wantsDhcp.has_value();
        EXPECT_EQ(Submit(settings), modeSwitch ? SubmitOutcome::Sent : SubmitOutcome::NothingChanged);
    }
}

// The question comes before anything is written or sent.
TEST_F(CommandsTest, ADeclinedGatewayAndAMissingDeviceChangeNothing)
{
    NewSettings settings = Unchanged();
    settings.gateway = {192, 168, 2, 1};
    EXPECT_EQ(Submit(settings), SubmitOutcome::Declined);
    EXPECT_EQ(device->gateway[0], 0) << "a declined change leaves the record alone";
    table.FreeAllDevices(); // as a search does
    EXPECT_EQ(Submit(Unchanged()), SubmitOutcome::NoDevice);
}

// What a selected device shows is Commands.ClickShowsTheRowsDevice's; here, the numbers that
// select no other device.
TEST_F(CommandsTest, ANumberWithoutADeviceKeepsTheCurrentOneAndNoNumberSelectsNothing)
{
    EXPECT_EQ(SelectDevice(table, 0, 1), std::nullopt);
    EXPECT_EQ(SelectDevice(table, 7, 1).value_or(DeviceSettings{}).macText, QStringLiteral("00:1a:2b:3c:4d:5e"));
    EXPECT_EQ(table.CurrentDevice(), device);
    EXPECT_EQ(SelectDevice(table, 1, 0), std::nullopt) << "an empty list selects nothing";
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

// Ports 0, 80, 8080 and 65535 are Commands.DoubleClickOpensTheDevicesWebPage's; here, the
// numbers a device's five port digits can give that are no port.
TEST(WebAddress, PortIsShownOnlyWhenItIsAPort)
{
    const wire::Ipv4 address{192, 168, 1, 20};
    EXPECT_EQ(DeviceWebAddress({address, -5}), QStringLiteral("http://192.168.1.20"));
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
