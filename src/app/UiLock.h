#pragma once

#include "platform/NamedLock.h"

namespace quillon::app {

// Takes `lock` on the UI thread without freezing the window: while another thread or another
// copy of the program holds it, the UI thread keeps serving its events (user input excepted,
// so no command starts meanwhile).
void LockServingEvents(platform::NamedLock& lock);

} // namespace quillon::app
