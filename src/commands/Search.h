#pragma once

#include "devices/DeviceTable.h"
#include "devices/RowStore.h"
#include "protocol/LongForm.h"
#include "protocol/Protocol.h"

#include <array>
#include <cstdint>

namespace quillon::commands {

// The UI thread's request buffers.
struct SendBuffers {
    std::array<std::uint8_t, protocol::kShortFormSendBufferSize> shortForm{};
    protocol::LongFormPacket longForm{};
};

// Forgets every device and empties the list; the caller holds ListLock.
void ForgetAllDevices(devices::DeviceTable& table, devices::RowStore& rows);

// Builds both search requests and broadcasts them, the short form first.
void BroadcastSearchRequests(SendBuffers& buffers);

} // namespace quillon::commands
