#pragma once

#include "commands/DeviceListing.h"
#include "devices/ListLock.h"
#include "discovery/Discovery.h"
#include "platform/NamedLock.h"
#include "platform/Interfaces.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::ctl {

// The indexes of the named cards; nothing, with a message, when a name is not a card that can
// carry a search.
std::optional<std::vector<unsigned>> NamedCards(const std::vector<std::string>& names,
                                                const std::vector<platform::BroadcastInterface>& cards);

// NamedCards, and then searches through those cards only (through every card when `names` is
// empty); nothing, with a message, when a name is not a card that can carry a search.
std::optional<std::vector<unsigned>> SearchOnlyThrough(const std::vector<std::string>& names,
                                                       const std::vector<platform::BroadcastInterface>& cards);

// Drops the devices that answered on a card not in `named`; an empty `named` keeps them all.
void KeepNamedCards(std::vector<commands::ListedDevice>& devices, const std::vector<unsigned>& named);

// Writes all of `data` to `fd`; false, errno set, when that failed.
bool WriteAll(int fd, const QByteArray& data);

// Set by a receiver that could not be set up; the wait for answers then ends at once.
class Failure {
public:
    void Raise()
    {
        {
            const std::scoped_lock lock(mutex_);
            raised_ = true;
        }
        changed_.notify_all();
    }
    // Waits up to `timeout`; true when a failure was raised meanwhile.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

// One run's discovery, with the list lock it shares with the window and the failure its
// receivers raise when one cannot be set up.
struct Session {
    Session() : discovery(listLock, [this](int) { failure.Raise(); }) {}

    Failure failure;
    platform::NamedLock listLock{devices::kListLockName};
    discovery::Discovery discovery;
};

} // namespace quillon::ctl
