#pragma once

#include "devices/DeviceTable.h"
#include "discovery/Receivers.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"
#include "platform/StopSignal.h"

#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace quillon::test {

// Message boxes caught instead of shown, a list lock of its own, and the status the program
// would end with.
class ReceiverBench {
public:
    ReceiverBench();
    ~ReceiverBench();

    // The boxes posted so far, as "[caption] text".
    std::vector<QString> PostedBoxes();
    // Close the posted boxes (runs their `closed` callbacks).
    void CloseBoxes();
    // What a discovery calls when the program must end.
    std::function<void(int)> EndProgram()
    {
        return [this](int status) { endStatus_ = status; };
    }
    // The status EndProgram was called with, or -1.
    int EndStatus() const { return endStatus_.load(); }

private:
    std::mutex boxesMutex_;
    std::vector<QString> boxes_;
    std::vector<std::function<void()>> closers_;
    std::atomic<int> endStatus_{-1};

public:
    QTemporaryDir lockDirectory;
    platform::NamedLock listLock;
};

// The receivers' own way into a device table, fed straight with datagrams, without sockets.
class EntryBench : public ReceiverBench {
public:
    // One datagram, as a receiver of that form would take it, arrived on `card` from `source`.
    void EnterLongForm(wire::Bytes datagram, unsigned card = 0, wire::Ipv4 source = {});
    void EnterShortForm(wire::Bytes datagram, unsigned card = 0, wire::Ipv4 source = {});

    devices::RowFeed::Rows Rows() { return table.Rows().Copy(); }

    devices::DeviceTable table;
    discovery::ReceiverShared shared{table, listLock, EndProgram(), {}};
    platform::StopSignal stop;
};

} // namespace quillon::test
