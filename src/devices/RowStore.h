#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace quillon::devices {

// The device list's columns: the row number (the device's number), the device name and its
// address text, which the row holds, then the device's details, which are read from the device.
enum class Column { Number = 0, Name = 1, Address = 2, Mac = 3, Port = 4, Mode = 5, Card = 6, LastSeen = 7 };
inline constexpr int kColumnCount = 8;
inline constexpr int kTextColumnCount = 3; // the columns a row holds the texts of

// One row: the number that ties it to its device, and the texts it shows.
struct DeviceRow {
    int number = 0; // listIndex + 1
    QString nameText;
    QString addressText;

    // The number, name or address column's text.
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

// What the view of the device list sees of the rows: it is told that they changed, takes the
// changes when it is ready, and may put the rows in another order.
class RowFeed {
public:
    using Rows = std::vector<DeviceRow>;

    // Called after an update that changed the rows while no earlier call is still unread.
    // Runs on the updating thread: it should only post a notice to the view.
    virtual void SetChangeListener(std::function<void()> listener) = 0;
    // The changes since the last call; marks them as read.
    virtual RowChanges TakeChanges() = 0;
    // Rewrites the rows in one step: `reorder` gets them top first and may put them in any
    // order. No row operation of the table can fall inside it.
    virtual void Reorder(const std::function<void(Rows&)>& reorder) = 0;
    // A copy of the rows as they are.
    virtual Rows Copy() = 0;

protected:
    ~RowFeed() = default;
};

class DeviceTable;

// The device list's rows, kept by the core so that the receivers never wait for the UI thread:
// the device table changes them under a short mutex of the store's own, and the view is told
// that something changed (once, until it has read the changes) and takes them when it is ready.
// The view replays the steps, so its work follows the size of the change, not of the list, and
// rows that did not change keep their state. The mutex is never held while waiting for anything
// else. Only the device table changes the rows.
class RowStore final : public RowFeed {
public:
    void SetChangeListener(std::function<void()> listener) override;
    RowChanges TakeChanges() override;
    void Reorder(const std::function<void(Rows&)>& reorder) override;
    Rows Copy() override;

private:
    friend class DeviceTable;
    friend class RowUpdate;

    // The row operations run only between BeginUpdate and EndUpdate (a RowUpdate), so that a
    // find, delete and insert of the device table forms one unit that no reordering of the list
    // can fall into.
    void BeginUpdate();
    void EndUpdate();
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Inserts `row` at `position` (clamped to the list).
    void InsertDeviceRow(int position, const DeviceRow& row);
    void DeleteRow(int row);
    void ReplaceRow(int row, const DeviceRow& texts);
    // The first row numbered `number`, within an update.
    std::optional<int> FindRow(int number) const;
    // Empties the list.
    void Clear();

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

} // namespace quillon::devices
