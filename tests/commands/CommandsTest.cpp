// Selection, Submit, the name's bytes, the web address and the confirmation rule on a device
// table, without a window. Submit broadcasts, so this runs in the virtual LAN. Which groups a
// set request carries is checked where the simulator logs them, in Quillonctl.SetSends....

#include "commands/Confirmation.h"
#include "commands/DeviceSettings.h"
#include "commands/Submit.h"
#include "protocol/ShortForm.h"
#include "protocol/DeviceTexts.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

using namespace quillon;
using namespace quillon::commands;

namespace {

class CommandsTest : public testing::Test {
protected:
    // A device with an address and nothing else; what the rows below change starts out empty.
    void SetUp() override
    {
        devices::DeviceEntry entry{{}, {}, QString(), QStringLiteral("192.168.001.020")};
        entry.mac = kMac;
        entry.report.ipAddress = {192, 168, 1, 20};
        entry.report.netmask = {255, 255, 255, 0};
        table.Enter({&entry, 1});
    }
    devices::DeviceState Held() const { return table.Find(kMac)->believed; }

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
        return SubmitSettings(table, chosen, settings, [] { return false; }, sendBuffer, &sent);
    }

    static constexpr wire::MacAddress kMac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    devices::DeviceTable table;
    std::optional<wire::MacAddress> chosen = kMac;
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
    EXPECT_EQ(Held().gateway[0], 0) << "a declined change leaves the device alone";
    table.Clear(); // as a search does
    EXPECT_EQ(Submit(Unchanged()), SubmitOutcome::NoDevice);
}

// What a selected device shows is Commands.ClickShowsTheRowsDevice's; here, the numbers that
// select no other device.
TEST_F(CommandsTest, ANumberWithoutADeviceKeepsTheCurrentOneAndNoNumberSelectsNothing)
{
    EXPECT_EQ(SelectDevice(table, 0, 1, chosen), std::nullopt);
    EXPECT_EQ(SelectDevice(table, 7, 1, chosen).value_or(DeviceSettings{}).macText, QStringLiteral("00:1a:2b:3c:4d:5e"));
    EXPECT_EQ(chosen, kMac);
    EXPECT_EQ(SelectDevice(table, 1, 0, chosen), std::nullopt) << "an empty list selects nothing";
}

TEST(DeviceName, EncodesWholeCharactersWithinEighteenBytes)
{
    const auto ascii = protocol::EncodeDeviceName(QStringLiteral("ABCDEFGHIJKLMNOPQRSTU"));
    EXPECT_EQ(std::string(ascii.begin(), ascii.end()), "ABCDEFGHIJKLMNOPQR");
    // Seventeen letters and a three-byte character: the character does not fit and is left out.
    const auto cut = protocol::EncodeDeviceName(QString::fromUtf8("ABCDEFGHIJKLMNOPQ北"));
    EXPECT_EQ(cut[16], 'Q');
    EXPECT_EQ(cut[17], 0);
    const auto emoji = protocol::EncodeDeviceName(QString::fromUtf8("cam 📷"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(emoji.data())), "cam 📷");
}

// The port shows unless it is the web's own, 80, or a number a device's five port digits can
// give that is no port.
TEST(WebAddress, PortIsShownOnlyWhenItIsAPortOtherThan80)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {80, "http://192.168.1.20"},    {-5, "http://192.168.1.20"},        {0, "http://192.168.1.20"},
        {65536, "http://192.168.1.20"}, {8080, "http://192.168.1.20:8080"}, {65535, "http://192.168.1.20:65535"},
    };
    for (const auto& [port, address] : cases)
        EXPECT_EQ(DeviceWebAddress({{192, 168, 1, 20}, port}), QLatin1String(address)) << port;
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
    named.name = protocol::EncodeDeviceName(QStringLiteral("Hall"));
    named.dns = protocol::DnsServers{{1, 1, 1, 1}, {9, 9, 9, 9}};
    named.dhcp = false;

    using Report = std::function<void(devices::Device&)>;
    const Report newAddress = [](devices::Device& d) { d.believed.ipAddress = {192, 168, 1, 50}; };
    const Report newNetmask = [](devices::Device& d) { d.believed.netmask = {255, 255, 0, 0}; };
    const Report dhcpOn = [](devices::Device& d) { d.believed.dhcpEnabled = true; };
    const Report newPort = [](devices::Device& d) { d.believed.ports.port1 = 8080; };
    const Report otherAddress = [](devices::Device& d) { d.believed.ipAddress = {10, 0, 0, 7}; };
    const Report modeUntold = [](devices::Device& d) { d.believed.hasDhcp = false; };
    const Report longForm = [](devices::Device& d) { d.protocols = devices::kAnsweredLongForm; };
    const Report newDns = [](devices::Device& d) { d.believed.dns = {{1, 1, 1, 1}, {9, 9, 9, 9}}; };
    const Report noDns = [](devices::Device& d) { d.believed.hasDns = false; };
    const Report otherName = [](devices::Device& d) { d.believed.name = {'H', 'a', 'l', 'l', 'o'}; };
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
        devices::Device device;
        device.believed.ipAddress = {192, 168, 1, 20};
        device.believed.netmask = {255, 255, 255, 0};
        device.believed.ports.port1 = 80;
        device.believed.hasDhcp = true;
        device.believed.hasDns = true;
        device.believed.name = {'H', 'a', 'l', 'l'};
        for (const Report& change : c.report)
            change(device);
        EXPECT_EQ(DeviceConfirms(c.request, device), c.confirms) << c.what;
    }
}
