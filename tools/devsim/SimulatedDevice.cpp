#include "SimulatedDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillon::devsim {

namespace {

// Long-form reply, 445 bytes, integers little-endian:
//   0 "3297"  4 length 445  6 reply code  8 MAC  14 interface  23 IP  39 netmask  57 gateway
//   74 port1  79 port2  84 DNS 1  100 DNS 2  117 DHCP  380 name (18)
// Short-form reply:
//   0 "IPCam"  5 kind  6 interface  10 IP  14 MAC  20 netmask  27 gateway  32 name (18)
//   50 port1 text  55 port2 text  61 DNS 1  65 DNS 2  69 DHCP
// Short-form set request (74 bytes): 6 address flag  11 IP  15 MAC  21 netmask
//   25 gateway flag  28 gateway  32 name flag  33 name  51 port flag  52 port text
//   63 DNS flag  64 DNS 1  68 DNS 2  72 DHCP flag  73 DHCP

using Packet = std::vector<std::uint8_t>;

template <std::size_t N>
void Put(Packet& packet, std::size_t at, const std::array<std::uint8_t, N>& bytes)
{
    std::copy(bytes.begin(), bytes.end(), packet.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutText(Packet& packet, std::size_t at, const std::string& text, std::size_t width)
{
    std::copy_n(text.begin(), std::min(text.size(), width), packet.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutLittleEndian(Packet& packet, std::size_t at, std::int32_t value)
{
    const auto raw = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        packet[at + i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

template <std::size_t N>
std::array<std::uint8_t, N> Take(Bytes datagram, std::size_t at)
{
    std::array<std::uint8_t, N> out{};
    std::copy_n(datagram.begin() + static_cast<std::ptrdiff_t>(at), N, out.begin());
    return out;
}

bool StartsWith(Bytes datagram, const char* text)
{
    const std::size_t length = std::strlen(text);
    return datagram.size() >= length && std::memcmp(datagram.data(), text, length) == 0;
}

} // namespace

RequestKind ClassifyLongForm(Bytes datagram)
{
    if (datagram.size() == 445 && StartsWith(datagram, "3297") && datagram[6] == '1')
        return RequestKind::LongFormSearch;
    return RequestKind::Unknown;
}

RequestKind ClassifyShortForm(Bytes datagram)
{
    if (datagram.size() < 74 || !StartsWith(datagram, "PCEdit"))
        return RequestKind::Unknown;
    return datagram[6] == 2 ? RequestKind::ShortFormSearch : RequestKind::ShortFormSet;
}

Packet LongFormReply(const SimulatedDevice& device, std::optional<std::uint8_t> replyCode)
{
    Packet packet(445, 0);
    PutText(packet, 0, "3297", 4);
    packet[4] = 445 & 0xFF;
    packet[5] = 445 >> 8;
    packet[6] = replyCode.value_or(device.longReplyCode);
    Put(packet, 8, device.mac);
    PutText(packet, 14, device.interfaceName, 4);
    Put(packet, 23, device.ip);
    Put(packet, 39, device.netmask);
    Put(packet, 57, device.gateway);
    PutLittleEndian(packet, 74, device.port1);
    PutLittleEndian(packet, 79, device.port2);
    Put(packet, 84, device.dns1);
    Put(packet, 100, device.dns2);
    packet[117] = device.dhcp ? 1 : 0;
    PutText(packet, 380, device.name, 18);
    return packet;
}

Packet ShortFormReply(const SimulatedDevice& device, std::uint8_t replyKind, std::optional<std::size_t> length)
{
    Packet packet(std::max<std::size_t>(length.value_or(device.shortReplyLength), 70), 0);
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
    packet.resize(length.value_or(device.shortReplyLength));
    return packet;
}

Mac SetRequestTarget(Bytes datagram)
{
    return Take<6>(datagram, 15);
}

std::vector<std::string> ApplySetRequest(SimulatedDevice& device, Bytes datagram)
{
    std::vector<std::string> applied;
    if (datagram[6] == 1) {
        device.ip = Take<4>(datagram, 11);
        device.netmask = Take<4>(datagram, 21);
        applied.emplace_back("address");
    }
    if (datagram[25] == 1) {
        device.gateway = Take<4>(datagram, 28);
        applied.emplace_back("gateway");
    }
    if (datagram[32] == 1) {
        const auto* name = reinterpret_cast<const char*>(datagram.data() + 33);
        device.name.assign(name, strnlen(name, 18));
        applied.emplace_back("name");
    }
    if (datagram[51] == 1) {
        const auto* digits = reinterpret_cast<const char*>(datagram.data() + 52);
        device.port1 = std::stoi("0" + std::string(digits, strnlen(digits, 5)));
        applied.emplace_back("port");
    }
    if (datagram[63] == 1) {
        device.dns1 = Take<4>(datagram, 64);
        device.dns2 = Take<4>(datagram, 68);
        applied.emplace_back("dns");
    }
    if (datagram[72] == 1) {
        device.dhcp = datagram[73] != 0;
        applied.emplace_back("dhcp");
    }
    return applied;
}

} // namespace quillon::devsim
