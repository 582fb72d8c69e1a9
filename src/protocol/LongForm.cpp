#include "protocol/LongForm.h"

#include "protocol/DeviceTexts.h"

#include <algorithm>

namespace quillon::protocol {

using namespace longform;

void BuildLongFormRequest(std::span<std::uint8_t, kLongFormPacketSize> packet)
{
    std::fill(packet.begin(), packet.end(), std::uint8_t{0});
    wire::WriteAscii(packet, kMagicOffset, "3297");
    wire::WriteAscii(packet, kRequestCodeOffset, std::string_view("1", 2)); // with its zero
    wire::WriteU16LittleEndian(packet, kLengthOffset, static_cast<std::uint16_t>(kLongFormPacketSize));
}

std::optional<LongFormReply> ReadLongFormReply(wire::Bytes datagram)
{
    if (datagram.size() != kLongFormPacketSize)
        return std::nullopt;
    const std::uint8_t code = datagram[kReplyCodeOffset];
    if (code < 1 || code > 3)
        return std::nullopt;

    LongFormReply reply;
    reply.replyCode = code;
    reply.macAddress = wire::ReadArray<6>(datagram, kMacOffset);
    reply.interfaceName = wire::ReadArray<kInterfaceNameSize>(datagram, kInterfaceNameOffset);
    reply.ipAddress = wire::ReadArray<4>(datagram, kIpAddressOffset);
    reply.netmask = wire::ReadArray<4>(datagram, kNetmaskOffset);
    reply.gateway = wire::ReadArray<4>(datagram, kGatewayOffset);
    reply.port1 = wire::ReadI32LittleEndian(datagram, kPort1Offset);
    reply.port2 = wire::ReadI32LittleEndian(datagram, kPort2Offset);
    reply.dns1 = wire::ReadArray<4>(datagram, kDns1Offset);
    reply.dns2 = wire::ReadArray<4>(datagram, kDns2Offset);
    reply.dhcp = datagram[kDhcpOffset];
    reply.name = wire::ReadArray<kNameSize>(datagram, kNameOffset);
    reply.addressText = AddressText(reply.ipAddress);
    reply.nameText = NameText(reply.name);
    return reply;
}

} // namespace quillon::protocol
