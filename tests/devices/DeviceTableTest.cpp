#include "devices/DeviceTable.h"
#include "devices/RowStore.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::devices;

namespace {

class DeviceTableTest : public testing::Test {
protected:
    // A record as a receiver makes it: appended, addressed, given its row.
    DeviceRecord& Add(std::uint8_t macTail, std::uint8_t firstOctet = 192)
    {
        DeviceRecord* record = table.AppendDevice(Mac(macTail));
        record->ipAddress = {firstOctet, 168, 1, macTail, 0};
        table.AssignRow(*record, QStringLiteral("dev%1").arg(macTail), QStringLiteral("ip%1").arg(macTail));
        return *record;
    }

    static wire::MacAddress Mac(std::uint8_t tail) { return {0, 0x1A, 0x2B, 0x3C, 0x4D, tail}; }

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

TEST_F(DeviceTableTest, FirstRecordIsHeadAndTailWithRowOne)
{
    EXPECT_TRUE(table.IsEmpty());
    DeviceRecord& record = Add(1);
    EXPECT_EQ(table.Chain().deviceHead, &record);
    EXPECT_EQ(table.Chain().deviceTail, &record);
    EXPECT_EQ(record.next, nullptr);
    EXPECT_EQ(record.listIndex, 0);
    EXPECT_EQ(table.LastInsertedRow(), 0);
    EXPECT_EQ(rows.RowText(0, Column::Number), QStringLiteral("1"));
    EXPECT_EQ(rows.RowText(0, Column::Name), QStringLiteral("dev1"));
    EXPECT_EQ(rows.RowText(0, Column::Address), QStringLiteral("ip1"));
}

TEST_F(DeviceTableTest, NewRecordIsZeroFilledAndAppendedAtTheTail)
{
    DeviceRecord& first = Add(1);
    DeviceRecord* second = table.AppendDevice(Mac(2));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first.next, second);
    EXPECT_EQ(table.Chain().deviceTail, second);
    EXPECT_EQ(second->listIndex, -1);
    EXPECT_EQ(second->next, nullptr);
    const DeviceRecord zero{};
    EXPECT_EQ(second->ipAddress, zero.ipAddress);
    EXPECT_EQ(second->macAddress[5], 2);
    EXPECT_EQ(second->macAddress[6], 0);
    EXPECT_EQ(second->name, zero.name);
    EXPECT_EQ(second->port1, 0);
    EXPECT_EQ(second->hasDns, 0u);
}

TEST_F(DeviceTableTest, ListIndexLookupFindsTheFirstRecordWithThatIndex)
{
    Add(1);
    DeviceRecord& second = Add(2);
    EXPECT_EQ(table.FindDeviceByListIndex(1), &second);
    EXPECT_EQ(table.FindDeviceByListIndex(2), nullptr);
    EXPECT_EQ(table.FindDeviceByListIndex(-1), nullptr);
}

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

TEST_F(DeviceTableTest, RefreshKeepsTheNumberAndMovesTheRowToTheEnd)
{
    Add(1);
    DeviceRecord& second = Add(2);
    Add(3);
    table.RefreshRow(second, QStringLiteral("renamed"), QStringLiteral("010.000.000.002"));
    EXPECT_EQ(Numbers(), (QStringList{"1", "3", "2"}));
    EXPECT_EQ(table.LastInsertedRow(), 2);
    EXPECT_EQ(rows.RowText(2, Column::Name), QStringLiteral("renamed"));
    EXPECT_EQ(second.listIndex, 1);
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

TEST_F(DeviceTableTest, HoldsAtMost65536RecordsAndFreesThemWithoutRecursion)
{
    for (std::size_t i = 0; i < DeviceTable::kMaximumRecords; ++i)
        ASSERT_NE(table.AppendDevice(Mac(static_cast<std::uint8_t>(i))), nullptr) << i;
    EXPECT_EQ(table.AppendDevice(Mac(1)), nullptr) << "a full table takes no more records";
    EXPECT_EQ(table.RecordCount(), DeviceTable::kMaximumRecords);
    table.FreeAllDevices();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_NE(table.AppendDevice(Mac(1)), nullptr) << "and takes records again once freed";
}
