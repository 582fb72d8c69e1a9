#pragma once

#include <QString>


#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace quillon::devices {

// The device list's columns: the row number (the record's listIndex + 1), the device name and
// its address text.
enum class Column { Number = 0, Name = 1, Address = 2 };
inline constexpr int kColumnCount = 3;

// One row: the number that ties it to its record, and the texts it shows.
struct DeviceRow {
    int number = 0; // listIndex + 1
    QString nameText;
    QString addressText;

    QString Text(Column column) const
    {
        return column == Column::Number ? QString::number(number) : column == Column::Name ? nameText : addressText;
    }
    bool operator==(const DeviceRow&) const = default;
};

// One change of the rows, as the view replays it.
struct RowChange {
    enum class Kind { Insert, Delete, Replace };
    Kind kind;
    int row;
    DeviceRow texts; // Insert and Replace
};

// What changed since the view last read: the steps in order, or, after the rows were emptied or
// reordered, all rows anew.
struct RowChanges {
    bool reset = false;
    bool reordered = false;      // reset, with the rows the view had, only in another order
    std::vector<DeviceRow> rows; // all rows, when reset
    std::vector<RowChange> steps;     // when not reset
};

// The device list's rows, kept by the core so that the receivers never wait for the UI thread:
// they change the rows under a short mutex of the store's own, and the view is told that
// something changed (once, until it has read the changes) and takes them when it is ready.
// The view replays the steps, so its work follows the size of the change, not of the list, and
// rows that did not change keep their state. The mutex is never held while waiting for anything
// else.
class RowStore {
public:
    using Rows = std::vector<DeviceRow>;

    // Called after an update that changed the rows while no earlier call is still unread.
    // Runs on the updating thread: it should only post a notice to the view.
    void SetChangeListener(std::function<void()> listener);

    // The row operations run only between BeginUpdate and EndUpdate (a RowUpdate), so that a
    // find, delete and insert of the device table forms one unit that no reordering of the list
    // can fall into.
    void BeginUpdate();
    void EndUpdate();
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Inserts `row` at `position` (clamped to the list) and returns where it went.
    int InsertDeviceRow(int position, const DeviceRow& row);
    void DeleteRow(int row);
    void ReplaceRow(int row, const DeviceRow& texts);
    // The number of the row at `row`; 0 outside the list.
    int RowNumber(int row) const;
    QString RowText(int row, Column column) const;

    // The changes since the last call, for the view; marks them as read.
    RowChanges TakeChanges();
    // A copy of the rows as they are.
    Rows Copy();

    // Empties the list (the Search command and tests).
    void Clear();

    // Rewrites the rows in one step: `reorder` gets them top first and may put them in any
    // order. No receiver's row operation can fall inside it.
    template <typename Reorder>
    void Rewrite(Reorder&& reorder);

private:
    void Record(RowChange change);
    void MarkReset();

    std::mutex mutex_;
    Rows rows_;
    // The steps since the view last read, unless a reset makes them moot.
    std::vector<RowChange> steps_;
    bool reset_ = false;
    bool reordered_ = false; // the reset only reordered the rows the view has
    bool changed_ = false; // within the open update
    std::atomic<bool> unread_{false};
    std::function<void()> listener_;
};

// Holds an update of the rows open for one scope.
class RowUpdate {
public:
    explicit RowUpdate(RowStore& rows) : rows_(rows) { rows_.BeginUpdate(); }
    ~RowUpdate() { rows_.EndUpdate(); }
    RowUpdate(const RowUpdate&) = delete;
    RowUpdate& operator=(const RowUpdate&) = delete;

private:
    RowStore& rows_;
};

template <typename Reorder>
void RowStore::Rewrite(Reorder&& reorder)
{
    RowUpdate update(*this);
    const bool viewHasTheRows = reset_ ? reordered_ : steps_.empty();
    reorder(rows_);
    MarkReset();
    reordered_ = viewHasTheRows;
}

} // namespace quillon::devices
