#pragma once

#include "platform/UniqueFd.h"

#include <atomic>

namespace quillon::platform {

// A one-way signal that wakes a thread blocked in WaitReadable.
class StopSignal {
public:
    StopSignal();
    void Raise();
    bool IsRaised() const { return raised_.load(); }

    // Blocks until `fd` is readable (true) or the signal is raised (false).
    bool WaitReadable(int fd) const;

private:
    UniqueFd event_;
    std::atomic<bool> raised_{false};
};

} // namespace quillon::platform
