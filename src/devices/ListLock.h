#pragma once

#include "platform/NamedLock.h"

namespace quillon::devices {

// "LIST LOCK": serialises every change of the device chain and of the list rows, between the
// receivers, the Search command and the closing of the window, and between every running copy
// of the program of the same user.
platform::NamedLock& ListLock();

} // namespace quillon::devices
