#include "devices/ColumnOrdering.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace quillon::devices;

namespace {

std::vector<DeviceRow> Rows(const QList<int>& numbers, const QStringList& names = {}, const QStringList& addresses = {})
{
    std::vector<DeviceRow> rows;
    for (qsizetype i = 0; i < numbers.size(); ++i)
        rows.push_back({numbers[i], names.value(i), addresses.value(i)});
    return rows;
}

QStringList Texts(const std::vector<DeviceRow>& rows, quillon::devices::Column column)
{
    QStringList texts;
    for (const auto& row : rows)
        texts << row.Text(column);
    return texts;
}

} // namespace

TEST(ColumnOrdering, NumbersAlternateStartingWithTheGreatestOnTop)
{
    ColumnOrdering ordering;
    auto rows = Rows({1, 2, 3});
    ordering.OnColumnClick(0, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"3", "2", "1"}));
    ordering.OnColumnClick(0, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"1", "2", "3"}));
    ordering.OnColumnClick(0, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"3", "2", "1"}));
}

TEST(ColumnOrdering, NumbersCompareAsNumbersNotTexts)
{
    ColumnOrdering ordering;
    auto rows = Rows({9, 10, 0, 2});
    ordering.OnColumnClick(0, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"10", "9", "2", "0"}));
}

TEST(ColumnOrdering, NamesCompareByCodeUnitWithoutCaseFolding)
{
    ColumnOrdering ordering;
    auto rows = Rows({1, 2, 3}, {"beta", "Alpha", "alpha"});
    ordering.OnColumnClick(1, rows);
    EXPECT_EQ(Texts(rows, Column::Name), (QStringList{"beta", "alpha", "Alpha"}));
    ordering.OnColumnClick(1, rows);
    EXPECT_EQ(Texts(rows, Column::Name), (QStringList{"Alpha", "alpha", "beta"}));
}

TEST(ColumnOrdering, NonAsciiNamesCompareAsUnsignedCodeUnits)
{
    ColumnOrdering ordering;
    auto rows = Rows({1, 2, 3}, {QString::fromUtf8("玄関"), "zeta", QString::fromUtf8("Äpfel")});
    ordering.OnColumnClick(1, rows); // greatest first: U+7384 > U+00C4 > 'z'
    EXPECT_EQ(Texts(rows, Column::Name), (QStringList{QString::fromUtf8("玄関"), QString::fromUtf8("Äpfel"), "zeta"}));
}

TEST(ColumnOrdering, PaddedAddressesOrderNumerically)
{
    ColumnOrdering ordering;
    auto rows = Rows({1, 2}, {"a", "b"}, {"010.000.000.009", "010.000.000.010"});
    ordering.OnColumnClick(2, rows);
    EXPECT_EQ(rows.front().addressText, QStringLiteral("010.000.000.010"));
}

TEST(ColumnOrdering, EqualKeysSwapOnEveryClick)
{
    ColumnOrdering ordering;
    auto rows = Rows({1, 2}, {"same", "same"});
    ordering.OnColumnClick(1, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"2", "1"}));
    ordering.OnColumnClick(1, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"1", "2"}));
}

TEST(ColumnOrdering, EachColumnKeepsItsOwnToggle)
{
    ColumnOrdering ordering;
    auto rows = Rows({1, 2, 3}, {"b", "c", "a"});
    for (int i = 0; i < 3; ++i)
        ordering.OnColumnClick(0, rows);
    ordering.OnColumnClick(1, rows);
    EXPECT_EQ(Texts(rows, Column::Name), (QStringList{"c", "b", "a"})) << "column 1 starts with its first state";
}

TEST(ColumnOrdering, EmptyAndSingleListsStillFlipTheToggle)
{
    ColumnOrdering ordering;
    std::vector<DeviceRow> empty;
    EXPECT_TRUE(ordering.OnColumnClick(2, empty));
    EXPECT_TRUE(empty.empty());
    auto rows = Rows({1, 2}, {"a", "b"}, {"x", "y"});
    ordering.OnColumnClick(2, rows); // the second click on column 2: smallest on top
    EXPECT_EQ(rows.front().addressText, QStringLiteral("x"));
}

TEST(ColumnOrdering, UnknownColumnsChangeNothing)
{
    ColumnOrdering ordering;
    auto rows = Rows({2, 1});
    EXPECT_FALSE(ordering.OnColumnClick(3, rows));
    EXPECT_FALSE(ordering.OnColumnClick(-1, rows));
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"2", "1"}));
    ordering.OnColumnClick(0, rows);
    EXPECT_EQ(Texts(rows, Column::Number), (QStringList{"2", "1"})) << "column 0 was still at its first state";
}
