#pragma once

#include "protocol/Wire.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace quillon::discovery {

// When the "wrong user name or password" box may be shown: one box open at a time, and for a
// device (its MAC address) at most once in any kQuietTime, however many replies report it.
// A host repeating the report can then not keep the user closing boxes.
class PasswordNotices {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kQuietTime{10};

    // True when the box for `mac` is to be shown at `now`; it then counts as open until Closed().
    bool Admit(const wire::MacAddress& mac, Clock::time_point now);
    void Closed();

private:
    std::mutex mutex_;
    bool open_ = false;
    std::unordered_map<std::uint64_t, Clock::time_point> lastShown_;
};

} // namespace quillon::discovery
