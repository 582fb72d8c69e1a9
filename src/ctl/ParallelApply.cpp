#include "ctl/ParallelApply.h"

#include "protocol/DeviceTexts.h"

#include <QStringList>

#include <algorithm>
#include <list>
#include <thread>
#include <unordered_map>

namespace quillon::ctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{20};
// Every device hears every search: with many in flight, one search now and then asks them all.
constexpr std::chrono::milliseconds kAskAgainInterval{250};

// "port reports 80; ip reports 203.0.113.9": what the device reports instead, if anything.
struct InFlight {
    std::size_t line;
    SentSettings sent;
    Clock::time_point started;
    bool askedAgain = false;
};

// Asks every device again, at most once every kAskAgainInterval.
class AskAgainLimiter {
public:
    explicit AskAgainLimiter(discovery::Discovery& discovery) : discovery_(discovery) {}
    void operator()()
    {
        const Clock::time_point now = Clock::now();
        if (now - last_ < kAskAgainInterval)
            return;
        last_ = now;
        discovery_.AskAgain();
    }

private:
    discovery::Discovery& discovery_;
    Clock::time_point last_{};
};

class Run {
public:
    Run(discovery::Discovery& discovery, Failure& failure, const std::vector<commands::PlanLine>& lines,
        const std::vector<commands::ListedDevice>& devices, const ParallelApplyOptions& options, const LineEnded& ended)
        : discovery_(discovery), failure_(failure), lines_(lines), options_(options), ended_(ended),
          waitFor_(LinesToWaitFor(lines, devices)), hasEnded_(lines.size(), false), started_(lines.size(), false),
          askAgain_(discovery)
    {
    }

    void Go()
    {
        while (!AllDone()) {
            if (Interruption() != 0)
                stopping_ = true;
            if (!stopping_)
                StartReadyLines();
            PollLinesInFlight();
            if (stopping_ && inFlight_.empty())
                return;
            if (!inFlight_.empty())
                std::this_thread::sleep_for(kPollInterval);
        }
    }

private:
    bool AllDone() const { return nextUnstarted_ == lines_.size() && inFlight_.empty(); }

    bool Ready(std::size_t line) const
    {
        return std::all_of(waitFor_[line].begin(), waitFor_[line].end(), [this](std::size_t i) { return hasEnded_[i]; });
    }

    void StartReadyLines()
    {
        for (std::size_t line = nextUnstarted_; line < lines_.size() && inFlight_.size() < options_.jobs && !stopping_;
             ++line) {
            if (started_[line] || !Ready(line))
                continue;
            started_[line] = true;
            Start(line);
        }
        while (nextUnstarted_ < lines_.size() && started_[nextUnstarted_])
            ++nextUnstarted_;
    }

    void Start(std::size_t line)
    {
        SetOptions set;
        static_cast<commands::DeviceChanges&>(set) = lines_[line];
        set.yes = options_.yes;
        // The plan was checked whole: an address still held here is one a later line moves away.
        set.force = true;
        set.timeout = options_.timeout;
        DataOutput nowhere(-1);
        QString refusal;
        std::variant<SetResult, SentSettings> sent =
            SendSettings(discovery_, failure_, set, nowhere, [this] { askAgain_(); }, &refusal);
        if (SetResult* result = std::get_if<SetResult>(&sent)) {
            if (*result == SetResult::Stopped)
                stopping_ = true;
            else
                End(line, *result, refusal, nullptr);
            return;
        }
        inFlight_.push_back({line, std::move(std::get<SentSettings>(sent)), Clock::now()});
    }

    void PollLinesInFlight()
    {
        const Clock::time_point now = Clock::now();
        for (auto flight = inFlight_.begin(); flight != inFlight_.end();) {
            commands::ConfirmationWatch& watch = *flight->sent.watch;
            const Clock::duration waited = now - flight->started;
            std::optional<SetResult> result;
            QString why;
            if (watch.Check() == commands::ConfirmationState::Confirmed) {
                result = SetResult::Confirmed;
            } else if (waited >= options_.timeout || stopping_) {
                if (!stopping_)
                    SayUnconfirmed(watch, options_.timeout);
                result = SetResult::Unconfirmed;
                why = commands::NotApplied(watch.LastCheck());
            } else if (!flight->askedAgain && waited >= options_.timeout / 2) {
                // A device that has said nothing by half the time is asked again, once.
                flight->askedAgain = true;
                askAgain_();
            }
            if (!result) {
                ++flight;
                continue;
            }
            End(flight->line, *result, why, &flight->sent);
            flight = inFlight_.erase(flight);
        }
    }

    void End(std::size_t line, SetResult result, const QString& why, const SentSettings* sent)
    {
        hasEnded_[line] = true;
        if (!ended_(line, result, why, sent))
            stopping_ = true;
    }

    discovery::Discovery& discovery_;
    Failure& failure_;
    const std::vector<commands::PlanLine>& lines_;
    const ParallelApplyOptions& options_;
    const LineEnded& ended_;
    const std::vector<std::vector<std::size_t>> waitFor_;
    std::vector<bool> hasEnded_;
    std::vector<bool> started_;
    std::size_t nextUnstarted_ = 0;
    std::list<InFlight> inFlight_;
    AskAgainLimiter askAgain_;
    bool stopping_ = false;
};

} // namespace

std::vector<std::vector<std::size_t>> LinesToWaitFor(const std::vector<commands::PlanLine>& lines,
                                                     const std::vector<commands::ListedDevice>& devices)
{
    const commands::DevicesByMac byMac = commands::IndexByMac(devices);
    std::unordered_map<std::uint32_t, std::size_t> lastToucher; // address, the latest line touching it
    std::vector<std::vector<std::size_t>> waitFor(lines.size());
    for (std::size_t line = 0; line < lines.size(); ++line) {
        std::vector<std::uint32_t> touched;
        if (const auto device = byMac.find(wire::MacKey(lines[line].mac)); device != byMac.end())
            touched.push_back(wire::Ipv4Key(device->second->ipAddress));
        if (lines[line].ipAddress)
            touched.push_back(wire::Ipv4Key(*lines[line].ipAddress));
        for (const std::uint32_t address : touched) {
            const auto [earlier, first] = lastToucher.try_emplace(address, line);
            if (!first && earlier->second != line) {
                waitFor[line].push_back(earlier->second);
                earlier->second = line;
            }
        }
    }
    return waitFor;
}

void ApplyInParallel(discovery::Discovery& discovery, Failure& failure, const std::vector<commands::PlanLine>& lines,
                     const std::vector<commands::ListedDevice>& devices, const ParallelApplyOptions& options,
                     const LineEnded& ended)
{
    Run(discovery, failure, lines, devices, options, ended).Go();
}

} // namespace quillon::ctl
