#pragma once

#include "ctl/Common.h"

#include <QStringList>

#include <chrono>
#include <string>
#include <vector>

namespace quillon::ctl {

enum class ListFormat { Table, Json, Csv };

struct ListOptions {
    std::chrono::milliseconds timeout{2000};
    int repeats = kSearchRepeats;
    ListFormat format = ListFormat::Table;
    bool pretty = false;
    std::vector<std::string> interfaces; // empty: every card
    MemoryOptions memory;
};

// Exit statuses, as the manual page gives them.
inline constexpr int kExitFound = 0;
inline constexpr int kExitNoDevice = 1;
inline constexpr int kExitError = 2;

// Searches with both protocols, collects the answers for the timeout and writes the listing to
// `dataFd`; messages go to standard error. Returns the exit status.
int RunList(const ListOptions& options, int dataFd);

// `list` from the program's arguments.
ParsedCommand ParseList(const QStringList& arguments);

} // namespace quillon::ctl
