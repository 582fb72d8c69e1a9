#pragma once

#include "protocol/Protocol.h"
#include "protocol/ShortForm.h"
#include "protocol/Wire.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace quillon::devices {

// Which protocols a device answered on, as bits of Device::protocols and DeviceReport::protocol.
inline constexpr std::uint8_t kAnsweredLongForm = 1;
inline constexpr std::uint8_t kAnsweredShortForm = 2;

struct WebPorts {
    std::int32_t port1 = 0; // the web port
    std::int32_t port2 = 0;
    bool operator==(const WebPorts&) const = default;
};

enum class ReportKind : std::uint8_t {
    Answer, // the device answered a search
    Notice, // the device says its settings changed
};

// What one datagram of a device said of its settings, exactly as it carried it: what it did not
// carry is empty.
struct DeviceReport {
    ReportKind kind = ReportKind::Answer;
    std::uint8_t protocol = 0; // kAnsweredLongForm or kAnsweredShortForm
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    protocol::NameBytes name{};
    std::optional<WebPorts> ports;
    std::optional<protocol::DnsServers> dns;
    std::optional<bool> dhcp; // true: the device takes its address by DHCP
    unsigned card = 0;        // the card it arrived on; 0 when unknown
    wire::Ipv4 source{};      // the address it came from; 0.0.0.0 when unknown
    std::chrono::system_clock::time_point time{}; // when it was entered
};

// What this program holds true of a device's settings: its reports, each taking the groups it
// carries, with what this program's own Submit sent written over them until the device reports
// again. DNS servers and the mode keep their last values when an answer lacks them; the flags
// say whether the last answer carried them.
struct DeviceState {
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    protocol::NameBytes name{};
    WebPorts ports;
    protocol::DnsServers dns;
    bool hasDns = false;
    bool dhcpEnabled = false;
    bool hasDhcp = false;
};

// One device that answered, as the device table hands it out: a copy, never a way into the table.
struct Device {
    wire::MacAddress mac{};     // the device's identity: one device, one entry, whatever its address
    std::uint8_t protocols = 0; // kAnsweredLongForm | kAnsweredShortForm
    int number = 0;             // its row's number, in the order the devices first answered (1 first)
    DeviceState believed;
    DeviceReport lastReport;    // what the device itself said last
    unsigned card = 0;          // the card its last answer arrived on; 0 when unknown
    // Answers and notices entered so far, so that whoever waits for the device's word after a set
    // request can tell a new report from the values Submit wrote itself.
    std::uint32_t reports = 0;
    // Its last report's place among every report the table ever took, 0 before any: unlike
    // `reports`, never the same twice, even after a search emptied the table and numbered anew.
    std::uint64_t reportMark = 0;
    // Whether any answer carried DNS servers: an answer too short for them says nothing of them,
    // so a listing shows the servers the device last told whichever form answered last.
    bool reportedDns = false;
    // Two addresses that answered one search with this MAC address: two hosts share it, and a
    // set request, which names its device by the MAC address alone, would change both. Empty
    // until that happens (a device that moved to a new address answers later searches only from
    // there).
    std::optional<std::array<wire::Ipv4, 2>> macSharedBy;
    // The search round of its last answer, and where that came from: what the next answer to the
    // same round is compared with.
    std::uint32_t answeredRound = 0;
    wire::Ipv4 answeredFrom{};
    // For a list that keeps searching: the last of its searches the device reported in (0, the
    // search that found it, until one is sent), and since when it is taken for offline, having
    // missed too many of them in a row; none while it reports.
    std::uint32_t reportedInLiveSearch = 0;
    std::optional<std::chrono::system_clock::time_point> offlineSince;
    // Listed from a site's memory, with what it last reported there (lastReport.time: when it
    // was last seen), without having answered since: missing, until it reports.
    bool remembered = false;
};

// How a device takes its address, in the order the list orders them.
enum class AddressMode : std::uint8_t { Dhcp, Static, Unknown };

// What the list's columns after the address show of a device, as values: the view formats them,
// the ordering compares them.
struct RowDetails {
    wire::MacAddress mac{};
    std::int32_t port = 0; // the web port; 0 when never told
    AddressMode mode = AddressMode::Unknown;
    unsigned card = 0;     // 0 when unknown
    std::chrono::system_clock::time_point lastSeen{};
    std::optional<std::chrono::system_clock::time_point> offlineSince;
    bool missing = false; // listed from the site's memory; lastSeen is when it was seen there
};

inline RowDetails DetailsOf(const Device& device)
{
    const DeviceState& state = device.believed;
    const AddressMode mode = !state.hasDhcp ? AddressMode::Unknown : state.dhcpEnabled ? AddressMode::Dhcp : AddressMode::Static;
    return {device.mac, state.ports.port1, mode, device.card, device.lastReport.time, device.offlineSince, device.remembered};
}

} // namespace quillon::devices
