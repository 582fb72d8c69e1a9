#pragma once

// Bounds-checked readers and writers over byte spans. Every multi-byte integer on the wire
// names its byte order here; nothing casts a packet to a struct.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quillon::wire {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

using Ipv4 = std::array<std::uint8_t, 4>;     // first octet first, as on the wire
using MacAddress = std::array<std::uint8_t, 6>; // first byte first

// A MAC address as one number, for keying maps by device.
inline std::uint64_t MacKey(const MacAddress& mac)
{
    std::uint64_t key = 0;
    for (const std::uint8_t byte : mac)
        key = key << 8 | byte;
    return key;
}

// An IPv4 address as one number, first octet highest: addresses order and hash as numbers.
inline std::uint32_t Ipv4Key(const Ipv4& address)
{
    return std::uint32_t{address[0]} << 24 | std::uint32_t{address[1]} << 16 | std::uint32_t{address[2]} << 8 |
           address[3];
}

inline Ipv4 Ipv4FromKey(std::uint32_t key)
{
    return {static_cast<std::uint8_t>(key >> 24), static_cast<std::uint8_t>(key >> 16),
            static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key)};
}

// Copies exactly N bytes from `packet` at `offset`. The caller has checked the packet's length.
template <std::size_t N>
std::array<std::uint8_t, N> ReadArray(Bytes packet, std::size_t offset)
{
    std::array<std::uint8_t, N> out{};
    const Bytes field = packet.subspan(offset, N);
    std::copy(field.begin(), field.end(), out.begin());
    return out;
}

template <std::size_t N>
void WriteArray(MutableBytes packet, std::size_t offset, const std::array<std::uint8_t, N>& value)
{
    const MutableBytes field = packet.subspan(offset, N);
    std::copy(value.begin(), value.end(), field.begin());
}

inline void WriteAscii(MutableBytes packet, std::size_t offset, std::string_view text)
{
    const MutableBytes field = packet.subspan(offset, text.size());
    std::transform(text.begin(), text.end(), field.begin(),
                   [](char c) { return static_cast<std::uint8_t>(c); });
}

inline bool HasAscii(Bytes packet, std::size_t offset, std::string_view text)
{
    if (packet.size() < offset + text.size())
        return false;
    return std::equal(text.begin(), text.end(), packet.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

inline void WriteU16LittleEndian(MutableBytes packet, std::size_t offset, std::uint16_t value)
{
    packet.subspan(offset, 2)[0] = static_cast<std::uint8_t>(value & 0xFFu);
    packet.subspan(offset, 2)[1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::int32_t ReadI32LittleEndian(Bytes packet, std::size_t offset)
{
    const Bytes field = packet.subspan(offset, 4);
    const std::uint32_t raw = std::uint32_t{field[0]} | std::uint32_t{field[1]} << 8 |
                              std::uint32_t{field[2]} << 16 | std::uint32_t{field[3]} << 24;
    return static_cast<std::int32_t>(raw); // two's complement, well defined since C++20
}

// strncpy into a fixed field: copies up to the first zero byte, at most the field's width, and
// zero-fills the rest of the destination.
inline void CopyBoundedText(MutableBytes destination, Bytes source)
{
    const auto end = std::find(source.begin(), source.end(), std::uint8_t{0});
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(end - source.begin()),
                                                     destination.size());
    std::copy_n(source.begin(), length, destination.begin());
    std::fill(destination.begin() + static_cast<std::ptrdiff_t>(length), destination.end(), std::uint8_t{0});
}

// The length of a zero-terminated text inside a fixed field; the whole field when it has no zero.
inline std::size_t BoundedTextLength(Bytes field)
{
    return static_cast<std::size_t>(std::find(field.begin(), field.end(), std::uint8_t{0}) - field.begin());
}

} // namespace quillon::wire
