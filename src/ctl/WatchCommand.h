#pragma once

#include "ctl/Common.h"

#include <QStringList>

#include <chrono>
#include <string>
#include <vector>

namespace quillon::ctl {

struct WatchOptions {
    std::chrono::seconds interval = discovery::Discovery::kLiveSearchInterval;
    int repeats = kSearchRepeats;
    bool json = false;
    std::vector<std::string> interfaces; // empty: every card
};

// Searches, then searches again every interval without forgetting a device, and writes a line to
// `dataFd` for each device that is new, changed, gone offline or back, as it is seen, until
// SIGINT, SIGTERM or SIGHUP (exit status 0). 2 on errors.
int RunWatch(const WatchOptions& options, int dataFd);

// `watch` from the program's arguments.
ParsedCommand ParseWatch(const QStringList& arguments);

} // namespace quillon::ctl
