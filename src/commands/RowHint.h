#pragma once

#include "commands/DeviceListing.h"

#include <QString>

#include <optional>
#include <span>

namespace quillon::commands {

// What the device list tells of a row beside its texts: that the computer cannot reach the
// device's page through the card its answer came in on, and that other devices answered with
// the same address.
struct RowHint {
    bool outsideCardSubnet = false;
    bool sharesAddress = false;
    QString text; // what is wrong and what to do, a paragraph per hint; empty without one
};

// The hint of one row: `device` is the row's device as ListRowDevice reads it (nothing when the
// table has none under the row's number), `sameAddressRows` the numbers of the other rows that
// show the same address.
RowHint DescribeRow(const std::optional<ListedDevice>& device, std::span<const int> sameAddressRows);

} // namespace quillon::commands
