#include "devices/DeviceRows.h"

#include <algorithm>

namespace quillon::devices {

int MemoryDeviceRows::InsertRow(int position, const RowTexts& texts)
{
    const int at = std::clamp(position, 0, RowCount());
    rows_.insert(rows_.begin() + at, texts);
    return at;
}

void MemoryDeviceRows::DeleteRow(int row)
{
    if (row >= 0 && row < RowCount())
        rows_.erase(rows_.begin() + row);
}

QString MemoryDeviceRows::RowText(int row, Column column) const
{
    if (row < 0 || row >= RowCount())
        return {};
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

} // namespace quillon::devices
