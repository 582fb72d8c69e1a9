#pragma once

#include "devices/DeviceTable.h"
#include "protocol/LongForm.h"
#include "protocol/ShortForm.h"

namespace quillon::discovery {

// Where a reply arrived: what the socket says besides the datagram.
struct Arrival {
    unsigned interfaceIndex = 0; // 0 when unknown
};

// Entering a device's reply into the device table. The caller holds ListLock; each entry takes
// the table's RecordsMutex itself.
//
// A device is found by its MAC address; an unknown device gets a record at the tail of the
// chain and a row at the end of the list. When a known device's address or name changed, its
// row moves to the end under its own number (the first device's row is rewritten where it
// stands). A device answer also records its protocol and the card it arrived on.
void EnterLongFormReply(devices::DeviceTable& table, const protocol::LongFormReply& reply,
                        const Arrival& arrival = {});

// A device answer as above, or an update notice: a listed device says it changed, and its row
// moves to the end under its own number. Other kinds change nothing.
void EnterShortFormReply(devices::DeviceTable& table, const protocol::ShortFormReply& reply,
                         const Arrival& arrival = {});

} // namespace quillon::discovery
