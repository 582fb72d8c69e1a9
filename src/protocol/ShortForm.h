#pragma once

#include "protocol/Protocol.h"
#include "protocol/Wire.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace quillon::protocol {

// Short-form packets, port 4022. Addresses travel first octet first; a port travels as up to
// five ASCII digits, zero-padded.
//
// Search and set request (74 bytes, sent). Flags: 1 = the group carries a new value, 0 = keep;
// the search request puts 2 into three flags and byte 60.
//    0  6  tag "PCEdit"          32  1  nameFlag          63  1  dnsFlag
//    6  1  addressFlag           33 18  name, UTF-8       64  4  dns1
//    7  4  interfaceTag          51  1  portFlag          68  4  dns2
//   11  4  ipAddress             52  5  port, digits      72  1  dhcpFlag
//   15  6  macAddress            57  3  zero              73  1  dhcp (1 = DHCP)
//   21  4  netmask               60  1  2 in a search
//   25  1  gatewayFlag           61  2  zero
//   26  2  gatewayTag
//   28  4  gateway
//
// Reply (received, 50 bytes at least; groups present from the length in brackets):
//    0  5  magic "IPCam"         27  4  gateway           [60] 55  5  port2, digits
//    5  1  replyKind             32 18  name, UTF-8       [69] 61  4  dns1
//    6  4  interfaceName    [60] 50  5  port1, digits     [69] 65  4  dns2
//   10  4  ipAddress                                      [70] 69  1  dhcp (0 = static)
//   14  6  macAddress
//   20  4  netmask
namespace shortform {
inline constexpr std::size_t kTagOffset = 0;
inline constexpr std::size_t kAddressFlagOffset = 6;
inline constexpr std::size_t kInterfaceTagOffset = 7;
inline constexpr std::size_t kRequestIpOffset = 11;
inline constexpr std::size_t kRequestMacOffset = 15;
inline constexpr std::size_t kRequestNetmaskOffset = 21;
inline constexpr std::size_t kGatewayFlagOffset = 25;
inline constexpr std::size_t kGatewayTagOffset = 26;
inline constexpr std::size_t kRequestGatewayOffset = 28;
inline constexpr std::size_t kNameFlagOffset = 32;
inline constexpr std::size_t kRequestNameOffset = 33;
inline constexpr std::size_t kPortFlagOffset = 51;
inline constexpr std::size_t kPortOffset = 52;
inline constexpr std::size_t kSearchMarkerOffset = 60;
inline constexpr std::size_t kDnsFlagOffset = 63;
inline constexpr std::size_t kRequestDns1Offset = 64;
inline constexpr std::size_t kRequestDns2Offset = 68;
inline constexpr std::size_t kDhcpFlagOffset = 72;
inline constexpr std::size_t kRequestDhcpOffset = 73;

inline constexpr std::uint8_t kSearchFlag = 2;
inline constexpr std::array<std::uint8_t, 4> kInterfaceTag{0x65, 0x00, 0x74, 0x00};
inline constexpr std::array<std::uint8_t, 2> kGatewayTag{0x67, 0x00};

inline constexpr std::size_t kReplyKindOffset = 5;
inline constexpr std::size_t kReplyInterfaceNameOffset = 6;
inline constexpr std::size_t kReplyIpOffset = 10;
inline constexpr std::size_t kReplyMacOffset = 14;
inline constexpr std::size_t kReplyNetmaskOffset = 20;
inline constexpr std::size_t kReplyGatewayOffset = 27;
inline constexpr std::size_t kReplyNameOffset = 32;
inline constexpr std::size_t kReplyPort1Offset = 50;
inline constexpr std::size_t kReplyPort2Offset = 55;
inline constexpr std::size_t kReplyDns1Offset = 61;
inline constexpr std::size_t kReplyDns2Offset = 65;
inline constexpr std::size_t kReplyDhcpOffset = 69;

inline constexpr std::size_t kMinimumReplySize = 50;
inline constexpr std::size_t kReplySizeWithPorts = 60;
inline constexpr std::size_t kReplySizeWithDns = 69;
inline constexpr std::size_t kReplySizeWithDhcp = 70;
} // namespace shortform

enum class ShortFormReplyKind : std::uint8_t { DeviceAnswer = 0, UpdateNotice = 1 };

struct ShortFormReply {
    std::uint8_t replyKind = 0; // see ShortFormReplyKind; other values change nothing
    std::array<std::uint8_t, kInterfaceNameSize> interfaceName{};
    wire::Ipv4 ipAddress{};
    wire::MacAddress macAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    NameBytes name{};
    std::int32_t port1 = 0; // 0 unless hasPorts
    std::int32_t port2 = 0;
    bool hasPorts = false;
    wire::Ipv4 dns1{};
    wire::Ipv4 dns2{};
    bool hasDns = false;
    bool dhcpEnabled = false;
    bool hasDhcp = false;
    QString addressText;
    QString nameText;
};

struct DnsServers {
    wire::Ipv4 dns1{};
    wire::Ipv4 dns2{};
};

// What a set request carries. The address group (IP address, MAC address, netmask) is always
// filled; each optional group that holds a value is sent with its flag set to 1.
struct ShortFormSetRequest {
    bool addressChanged = false;
    wire::Ipv4 ipAddress{};
    wire::MacAddress macAddress{};
    wire::Ipv4 netmask{};
    std::optional<wire::Ipv4> gateway;
    std::optional<NameBytes> name;
    std::optional<std::uint16_t> port;
    std::optional<DnsServers> dns;
    std::optional<bool> dhcp; // true = take the address by DHCP
};

using ShortFormRequestBytes = std::span<std::uint8_t, kShortFormRequestSize>;

// Writes the search request into the first 74 bytes; zero wherever no field is named.
void BuildShortFormSearchRequest(ShortFormRequestBytes packet);

// Writes a set request into the first 74 bytes; zero wherever a group is not sent.
void BuildShortFormSetRequest(ShortFormRequestBytes packet, const ShortFormSetRequest& request);

// The set request a 74-byte datagram carries, when it is exactly what BuildShortFormSetRequest
// writes for some request; nothing for a search request or anything else.
std::optional<ShortFormSetRequest> ReadShortFormSetRequest(wire::Bytes datagram);

// Accepts a datagram of 50 to 1000 bytes that starts with "IPCam"; bytes past 70 are ignored.
std::optional<ShortFormReply> ReadShortFormReply(wire::Bytes datagram);

// The 5-byte port field read like atoi, never past the field's end.
std::int32_t ReadPortField(wire::Bytes field);

} // namespace quillon::protocol
