#pragma once

#include "discovery/ReplyEntry.h"
#include "platform/UniqueFd.h"
#include "protocol/Protocol.h"
#include "protocol/Wire.h"

#include <QStringList>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quillon::discovery {

// How a receiver's run ended: stopped (result 0, no messages), or a set-up failure with its
// result (-1 when no socket could be made, else errno) and the messages to show, in order,
// before the program ends.
struct ReceiverExit {
    int result = 0;
    QStringList messages;
};

// A socket bound to a protocol's port as every receiver binds it, or why it could not be.
struct ReceiverSocket {
    platform::UniqueFd fd;
    ReceiverExit failure;
};

ReceiverSocket OpenReceiverSocket(std::uint16_t port);

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
    std::vector<std::array<std::uint8_t, protocol::kReceiveBufferSize>> buffers_;
    std::vector<Control> controls_;
    std::vector<sockaddr_in> senders_;
    std::vector<iovec> vectors_;
    std::vector<mmsghdr> headers_;
};

} // namespace quillon::discovery
