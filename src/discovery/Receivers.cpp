#include "discovery/Receivers.h"

#include "discovery/ReplyEntry.h"
#include "discovery/Sender.h"
#include "platform/MessageBox.h"
#include "platform/ReceiveBuffer.h"
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

// ---- Socket set-up and the receive loop, the same for both protocols -----------------------

struct ReceiverSocket {
    platform::UniqueFd fd;
    ReceiverExit failure;
};

ReceiverExit SetupFailure(int result, const char* format, int error)
{
    return {result, {QString::asprintf(format, error)}};
}

ReceiverSocket OpenReceiverSocket(std::uint16_t port)
{
    ReceiverSocket opened;
    opened.fd.Reset(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!opened.fd.IsValid()) {
        const int error = errno;
        opened.failure = SetupFailure(-1, "ERROR:  %d socket() failed", error);
        opened.failure.messages << QString::asprintf("ERROR:  %d SOCKET test fails", error);
        return opened;
    }
    // Copies of the program share the port, and each gets every broadcast answer. SO_REUSEPORT
    // lets only processes of the same user join; SO_REUSEADDR would let any user bind the port
    // too and take the datagrams sent to it.
    const int enable = 1;
    if (::setsockopt(opened.fd.Get(), SOL_SOCKET, SO_REUSEPORT, &enable, sizeof enable) < 0) {
        opened.failure = SetupFailure(errno, "ERROR:  %d setsockopt( SO_REUSEPORT )", errno);
        opened.fd.Reset();
        return opened;
    }
    // Each datagram then tells the card it arrived on. Without it answers are still taken, only
    // without their card.
    (void)::setsockopt(opened.fd.Get(), IPPROTO_IP, IP_PKTINFO, &enable, sizeof enable);
    const sockaddr_in address = platform::AnyAddress(port);
    if (::bind(opened.fd.Get(), platform::AsSocketAddress(address), sizeof address) < 0) {
        opened.failure = SetupFailure(errno, "ERROR:  %d bind() failed", errno);
        opened.fd.Reset();
        return opened;
    }
    platform::EnlargeReceiveBuffer(opened.fd.Get());
    return opened;
}

// Up to kBatchSize datagrams fetched with one call, each with its sender and the card it arrived on. A
// datagram longer than its buffer is marked truncated by the kernel and is dropped rather than
// read in part.
class DatagramBatch {
public:
    static constexpr unsigned kBatchSize = 64;

    DatagramBatch()
        : buffers_(kBatchSize), controls_(kBatchSize), senders_(kBatchSize), vectors_(kBatchSize), headers_(kBatchSize)
    {
        for (unsigned i = 0; i < kBatchSize; ++i) {
            vectors_[i] = {buffers_[i].data(), buffers_[i].size()};
            headers_[i].msg_hdr.msg_iov = &vectors_[i];
            headers_[i].msg_hdr.msg_iovlen = 1;
        }
    }

    // What is waiting on `fd`, without blocking; 0 on a failed receive.
    unsigned Receive(int fd)
    {
        // The kernel shortens msg_controllen and msg_namelen to what it wrote: every call starts
        // afresh.
        for (unsigned i = 0; i < kBatchSize; ++i) {
            headers_[i].msg_hdr.msg_control = controls_[i].bytes.data();
            headers_[i].msg_hdr.msg_controllen = controls_[i].bytes.size();
            headers_[i].msg_hdr.msg_name = &senders_[i];
            headers_[i].msg_hdr.msg_namelen = sizeof senders_[i];
        }
        const int count = ::recvmmsg(fd, headers_.data(), kBatchSize, MSG_DONTWAIT, nullptr);
        return count > 0 ? static_cast<unsigned>(count) : 0;
    }

    // The sender and the card of datagram `i` (CMSG_NXTHDR wants the header writable, hence no
    // const).
    Arrival ArrivalOf(unsigned i)
    {
        Arrival arrival;
        msghdr& header = headers_[i].msg_hdr;
        if (header.msg_namelen >= sizeof(sockaddr_in) && senders_[i].sin_family == AF_INET)
            std::memcpy(arrival.source.data(), &senders_[i].sin_addr.s_addr, arrival.source.size()); // network order: first octet first
        for (cmsghdr* control = CMSG_FIRSTHDR(&header); control != nullptr; control = CMSG_NXTHDR(&header, control)) {
            if (control->cmsg_level == IPPROTO_IP && control->cmsg_type == IP_PKTINFO &&
                control->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(control), sizeof info);
                arrival.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
            }
        }
        return arrival;
    }

    wire::Bytes Datagram(unsigned i) const
    {
        if (headers_[i].msg_hdr.msg_flags & MSG_TRUNC)
            return {};
        return {buffers_[i].data(), headers_[i].msg_len};
    }

private:
    struct Control {
        alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> bytes{};
    };
    std::vector<std::array<std::uint8_t, kReceiveBufferSize>> buffers_;
    std::vector<Control> controls_;
    std::vector<sockaddr_in> senders_;
    std::vector<iovec> vectors_;
    std::vector<mmsghdr> headers_;
};

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
