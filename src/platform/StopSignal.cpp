#include "platform/StopSignal.h"

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quillon::platform {

StopSignal::StopSignal() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void StopSignal::Raise()
{
    raised_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(event_.Get(), &one, sizeof one);
}

bool StopSignal::WaitReadable(int fd) const
{
    pollfd watched[2] = {{fd, POLLIN, 0}, {event_.Get(), POLLIN, 0}};
    // Without an eventfd (none could be made) the flag is looked at every 50 ms instead.
    const int timeout = event_.IsValid() ? -1 : 50;
    while (!raised_) {
        const int ready = ::poll(watched, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return !raised_; // let the caller's receive report the failure
        if (ready > 0 && watched[1].revents != 0)
            return false;
        if (ready > 0 && watched[0].revents != 0)
            return true;
    }
    return false;
}

StopSignal::Wake StopSignal::WaitReadableFor(int fd, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd watched[2] = {{fd, POLLIN, 0}, {event_.Get(), POLLIN, 0}};
    while (!raised_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return Wake::TimedOut;
        // Without an eventfd (none could be made) the flag is looked at every 50 ms instead.
        const int wait = static_cast<int>(event_.IsValid() ? left.count() : std::min<long long>(left.count(), 50));
        const int ready = ::poll(watched, 2, wait);
        if (ready < 0 && errno != EINTR)
            return Wake::Readable; // let the caller's read report the failure
        if (ready > 0 && watched[1].revents != 0)
            return Wake::Raised;
        if (ready > 0 && watched[0].revents != 0)
            return Wake::Readable;
    }
    return Wake::Raised;
}

} // namespace quillon::platform
