#include "devices/DeviceTable.h"
#include "devices/RowStore.h"

#include <QStringList>

#include <gtest/gtest.h>

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

    QStringList Numbers() const
    {
        QStringList numbers;
        for (int row = 0; row < rows.RowCount(); ++row)
            numbers << rows.RowText(row, Column::Number);
        return numbers;
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
    EXPECT_EQ(Numbers(), QStringList{"1"});
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
    EXPECT_EQ(Numbers(), QStringList{"1"});
}
