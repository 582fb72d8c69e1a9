#pragma once

#include "protocol/Protocol.h"

#include <cstdint>
#include <span>

namespace quillon::discovery {

using LongFormRequestView = std::span<const std::uint8_t, protocol::kLongFormPacketSize>;
using ShortFormRequestView = std::span<const std::uint8_t, protocol::kShortFormRequestSize>;

// Each sender broadcasts one packet to 255.255.255.255 on its port through a fresh socket and
// retries once, a millisecond later, when the first send fails. Result: the bytes sent; -1
// when no socket could be made; minus errno when the send and its retry failed.
// The short-form sender writes a line to standard output before and after its retry.
int SendLongFormBroadcast(LongFormRequestView packet);
int SendShortFormBroadcast(ShortFormRequestView packet);

// What the rest of the program calls: the sender, plus a line on standard output when its
// result is negative.
void BroadcastLongForm(LongFormRequestView packet);
void BroadcastShortForm(ShortFormRequestView packet);

// A set request for the device that last answered on `card`: through the relay that carried its
// answer when the card is a remote site's, else broadcast as every request is.
void SendSetRequest(ShortFormRequestView packet, unsigned card);
// False when `card` is a remote site's whose relay is not up: a set request would go nowhere.
bool CanSendSetRequest(unsigned card);

} // namespace quillon::discovery
