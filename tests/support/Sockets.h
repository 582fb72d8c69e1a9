#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace quillon::test {

// A UDP socket bound to `port` on every address, sharing the port like the program's own
// receivers; a receive gives up after `timeout`.
platform::UniqueFd ListenOn(std::uint16_t port, std::chrono::milliseconds timeout);

// Broadcasts `bytes` to 255.255.255.255 on `port` from a socket of its own.
void BroadcastRaw(std::uint16_t port, const std::vector<std::uint8_t>& bytes);

} // namespace quillon::test
