#include "devices/DeviceTable.h"
#include "devices/RowStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace quillon::devices;

TEST(RowStore, TellsTheViewOnceUntilItHasReadTheRows)
{
    RowStore rows;
    DeviceTable table(rows);
    int notices = 0;
    rows.SetChangeListener([&] { ++notices; });

    DeviceRecord* record = table.AppendDevice({});
    table.AssignRow(*record, QStringLiteral("a"), QStringLiteral("b"));
    table.RefreshRow(*record, QStringLiteral("c"), QStringLiteral("d"));
    EXPECT_EQ(notices, 1);

    EXPECT_EQ(rows.TakeChanges().steps.size(), 3u) << "insert, delete, insert";
    EXPECT_EQ(table.FindRowByListIndex(0), 0);
    EXPECT_EQ(notices, 1) << "a look-up changes nothing";
    rows.Clear();
    EXPECT_EQ(notices, 2);
    rows.Clear();
    EXPECT_EQ(notices, 2) << "clearing an empty list changes nothing";
}

TEST(RowStore, ReadersNeverSeeHalfARefresh)
{
    RowStore rows;
    DeviceTable table(rows);
    DeviceRecord* record = table.AppendDevice({});
    table.AssignRow(*record, QStringLiteral("name"), QStringLiteral("address"));

    std::atomic<bool> done{false};
    std::thread refresher([&] {
        for (int i = 0; i < 20000; ++i)
            table.RefreshRow(*record, QStringLiteral("name"), QString::number(i));
        done = true;
    });
    // A refresh deletes the row and inserts it again: a reader must never find it missing.
    while (!done)
        ASSERT_EQ(rows.Copy().size(), 1u);
    refresher.join();
}
