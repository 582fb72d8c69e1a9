#pragma once

#include "commands/Plan.h"
#include "ctl/Common.h"
#include "discovery/Discovery.h"
#include "protocol/Wire.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::ctl {

// What `quillonctl set` was asked, checked for form already: only what is given changes.
struct SetOptions : commands::DeviceChanges {
    bool yes = false;            // send a gateway outside the subnet without asking
    bool force = false;          // send an address another listed device has
    std::chrono::milliseconds timeout{5000};
    std::vector<std::string> interfaces; // empty: every card
};

// How long `set` waits for the device to answer the search, at most.
inline constexpr std::chrono::milliseconds kFindTimeout{2000};

// Exit statuses of `set`, as the manual page gives them (2 is kExitError: nothing was sent).
inline constexpr int kExitConfirmed = 0;
inline constexpr int kExitUnconfirmed = 3;
inline constexpr int kExitNotFound = 4;

// Stopped: an interruption came before anything was sent.
enum class SetResult { Confirmed, Unchanged, Unconfirmed, NotFound, Refused, Failed, Stopped };

// With a discovery already started: finds the device, sends its changed settings through the
// window's Submit and waits for the device to confirm them, or until an interruption comes.
// Writes one line per changed field to `output`; messages go to standard error.
SetResult SetOnDevice(discovery::Discovery& discovery, Failure& failure, const SetOptions& options,
                      DataOutput& output);

// Finds the device, sends its changed settings through the window's Submit and waits for the
// device to confirm them. Writes one line per changed field and "confirmed" (or "unchanged")
// to `dataFd`; messages go to standard error. Returns the exit status, the device's own when
// only writing the output failed.
int RunSet(const SetOptions& options, int dataFd);

// `set` from the program's arguments.
ParsedCommand ParseSet(const QStringList& arguments);

} // namespace quillon::ctl
