#include "discovery/Receivers.h"

#include "discovery/ReceiveSocket.h"
#include "discovery/ReplyEntry.h"
#include "discovery/Sender.h"
#include "platform/MessageBox.h"
#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace quillon::discovery {

using namespace protocol;

namespace {

// Search gives way while a receiver is in the middle of a batch.
class BusyReceiving {
public:
    explicit BusyReceiving(std::atomic<int>& busy) : busy_(busy) { ++busy_; }
    ~BusyReceiving() { --busy_; }
    BusyReceiving(const BusyReceiving&) = delete;
    BusyReceiving& operator=(const BusyReceiving&) = delete;

private:
    std::atomic<int>& busy_;
};

// Datagrams are read and their entries made before ListLock is taken; the accepted replies of a
// batch are entered under one taking of it.
template <typename Receiving>
bool EnterDatagrams(ReceiverShared& shared, std::span<const ReceivedDatagram> batch, const platform::StopSignal& stop)
{
    const BusyReceiving busy(shared.receiversBusy);
    std::vector<devices::DeviceEntry> entries;
    entries.reserve(batch.size());
    for (const ReceivedDatagram& datagram : batch)
        if (const auto reply = Receiving::Accept(shared, datagram.bytes))
            if (std::optional<devices::DeviceEntry> entry = EntryOf(*reply, datagram.arrival))
                entries.push_back(std::move(*entry));
    if (entries.empty())
        return true;
    const auto now = std::chrono::system_clock::now();
    for (devices::DeviceEntry& entry : entries)
        entry.report.time = now;
    // The wait watches the stop signal: Stop never waits for another copy of the program.
    if (!shared.listLock.Lock(platform::NamedLock::kOtherProcessPatience, [&stop] { return !stop.IsRaised(); }))
        return false;
    std::scoped_lock lock(std::adopt_lock, shared.listLock);
    shared.table.Enter(entries);
    return true;
}

// The start-up search request goes out once the socket is bound: a device that answers at once
// is then heard, not lost.
template <typename Receiving>
ReceiverExit RunReceiver(ReceiverShared& shared, const platform::StopSignal& stop)
{
    ReceiverSocket opened = OpenReceiverSocket(Receiving::kPort);
    if (!opened.fd.IsValid())
        return opened.failure;
    Receiving::SendStartRequest();

    DatagramBatch batch;
    std::vector<ReceivedDatagram> received;
    received.reserve(DatagramBatch::kBatchSize);
    for (;;) {
        if (!stop.WaitReadable(opened.fd.Get()))
            return {};
        const unsigned count = batch.Receive(opened.fd.Get());
        received.clear();
        for (unsigned i = 0; i < count; ++i)
            received.push_back({batch.Datagram(i), batch.ArrivalOf(i)});
        if (!EnterDatagrams<Receiving>(shared, received, stop))
            return {};
    }
}

void PostInOrderThen(QStringList texts, std::function<void()> done)
{
    if (texts.isEmpty()) {
        done();
        return;
    }
    const QString first = texts.takeFirst();
    platform::PostMessageBox(platform::SystemBox(first), [texts, done] { PostInOrderThen(texts, done); });
}

void EndAfterSetupFailure(ReceiverShared& shared, const ReceiverExit& exit)
{
    PostInOrderThen(exit.messages, [&shared] { shared.endProgram(0); });
}

void NoticePasswordFailure(ReceiverShared& shared, const wire::MacAddress& mac)
{
    if (!shared.passwordNotices.Admit(mac, PasswordNotices::Clock::now()))
        return;
    platform::PostMessageBox(platform::ApplicationBox(kPasswordFailureText),
                             [&shared] { shared.passwordNotices.Closed(); });
}

// What sets the two receivers apart. Each builds its start-up request in a buffer of its own:
// the UI thread may be building a request of the same kind at the same moment.
struct LongFormReceiving {
    static constexpr std::uint16_t kPort = kLongFormPort;
    using Reply = LongFormReply;

    static void SendStartRequest()
    {
        LongFormPacket request{};
        BuildLongFormRequest(request);
        BroadcastLongForm(request);
    }
    static std::optional<Reply> Accept(ReceiverShared& shared, wire::Bytes datagram)
    {
        std::optional<Reply> reply = ReadLongFormReply(datagram);
        // Shown without waiting: a box held open under ListLock would stop every receiver of
        // every copy of the program, and replies would overflow the sockets meanwhile.
        if (reply && reply->replyCode == 3)
            NoticePasswordFailure(shared, reply->macAddress);
        return reply;
    }
};

struct ShortFormReceiving {
    static constexpr std::uint16_t kPort = kShortFormPort;
    using Reply = ShortFormReply;

    static void SendStartRequest()
    {
        std::array<std::uint8_t, kShortFormRequestSize> request{};
        BuildShortFormSearchRequest(request);
        BroadcastShortForm(request);
    }
    static std::optional<Reply> Accept(ReceiverShared&, wire::Bytes datagram)
    {
        return ReadShortFormReply(datagram);
    }
};

} // namespace

bool EnterLongFormDatagrams(ReceiverShared& shared, std::span<const ReceivedDatagram> batch,
                            const platform::StopSignal& stop)
{
    return EnterDatagrams<LongFormReceiving>(shared, batch, stop);
}

bool EnterShortFormDatagrams(ReceiverShared& shared, std::span<const ReceivedDatagram> batch,
                             const platform::StopSignal& stop)
{
    return EnterDatagrams<ShortFormReceiving>(shared, batch, stop);
}

ReceiverExit RunLongFormReceiver(ReceiverShared& shared, const platform::StopSignal& stop)
{
    return RunReceiver<LongFormReceiving>(shared, stop);
}

ReceiverExit RunShortFormReceiver(ReceiverShared& shared, const platform::StopSignal& stop)
{
    return RunReceiver<ShortFormReceiving>(shared, stop);
}

int TryReceiverPort(std::uint16_t port)
{
    return OpenReceiverSocket(port).failure.result;
}

void LongFormReceiverThread(ReceiverShared& shared, const platform::StopSignal& stop)
{
    const ReceiverExit exit = RunLongFormReceiver(shared, stop);
    if (!stop.IsRaised())
        EndAfterSetupFailure(shared, exit);
}

void ShortFormReceiverThread(ReceiverShared& shared, const platform::StopSignal& stop)
{
    const ReceiverExit exit = RunShortFormReceiver(shared, stop);
    if (!stop.IsRaised())
        EndAfterSetupFailure(shared, exit);
}

ReceiverThread::ReceiverThread(Body body, ReceiverShared& shared)
    : thread_([this, body, &shared] { body(shared, stop_); })
{
}

void ReceiverThread::Stop()
{
    stop_.Raise();
    if (thread_.joinable())
        thread_.join();
}

} // namespace quillon::discovery
