#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon::protocol {

// UDP ports of the two discovery protocols. Requests go to 255.255.255.255 on these ports and
// the program listens for replies on the same ports.
inline constexpr std::uint16_t kShortFormPort = 4022;
inline constexpr std::uint16_t kLongFormPort = 4023;

// Every datagram is read into a buffer of this size; a longer one is dropped.
inline constexpr std::size_t kReceiveBufferSize = 1000;

inline constexpr std::size_t kLongFormPacketSize = 445;
inline constexpr std::size_t kShortFormRequestSize = 74;
inline constexpr std::size_t kShortFormSendBufferSize = 1000;

inline constexpr std::size_t kNameSize = 18;          // UTF-8, zero-padded, no terminator when full
inline constexpr std::size_t kInterfaceNameSize = 4;  // ASCII, zero-padded
inline constexpr std::size_t kPortTextSize = 5;       // decimal digits, zero-padded

// A device name as it travels.
using NameBytes = std::array<std::uint8_t, kNameSize>;

} // namespace quillon::protocol
