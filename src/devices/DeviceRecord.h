#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace quillon::devices {

// Which protocols a device answered on, as bits of DeviceRecord::protocolsAnswered.
inline constexpr std::uint8_t kAnsweredLongForm = 1;
inline constexpr std::uint8_t kAnsweredShortForm = 2;

// One device that answered. Address fields hold their bytes first octet first with spare zero
// bytes behind them, so each reads as a zero-terminated byte string; the name holds up to 18
// bytes of UTF-8 and is always followed by a zero byte.
struct DeviceRecord {
    std::array<std::uint8_t, 5> interfaceName{};
    std::array<std::uint8_t, 5> ipAddress{};
    std::array<std::uint8_t, 5> netmask{};
    std::array<std::uint8_t, 7> macAddress{};
    std::array<std::uint8_t, 6> gateway{};
    std::array<std::uint8_t, 20> name{};
    std::int32_t listIndex = -1; // row number - 1; -1 while the record has no row
    DeviceRecord* next = nullptr;
    std::uint32_t hasDns = 0;
    std::int32_t port1 = 0; // the web port; 0 when the reply carried none
    std::int32_t port2 = 0;
    std::array<std::uint8_t, 5> dns1{};
    std::array<std::uint8_t, 5> dns2{};
    std::uint8_t dhcpEnabled = 0;
    std::uint8_t hasDhcp = 0;
    std::uint8_t protocolsAnswered = 0; // kAnsweredLongForm | kAnsweredShortForm
    unsigned arrivalInterface = 0;      // the card the last answer arrived on; 0 when unknown
    // Device answers and update notices entered so far, so that whoever waits for the device's
    // word after a set request can tell a new report from the values Submit wrote itself.
    std::uint32_t reportsEntered = 0;
};

// True when an address field of a record holds `address` (its first four bytes).
template <std::size_t N>
bool HoldsAddress(const std::array<std::uint8_t, N>& field, const std::array<std::uint8_t, 4>& address)
{
    static_assert(N >= 4);
    return std::equal(address.begin(), address.end(), field.begin());
}

} // namespace quillon::devices
