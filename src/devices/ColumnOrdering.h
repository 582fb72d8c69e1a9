#pragma once

#include "devices/Device.h"
#include "devices/RowStore.h"

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace quillon::devices {

// Ordering of the device list by a click on a column heading. Each column alternates on its own:
// the first click puts the greatest key at the top, the next the smallest, and so on. Numbers
// compare as leading decimal numbers, texts code unit by code unit (no locale, no case folding).
// Rows with equal keys come out in the reverse of their order before the click.
class ColumnOrdering {
public:
    // Reorders `rows` (top first) for a click on `column` and flips that column's toggle; any
    // other column changes nothing and returns false. The detail columns read the devices'
    // details by number (`details[number - 1]`); a row without them counts as having none.
    bool OnColumnClick(int column, std::vector<DeviceRow>& rows, std::span<const RowDetails> details = {});

    // The two halves of a click, so that the sort can run on another thread: Click flips the
    // column's toggle and says whether the greatest key goes to the top (nothing when `column`
    // is not a column); Sort, which touches nothing but its arguments, orders the rows so.
    std::optional<bool> Click(int column);
    static void Sort(int column, bool greatestFirst, std::vector<DeviceRow>& rows, std::span<const RowDetails> details);

    // Whether the last click on `column` put its greatest key at the top.
    bool GreatestFirst(int column) const { return sortToggle_.at(static_cast<std::size_t>(column)); }

private:
    std::array<bool, kColumnCount> sortToggle_{};
};

// Puts `rows` in the order of the rows of `ordered`, matched by number; rows that `ordered` lacks
// (listed after it was copied) follow in their own order.
void FollowOrder(const std::vector<DeviceRow>& ordered, std::vector<DeviceRow>& rows);

} // namespace quillon::devices
