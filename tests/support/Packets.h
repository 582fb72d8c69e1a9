#pragma once

// Device-side replies written byte by byte for tests, independently of the readers under test.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

struct DeviceAnswer {
    std::array<std::uint8_t, 6> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::string interfaceName = "eth0";
    std::array<std::uint8_t, 4> ip{192, 168, 1, 20};
    std::array<std::uint8_t, 4> netmask{255, 255, 255, 0};
    std::array<std::uint8_t, 4> gateway{192, 168, 1, 1};
    std::array<std::uint8_t, 4> dns1{8, 8, 8, 8};
    std::array<std::uint8_t, 4> dns2{8, 8, 4, 4};
    std::string name = "Camera";
    std::int32_t port1 = 80;
    std::int32_t port2 = 554;
    bool dhcp = false;
};

// A 445-byte long-form reply with the given reply code.
std::vector<std::uint8_t> LongFormReplyBytes(const DeviceAnswer& device, std::uint8_t replyCode = 1);

// A short-form reply cut to `length` bytes (50, 60, 69, 70 or more).
std::vector<std::uint8_t> ShortFormReplyBytes(const DeviceAnswer& device, std::size_t length,
                                              std::uint8_t replyKind = 0);

} // namespace quillon::test
