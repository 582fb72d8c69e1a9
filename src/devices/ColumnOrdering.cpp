#include "devices/ColumnOrdering.h"

#include <algorithm>
#include <string_view>

namespace quillon::devices {

namespace {

std::u16string_view CodeUnits(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

template <typename Key>
int Compare(const Key& a, const Key& b)
{
    return (a > b) - (a < b);
}

// -1, 0 or 1 as a's key is less than, equal to or greater than b's. The details compare as the
// values they are: MAC addresses as numbers (their texts' order), ports as numbers, modes and
// cards in their own order, times as times.
int CompareKeys(Column column, const DeviceRow& a, const DeviceRow& b, std::span<const RowDetails> details)
{
    static const RowDetails none;
    const auto detailsOf = [&](const DeviceRow& row) -> const RowDetails& {
        const auto at = static_cast<std::size_t>(row.number) - 1;
        return row.number >= 1 && at < details.size() ? details[at] : none;
    };
    const RowDetails& x = detailsOf(a);
    const RowDetails& y = detailsOf(b);
    switch (column) {
    case Column::Number:
        return Compare(a.number, b.number);
    case Column::Name:
    case Column::Address:
        return Compare(CodeUnits(a.Text(column)).compare(CodeUnits(b.Text(column))), 0);
    case Column::Mac:
        return Compare(wire::MacKey(x.mac), wire::MacKey(y.mac));
    case Column::Port:
        return Compare(x.port, y.port);
    case Column::Mode:
        return Compare(x.mode, y.mode);
    case Column::Card:
        return Compare(x.card, y.card);
    case Column::LastSeen:
        return Compare(x.lastSeen, y.lastSeen);
    }
    return 0;
}

} // namespace

bool ColumnOrdering::OnColumnClick(int column, std::vector<DeviceRow>& rows, std::span<const RowDetails> details)
{
    if (column < 0 || column >= kColumnCount)
        return false;
    bool& toggle = sortToggle_[static_cast<std::size_t>(column)];
    const bool descending = toggle;
    toggle = !toggle;

    const auto key = static_cast<Column>(column);
    std::stable_sort(rows.begin(), rows.end(), [&](const DeviceRow& a, const DeviceRow& b) {
        const int order = CompareKeys(key, a, b, details);
        return descending ? order > 0 : order < 0;
    });
    // The rows are written back one by one at the top of the list: the list shows the sorted
    // sequence reversed.
    std::reverse(rows.begin(), rows.end());
    return true;
}

} // namespace quillon::devices
