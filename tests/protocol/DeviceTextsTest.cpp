#include "protocol/DeviceTexts.h"

#include <gtest/gtest.h>

#include <span>
#include <string_view>
#include <vector>

using namespace quillon::protocol;

namespace {

// The 18-byte name field read from a packet in which two UTF-8 continuation bytes follow it.
QString NameFieldText(std::string_view utf8)
{
    std::vector<std::uint8_t> packet(18, 0);
    std::copy_n(utf8.begin(), std::min<std::size_t>(utf8.size(), 18), packet.begin());
    packet.insert(packet.end(), {0x80, 0x80});
    return NameText(std::span(packet).first(18));
}

} // namespace

// The last rows: six three-byte characters fill the field exactly; seventeen letters and the
// first byte of a three-byte character cut off by the field's end, which is never read past.
TEST(DeviceTexts, NameEndsAtTheFirstZeroAndDecodesUtf8WithinTheField)
{
    const std::pair<std::string_view, QString> cases[] = {
        {"Gate", QStringLiteral("Gate")},
        {{"Ab\0cd", 5}, QStringLiteral("Ab")},
        {"", QString()},
        {"\xEF\xBB\xBF" "admin", QChar(0xFEFF) + QStringLiteral("admin")},
        {"玄関カメラ北", QString::fromUtf8("玄関カメラ北")},
        {"ABCDEFGHIJKLMNOPQ\xE7", QStringLiteral("ABCDEFGHIJKLMNOPQ") + QChar(0xFFFD)},
    };
    for (const auto& [utf8, text] : cases)
        EXPECT_EQ(NameFieldText(utf8), text) << utf8;
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
