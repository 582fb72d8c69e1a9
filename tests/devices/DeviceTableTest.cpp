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
