// A remote site's devices found through its relay, against the same devices on this computer's
// own LAN. N simulated devices answer within SPREAD ms of each search request; reported per run:
// the time from the search to the last device in the table, locally, through a relay that ssh
// has still to start (the first search), and through one already up (a later Search); then how
// long a dead relay and a hung one take to be noticed. Run it with bench/relay (a site behind a router, an
// sshd on its host):
//   bench/relay [N] [RUNS] [SPREAD_MS]      (default 1000 devices, 5 runs, 1000 ms)

#include "DevsimProcess.h"
#include "VirtualLan.h"
#include "discovery/Discovery.h"
#include "platform/NamedLock.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

struct Run {
    double local = 0;
    double remoteFirst = 0;
    double remoteLater = 0;
    double deathNoticed = 0;
    double hangNoticed = 0;
};

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Waits until `done` holds (checked every millisecond), at most 20 s; the time taken, or -1.
template <typename Condition>
double Until(Clock::time_point start, Condition done)
{
    while (!done()) {
        if (MsSince(start) > 20000)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return MsSince(start);
}

std::vector<std::string> Simulator(const char* host, int devices, int spread)
{
    std::vector<std::string> command;
    if (host != nullptr)
        command = {std::string(QUILLON_SOURCE_DIR) + "/tools/lan/in-peer", host};
    command.insert(command.end(), {QUILLON_DEVSIM, "--count", std::to_string(devices), "--spread", std::to_string(spread)});
    return command;
}

Run Measure(int devices, int spread, const std::string& lockDirectory)
{
    Run run;
    platform::NamedLock lock("LIST LOCK", lockDirectory);
    const auto all = [devices](discovery::Discovery& discovery) {
        return [&discovery, devices] { return discovery.Devices().Count() >= static_cast<std::size_t>(devices); };
    };
    {
        devsim::SimulatorProcess simulator(Simulator(nullptr, devices, spread));
        discovery::Discovery local(lock, [](int) {});
        const Clock::time_point start = Clock::now();
        local.Start();
        run.local = Until(start, all(local));
    }
    devsim::SimulatorProcess simulator(Simulator("site-lan", devices, spread));
    discovery::Discovery remote(lock, [](int) {});
    remote.SetSites({"site"}, false);
    Clock::time_point start = Clock::now();
    remote.Start();
    run.remoteFirst = Until(start, all(remote));
    std::this_thread::sleep_for(std::chrono::milliseconds(spread + 200)); // the answers to the first search end
    start = Clock::now();
    remote.Search();
    run.remoteLater = Until(start, all(remote));
    (void)std::system("pkill -f '^quillonctl relay'");
    start = Clock::now();
    const auto failed = [&remote] { return remote.Sites().at(0).phase == discovery::SiteState::Phase::Failed; };
    run.deathNoticed = Until(start, failed);
    // A relay that hangs (stopped, as a frozen host would leave it): noticed once a request of
    // the next search goes unanswered.
    remote.Search();
    Until(Clock::now(), [&remote] { return remote.Sites().at(0).phase == discovery::SiteState::Phase::Up; });
    (void)std::system("pkill -STOP -f '^quillonctl relay'");
    start = Clock::now();
    remote.AskAgain();
    run.hangNoticed = Until(start, failed);
    (void)std::system("pkill -KILL -f '^quillonctl relay'");
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<std::string> exposure = test::FindRealNetworkExposure()) {
        std::fprintf(stderr, "relay_bench: refusing to run on a real network: %s\n", exposure->c_str());
        return 1;
    }
    const int devices = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const int spread = argc > 3 ? std::atoi(argv[3]) : 1000;
    QTemporaryDir locks;
    std::printf("%d devices answering within %d ms of a search\n\n", devices, spread);
    std::printf("| run | local search | through the relay, first search (ssh starting) | ratio | later search | ratio | relay's death noticed | hang noticed |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    std::vector<double> first, later, death;
    for (int i = 1; i <= runs; ++i) {
        const Run run = Measure(devices, spread, locks.path().toStdString());
        first.push_back(run.remoteFirst / run.local);
        later.push_back(run.remoteLater / run.local);
        death.push_back(run.deathNoticed);
        std::printf("| %d | %.0f ms | %.0f ms | %.2f | %.0f ms | %.2f | %.0f ms | %.0f ms |\n", i, run.local, run.remoteFirst,
                    run.remoteFirst / run.local, run.remoteLater, run.remoteLater / run.local, run.deathNoticed, run.hangNoticed);
    }
    std::printf("\nmedian ratio: first search %.2f, later search %.2f; worst first %.2f, later %.2f; death noticed: median %.0f ms, "
                "worst %.0f ms\n",
                Median(first), Median(later), *std::max_element(first.begin(), first.end()),
                *std::max_element(later.begin(), later.end()), Median(death), *std::max_element(death.begin(), death.end()));
    return 0;
}
