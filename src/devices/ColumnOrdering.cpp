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

std::optional<bool> ColumnOrdering::Click(int column)
{
    if (column < 0 || column >= kColumnCount)
        return std::nullopt;
    bool& toggle = sortToggle_[static_cast<std::size_t>(column)];
    toggle = !toggle;
    return toggle;
}

void ColumnOrdering::Sort(int column, bool greatestFirst, std::vector<DeviceRow>& rows, std::span<const RowDetails> details)
{
    const auto key = static_cast<Column>(column);
    std::stable_sort(rows.begin(), rows.end(), [&](const DeviceRow& a, const DeviceRow& b) {
        const int order = CompareKeys(key, a, b, details);
        return greatestFirst ? order < 0 : order > 0;
    });
    // The rows are written back one by one at the top of the list: the list shows the sorted
    // sequence reversed.
    std::reverse(rows.begin(), rows.end());
}

bool ColumnOrdering::OnColumnClick(int column, std::vector<DeviceRow>& rows, std::span<const RowDetails> details)
{
    const std::optional<bool> greatestFirst = Click(column);
    if (greatestFirst)
        Sort(column, *greatestFirst, rows, details);
    return greatestFirst.has_value();
}

void FollowOrder(const std::vector<DeviceRow>& ordered, std::vector<DeviceRow>& rows)
{
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    int highest = 0;
    for (const DeviceRow& row : rows)
        highest = std::max(highest, row.number);
    std::vector<std::size_t> at(static_cast<std::size_t>(highest) + 1, kNone); // by number
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].number >= 0)
            at[static_cast<std::size_t>(rows[i].number)] = i;
    std::vector<DeviceRow> result;
    result.reserve(rows.size());
    std::vector<bool> taken(rows.size());
    for (const DeviceRow& row : ordered) {
        if (row.number < 0 || row.number > highest)
            continue;
        const std::size_t i = at[static_cast<std::size_t>(row.number)];
        if (i == kNone || taken[i])
            continue;
        taken[i] = true;
        result.push_back(std::move(rows[i]));
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!taken[i])
            result.push_back(std::move(rows[i]));
    rows.swap(result);
}

} // namespace quillon::devices
