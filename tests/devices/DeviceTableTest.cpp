// The device table and the rows it keeps for the view.

#include "devices/DeviceTable.h"
#include "devices/RowStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace quillon;
using namespace quillon::devices;

namespace {

class DeviceTableTest : public testing::Test {
protected:
    // A record as a receiver makes it: appended, given its row.
    DeviceRecord& Add(std::uint8_t macTail)
    {
        DeviceRecord* record = table.AppendDevice({0, 0x1A, 0x2B, 0x3C, 0x4D, macTail});
        table.AssignRow(*record, QStringLiteral("dev%1").arg(macTail), QStringLiteral("ip%1").arg(macTail));
        return *record;
    }

    RowStore rows;
    DeviceTable table{rows};
};

} // namespace

TEST_F(DeviceTableTest, RowLookupGoesByNumberNotByPosition)
{
    Add(1);
    Add(2);
    Add(3);
    // Reorder the list as a column ordering would: the row numbered 3 moves to the top.
    const DeviceRow moved{rows.RowNumber(2), rows.RowText(2, Column::Name), rows.RowText(2, Column::Address)};
    rows.DeleteRow(2);
    rows.InsertDeviceRow(0, moved);
    EXPECT_EQ(table.FindRowByListIndex(2), 0);
    EXPECT_EQ(table.FindRowByListIndex(0), 1);
    EXPECT_EQ(table.FindRowByListIndex(3), std::nullopt);
}

TEST_F(DeviceTableTest, RefreshWithoutARowStillInsertsOne)
{
    DeviceRecord& record = Add(1);
    rows.Clear();
    table.RefreshRow(record, QStringLiteral("back"), QStringLiteral("ip"));
    EXPECT_EQ(rows.Copy(), (RowStore::Rows{{1, "back", "ip"}}));
}

TEST_F(DeviceTableTest, FreeingEmptiesTheChainAndNumberingStartsAgain)
{
    Add(1);
    table.SelectByListIndex(Add(2).listIndex);
    table.FreeAllDevices();
    rows.Clear();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.CurrentDevice(), nullptr);
    EXPECT_EQ(Add(3).listIndex, 0);
    EXPECT_EQ(rows.Copy(), (RowStore::Rows{{1, "dev3", "ip3"}}));
}

TEST_F(DeviceTableTest, TheViewIsToldOnceUntilItHasReadTheRows)
{
    int notices = 0;
    rows.SetChangeListener([&] { ++notices; });
    DeviceRecord& record = Add(1);
    table.RefreshRow(record, QStringLiteral("c"), QStringLiteral("d"));
    EXPECT_EQ(notices, 1);

    EXPECT_EQ(rows.TakeChanges().steps.size(), 3u) << "insert, delete, insert";
    EXPECT_EQ(table.FindRowByListIndex(0), 0);
    EXPECT_EQ(notices, 1) << "a look-up changes nothing";
    rows.Clear();
    EXPECT_EQ(notices, 2);
    rows.Clear();
    EXPECT_EQ(notices, 2) << "clearing an empty list changes nothing";
}

TEST_F(DeviceTableTest, ReadersNeverSeeHalfARefresh)
{
    DeviceRecord& record = Add(1);
    std::atomic<bool> done{false};
    std::thread refresher([&] {
        for (int i = 0; i < 20000; ++i)
            table.RefreshRow(record, QStringLiteral("name"), QString::number(i));
        done = true;
    });
    // A refresh deletes the row and inserts it again: a reader must never find it missing.
    while (!done)
        ASSERT_EQ(rows.Copy().size(), 1u);
    refresher.join();
}
