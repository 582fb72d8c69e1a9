#pragma once

#include "devices/DeviceRows.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace quillon::devices {

// One change of the rows, as the view replays it.
struct RowChange {
    enum class Kind { Insert, Delete, Replace };
    Kind kind;
    int row;
    DeviceRowTexts texts; // Insert and Replace
};

// What changed since the view last read: the steps in order, or, after the rows were emptied or
// reordered, all rows anew.
struct RowChanges {
    bool reset = false;
    std::vector<DeviceRowTexts> rows; // all rows, when reset
    std::vector<RowChange> steps;     // when not reset
};

// The device list's rows, kept by the core so that the receivers never wait for the UI thread:
// they change the rows under a short mutex of the store's own, and the view is told that
// something changed (once, until it has read the changes) and takes them when it is ready.
// The view replays the steps, so its work follows the size of the change, not of the list, and
// rows that did not change keep their state. The mutex is never held while waiting for anything
// else.
class RowStore final : public DeviceRows {
public:
    using Rows = std::vector<DeviceRowTexts>;

    // Called after an update that changed the rows while no earlier call is still unread.
    // Runs on the updating thread: it should only post a notice to the view.
    void SetChangeListener(std::function<void()> listener);

    void BeginUpdate() override;
    void EndUpdate() override;
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int InsertDeviceRow(int position, const DeviceRowTexts& texts) override;
    void DeleteRow(int row) override;
    void ReplaceRow(int row, const DeviceRowTexts& texts) override;
    QString RowText(int row, Column column) const override;

    // The changes since the last call, for the view; marks them as read.
    RowChanges TakeChanges();
    // A copy of the rows as they are.
    Rows Copy();

    // Empties the list (the Search command and tests).
    void Clear();

    // Rewrites the rows in one step: `reorder` gets them top first and may put them in any
    // order. No receiver's row operation can fall inside it.
    template <typename Reorder>
    void Rewrite(Reorder&& reorder)
    {
        RowUpdate update(*this);
        reorder(rows_);
        MarkReset();
    }

private:
    void Record(RowChange change);
    void MarkReset();

    std::mutex mutex_;
    Rows rows_;
    // The steps since the view last read, unless a reset makes them moot.
    std::vector<RowChange> steps_;
    bool reset_ = false;
    bool changed_ = false; // within the open update
    std::atomic<bool> unread_{false};
    std::function<void()> listener_;
};

} // namespace quillon::devices
