#pragma once

#include "ctl/Common.h"

#include <QStringList>

namespace quillon::ctl {

// The commands that read the site's memory.
// `history [MAC]`: the journal of the set requests sent, oldest first.
ParsedCommand ParseHistory(const QStringList& arguments);
// `diff`: what changed at a site since the visit before, or a date.
ParsedCommand ParseDiff(const QStringList& arguments);
// `report`: an as-built report of a site (or every site) as HTML, CSV or JSON.
ParsedCommand ParseReport(const QStringList& arguments);
// `forget --site NAME`: removes a site and its devices; the journal stays.
ParsedCommand ParseForget(const QStringList& arguments);
// `site [NAME]`: names the site for what is found from now on, or prints its name.
ParsedCommand ParseSite(const QStringList& arguments);

} // namespace quillon::ctl
