#include "support/Packets.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quillon::test {

namespace {

template <typename Range>
void Put(std::vector<std::uint8_t>& packet, std::size_t offset, const Range& bytes)
{
    std::copy(std::begin(bytes), std::end(bytes), packet.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutText(std::vector<std::uint8_t>& packet, std::size_t offset, const std::string& text, std::size_t width)
{
    std::copy_n(text.begin(), std::min(text.size(), width), packet.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutI32LittleEndian(std::vector<std::uint8_t>& packet, std::size_t offset, std::int32_t value)
{
    const auto raw = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        packet[offset + i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

} // namespace

std::vector<std::uint8_t> LongFormReplyBytes(const DeviceAnswer& device, std::uint8_t replyCode)
{
    std::vector<std::uint8_t> packet(445, 0);
    PutText(packet, 0, "3297", 4);
    packet[4] = 0xBD;
    packet[5] = 0x01;
    packet[6] = replyCode;
    Put(packet, 8, device.mac);
    PutText(packet, 14, device.interfaceName, 4);
    Put(packet, 23, device.ip);
    Put(packet, 39, device.netmask);
    Put(packet, 57, device.gateway);
    PutI32LittleEndian(packet, 74, device.port1);
    PutI32LittleEndian(packet, 79, device.port2);
    Put(packet, 84, device.dns1);
    Put(packet, 100, device.dns2);
    packet[117] = device.dhcp ? 1 : 0;
    PutText(packet, 380, device.name, 18);
    return packet;
}

std::vector<std::uint8_t> ShortFormReplyBytes(const DeviceAnswer& device, std::size_t length, std::uint8_t replyKind)
{
    std::vector<std::uint8_t> packet(std::max<std::size_t>(length, 70), 0);
    PutText(packet, 0, "IPCam", 5);
    packet[5] = replyKind;
    PutText(packet, 6, device.interfaceName, 4);
    Put(packet, 10, device.ip);
    Put(packet, 14, device.mac);
    Put(packet, 20, device.netmask);
    Put(packet, 27, device.gateway);
    PutText(packet, 32, device.name, 18);
    PutText(packet, 50, std::to_string(device.port1), 5);
    PutText(packet, 55, std::to_string(device.port2), 5);
    Put(packet, 61, device.dns1);
    Put(packet, 65, device.dns2);
    packet[69] = device.dhcp ? 1 : 0;
    packet.resize(length);
    return packet;
}

} // namespace quillon::test
