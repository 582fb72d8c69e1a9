#pragma once

#include "ctl/Common.h"

#include <QStringList>

namespace quillon::ctl {

// `history [MAC]`: the journal of the set requests sent, oldest first.
ParsedCommand ParseHistory(const QStringList& arguments);

} // namespace quillon::ctl
