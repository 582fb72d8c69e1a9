#pragma once

#include "commands/DeviceListing.h"
#include "commands/Plan.h"
#include "ctl/Common.h"
#include "ctl/SetCommand.h"
#include "discovery/Discovery.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace quillon::ctl {

// For each line of a plan, the earlier lines that must have ended before it starts: those that
// touch an address it touches (the device's address now, or the one the line gives it). A line
// that gives a device the address another line moves away from, the two halves of a swap, keep
// the plan's order; all other lines are free to run side by side.
std::vector<std::vector<std::size_t>> LinesToWaitFor(const std::vector<commands::PlanLine>& lines,
                                                     const std::vector<commands::ListedDevice>& devices);

struct ParallelApplyOptions {
    std::size_t jobs = 8;                    // devices in flight at once
    std::chrono::milliseconds timeout{5000}; // for each device to confirm
    bool yes = false;                        // send gateways outside the subnet without refusing
};

// Called as each line ends, with its index in the plan, for a refusal or a device that reports
// other values why ("port reports 80"), and what was sent, if anything; false stops the start of
// further lines (those in flight still end).
using LineEnded = std::function<bool(std::size_t line, SetResult result, const QString& why, const SentSettings* sent)>;

// Applies the lines, up to `jobs` devices at once, each confirmed on its own. An interruption
// starts no further line, and the devices in flight then end unconfirmed. Lines never started
// are not reported.
void ApplyInParallel(discovery::Discovery& discovery, Failure& failure, const std::vector<commands::PlanLine>& lines,
                     const std::vector<commands::ListedDevice>& devices, const ParallelApplyOptions& options,
                     const LineEnded& ended);

} // namespace quillon::ctl
