#pragma once

#include "protocol/Protocol.h"
#include "protocol/Wire.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace quillon::protocol {

// Long-form packets, port 4023. Every packet is exactly 445 bytes; integers are little-endian,
// addresses first octet first.
//
// Request (sent):                          Reply (received):
//   0  4  magic "3297"                       0  6  not examined
//   4  2  length 445, u16 LE                 6  1  replyCode 1, 2 or 3
//   6  2  requestCode "1" + zero             8  6  macAddress
//   8 437 zero                              14  4  interfaceName
//                                            23  4  ipAddress
//                                            39  4  netmask
//                                            57  4  gateway
//                                            74  4  port1, i32 LE
//                                            79  4  port2, i32 LE
//                                            84  4  dns1
//                                           100  4  dns2
//                                           117  1  dhcp (0 = static)
//                                           380 18  name, UTF-8
namespace longform {
inline constexpr std::size_t kMagicOffset = 0;
inline constexpr std::size_t kLengthOffset = 4;
inline constexpr std::size_t kRequestCodeOffset = 6;

inline constexpr std::size_t kReplyCodeOffset = 6;
inline constexpr std::size_t kMacOffset = 8;
inline constexpr std::size_t kInterfaceNameOffset = 14;
inline constexpr std::size_t kIpAddressOffset = 23;
inline constexpr std::size_t kNetmaskOffset = 39;
inline constexpr std::size_t kGatewayOffset = 57;
inline constexpr std::size_t kPort1Offset = 74;
inline constexpr std::size_t kPort2Offset = 79;
inline constexpr std::size_t kDns1Offset = 84;
inline constexpr std::size_t kDns2Offset = 100;
inline constexpr std::size_t kDhcpOffset = 117;
inline constexpr std::size_t kNameOffset = 380;
} // namespace longform

using LongFormPacket = std::array<std::uint8_t, kLongFormPacketSize>;

struct LongFormReply {
    std::uint8_t replyCode = 0; // 3 also reports a failed setting (wrong user name or password)
    wire::MacAddress macAddress{};
    std::array<std::uint8_t, kInterfaceNameSize> interfaceName{};
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    std::int32_t port1 = 0;
    std::int32_t port2 = 0;
    wire::Ipv4 dns1{};
    wire::Ipv4 dns2{};
    std::uint8_t dhcp = 0;
    NameBytes name{};
    QString addressText;
    QString nameText;
};

// Fills all 445 bytes with the search request.
void BuildLongFormRequest(std::span<std::uint8_t, kLongFormPacketSize> packet);

// Accepts exactly 445 bytes whose reply code is 1, 2 or 3; rejects everything else.
std::optional<LongFormReply> ReadLongFormReply(wire::Bytes datagram);

} // namespace quillon::protocol
