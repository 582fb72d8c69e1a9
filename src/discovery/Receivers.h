#pragma once

#include "devices/DeviceTable.h"
#include "platform/NamedLock.h"
#include "platform/StopSignal.h"
#include "discovery/PasswordNotices.h"
#include "discovery/ReceiveSocket.h"
#include "discovery/ReplyEntry.h"
#include "protocol/Wire.h"

#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <thread>

namespace quillon::discovery {

// What the two receivers share with each other and with the UI thread. It must outlive both
// receiver threads and every message box they posted.
struct ReceiverShared {
    devices::DeviceTable& table;
    platform::NamedLock& listLock;
    // Called once a receiver's set-up failure has been shown; the program then ends with
    // `status`. May run on any thread.
    std::function<void(int status)> endProgram;
    // When a "wrong user name or password" box is shown.
    PasswordNotices passwordNotices;
    // Receivers in the middle of a batch of datagrams; Search gives way to them.
    std::atomic<int> receiversBusy{0};
};

inline const QString kPasswordFailureText = QString::fromUtf8("設定失敗:帳號密碼錯誤");


// Bind the receiver's port, broadcast one search request of the receiver's protocol, and enter
// every accepted datagram until `stop` is raised.
ReceiverExit RunLongFormReceiver(ReceiverShared& shared, const platform::StopSignal& stop);
ReceiverExit RunShortFormReceiver(ReceiverShared& shared, const platform::StopSignal& stop);

// Binds `port` as a receiver does and lets it go at once: 0 when that worked, else errno
// (EADDRINUSE: a socket that does not share the port holds it), or -1 when no socket could be
// made. Sends nothing.
int TryReceiverPort(std::uint16_t port);

// A receiver thread's whole life: the run above; after a set-up failure its messages, one
// after the other, and then the end of the program.
void LongFormReceiverThread(ReceiverShared& shared, const platform::StopSignal& stop);
void ShortFormReceiverThread(ReceiverShared& shared, const platform::StopSignal& stop);

// A datagram as a receiver fetched it: its bytes (empty when the receive failed or the datagram
// did not fit) and the card it arrived on.
struct ReceivedDatagram {
    wire::Bytes bytes;
    Arrival arrival;
};

// The one way datagrams reach the device table, for the receivers and for whoever tests them:
// reads each of the batch, posts a "wrong user name or password" notice, and enters the
// accepted replies in order under one taking of ListLock, the receiver counting as busy
// meanwhile. The wait for ListLock watches `stop`: false when it was raised first.
bool EnterLongFormDatagrams(ReceiverShared& shared, std::span<const ReceivedDatagram> batch,
                            const platform::StopSignal& stop);
bool EnterShortFormDatagrams(ReceiverShared& shared, std::span<const ReceivedDatagram> batch,
                             const platform::StopSignal& stop);

// Runs one receiver thread until Stop() or its destruction.
class ReceiverThread {
public:
    using Body = void (*)(ReceiverShared&, const platform::StopSignal&);
    ReceiverThread(Body body, ReceiverShared& shared);
    ~ReceiverThread() { Stop(); }
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    // Wakes the thread and joins it. The caller must hold neither ListLock nor the table's mutex,
    // which the thread may be waiting for.
    void Stop();

private:
    platform::StopSignal stop_;
    std::thread thread_;
};

} // namespace quillon::discovery
