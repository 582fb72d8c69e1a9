#include "devices/ColumnOrdering.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace quillon::devices;

// Each row: the rows before (with their devices' details by number), the heading clicks (-1 and 8
// are not columns; a click on an empty list comes first when `emptyFirst`), and the column read
// afterwards, top first.
TEST(ColumnOrdering, EachHeadingAlternatesGreatestFirstWithItsOwnToggle)
{
    struct Case {
        const char* rule;
        QList<int> numbers;
        QStringList names, addresses;
        std::vector<int> clicks;
        Column shown;
        QStringList expected;
        bool emptyFirst = false;
        std::vector<RowDetails> details = {};
    };
    using namespace std::chrono;
    const auto mac = [](std::uint8_t first, std::uint8_t last) { return quillon::wire::MacAddress{first, 0, 0, 0, 0, last}; };
    const auto seen = [](int second) { return system_clock::time_point(seconds(1'800'000'000 + second)); };
    const std::vector<RowDetails> details = {
        {mac(0, 0x0a), 8080, AddressMode::Static, 2, seen(30), std::nullopt},
        {mac(0x0a, 0), 80, AddressMode::Unknown, 1, seen(5), seen(60)},
        {mac(0, 0x09), 443, AddressMode::Dhcp, 3, seen(20), std::nullopt},
    };
    const Case cases[] = {
        {"greatest first", {1, 2, 3}, {}, {}, {0}, Column::Number, {"3", "2", "1"}},
        {"then smallest first", {1, 2, 3}, {}, {}, {0, 0}, Column::Number, {"1", "2", "3"}},
        {"and again greatest", {1, 2, 3}, {}, {}, {0, 0, 0}, Column::Number, {"3", "2", "1"}},
        {"numbers as numbers", {9, 10, 0, 2}, {}, {}, {0}, Column::Number, {"10", "9", "2", "0"}},
        {"no case folding", {1, 2, 3}, {"beta", "Alpha", "alpha"}, {}, {1}, Column::Name, {"beta", "alpha", "Alpha"}},
        {"by code unit", {1, 2, 3}, {"beta", "Alpha", "alpha"}, {}, {1, 1}, Column::Name, {"Alpha", "alpha", "beta"}},
        {"unsigned code units", {1, 2, 3}, {"玄関", "zeta", "Äpfel"}, {}, {1}, Column::Name, {"玄関", "Äpfel", "zeta"}},
        {"padded addresses", {1, 2}, {}, {"010.000.000.009", "010.000.000.010"}, {2}, Column::Address,
         {"010.000.000.010", "010.000.000.009"}},
        {"equal keys swap", {1, 2}, {"same", "same"}, {}, {1}, Column::Number, {"2", "1"}},
        {"and swap back", {1, 2}, {"same", "same"}, {}, {1, 1}, Column::Number, {"1", "2"}},
        {"own toggle", {1, 2, 3}, {"b", "c", "a"}, {}, {0, 0, 0, 1}, Column::Name, {"c", "b", "a"}},
        {"an empty list flips it", {1, 2}, {}, {"x", "y"}, {2}, Column::Address, {"x", "y"}, true},
        {"not columns", {2, 1}, {}, {}, {8, -1, 0}, Column::Number, {"2", "1"}},
        {"MAC addresses as numbers", {1, 2, 3}, {}, {}, {3}, Column::Number, {"2", "1", "3"}, false, details},
        {"ports as numbers", {1, 2, 3}, {}, {}, {4, 4}, Column::Number, {"2", "3", "1"}, false, details},
        {"DHCP, Static, unknown", {1, 2, 3}, {}, {}, {5, 5}, Column::Number, {"3", "1", "2"}, false, details},
        {"cards by number", {1, 2, 3}, {}, {}, {6}, Column::Number, {"3", "1", "2"}, false, details},
        {"last seen, offline or not", {1, 2, 3}, {}, {}, {7}, Column::Number, {"1", "3", "2"}, false, details},
        {"a row without a device", {1, 4}, {}, {}, {4}, Column::Number, {"1", "4"}, false, details},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        ColumnOrdering ordering;
        if (c.emptyFirst) {
            std::vector<DeviceRow> empty;
            EXPECT_TRUE(ordering.OnColumnClick(c.clicks.front(), empty));
        }
        std::vector<DeviceRow> rows;
        for (qsizetype i = 0; i < c.numbers.size(); ++i)
            rows.push_back({c.numbers[i], c.names.value(i), c.addresses.value(i)});
        for (int column : c.clicks)
            EXPECT_EQ(ordering.OnColumnClick(column, rows, c.details), column >= 0 && column < kColumnCount) << column;
        QStringList shown;
        for (const auto& row : rows)
            shown << row.Text(c.shown);
        EXPECT_EQ(shown, c.expected);
    }
}

// The rows, by number, as they are when the ordered copy comes back; the ordered copy; the rows after.
TEST(ColumnOrdering, RowsTakeTheOrderOfTheirOrderedCopyAndRowsListedMeanwhileFollow)
{
    const std::tuple<const char*, std::vector<int>, std::vector<int>, std::vector<int>> cases[] = {
        {"unchanged meanwhile", {1, 2, 3}, {3, 1, 2}, {3, 1, 2}},
        {"listed meanwhile", {1, 2, 3, 5, 4}, {3, 1, 2}, {3, 1, 2, 5, 4}},
        {"moved to the end meanwhile", {1, 3, 2}, {2, 3, 1}, {2, 3, 1}},
        {"gone meanwhile", {1, 3}, {3, 2, 1}, {3, 1}},
        {"all gone (a search)", {}, {2, 1}, {}},
    };
    const auto rowsNumbered = [](const std::vector<int>& numbers) {
        std::vector<DeviceRow> rows;
        for (int number : numbers)
            rows.push_back({number, QString::number(number), {}});
        return rows;
    };
    for (const auto& [what, now, ordered, expected] : cases) {
        std::vector<DeviceRow> rows = rowsNumbered(now);
        FollowOrder(rowsNumbered(ordered), rows);
        std::vector<int> numbers;
        for (const DeviceRow& row : rows)
            numbers.push_back(row.number);
        EXPECT_EQ(numbers, expected) << what;
    }
}
