#pragma once

#include "commands/DeviceListing.h"

#include <QString>

#include <optional>
#include <span>

namespace quillon::commands {

// What the device list tells of a row beside its texts: that the computer cannot reach the
// device's page through the card its answer came in on, that other devices answered with the
// same address, and that two hosts answer with its MAC address.
struct RowHint {
    bool outsideCardSubnet = false;
    bool sharesAddress = false;
    bool sharesMac = false;
    QString text; // what is wrong and what to do, a paragraph per hint; empty without one
};

// True when the computer cannot reach the device's page through the card its answer came in on.
bool OutsideCardSubnet(const ListedDevice& device);

// At most this many of the other devices at a row's address are named in its hint.
inline constexpr std::size_t kNamedTwins = 5;

// The hint of one row: `device` is the row's device as ListRowDevice reads it (nothing when the
// table has none under the row's number); `twins` some of the other devices that answered with
// its address (at most kNamedTwins are named), `twinCount` how many there are in all.
RowHint DescribeRow(const std::optional<ListedDevice>& device, std::span<const ListedDevice> twins,
                    std::size_t twinCount);

} // namespace quillon::commands
