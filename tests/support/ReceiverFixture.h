#pragma once

#include "devices/DeviceTable.h"
#include "devices/RowStore.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"
#include "discovery/Discovery.h"

#include <QTemporaryDir>

#include <atomic>
#include <mutex>
#include <vector>

namespace quillon::test {

// The program's discovery with a list lock of its own and message boxes caught instead of
// shown, without a window.
class ReceiverBench {
public:
    ReceiverBench();
    ~ReceiverBench();

    // The boxes posted so far, as "[caption] text".
    std::vector<QString> PostedBoxes();
    // Close the posted boxes (runs their `closed` callbacks).
    void CloseBoxes();
    // The status endProgram was called with, or -1.
    int EndStatus() const { return endStatus_.load(); }

    devices::RowStore::Rows Rows() { return rows.Copy(); }

private:
    std::mutex boxesMutex_;
    std::vector<QString> boxes_;
    std::vector<std::function<void()>> closers_;
    std::atomic<int> endStatus_{-1};

public:
    QTemporaryDir lockDirectory;
    platform::NamedLock listLock;
    discovery::Discovery discovery;
    devices::DeviceTable& table = discovery.Table();
    devices::RowStore& rows = discovery.Rows();
    discovery::ReceiverShared& shared = discovery.Shared();
};

} // namespace quillon::test
