#pragma once

#include "devices/DeviceTable.h"
#include "protocol/LongForm.h"
#include "protocol/ShortForm.h"

#include <optional>

namespace quillon::discovery {

// Where a datagram arrived: what the socket says besides its bytes.
struct Arrival {
    unsigned interfaceIndex = 0; // 0 when unknown
    wire::Ipv4 source{};         // the sender's address; 0.0.0.0 when unknown
};

// A device's reply as the device table takes it: what it carried, the card it came in on, and
// the texts its row shows. Every long-form reply read is a device answer.
devices::DeviceEntry EntryOf(const protocol::LongFormReply& reply, const Arrival& arrival);

// A short-form device answer or update notice; nothing for the other kinds, which change nothing.
std::optional<devices::DeviceEntry> EntryOf(const protocol::ShortFormReply& reply, const Arrival& arrival);

} // namespace quillon::discovery
