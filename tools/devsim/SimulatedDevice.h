#pragma once

// The device's side of both discovery protocols, written from the device's point of view and
// independently of the program's packet code, so that each checks the other.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon::devsim {

using Bytes = std::span<const std::uint8_t>;
using Ipv4 = std::array<std::uint8_t, 4>;
using Mac = std::array<std::uint8_t, 6>;

// How a device confirms a set request addressed to it. A silent device confirms nothing and
// then answers no search either, as one that restarts for longer than anybody waits. A stale
// device keeps its settings and sends a notice with them, as one that refused the change.
enum class Confirmation { UpdateNotice, DeviceAnswer, None, Silent, Stale };

struct SimulatedDevice {
    Mac mac{0x02, 0, 0, 0, 0, 1};
    Ipv4 ip{192, 168, 1, 20};
    Ipv4 netmask{255, 255, 255, 0};
    Ipv4 gateway{192, 168, 1, 1};
    Ipv4 dns1{0, 0, 0, 0};
    Ipv4 dns2{0, 0, 0, 0};
    std::string name = "Camera";      // UTF-8; only the first 18 bytes travel
    std::string interfaceName = "eth0";
    std::int32_t port1 = 80;
    std::int32_t port2 = 554;
    bool dhcp = false;
    bool answersShortForm = true;
    bool answersLongForm = true;
    std::size_t shortReplyLength = 70; // 50, 60, 69, 70 or more
    std::uint8_t longReplyCode = 1;    // 1, 2 or 3
    Confirmation confirmation = Confirmation::UpdateNotice;
    bool silenced = false; // a silent device that took a set request
};

// What the device heard.
enum class RequestKind { LongFormSearch, ShortFormSearch, ShortFormSet, Unknown };

RequestKind ClassifyLongForm(Bytes datagram);
RequestKind ClassifyShortForm(Bytes datagram);

// A 445-byte long-form reply, with the device's reply code unless `replyCode` is given.
std::vector<std::uint8_t> LongFormReply(const SimulatedDevice& device, std::optional<std::uint8_t> replyCode = {});

// A short-form reply of the device's reply length (or `length`): kind 0 answers a search, kind 1
// tells that the device changed.
std::vector<std::uint8_t> ShortFormReply(const SimulatedDevice& device, std::uint8_t replyKind = 0,
                                         std::optional<std::size_t> length = {});

// The MAC address a set request is addressed to.
Mac SetRequestTarget(Bytes datagram);

// Applies the groups whose flag is 1 to the device; returns the names of the groups applied.
std::vector<std::string> ApplySetRequest(SimulatedDevice& device, Bytes datagram);


} // namespace quillon::devsim
