#pragma once

#include "devices/DeviceTable.h"
#include "devices/RowStore.h"
#include "discovery/Receivers.h"
#include "platform/NamedLock.h"
#include "protocol/LongForm.h"
#include "protocol/Protocol.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace quillon::discovery {

// How the owner's thread takes ListLock: the window keeps serving its events while it waits,
// a command-line run simply waits.
using LockTaker = std::function<void(platform::NamedLock&)>;
void TakeLockAndWait(platform::NamedLock& lock);

// Finding devices, in one place: the device table and the rows that list it, the two receivers
// that fill them, and the search that starts them over. The window and the command line each
// own one.
//
// Threads: the owner's thread calls every member; the two receiver threads run from Start to
// Stop and change the table and the rows, never anything of the owner's.
//
// Locks, always taken in this order and never held while waiting for another thread, for the
// network or for a person:
//   1. ListLock: the chain's structure and the rows, between the receivers, Search and Close,
//      and between running copies of the program (which wait for each other about a second at
//      most: every copy has a table of its own);
//   2. the table's RecordsMutex(): the chain's links and the records' fields, also for whoever
//      reads or writes a record without ListLock (selection, Submit, the web page);
//   3. the row store's own mutex: each row operation, and the view while it reads the changes.
class Discovery {
public:
    // `endProgram` is called, on any thread, once a receiver's set-up failure (its port cannot
    // be bound, for instance) has been shown: the program cannot go on.
    Discovery(platform::NamedLock& listLock, std::function<void(int status)> endProgram);
    ~Discovery() { Stop(); }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Starts the long-form receiver, then the short-form one. Each binds its port and then
    // broadcasts one search request of its protocol, so that no early answer is lost.
    void Start();

    // Forgets every device, empties the list and broadcasts both search requests, the short form
    // first, all under ListLock. Gives way, doing nothing and returning false, while a receiver
    // is in the middle of a datagram.
    bool Search(const LockTaker& takeLock = TakeLockAndWait);

    // Wakes both receivers and joins them. Takes no lock: a receiver may be waiting for one.
    void Stop();

    // Stops the receivers, then frees the table under ListLock, not waiting for another copy of
    // the program: this process's table is its own.
    void Close(const LockTaker& takeLock);

    devices::DeviceTable& Table() { return table_; }
    devices::RowStore& Rows() { return rows_; }
    platform::NamedLock& ListLock() { return shared_.listLock; }
    // What the receivers share; tests and fuzzers feed datagrams through it without sockets.
    ReceiverShared& Shared() { return shared_; }

private:
    devices::RowStore rows_;
    devices::DeviceTable table_{rows_};
    ReceiverShared shared_;
    // The owner thread's search requests; each receiver builds its own.
    std::array<std::uint8_t, protocol::kShortFormRequestSize> shortFormSearch_{};
    protocol::LongFormPacket longFormSearch_{};
    // Last, so that the threads are joined before anything they use goes.
    std::unique_ptr<ReceiverThread> longFormReceiver_;
    std::unique_ptr<ReceiverThread> shortFormReceiver_;
};

} // namespace quillon::discovery
