#pragma once

#include "devices/RowStore.h"

#include <array>
#include <vector>

namespace quillon::devices {

// Ordering of the device list by a click on a column heading. Each column alternates on its own:
// the first click puts the greatest key at the top, the next the smallest, and so on. Numbers
// compare as leading decimal numbers, texts code unit by code unit (no locale, no case folding).
// Rows with equal keys come out in the reverse of their order before the click.
class ColumnOrdering {
public:
    // Reorders `rows` (top first) for a click on `column` and flips that column's toggle; any
    // other column changes nothing and returns false.
    bool OnColumnClick(int column, std::vector<DeviceRow>& rows);

private:
    std::array<bool, kColumnCount> sortToggle_{};
};

} // namespace quillon::devices
