#pragma once

#include "ctl/Common.h"

#include <QStringList>

namespace quillon::ctl {

// `relay`, run by another computer's quillonctl or window over ssh: frames on standard input and
// the command's data output.
ParsedCommand ParseRelay(const QStringList& arguments);

} // namespace quillon::ctl
