#pragma once

#include "ctl/Common.h"

#include <QStringList>

#include <string>
#include <vector>

namespace quillon::ctl {

// Exit status of `doctor` when something stands in the way of a search.
inline constexpr int kExitInTheWay = 1;

// Writes to `dataFd`, one per line, what a search would meet: the cards it would go through
// (only the named ones when `interfaces` is not empty), those that drop answers from other
// subnets, the receiving ports, the firewall definitions, as lines or (`json`) one array of
// objects (subject, finding, in_the_way). Sends nothing. Returns the exit status.
int RunDoctor(const std::vector<std::string>& interfaces, bool json, int dataFd);
// The doctor of each site, run there over ssh, its findings written to `dataFd` one site after
// the other; the worst exit status of them, 2 for a site it could not be run at.
int RunRemoteDoctor(const std::vector<std::string>& hosts, bool json, int dataFd);

// `doctor` from the program's arguments.
ParsedCommand ParseDoctor(const QStringList& arguments);

} // namespace quillon::ctl
