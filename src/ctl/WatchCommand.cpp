#include "ctl/WatchCommand.h"

#include "commands/WatchEvents.h"
#include "ctl/ListCommand.h"
#include "platform/Interfaces.h"
#include "protocol/DeviceTexts.h"

#include <cstdio>
#include <optional>

namespace quillon::ctl {

namespace {

using Clock = std::chrono::steady_clock;

// How often the devices are compared with what was last said of them.
constexpr std::chrono::milliseconds kCompareInterval{1000};
constexpr std::chrono::milliseconds kTick{100};
constexpr int kLongestInterval = 3600;

// Writes the events between `before` and the devices as they are now; false when the output
// failed.
bool WriteEvents(const WatchOptions& options, const std::vector<unsigned>& named, int dataFd,
                 discovery::Discovery& discovery, std::vector<commands::ListedDevice>& before)
{
    std::vector<commands::ListedDevice> now = commands::ListDevices(discovery.Devices(), platform::UsableInterfaces());
    KeepNamedCards(now, named);
    const QDateTime when = QDateTime::currentDateTime();
    QByteArray data;
    for (const commands::WatchEvent& event : commands::WatchEvents(before, now))
        data += options.json ? commands::WatchEventJson(event, when) : commands::WatchEventText(event, when).toUtf8() + '\n';
    before = std::move(now);
    return WriteAll(dataFd, data);
}

// Says on standard error each site whose relay came up or failed since it was last looked at; its
// relay is started again at the next search.
void SaySiteChanges(const discovery::Discovery& discovery, std::vector<discovery::SiteState>& said)
{
    std::vector<discovery::SiteState> now = discovery.Sites();
    for (std::size_t i = 0; i < now.size(); ++i) {
        const discovery::SiteState& site = now[i];
        if (i < said.size() && said[i].phase == site.phase)
            continue;
        if (site.phase == discovery::SiteState::Phase::Up)
            std::fprintf(stderr, "quillonctl: site %s: searching\n", qPrintable(protocol::DisplayableText(QString::fromStdString(site.host))));
        else if (site.phase == discovery::SiteState::Phase::Failed)
            std::fprintf(stderr, "quillonctl: site %s: %s (tried again at the next search)\n",
                         qPrintable(protocol::DisplayableText(QString::fromStdString(site.host))),
                         qPrintable(protocol::DisplayableText(QString::fromStdString(site.why))));
    }
    said = std::move(now);
}

} // namespace

ParsedCommand ParseWatch(const QStringList& arguments)
{
    CommandLine line({"watch", "watch [OPTION]...",
                      "Searches, then searches again every interval without forgetting a device, and prints a line "
                      "for each device as it is new, changes (changed FIELD old \u2192 new), goes offline (missed "
                      "three searches in a row) or comes back online, until interrupted.",
                      "Exit status: 0 when stopped by SIGINT, SIGTERM or SIGHUP, 2 on errors."});
    line.AddRepeat();
    line.AddOutputFormat();
    line.AddVia();
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Search again every SECONDS, 1 to %1 (default %2).")
                                          .arg(kLongestInterval)
                                          .arg(WatchOptions().interval.count()),
                                      QStringLiteral("SECONDS"));
    line.AddOptions({interval});
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    WatchOptions options;
    if (line.Options().isSet(interval)) {
        bool isNumber = false;
        const int seconds = line.Options().value(interval).toInt(&isNumber);
        if (!isNumber || seconds < 1 || seconds > kLongestInterval)
            return UsageError(QStringLiteral("--interval takes 1 to %1 seconds, not '%2'")
                                  .arg(kLongestInterval)
                                  .arg(line.Options().value(interval)));
        options.interval = std::chrono::seconds(seconds);
    }
    options.repeats = line.Repeats();
    options.json = line.Json();
    options.interfaces = line.Interfaces();
    return [options](int dataFd) { return RunWatch(options, dataFd); };
}

int RunWatch(const WatchOptions& options, int dataFd)
{
    const std::optional<std::vector<unsigned>> named = SearchOnlyThrough(options.interfaces, platform::UsableInterfaces());
    if (!named)
        return kExitError;
    CatchInterruptions();
    Session session;
    discovery::Discovery& discovery = session.discovery;
    discovery.Start();

    std::vector<commands::ListedDevice> before;
    const Clock::time_point start = Clock::now();
    Clock::time_point nextSearch = start + options.interval;
    Clock::time_point nextRepeat = start + kSearchRepeatInterval;
    Clock::time_point nextComparison = start + kCompareInterval;
    int repeatsLeft = options.repeats - 1;
    std::vector<discovery::SiteState> sitesSaid;
    while (Interruption() == 0) {
        if (session.failure.WaitFor(kTick))
            return kExitError;
        const Clock::time_point now = Clock::now();
        if (now >= nextSearch) {
            discovery.SearchLive(std::chrono::system_clock::now());
            nextSearch += options.interval;
            nextRepeat = now + kSearchRepeatInterval;
            repeatsLeft = options.repeats - 1;
        } else if (repeatsLeft > 0 && now >= nextRepeat) {
            discovery.AskAgain();
            nextRepeat += kSearchRepeatInterval;
            --repeatsLeft;
        }
        if (now >= nextComparison) {
            nextComparison += kCompareInterval;
            SaySiteChanges(discovery, sitesSaid);
            if (!WriteEvents(options, *named, dataFd, discovery, before)) {
                std::perror("quillonctl: writing the events");
                return kExitError;
            }
        }
    }
    discovery.Stop();
    return 0;
}

} // namespace quillon::ctl
