// Selection, Submit, the name's bytes, the web address and the confirmation rule on a device
// table, without a window. Submit broadcasts, so this runs in the virtual LAN. Which groups a
// set request carries is checked where the simulator logs them, in Quillonctl.SetSends....

#include "DeviceList.h"
#include "SimulatedDevice.h"
#include "commands/Confirmation.h"
#include "commands/DeviceSettings.h"
#include "commands/Plan.h"
#include "commands/RowHint.h"
#include "commands/Submit.h"
#include "commands/WatchEvents.h"
#include "discovery/Discovery.h"
#include "protocol/DeviceTexts.h"
#include "protocol/ShortForm.h"
#include "support/ReceiverFixture.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <functional>
#include <thread>
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
        const SubmitQuestions declineAll{[] { return false; }, [](const devices::Device&) { return false; }};
        return SubmitSettings(table, chosen, settings, declineAll, sendBuffer,
                              [this](const protocol::ShortFormSetRequest& request) { sent = request; });
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

// Submit sends no address that no device can use, and no netmask that is not a prefix of /1 to
// /30, whether the field was changed or not.
TEST_F(CommandsTest, AnAddressOrNetmaskNoDeviceCanUseIsNeverSent)
{
    const std::tuple<wire::Ipv4, wire::Ipv4, SubmitOutcome> cases[] = {
        {{192, 168, 1, 0}, {255, 255, 255, 0}, SubmitOutcome::UnusableAddress},
        {{192, 168, 1, 255}, {255, 255, 255, 0}, SubmitOutcome::UnusableAddress},
        {{127, 0, 0, 9}, {255, 0, 0, 0}, SubmitOutcome::UnusableAddress},
        {{0, 0, 0, 1}, {255, 255, 255, 0}, SubmitOutcome::UnusableAddress},
        {{224, 0, 0, 5}, {255, 255, 255, 0}, SubmitOutcome::UnusableAddress},
        {{240, 1, 2, 3}, {255, 255, 255, 0}, SubmitOutcome::UnusableAddress},
        {{192, 168, 1, 20}, {0, 0, 0, 0}, SubmitOutcome::UnusableNetmask},
        {{192, 168, 1, 20}, {1, 2, 3, 4}, SubmitOutcome::UnusableNetmask},
        {{192, 168, 1, 20}, {255, 255, 255, 254}, SubmitOutcome::UnusableNetmask},
        {{192, 168, 1, 20}, {255, 0, 255, 0}, SubmitOutcome::UnusableNetmask},
        {{192, 168, 1, 21}, {255, 255, 255, 252}, SubmitOutcome::Sent},
        {{10, 1, 1, 1}, {128, 0, 0, 0}, SubmitOutcome::Sent},
    };
    for (const auto& [address, netmask, outcome] : cases) {
        NewSettings settings = Unchanged();
        settings.ipAddress = address;
        settings.netmask = netmask;
        EXPECT_EQ(Submit(settings), outcome) << protocol::DottedDecimal(address).toStdString() << '/'
                                              << protocol::DottedDecimal(netmask).toStdString();
    }
}

// Each question declined and each refusal sends nothing and leaves the device as it was: a
// gateway outside the subnet, an address another device has, a name the device would keep cut,
// a MAC address two hosts answer with, a device gone with a search.
TEST_F(CommandsTest, ADeclinedQuestionOrARefusalChangesNothing)
{
    devices::DeviceEntry other{{}, {}, QString(), QString()};
    other.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x77};
    other.report.ipAddress = {192, 168, 1, 30};
    table.Enter({&other, 1});
    const std::tuple<const char*, void (*)(NewSettings&, devices::DeviceTable&), SubmitOutcome> cases[] = {
        {"gateway outside", [](NewSettings& s, devices::DeviceTable&) { s.gateway = {192, 168, 2, 1}; },
         SubmitOutcome::Declined},
        {"address held", [](NewSettings& s, devices::DeviceTable&) { s.ipAddress = {192, 168, 1, 30}; },
         SubmitOutcome::AddressHeld},
        {"cut name", [](NewSettings& s, devices::DeviceTable&) { s.name = QString::fromUtf8("玄関カメラ北口"); },
         SubmitOutcome::NameTooLong},
        {"shared MAC",
         [](NewSettings& s, devices::DeviceTable& t) {
             s.port = 8080;
             devices::DeviceEntry twin{kMac, {}, QString(), QString()};
             for (const std::uint8_t host : {std::uint8_t{20}, std::uint8_t{21}}) {
                 twin.report.source = {192, 168, 1, host};
                 twin.report.ipAddress = {192, 168, 1, 20};
                 twin.report.netmask = {255, 255, 255, 0};
                 t.Enter({&twin, 1});
             }
         },
         SubmitOutcome::MacShared},
        {"gone", [](NewSettings& s, devices::DeviceTable& t) { s.port = 8080; t.Clear(); }, SubmitOutcome::NoDevice},
    };
    for (const auto& [what, change, outcome] : cases) {
        SCOPED_TRACE(what);
        NewSettings settings = Unchanged();
        const devices::DeviceState before = Held();
        change(settings, table);
        sent = {};
        EXPECT_EQ(Submit(settings), outcome);
        EXPECT_EQ(sent.macAddress, wire::MacAddress{}) << "nothing went out";
        if (const std::optional<devices::Device> device = table.Find(kMac)) {
            EXPECT_EQ(device->believed.gateway, before.gateway);
            EXPECT_EQ(device->believed.ipAddress, before.ipAddress);
        }
    }
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

// A report of the device against what was asked, by what its own datagram carried: every field
// asked for must be shown; the address is the new one unless DHCP was asked, which only needs
// the device to say DHCP on. A field the datagram does not carry is untold, neither shown nor
// denied.
TEST(Confirmation, AReportMustShowEveryFieldAskedAndSaysWhatItShowsOtherwise)
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

    using Report = std::function<void(devices::DeviceReport&)>;
    const Report newAddress = [](devices::DeviceReport& r) { r.ipAddress = {192, 168, 1, 50}; };
    const Report newNetmask = [](devices::DeviceReport& r) { r.netmask = {255, 255, 0, 0}; };
    const Report dhcpOn = [](devices::DeviceReport& r) { r.dhcp = true; };
    const Report newPort = [](devices::DeviceReport& r) { r.ports = devices::WebPorts{8080, 554}; };
    const Report noPorts = [](devices::DeviceReport& r) { r.ports.reset(); };
    const Report otherAddress = [](devices::DeviceReport& r) { r.ipAddress = {10, 0, 0, 7}; };
    const Report modeUntold = [](devices::DeviceReport& r) { r.dhcp.reset(); };
    const Report newDns = [](devices::DeviceReport& r) { r.dns = protocol::DnsServers{{1, 1, 1, 1}, {9, 9, 9, 9}}; };
    const Report noDns = [](devices::DeviceReport& r) { r.dns.reset(); };
    const Report otherName = [](devices::DeviceReport& r) { r.name = {'H', 'a', 'l', 'l', 'o'}; };
    struct Case {
        const char* what;
        const protocol::ShortFormSetRequest& request;
        std::vector<Report> report;
        const char* verdict; // what it shows otherwise | what it leaves untold
    };
    const Case cases[] = {
        {"new address", address, {newAddress, newNetmask}, "|"},
        {"old address", address, {}, "ip 192.168.1.20, netmask 255.255.255.0|"},
        {"new address, old netmask", address, {newAddress}, "netmask 255.255.255.0|"},
        {"DHCP on at another address", dhcp, {dhcpOn, newPort, otherAddress}, "|"},
        {"DHCP on, old port", dhcp, {dhcpOn}, "port 80|"},
        {"DHCP on, ports not carried", dhcp, {dhcpOn, noPorts}, "|port"},
        {"DHCP still off", dhcp, {newPort}, "dhcp off|"},
        {"mode not told", dhcp, {newPort, modeUntold}, "|dhcp"},
        {"name, DNS and static", named, {newDns}, "|"},
        {"static not told", named, {newDns, modeUntold}, "|dhcp"},
        {"DNS not carried", named, {noDns}, "|dns1,dns2"},
        {"old DNS", named, {}, "dns1 0.0.0.0, dns2 0.0.0.0|"},
        {"other name", named, {newDns, otherName}, "name Hallo|"},
    };
    for (const Case& c : cases) {
        devices::DeviceReport report;
        report.ipAddress = {192, 168, 1, 20};
        report.netmask = {255, 255, 255, 0};
        report.ports = devices::WebPorts{80, 554};
        report.dhcp = false;
        report.dns = protocol::DnsServers{};
        report.name = {'H', 'a', 'l', 'l'};
        for (const Report& change : c.report)
            change(report);
        const ReportCheck check = CheckReport(c.request, report);
        EXPECT_EQ(DescribeOtherwise(check.otherwise) + u'|' + check.untold.join(u','), QLatin1String(c.verdict)) << c.what;
    }
}

// Only the device's own word counts: from the card and the sender it was found by (while the
// request keeps its address). Anybody on the LAN can send a notice, from another card or another
// address; a copy of the device's notice heard on a second card is the same word, not a new one.
TEST(ConfirmationWatch, HearsOnlyTheDeviceOnItsCardFromItsSender)
{
    test::EntryBench bench;
    devsim::SimulatedDevice device;
    const wire::Ipv4 sender{203, 0, 113, 2};
    const auto hear = [&](const devsim::SimulatedDevice& from, unsigned card, wire::Ipv4 source) {
        bench.EnterShortForm(devsim::ShortFormReply(from, 1), card, source);
    };
    bench.EnterShortForm(devsim::ShortFormReply(device), 1, sender); // found on card 1
    protocol::ShortFormSetRequest request;
    request.macAddress = device.mac;
    request.ipAddress = device.ip;
    request.netmask = device.netmask;
    request.port = 8080;
    ConfirmationWatch watch(bench.table, request, {});
    devsim::SimulatedDevice changed = device;
    changed.port1 = 8080;
    devsim::SimulatedDevice forged = changed; // unlike the first forgery, so no echo of it
    forged.name = "Forged";

    struct Step {
        const char* what;
        const devsim::SimulatedDevice& notice;
        unsigned card;
        wire::Ipv4 source;
        ConfirmationState state;
        const char* otherwise;
    };
    const Step steps[] = {
        {"the change, from another card", changed, 2, sender, ConfirmationState::Waiting, ""},
        {"the change, from another sender", forged, 1, {203, 0, 113, 66}, ConfirmationState::Waiting, ""},
        {"its old port, from the device", device, 1, sender, ConfirmationState::Waiting, "port 80"},
        {"the change, from the device", changed, 1, sender, ConfirmationState::Confirmed, ""},
    };
    for (const Step& step : steps) {
        hear(step.notice, step.card, step.source);
        EXPECT_EQ(watch.Check(), step.state) << step.what;
        EXPECT_EQ(DescribeOtherwise(watch.LastCheck().otherwise), QLatin1String(step.otherwise)) << step.what;
    }
    const std::uint32_t reports = bench.table.Find(device.mac)->reports;
    hear(changed, 2, sender);
    EXPECT_EQ(bench.table.Find(device.mac)->reports, reports) << "an echo on the second card";
    EXPECT_EQ(bench.table.Find(device.mac)->lastReport.card, 1u);
}

// A device that confirms at once, many times over: the watch listens before the request leaves,
// so no quick notice is lost and nothing needs asking again.
TEST(ConfirmationWatch, HearsADeviceThatConfirmsAtOnce)
{
    const devsim::SimulatedDevice device = devsim::GenerateDevices(1).front();
    test::SimulatorProcess simulator({"--count", "1", "--confirm", "notice"});
    ASSERT_TRUE(simulator.IsReady());
    test::ReceiverBench bench;
    discovery::Discovery discovery{bench.listLock, bench.EndProgram()};
    discovery.Start();
    const auto waitFor = [](const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (;;) {
            if (condition())
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    // Both answers to the start-up searches are in: a late one would carry the old settings.
    ASSERT_TRUE(waitFor([&] {
        const auto found = discovery.Devices().Find(device.mac);
        return found && found->protocols == (devices::kAnsweredLongForm | devices::kAnsweredShortForm);
    }));
    std::array<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer{};
    int confirmed = 0;
    constexpr int kRuns = 25;
    for (int run = 0; run < kRuns; ++run) {
        const devices::DeviceState held = discovery.Devices().Find(device.mac)->believed;
        NewSettings settings{{}, held.ipAddress, held.netmask, held.gateway, held.dns.dns1, held.dns.dns2,
                             static_cast<std::uint16_t>(1000 + run), {}};
        std::optional<ConfirmationWatch> watch;
        SubmitSettings(discovery.Devices(), device.mac, settings, {[] { return true; }, [](const devices::Device&) { return true; }}, sendBuffer,
                       [&](const protocol::ShortFormSetRequest& request) { watch.emplace(discovery.Devices(), request, nullptr); });
        ASSERT_TRUE(watch) << run;
        confirmed += waitFor([&] { return watch->Check() == ConfirmationState::Confirmed; }) ? 1 : 0;
    }
    EXPECT_EQ(confirmed, kRuns);
    discovery.Stop();
}

// Devices that answered with one address are named by name and MAC address, five at the most;
// the rest are counted. Twenty thousand new cameras at one factory address make one short line.
TEST(RowHint, NamesAtMostFiveDevicesAtTheSameAddressAndCountsTheRest)
{
    std::vector<ListedDevice> twins(kNamedTwins);
    for (std::size_t i = 0; i < twins.size(); ++i) {
        twins[i].name = QStringLiteral("cam%1").arg(i + 1);
        twins[i].macAddress = {0, 0, 0, 0, 0, static_cast<std::uint8_t>(i + 1)};
    }
    const std::pair<std::size_t, const char*> cases[] = {
        {1, "cam1 (00:00:00:00:00:01) answered"},
        {2, "cam1 (00:00:00:00:00:01) and cam2 (00:00:00:00:00:02) answered"},
        {19999, "cam1 (00:00:00:00:00:01), cam2 (00:00:00:00:00:02), cam3 (00:00:00:00:00:03), "
                "cam4 (00:00:00:00:00:04), cam5 (00:00:00:00:00:05) and 19994 more answered"},
    };
    for (const auto& [count, text] : cases) {
        const RowHint hint = DescribeRow(std::nullopt, std::span(twins).first(std::min(count, twins.size())), count);
        EXPECT_TRUE(hint.sharesAddress);
        EXPECT_TRUE(hint.text.startsWith(QLatin1String(text))) << hint.text.toStdString();
    }
}

// A name a spreadsheet would take for a formula leaves Quillon as text, in CSV and in tab-separated
// copies; a plan with such a name, written by `plan` and read by `apply`, gives the name back
// exactly.
TEST(Spreadsheet, AFormulaIsWrittenAsTextAndAPlanReadsTheNameBackExactly)
{
    const QString replaced(QChar::ReplacementCharacter);
    const std::tuple<QString, QString, QString> cases[] = { // name, CSV cell, tab-separated cell
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", "'=HYPERLINK(\"x\")"},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-2+3", "'-2+3", "'-2+3"},
        {"@SUM(1,2)", "\"'@SUM(1,2)\"", "'@SUM(1,2)"},
        {"\tTab", "'\tTab", replaced + "Tab"},
        {"\rCR", "\"'\rCR\"", replaced + "CR"},
        {"'quoted", "''quoted", "''quoted"},
        {"a=b", "a=b", "a=b"},
    };
    for (const auto& [name, csvCell, tabCell] : cases) {
        SCOPED_TRACE(name.toStdString());
        ListedDevice device;
        device.macAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        device.ipAddress = {192, 168, 1, 20};
        device.netmask = {255, 255, 255, 0};
        device.name = name;
        EXPECT_TRUE(QString::fromUtf8(FormatCsv({device})).contains(',' + csvCell + ','));
        EXPECT_EQ(FormatTabSeparated({device}, false).split('\t').value(6), tabCell);

        PlanRequest request;
        request.first = {192, 168, 1, 50};
        request.last = {192, 168, 1, 60};
        request.nameTemplate = name;
        QString error;
        const std::optional<QByteArray> plan = MakePlan({device}, request, error);
        ASSERT_TRUE(plan) << error.toStdString();
        const CheckedPlan checked = CheckPlan(*plan, {device});
        ASSERT_EQ(checked.lines.size(), 1u);
        EXPECT_EQ(checked.lines[0].name, std::optional(name));
    }
}

// A listing shows the DNS servers a device told in any answer, whichever form answered last: a
// short answer too short for them says nothing of them. 0.0.0.0 is no server.
TEST(Listing, DnsServersAreTheDevicesLastToldWhateverFormAnsweredLast)
{
    const auto answer = [](std::uint8_t form, std::optional<wire::Ipv4> dns1) {
        devices::DeviceEntry entry{{0x02, 0, 0, 0, 0, 1}, {}, QString(), QString()};
        entry.report.protocol = form;
        entry.report.ipAddress = {192, 168, 1, 20};
        if (dns1)
            entry.report.dns = protocol::DnsServers{*dns1, {}};
        return entry;
    };
    const wire::Ipv4 server{192, 168, 1, 53};
    const std::tuple<const char*, std::vector<devices::DeviceEntry>, std::optional<wire::Ipv4>> cases[] = {
        {"long, then a short answer without DNS", {answer(devices::kAnsweredLongForm, server), answer(devices::kAnsweredShortForm, {})}, server},
        {"a short answer without DNS, then long", {answer(devices::kAnsweredShortForm, {}), answer(devices::kAnsweredLongForm, server)}, server},
        {"long with none, then short", {answer(devices::kAnsweredLongForm, wire::Ipv4{}), answer(devices::kAnsweredShortForm, {})}, std::nullopt},
        {"short, then long with none", {answer(devices::kAnsweredShortForm, {}), answer(devices::kAnsweredLongForm, wire::Ipv4{})}, std::nullopt},
        {"short only", {answer(devices::kAnsweredShortForm, {})}, std::nullopt},
    };
    for (const auto& [what, answers, shown] : cases) {
        devices::DeviceTable table;
        table.Enter(answers);
        EXPECT_EQ(ListDevices(table, {}).front().dns1, shown) << what;
    }
}

// Two listings of the same site, compared by MAC address.
TEST(Watch, EachDeviceIsNewOnceThenEachChangedFieldAndItsGoingOfflineOrBackIsAnEvent)
{
    const auto device = [](std::uint8_t last, const char* name, std::uint8_t host, bool offline = false) {
        ListedDevice listed;
        listed.macAddress = {0, 0x1a, 0x2b, 0x3c, 0x4d, last};
        listed.name = QLatin1String(name);
        listed.ipAddress = {203, 0, 113, host};
        listed.webPort = 80;
        if (offline)
            listed.offlineSince = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));
        return listed;
    };
    const std::tuple<const char*, std::vector<ListedDevice>, std::vector<ListedDevice>, QStringList> cases[] = {
        {"first seen", {}, {device(1, "Lobby", 20), device(2, "Dock", 22)},
         {"new 00:1a:2b:3c:4d:01 203.0.113.20 Lobby", "new 00:1a:2b:3c:4d:02 203.0.113.22 Dock"}},
        {"nothing happened", {device(1, "Lobby", 20)}, {device(1, "Lobby", 20)}, {}},
        {"two fields", {device(1, "Lobby", 20)}, {device(1, "Hall", 40)},
         {"changed 00:1a:2b:3c:4d:01 203.0.113.40 Hall ip 203.0.113.20 \u2192 203.0.113.40",
          "changed 00:1a:2b:3c:4d:01 203.0.113.40 Hall name Lobby \u2192 Hall"}},
        {"offline", {device(1, "Lobby", 20)}, {device(1, "Lobby", 20, true)}, {"offline 00:1a:2b:3c:4d:01 203.0.113.20 Lobby"}},
        {"still offline", {device(1, "Lobby", 20, true)}, {device(1, "Lobby", 20, true)}, {}},
        {"back, moved", {device(1, "Lobby", 20, true)}, {device(1, "Lobby", 21)},
         {"online 00:1a:2b:3c:4d:01 203.0.113.21 Lobby", "changed 00:1a:2b:3c:4d:01 203.0.113.21 Lobby ip 203.0.113.20 \u2192 203.0.113.21"}},
        {"a name that would steer a terminal", {device(1, "Lobby", 20)}, {device(1, "\x1b[2J", 20)},
         {"changed 00:1a:2b:3c:4d:01 203.0.113.20 \ufffd[2J name Lobby \u2192 \ufffd[2J"}},
    };
    const QDateTime when(QDate(2026, 12, 7), QTime(14, 2, 33));
    for (const auto& [what, before, now, expected] : cases) {
        QStringList lines;
        for (const WatchEvent& event : WatchEvents(before, now))
            lines << WatchEventText(event, when).mid(9); // after the time
        EXPECT_EQ(lines, expected) << what;
    }
    const WatchEvent changed{WatchEvent::Kind::Changed, device(1, "Hall", 40), "ip", "203.0.113.20", "203.0.113.40"};
    const QJsonObject json = QJsonDocument::fromJson(WatchEventJson(changed, when)).object();
    EXPECT_EQ(json.value("event").toString(), QStringLiteral("changed"));
    EXPECT_EQ(json.value("old").toString() + json.value("new").toString(), QStringLiteral("203.0.113.20203.0.113.40"));
    EXPECT_EQ(json.value("mac").toString(), QStringLiteral("00:1a:2b:3c:4d:01"));
    EXPECT_EQ(json.value("time").toString(), when.toUTC().toString(Qt::ISODate));
}
