#include "ctl/ListCommand.h"

#include "commands/DeviceListing.h"
#include "devices/ListLock.h"
#include "discovery/Discovery.h"
#include "platform/Interfaces.h"
#include "platform/NamedLock.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

namespace quillon::ctl {

namespace {

// The indexes of the named cards; nothing when a name is not a card that can carry a search.
std::optional<std::vector<unsigned>> NamedCards(const std::vector<std::string>& names,
                                                const std::vector<platform::BroadcastInterface>& cards)
{
    std::vector<unsigned> indexes;
    for (const std::string& name : names) {
        const auto card = std::find_if(cards.begin(), cards.end(),
                                       [&](const platform::BroadcastInterface& c) { return c.name == name; });
        if (card == cards.end()) {
            std::fprintf(stderr, "quillonctl: no network card '%s' that is up and has an IPv4 address\n",
                         name.c_str());
            return std::nullopt;
        }
        indexes.push_back(card->index);
    }
    return indexes;
}

bool WriteAll(int fd, const QByteArray& data)
{
    const char* next = data.constData();
    std::size_t left = static_cast<std::size_t>(data.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

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

} // namespace

int RunList(const ListOptions& options, int dataFd)
{
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    const std::optional<std::vector<unsigned>> named = NamedCards(options.interfaces, cards);
    if (!named)
        return kExitError;
    platform::SetBroadcastInterfaceNames(options.interfaces);

    Failure failure;
    platform::NamedLock listLock(devices::kListLockName);
    discovery::Discovery discovery(listLock, [&failure](int) { failure.Raise(); });
    discovery.Start();
    const bool failed = failure.WaitFor(options.timeout);
    std::vector<commands::ListedDevice> devices = commands::ListDevices(discovery.Table(), cards);
    discovery.Stop();
    if (failed)
        return kExitError;

    if (!named->empty())
        std::erase_if(devices, [&](const commands::ListedDevice& device) {
            return std::find(named->begin(), named->end(), device.cardIndex) == named->end();
        });
    if (devices.empty())
        std::fputs("quillonctl: no device answered\n", stderr);
    QByteArray data;
    switch (options.format) {
    case ListFormat::Table: // for people: nothing at all rather than a lone header
        if (!devices.empty())
            data = commands::FormatTable(devices);
        break;
    case ListFormat::Json:
        data = commands::FormatJson(devices, options.pretty);
        break;
    case ListFormat::Csv:
        data = commands::FormatCsv(devices);
        break;
    }
    if (!WriteAll(dataFd, data)) {
        std::perror("quillonctl: writing the listing");
        return kExitError;
    }
    return devices.empty() ? kExitNoDevice : kExitFound;
}

} // namespace quillon::ctl
