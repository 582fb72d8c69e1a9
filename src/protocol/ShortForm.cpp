#include "protocol/ShortForm.h"

#include "protocol/DecimalText.h"
#include "protocol/DeviceTexts.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace quillon::protocol {

using namespace shortform;

namespace {

void StartRequest(ShortFormRequestBytes packet)
{
    std::fill(packet.begin(), packet.end(), std::uint8_t{0});
    wire::WriteAscii(packet, kTagOffset, "PCEdit");
}

std::uint8_t FlagFor(bool carriesValue) { return carriesValue ? 1 : 0; }

void WritePortText(ShortFormRequestBytes packet, std::uint16_t port)
{
    char digits[kPortTextSize]{};
    std::to_chars(digits, digits + sizeof digits, port); // 65535 fits the five bytes exactly
    std::copy(std::begin(digits), std::end(digits), packet.begin() + kPortOffset);
}

} // namespace

void BuildShortFormSearchRequest(ShortFormRequestBytes packet)
{
    StartRequest(packet);
    packet[kAddressFlagOffset] = kSearchFlag;
    packet[kGatewayFlagOffset] = kSearchFlag;
    packet[kNameFlagOffset] = kSearchFlag;
    packet[kSearchMarkerOffset] = kSearchFlag;
}

void BuildShortFormSetRequest(ShortFormRequestBytes packet, const ShortFormSetRequest& request)
{
    StartRequest(packet);
    packet[kAddressFlagOffset] = FlagFor(request.addressChanged);
    wire::WriteArray(packet, kInterfaceTagOffset, kInterfaceTag);
    wire::WriteArray(packet, kRequestIpOffset, request.ipAddress);
    wire::WriteArray(packet, kRequestMacOffset, request.macAddress);
    wire::WriteArray(packet, kRequestNetmaskOffset, request.netmask);

    packet[kGatewayFlagOffset] = FlagFor(request.gateway.has_value());
    if (request.gateway) {
        wire::WriteArray(packet, kGatewayTagOffset, kGatewayTag);
        wire::WriteArray(packet, kRequestGatewayOffset, *request.gateway);
    }
    packet[kNameFlagOffset] = FlagFor(request.name.has_value());
    if (request.name)
        wire::WriteArray(packet, kRequestNameOffset, *request.name);

    packet[kPortFlagOffset] = FlagFor(request.port.has_value());
    if (request.port)
        WritePortText(packet, *request.port);

    packet[kDnsFlagOffset] = FlagFor(request.dns.has_value());
    if (request.dns) {
        wire::WriteArray(packet, kRequestDns1Offset, request.dns->dns1);
        wire::WriteArray(packet, kRequestDns2Offset, request.dns->dns2);
    }
    packet[kDhcpFlagOffset] = FlagFor(request.dhcp.has_value());
    if (request.dhcp)
        packet[kRequestDhcpOffset] = FlagFor(*request.dhcp);
}

namespace {

// A flag of a set request: 1 carries a value, 0 keeps it; nothing for anything else.
std::optional<bool> SetFlag(wire::Bytes datagram, std::size_t offset)
{
    if (datagram[offset] > 1)
        return std::nullopt;
    return datagram[offset] == 1;
}

} // namespace

std::optional<ShortFormSetRequest> ReadShortFormSetRequest(wire::Bytes datagram)
{
    if (datagram.size() != kShortFormRequestSize)
        return std::nullopt;
    const auto flags = {SetFlag(datagram, kAddressFlagOffset), SetFlag(datagram, kGatewayFlagOffset),
                        SetFlag(datagram, kNameFlagOffset), SetFlag(datagram, kPortFlagOffset),
                        SetFlag(datagram, kDnsFlagOffset), SetFlag(datagram, kDhcpFlagOffset)};
    if (std::any_of(flags.begin(), flags.end(), [](const std::optional<bool>& flag) { return !flag; }))
        return std::nullopt;
    ShortFormSetRequest request;
    request.addressChanged = datagram[kAddressFlagOffset] == 1;
    request.ipAddress = wire::ReadArray<4>(datagram, kRequestIpOffset);
    request.macAddress = wire::ReadArray<6>(datagram, kRequestMacOffset);
    request.netmask = wire::ReadArray<4>(datagram, kRequestNetmaskOffset);
    if (datagram[kGatewayFlagOffset] == 1)
        request.gateway = wire::ReadArray<4>(datagram, kRequestGatewayOffset);
    if (datagram[kNameFlagOffset] == 1)
        request.name = wire::ReadArray<kNameSize>(datagram, kRequestNameOffset);
    if (datagram[kPortFlagOffset] == 1) {
        const std::int32_t port = ReadPortField(datagram.subspan(kPortOffset, kPortTextSize));
        if (port < 0 || port > 65535)
            return std::nullopt;
        request.port = static_cast<std::uint16_t>(port);
    }
    if (datagram[kDnsFlagOffset] == 1)
        request.dns = DnsServers{wire::ReadArray<4>(datagram, kRequestDns1Offset),
                                 wire::ReadArray<4>(datagram, kRequestDns2Offset)};
    if (datagram[kDhcpFlagOffset] == 1) {
        if (datagram[kRequestDhcpOffset] > 1)
            return std::nullopt;
        request.dhcp = datagram[kRequestDhcpOffset] == 1;
    }
    // Whatever the fields do not say (the tags, the zero bytes, the port's digits) must be as
    // this program writes it.
    std::array<std::uint8_t, kShortFormRequestSize> rebuilt{};
    BuildShortFormSetRequest(rebuilt, request);
    if (!std::equal(rebuilt.begin(), rebuilt.end(), datagram.begin()))
        return std::nullopt;
    return request;
}

std::int32_t ReadPortField(wire::Bytes field)
{
    const std::string_view text(reinterpret_cast<const char*>(field.data()),
                                std::min(field.size(), kPortTextSize));
    return ParseLeadingInteger(text);
}

std::optional<ShortFormReply> ReadShortFormReply(wire::Bytes datagram)
{
    if (datagram.size() < kMinimumReplySize || datagram.size() > kReceiveBufferSize)
        return std::nullopt;
    if (!wire::HasAscii(datagram, 0, "IPCam"))
        return std::nullopt;

    ShortFormReply reply;
    reply.replyKind = datagram[kReplyKindOffset];
    reply.interfaceName = wire::ReadArray<kInterfaceNameSize>(datagram, kReplyInterfaceNameOffset);
    reply.ipAddress = wire::ReadArray<4>(datagram, kReplyIpOffset);
    reply.macAddress = wire::ReadArray<6>(datagram, kReplyMacOffset);
    reply.netmask = wire::ReadArray<4>(datagram, kReplyNetmaskOffset);
    reply.gateway = wire::ReadArray<4>(datagram, kReplyGatewayOffset);
    reply.name = wire::ReadArray<kNameSize>(datagram, kReplyNameOffset);

    reply.hasPorts = datagram.size() >= kReplySizeWithPorts;
    if (reply.hasPorts) {
        reply.port1 = ReadPortField(datagram.subspan(kReplyPort1Offset, kPortTextSize));
        reply.port2 = ReadPortField(datagram.subspan(kReplyPort2Offset, kPortTextSize));
    }
    reply.hasDns = datagram.size() >= kReplySizeWithDns;
    if (reply.hasDns) {
        reply.dns1 = wire::ReadArray<4>(datagram, kReplyDns1Offset);
        reply.dns2 = wire::ReadArray<4>(datagram, kReplyDns2Offset);
    }
    reply.hasDhcp = datagram.size() >= kReplySizeWithDhcp;
    if (reply.hasDhcp)
        reply.dhcpEnabled = datagram[kReplyDhcpOffset] != 0;

    reply.addressText = AddressText(reply.ipAddress);
    reply.nameText = NameText(reply.name);
    return reply;
}

} // namespace quillon::protocol
