// How many of N simulated devices, all answering one search at once on both protocols, end up
// in the device table, and how long the last one took. Runs the core's receivers and device
// table without a window. Run it inside the virtual LAN:
//   tests/lan/lan-run -- build/bench/receiver_burst [N]

#include "devices/DeviceTable.h"
#include "devices/RowStore.h"
#include "platform/NamedLock.h"
#include "platform/VirtualLan.h"
#include "protocol/Receivers.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

pid_t StartSimulator(int count)
{
    std::string path = QUILLON_DEVSIM, countOption = "--count", countText = std::to_string(count);
    char* argv[] = {path.data(), countOption.data(), countText.data(), nullptr};
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int ListedCount(devices::DeviceTable& table)
{
    std::scoped_lock lock(table.RecordsMutex());
    int count = 0;
    for (auto* record = table.Chain().deviceHead; record != nullptr; record = record->next)
        ++count;
    return count;
}

} // namespace

int main(int argc, char* argv[])
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (const auto exposure = platform::FindRealNetworkExposure()) {
        std::fprintf(stderr, "receiver_burst: refusing to run on a real network (%s)\n", exposure->c_str());
        return 2;
    }
    const pid_t simulator = StartSimulator(count);
    if (simulator < 0)
        return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it bind its ports

    char directory[] = "/tmp/quillon-bench-XXXXXX";
    if (::mkdtemp(directory) == nullptr)
        return 1;
    devices::RowStore rows;
    devices::DeviceTable table(rows);
    platform::NamedLock listLock("LIST LOCK", directory);
    protocol::ReceiverShared shared{table, listLock, [](int) {}, {}};

    const auto start = Clock::now();
    auto lastChange = start;
    int listed = 0;
    {
        protocol::ReceiverThread longForm(protocol::LongFormReceiverThread, shared);
        protocol::ReceiverThread shortForm(protocol::ShortFormReceiverThread, shared);
        while (Clock::now() - lastChange < std::chrono::seconds(2)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const int now = ListedCount(table);
            if (now != listed) {
                listed = now;
                lastChange = Clock::now();
            }
        }
    }
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(lastChange - start).count();
    std::printf("{\"case\":\"receiver_burst\",\"devices\":%d,\"listed\":%d,\"ms_to_last_record\":%lld}\n", count,
                listed, static_cast<long long>(milliseconds));
    ::kill(simulator, SIGTERM);
    ::waitpid(simulator, nullptr, 0);
    std::filesystem::remove_all(directory);
    return 0;
}
