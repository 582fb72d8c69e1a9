#pragma once

#include "devices/DeviceTable.h"
#include "protocol/LongForm.h"
#include "protocol/ShortForm.h"

namespace quillon::discovery {

// Entering a device's reply into the device table. The caller holds ListLock; each entry takes
// the table's RecordsMutex itself.
//
// A device is found by its MAC address; an unknown device gets a record at the tail of the
// chain and a row at the end of the list. When a known device's address or name changed, its
// row moves to the end under its own number (the first device's row is rewritten where it
// stands).
void EnterLongFormReply(devices::DeviceTable& table, const protocol::LongFormReply& reply);

// A device answer as above, or an update notice: a listed device says it changed, and its row
// moves to the end under its own number. Other kinds change nothing.
void EnterShortFormReply(devices::DeviceTable& table, const protocol::ShortFormReply& reply);

} // namespace quillon::discovery
