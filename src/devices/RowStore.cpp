#include "devices/RowStore.h"

#include <algorithm>

namespace quillon::devices {

namespace {

// Past this many unread steps, reading every row anew is cheaper than replaying them.
constexpr std::size_t kStepsBeforeReset = 1024;

} // namespace

void RowStore::SetChangeListener(std::function<void()> listener)
{
    std::scoped_lock lock(mutex_);
    listener_ = std::move(listener);
}

void RowStore::BeginUpdate()
{
    mutex_.lock();
    changed_ = false;
}

void RowStore::EndUpdate()
{
    const bool notify = changed_ && !unread_.exchange(true);
    const std::function<void()> listener = notify ? listener_ : nullptr;
    mutex_.unlock();
    if (listener)
        listener();
}

void RowStore::Record(RowChange change)
{
    changed_ = true;
    reordered_ = false;
    if (reset_)
        return;
    if (steps_.size() >= std::max(kStepsBeforeReset, rows_.size())) {
        MarkReset();
        return;
    }
    steps_.push_back(std::move(change));
}

void RowStore::MarkReset()
{
    changed_ = true;
    reset_ = true;
    reordered_ = false;
    steps_.clear();
}

void RowStore::InsertDeviceRow(int position, const DeviceRow& row)
{
    const int at = std::clamp(position, 0, RowCount());
    rows_.insert(rows_.begin() + at, row);
    Record({RowChange::Kind::Insert, at, row});
}

void RowStore::DeleteRow(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    rows_.erase(rows_.begin() + row);
    Record({RowChange::Kind::Delete, row, {}});
}

void RowStore::ReplaceRow(int row, const DeviceRow& texts)
{
    if (row < 0 || row >= RowCount())
        return;
    rows_[static_cast<std::size_t>(row)] = texts;
    Record({RowChange::Kind::Replace, row, texts});
}

std::optional<int> RowStore::FindRow(int number) const
{
    const auto found = std::find_if(rows_.begin(), rows_.end(), [number](const DeviceRow& row) { return row.number == number; });
    if (found == rows_.end())
        return std::nullopt;
    return static_cast<int>(found - rows_.begin());
}

RowChanges RowStore::TakeChanges()
{
    std::scoped_lock lock(mutex_);
    unread_ = false;
    RowChanges changes;
    changes.reset = reset_;
    changes.reordered = reordered_;
    if (reset_)
        changes.rows = rows_;
    else
        changes.steps.swap(steps_);
    reset_ = false;
    reordered_ = false;
    return changes;
}

void RowStore::Reorder(const std::function<void(Rows&)>& reorder)
{
    RowUpdate update(*this);
    const bool viewHasTheRows = reset_ ? reordered_ : steps_.empty();
    reorder(rows_);
    MarkReset();
    reordered_ = viewHasTheRows;
}

RowStore::Rows RowStore::Copy()
{
    std::scoped_lock lock(mutex_);
    return rows_;
}

void RowStore::Clear()
{
    RowUpdate update(*this);
    if (rows_.empty() && !reset_ && steps_.empty())
        return;
    rows_.clear();
    MarkReset();
}

} // namespace quillon::devices
