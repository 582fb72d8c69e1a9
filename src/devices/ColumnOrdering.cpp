#include "devices/ColumnOrdering.h"

#include <algorithm>
#include <string_view>

namespace quillon::devices {

namespace {

std::u16string_view CodeUnits(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// -1, 0 or 1 as a's key is less than, equal to or greater than b's.
int CompareKeys(Column column, const DeviceRow& a, const DeviceRow& b)
{
    if (column == Column::Number) {
        return (a.number > b.number) - (a.number < b.number);
    }
    const int order = CodeUnits(a.Text(column)).compare(CodeUnits(b.Text(column)));
    return (order > 0) - (order < 0);
}

} // namespace

bool ColumnOrdering::OnColumnClick(int column, std::vector<DeviceRow>& rows)
{
    if (column < 0 || column >= kColumnCount)
        return false;
    bool& toggle = sortToggle_[static_cast<std::size_t>(column)];
    const bool descending = toggle;
    toggle = !toggle;

    const auto key = static_cast<Column>(column);
    std::stable_sort(rows.begin(), rows.end(), [&](const DeviceRow& a, const DeviceRow& b) {
        const int order = CompareKeys(key, a, b);
        return descending ? order > 0 : order < 0;
    });
    // The rows are written back one by one at the top of the list: the list shows the sorted
    // sequence reversed.
    std::reverse(rows.begin(), rows.end());
    return true;
}

} // namespace quillon::devices
