#include "devices/ColumnOrdering.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace quillon::devices;

// Each row: the rows before, the heading clicks (-1 and 3 are not columns; a click on an empty
// list comes first when `emptyFirst`), and the column read afterwards, top first.
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
        {"not columns", {2, 1}, {}, {}, {3, -1, 0}, Column::Number, {"2", "1"}},
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
            EXPECT_EQ(ordering.OnColumnClick(column, rows), column >= 0 && column < 3) << column;
        QStringList shown;
        for (const auto& row : rows)
            shown << row.Text(c.shown);
        EXPECT_EQ(shown, c.expected);
    }
}
