#include "protocol/DeviceTexts.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

using namespace quillon::protocol;

namespace {

std::vector<std::uint8_t> NameField(std::string_view utf8)
{
    std::vector<std::uint8_t> field(18, 0);
    std::copy_n(utf8.begin(), std::min<std::size_t>(utf8.size(), 18), field.begin());
    return field;
}

} // namespace

TEST(DeviceTexts, AddressOctetsAreThreeDigitsWide)
{
    EXPECT_EQ(AddressText({192, 168, 1, 20}), QStringLiteral("192.168.001.020"));
    EXPECT_EQ(AddressText({0, 0, 0, 0}), QStringLiteral("000.000.000.000"));
    EXPECT_EQ(AddressText({255, 255, 255, 255}), QStringLiteral("255.255.255.255"));
}

TEST(DeviceTexts, NameEndsAtTheFirstZeroAndDecodesUtf8)
{
    EXPECT_EQ(NameText(NameField("Gate")), QStringLiteral("Gate"));
    EXPECT_EQ(NameText(NameField(std::string_view("Ab\0cd", 5))), QStringLiteral("Ab"));
    EXPECT_EQ(NameText(NameField("")), QString());
    EXPECT_EQ(NameText(NameField("\xEF\xBB\xBF" "admin")), QChar(0xFEFF) + QStringLiteral("admin"));
    // Six three-byte characters fill the field exactly.
    EXPECT_EQ(NameText(NameField("玄関カメラ北")), QString::fromUtf8("玄関カメラ北"));
}

TEST(DeviceTexts, BrokenUtf8NeverReadsPastTheField)
{
    // Seventeen letters and the first byte of a three-byte character cut off by the field's end.
    const QString text = NameText(NameField("ABCDEFGHIJKLMNOPQ\xE7"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("ABCDEFGHIJKLMNOPQ")));
    EXPECT_EQ(text.size(), 18);
    EXPECT_EQ(text.back(), QChar(0xFFFD));
}

TEST(DeviceTexts, ShownTextsHaveNoCharacterThatHidesOrReordersText)
{
    const QString r(QChar::ReplacementCharacter);
    const std::pair<const char*, QString> cases[] = {
        {"Gate 玄関 📷", QString::fromUtf8("Gate 玄関 📷")},
        {"line\nbreak\ttab\x7F", "line" + r + "break" + r + "tab" + r},
        {"ad\u200Bmin", "ad" + r + "min"},                  // zero-width space
        {"\u202E" "exe.live", r + "exe.live"},               // right-to-left override
        {"a\u2066b\u200Fc\u061Cd", "a" + r + "b" + r + "c" + r + "d"}, // isolate and marks
        {"one\u2028two\u2029three", "one" + r + "two" + r + "three"},   // line and paragraph separators
        {"cam\uFEFF\u00AD", "cam" + r + r},                 // byte order mark, soft hyphen
        {"tag\U000E0041", "tag" + r},                        // a format character beyond 16 bits
    };
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(DisplayableText(QString::fromUtf8(name)), shown) << name;
}
