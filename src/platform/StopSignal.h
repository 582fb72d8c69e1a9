#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <chrono>

namespace quillon::platform {

// A one-way signal that wakes a thread blocked in WaitReadable.
class StopSignal {
public:
    StopSignal();
    void Raise();
    bool IsRaised() const { return raised_.load(); }

    // Blocks until `fd` is readable (true) or the signal is raised (false).
    bool WaitReadable(int fd) const;

    enum class Wake { Readable, TimedOut, Raised };
    // Blocks until `fd` is readable, `timeout` passed or the signal is raised.
    Wake WaitReadableFor(int fd, std::chrono::milliseconds timeout) const;

private:
    UniqueFd event_;
    std::atomic<bool> raised_{false};
};

} // namespace quillon::platform
