#pragma once

#include "devices/DeviceRows.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace quillon::devices {

// The device list's rows, kept by the core so that the receivers never wait for the UI thread:
// they change the rows under a short mutex of the store's own, and the view is told that
// something changed (once, until it has read the rows again) and reads a copy when it is ready.
// The mutex is never held while waiting for anything else.
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
    QString RowText(int row, Column column) const override;

    // A copy of the rows for the view; marks the changes so far as read.
    Rows Snapshot();

    // Empties the list (the Search command and tests).
    void Clear();

    // Rewrites the rows in one step: `reorder` gets them top first and may put them in any
    // order. No receiver's row operation can fall inside it.
    template <typename Reorder>
    void Rewrite(Reorder&& reorder)
    {
        RowUpdate update(*this);
        reorder(rows_);
        changed_ = true;
    }

private:
    std::mutex mutex_;
    Rows rows_;
    bool changed_ = false;          // within the open update
    std::atomic<bool> unread_{false};
    std::function<void()> listener_;
};

} // namespace quillon::devices
