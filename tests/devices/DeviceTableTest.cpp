// The device table and the rows it keeps for the view.

#include "devices/DeviceTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace quillon;
using namespace quillon::devices;

namespace {

class DeviceTableTest : public testing::Test {
protected:
    // A short-form answer (or notice) of device "dev<n>" at address text "ip<n>".
    void Enter(std::uint8_t n, ReportKind kind = ReportKind::Answer)
    {
        DeviceEntry entry{{}, {}, QStringLiteral("dev%1").arg(n), QStringLiteral("ip%1").arg(n)};
        entry.report.kind = kind;
        entry.report.protocol = kAnsweredShortForm;
        entry.mac = {0, 0x1A, 0x2B, 0x3C, 0x4D, n};
        table.Enter({&entry, 1});
    }
    DeviceTable table;
    RowFeed& rows = table.Rows();
};

} // namespace

// The list is reordered as a column ordering would: row number 3 moves to the top. A notice of
// device 1 must move the row numbered 1, wherever it stands.
TEST_F(DeviceTableTest, RowsAreFoundByNumberNotByPosition)
{
    for (std::uint8_t n = 1; n <= 3; ++n)
        Enter(n);
    rows.Reorder([](RowFeed::Rows& shown) { std::rotate(shown.begin(), shown.begin() + 2, shown.end()); });
    Enter(1, ReportKind::Notice);
    EXPECT_EQ(rows.Copy(), (RowFeed::Rows{{3, "dev3", "ip3"}, {2, "dev2", "ip2"}, {1, "dev1", "ip1"}}));
    EXPECT_EQ(table.FindByNumber(3)->mac[5], 3);
}

TEST_F(DeviceTableTest, ClearingEmptiesTheTableAndNumberingStartsAgain)
{
    Enter(1);
    Enter(2);
    table.Clear();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.Find({0, 0x1A, 0x2B, 0x3C, 0x4D, 2}), std::nullopt);
    Enter(3);
    EXPECT_EQ(table.FindByNumber(1)->mac[5], 3);
    EXPECT_EQ(rows.Copy(), (RowFeed::Rows{{1, "dev3", "ip3"}}));
}

TEST_F(DeviceTableTest, TheViewIsToldOnceUntilItHasReadTheRows)
{
    int notices = 0;
    rows.SetChangeListener([&] { ++notices; });
    Enter(1);
    Enter(1, ReportKind::Notice);
    EXPECT_EQ(notices, 1);

    EXPECT_EQ(rows.TakeChanges().steps.size(), 3u) << "insert, delete, insert";
    EXPECT_EQ(table.FindByNumber(1)->reports, 2u);
    EXPECT_EQ(notices, 1) << "a look-up changes nothing";
    table.Clear();
    EXPECT_EQ(notices, 2);
    table.Clear();
    EXPECT_EQ(notices, 2) << "clearing an empty list changes nothing";
}

TEST_F(DeviceTableTest, ReadersNeverSeeHalfARefresh)
{
    Enter(1);
    std::atomic<bool> done{false};
    std::thread refresher([&] {
        for (int i = 0; i < 20000; ++i)
            Enter(1, ReportKind::Notice);
        done = true;
    });
    // A notice deletes the row and inserts it again: a reader must never find it missing.
    while (!done)
        ASSERT_EQ(rows.Copy().size(), 1u);
    refresher.join();
}

// One search round gets one answer from each device. Two answers to one round from two
// addresses under one MAC address are two hosts; a device that moved answers the next round from
// its new address alone, and its notice is no answer.
TEST_F(DeviceTableTest, TwoAddressesAnsweringOneRoundWithOneMacAreTwoHosts)
{
    struct Step {
        bool newRound;
        ReportKind kind;
        std::uint8_t source; // 10.0.0.<source>
    };
    const std::tuple<const char*, std::vector<Step>, bool> cases[] = {
        {"two hosts, one round", {{false, ReportKind::Answer, 5}, {false, ReportKind::Answer, 9}}, true},
        {"each host in its own round", {{false, ReportKind::Answer, 5}, {true, ReportKind::Answer, 9}}, false},
        {"moved: notice, then the next round",
         {{false, ReportKind::Answer, 5}, {false, ReportKind::Notice, 9}, {true, ReportKind::Answer, 9}},
         false},
        {"both protocols from one host", {{false, ReportKind::Answer, 5}, {false, ReportKind::Answer, 5}}, false},
        {"two hosts in a later round",
         {{false, ReportKind::Answer, 5}, {true, ReportKind::Answer, 5}, {false, ReportKind::Answer, 9}},
         true},
    };
    for (const auto& [what, steps, shared] : cases) {
        SCOPED_TRACE(what);
        table.Clear();
        for (const Step& step : steps) {
            if (step.newRound)
                table.StartSearchRound();
            DeviceEntry entry{{}, {}, QStringLiteral("cam"), QStringLiteral("ip")};
            entry.mac = {0, 0x1A, 0x2B, 0x3C, 0x4D, 1};
            entry.report.kind = step.kind;
            entry.report.source = {10, 0, 0, step.source};
            table.Enter({&entry, 1});
        }
        const std::optional<std::array<wire::Ipv4, 2>> sources = table.Find({0, 0x1A, 0x2B, 0x3C, 0x4D, 1})->macSharedBy;
        EXPECT_EQ(sources.has_value(), shared);
        if (shared) {
            EXPECT_EQ(*sources, (std::array<wire::Ipv4, 2>{wire::Ipv4{10, 0, 0, 5}, wire::Ipv4{10, 0, 0, 9}}));
        }
    }
}

// Events in order: 'S' a live search at second 100 * its number, '1'/'2' an answer of device 1/2,
// 'n' a notice of device 1. Devices 1 and 2 were found by the first search.
TEST_F(DeviceTableTest, ADeviceIsOfflineOnceItMissedThreeLiveSearchesInARowUntilItReports)
{
    using namespace std::chrono;
    struct Case {
        const char* rule;
        const char* events;
        std::vector<int> offline;          // device numbers taken for offline
        std::optional<int> device1Since;   // the live search that found device 1 offline
    };
    const Case cases[] = {
        {"answering every search", "12S12S12S12S", {}, {}},
        {"two missed and one answering", "12S2S2S2", {}, {}},
        {"the third missed", "12S2S2S2S", {1}, 4},
        {"a notice is a sign of life", "12S2SnS2S2S", {}, {}},
        {"back when it answers", "12S2S2S2S21", {}, {}},
        {"both, the same search", "12SSSS", {1, 2}, 4},
        {"still offline since the first time", "12S2S2S2S2S2", {1}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        table.Clear();
        int searches = 0;
        for (const char* event = c.events; *event != '\0'; ++event) {
            if (*event == 'S')
                table.StartLiveSearch(system_clock::time_point(seconds(100 * ++searches)));
            else
                Enter(static_cast<std::uint8_t>(*event == 'n' ? 1 : *event - '0'), *event == 'n' ? ReportKind::Notice : ReportKind::Answer);
        }
        std::vector<int> offline;
        for (const Device& device : table.All())
            if (device.offlineSince)
                offline.push_back(device.number);
        EXPECT_EQ(offline, c.offline);
        EXPECT_EQ(table.OfflineCount(), c.offline.size());
        const std::optional<system_clock::time_point> since = table.FindByNumber(1)->offlineSince;
        EXPECT_EQ(since, c.device1Since ? std::optional(system_clock::time_point(seconds(100 * *c.device1Since))) : std::nullopt);
    }
}
