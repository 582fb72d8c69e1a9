#pragma once

#include "devices/Device.h"
#include "devices/RowStore.h"

#include <array>
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

    // Whether the last click on `column` put its greatest key at the top.
    bool GreatestFirst(int column) const { return sortToggle_.at(static_cast<std::size_t>(column)); }

private:
    std::array<bool, kColumnCount> sortToggle_{};
};

} // namespace quillon::devices
