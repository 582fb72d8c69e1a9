#pragma once

#include "platform/NamedLock.h"

#include <chrono>
#include <functional>

namespace quillon::app {

// Takes `lock` on the UI thread without freezing the window: while another thread or another
// copy of the program holds it, the UI thread keeps serving its events (user input excepted,
// so no command starts meanwhile). Another copy is waited for at most `patience`.
void LockServingEvents(platform::NamedLock& lock,
                       std::chrono::milliseconds patience = platform::NamedLock::kOtherProcessPatience);

// Runs `work` on a thread of its own while the UI thread keeps serving its events, user input
// excepted as above; returns once it is done. `work` must touch nothing the UI thread uses.
void RunServingEvents(const std::function<void()>& work);

} // namespace quillon::app
