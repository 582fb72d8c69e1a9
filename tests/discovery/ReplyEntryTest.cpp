// How the receivers enter replies into the device table, fed straight with bytes. Which bytes
// a form accepts and where its fields lie is for the protocol tests; here, what an accepted
// reply does to the records, the rows and the message boxes.

#include "SimulatedDevice.h"
#include "protocol/DeviceTexts.h"
#include "support/ReceiverFixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quillon;
using namespace quillon::discovery;
using devsim::SimulatedDevice;

namespace {

// A reply's form in the tables below: the long form, or else the short form's reply kind.
constexpr int kLong = -1;
constexpr unsigned kCard = 7; // the card every reply here arrives on

class ReceiverEntryTest : public testing::Test {
protected:
    // `form` is kLong, or the short form's reply kind.
    void Reply(const SimulatedDevice& device, int form = 0, std::optional<std::size_t> length = {})
    {
        if (form == kLong)
            bench.EnterLongForm(devsim::LongFormReply(device), kCard);
        else
            bench.EnterShortForm(devsim::ShortFormReply(device, static_cast<std::uint8_t>(form), length), kCard);
    }
    static SimulatedDevice Device(std::uint8_t n)
    {
        SimulatedDevice device;
        device.mac = {0x02, 0, 0, 0, 0, n};
        device.ip = {192, 168, 1, static_cast<std::uint8_t>(10 + n)};
        device.name = "dev" + std::to_string(n);
        device.dns1 = {192, 168, 1, 53};
        return device;
    }
    test::EntryBench bench;
};

} // namespace

// One device's replies in turn, each with what changed on the device first, and the record's
// values after it. A long-form reply says "DHCP" only when it is on: "static" leaves whether
// the mode is known as it was. A short-form answer too short for a group says it lacks the
// group and keeps the group's last values. A notice takes the gateway and nothing else. Of a
// longer name only 18 bytes travel: the row shows them, and the device holds them. The device's last report stays apart from what the table holds true:
// the notice's address is kept as the device said it, though the table keeps the old one.
TEST_F(ReceiverEntryTest, EachReplyTakesTheGroupsItCarriesAndKeepsTheRest)
{
    struct Step {
        const char* what;
        int form;
        std::optional<std::size_t> length;
        std::function<void(SimulatedDevice&)> change;
        QString values;
    };
    const auto nothing = [](SimulatedDevice&) {};
    const Step steps[] = {
        {"long, static", kLong, {}, nothing,
         "ports 80/554, dns1 192.168.1.53 (has 1), DHCP 0 (has 0), ip 192.168.1.11, gateway 192.168.1.1"},
        {"long, DHCP", kLong, {}, [](SimulatedDevice& device) { device.dhcp = true; },
         "ports 80/554, dns1 192.168.1.53 (has 1), DHCP 1 (has 1), ip 192.168.1.11, gateway 192.168.1.1"},
        {"long, static again", kLong, {}, [](SimulatedDevice& device) { device.dhcp = false; },
         "ports 80/554, dns1 192.168.1.53 (has 1), DHCP 0 (has 1), ip 192.168.1.11, gateway 192.168.1.1"},
        {"short, 70 bytes, new values", 0, 70,
         [](SimulatedDevice& device) {
             device.port1 = 8080;
             device.dns1 = {1, 1, 1, 1};
             device.dhcp = true;
         },
         "ports 8080/554, dns1 1.1.1.1 (has 1), DHCP 1 (has 1), ip 192.168.1.11, gateway 192.168.1.1"},
        {"short, 50 bytes", 0, 50, nothing,
         "ports 0/0, dns1 1.1.1.1 (has 0), DHCP 1 (has 0), ip 192.168.1.11, gateway 192.168.1.1"},
        {"notice, 70 bytes", 1, 70,
         [](SimulatedDevice& device) {
             device.ip = {10, 9, 9, 9};
             device.gateway = {192, 168, 1, 254};
         },
         "ports 0/0, dns1 1.1.1.1 (has 0), DHCP 1 (has 0), ip 192.168.1.11, gateway 192.168.1.254"},
    };
    const auto dotted = [](const wire::Ipv4& address) { return protocol::DottedDecimal(address).toStdString(); };
    SimulatedDevice device = Device(1);
    device.name = "ABCDEFGHIJKLMNOPQRSTUV";
    for (const Step& step : steps) {
        step.change(device);
        Reply(device, step.form, step.length);
        const std::optional<devices::Device> found = bench.table.Find(device.mac);
        ASSERT_TRUE(found) << step.what;
        const devices::DeviceState& held = found->believed;
        const QString values = QString::asprintf(
            "ports %d/%d, dns1 %s (has %d), DHCP %d (has %d), ip %s, gateway %s", held.ports.port1, held.ports.port2,
            dotted(held.dns.dns1).c_str(), held.hasDns, held.dhcpEnabled, held.hasDhcp,
            dotted(held.ipAddress).c_str(), dotted(held.gateway).c_str());
        EXPECT_EQ(values, step.values) << step.what;
        EXPECT_EQ(std::string(held.name.begin(), held.name.end()), "ABCDEFGHIJKLMNOPQR") << step.what;
        EXPECT_EQ(found->lastReport.card, kCard) << step.what;
        EXPECT_EQ(bench.Rows().front().nameText, QStringLiteral("ABCDEFGHIJKLMNOPQR")) << step.what;
    }
    const devices::DeviceReport notice = bench.table.Find(device.mac)->lastReport;
    EXPECT_EQ(notice.kind, devices::ReportKind::Notice);
    EXPECT_EQ(notice.ipAddress, device.ip) << "the report keeps what the device said";
    EXPECT_NE(notice.time, std::chrono::system_clock::time_point{});
}

// Each row: replies to an empty table (device n is "dev<n>" at 192.168.1.<10 + n> unless the
// reply gives another name or address), and the rows then as "number name address". A device
// keeps its number for good: a new address or name moves a listed device's row to the end, and
// so does a notice, but the first device's row keeps its place, and the row's number still
// finds the device (device n is numbered n in every row). A device without an address (0.0.0.0)
// has one record and row however often it answers. Notices of devices not listed and short-form
// replies of other kinds leave no trace, and no reply here shows a box.
TEST_F(ReceiverEntryTest, ADeviceKeepsItsNumberAndMovesToTheEndWhenItsAddressOrNameChanges)
{
    struct Answer {
        std::uint8_t n;
        int form;
        std::string name = {};
        std::optional<devsim::Ipv4> ip = {};
    };
    const devsim::Ipv4 unknown{0, 0, 0, 0};
    const std::tuple<const char*, std::vector<Answer>, QStringList> cases[] = {
        {"new address, new name",
         {{1, kLong}, {2, kLong}, {3, 0}, {4, kLong}, {3, kLong, "", {{10, 0, 0, 5}}}, {2, 0, "renamed"}},
         {"1 dev1 192.168.001.011", "4 dev4 192.168.001.014", "3 dev3 010.000.000.005", "2 renamed 192.168.001.012"}},
        {"the first device's new address", {{1, kLong}, {2, kLong}, {1, 0, "", {{10, 0, 0, 1}}}},
         {"1 dev1 010.000.000.001", "2 dev2 192.168.001.012"}},
        {"the first device's new name", {{1, 0}, {2, kLong}, {1, kLong, "renamed"}},
         {"1 renamed 192.168.001.011", "2 dev2 192.168.001.012"}},
        {"a notice", {{1, 0}, {2, 0}, {3, 0}, {1, 1, "moved", {{10, 9, 9, 9}}}},
         {"2 dev2 192.168.001.012", "3 dev3 192.168.001.013", "1 moved 010.009.009.009"}},
        {"no address, then one",
         {{1, kLong}, {2, kLong, "", unknown}, {2, 0, "", unknown}, {2, kLong, "", unknown},
          {2, 0, "", {{192, 168, 1, 40}}}},
         {"1 dev1 192.168.001.011", "2 dev2 192.168.001.040"}},
        {"a notice of another, other kinds", {{1, 0}, {2, 1}, {1, 2, "kind 2"}, {3, 255}}, {"1 dev1 192.168.001.011"}},
    };
    for (const auto& [what, replies, rows] : cases) {
        bench.table.Clear(); // as a search does
        for (const Answer& reply : replies) {
            SimulatedDevice device = Device(reply.n);
            if (!reply.name.empty())
                device.name = reply.name;
            device.ip = reply.ip.value_or(device.ip);
            Reply(device, reply.form);
        }
        QStringList shown;
        for (const auto& row : bench.Rows()) {
            shown << QString::number(row.number) + u' ' + row.nameText + u' ' + row.addressText;
            const std::optional<devices::Device> numbered = bench.table.FindByNumber(row.number);
            EXPECT_EQ(numbered ? numbered->mac[5] : 0, row.number) << what << ", row " << row.number;
        }
        EXPECT_EQ(shown, rows) << what;
        EXPECT_EQ(bench.table.Count(), static_cast<std::size_t>(rows.size())) << what;
    }
    EXPECT_TRUE(bench.PostedBoxes().empty());
}

TEST_F(ReceiverEntryTest, PasswordFailureIsShownOneAtATimeAndOncePerDeviceInTenSeconds)
{
    const auto refused = [this](std::uint8_t n) {
        bench.EnterLongForm(devsim::LongFormReply(Device(n), 3)); // a wrong password
    };
    refused(1);
    refused(2);
    const QString expected = QStringLiteral("[%1] %2").arg(platform::ApplicationName(), kPasswordFailureText);
    EXPECT_EQ(bench.PostedBoxes(), std::vector<QString>{expected});
    EXPECT_EQ(bench.table.Count(), 2u) << "the replies still count";
    bench.CloseBoxes();
    refused(2);
    EXPECT_EQ(bench.PostedBoxes().size(), 2u) << "once the box is closed, the next device's is shown";

    PasswordNotices notices;
    const auto start = PasswordNotices::Clock::now();
    const std::pair<int, bool> shownAtSecond[] = {{0, true}, {1, false}, {9, false}, {10, true}, {15, false}, {20, true}};
    for (const auto& [second, shown] : shownAtSecond) {
        EXPECT_EQ(notices.Admit(Device(1).mac, start + std::chrono::seconds(second)), shown) << second;
        notices.Closed();
    }
}

// Every device answers twice, as it does both searches: a dropped device is counted once.
TEST_F(ReceiverEntryTest, AFullTableDropsNewDevicesCountsThemAndStillFollowsKnownOnes)
{
    for (int answer = 0; answer < 2; ++answer)
        for (std::uint32_t i = 0; i < 70000; ++i) {
            SimulatedDevice device = Device(1);
            device.mac = {0x02, 0, 0, static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 8),
                          static_cast<std::uint8_t>(i)};
            Reply(device, 0, 50);
        }
    ASSERT_EQ(bench.table.Count(), 65536u);

    SimulatedDevice known = Device(5); // among the devices listed
    known.port1 = 8081;
    Reply(known, 0, 60);
    EXPECT_EQ(bench.table.Find(known.mac)->believed.ports.port1, 8081);

    // Said once per search, when the next search (or the close) frees the table.
    testing::internal::CaptureStderr();
    bench.table.Clear();
    bench.table.Clear();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("4464 more devices"), std::string::npos) << said;
    EXPECT_EQ(said.find("quillon:"), said.rfind("quillon:")) << said;
    Reply(known, 0, 60);
    EXPECT_EQ(bench.table.Count(), 1u) << "a freed table takes devices again";
}
