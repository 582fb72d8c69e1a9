#include "devices/RowStore.h"

#include <algorithm>

namespace quillon::devices {

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

int RowStore::InsertDeviceRow(int position, const DeviceRowTexts& texts)
{
    const int at = std::clamp(position, 0, RowCount());
    rows_.insert(rows_.begin() + at, texts);
    changed_ = true;
    return at;
}

void RowStore::DeleteRow(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    rows_.erase(rows_.begin() + row);
    changed_ = true;
}

QString RowStore::RowText(int row, Column column) const
{
    if (row < 0 || row >= RowCount())
        return {};
    return rows_[static_cast<std::size_t>(row)].Text(column);
}

RowStore::Rows RowStore::Snapshot()
{
    std::scoped_lock lock(mutex_);
    unread_ = false;
    return rows_;
}

void RowStore::Clear()
{
    RowUpdate update(*this);
    changed_ = !rows_.empty();
    rows_.clear();
}

} // namespace quillon::devices
