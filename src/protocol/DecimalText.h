#pragma once

#include <climits>
#include <cstdint>
#include <string_view>

namespace quillon {

// Reads a decimal number the way atoi does: leading blanks, at most one sign, then digits up to
// the first non-digit or the end of the text. No digits gives 0. Values beyond int saturate
// instead of overflowing.
template <typename Char>
int ParseLeadingInteger(std::basic_string_view<Char> text)
{
    auto isBlank = [](Char c) {
        return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\v') ||
               c == Char('\f') || c == Char('\r');
    };
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == Char('+') || text[i] == Char('-'))) {
        negative = text[i] == Char('-');
        ++i;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= Char('0') && text[i] <= Char('9'); ++i) {
        magnitude = magnitude * 10 + static_cast<int>(text[i] - Char('0'));
        if (magnitude > std::int64_t{INT_MAX} + 1)
            magnitude = std::int64_t{INT_MAX} + 1;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int>(value);
}

} // namespace quillon
