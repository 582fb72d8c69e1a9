#pragma once

#include "ctl/Common.h"

#include <QStringList>

namespace quillon::ctl {

// The commands that read the site's memory.
// `history [MAC]`: the journal of the set requests sent, oldest first.
ParsedCommand ParseHistory(const QStringList& arguments);
// `diff`: what changed at a site since the visit before, or a date.
ParsedCommand ParseDiff(const QStringList& arguments);

} // namespace quillon::ctl
