// The plan's checks at a site's full size, without a network: `plan` making a plan for 65,536
// devices and `apply` checking it, the devices made up as a search would list them (every one
// outside the range, so every line moves its device). Prints the median of RUNS of each:
//   build/bench/plan_bench [RUNS]

#include "commands/Plan.h"
#include "devices/DeviceTable.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace quillon;

namespace {

std::vector<commands::ListedDevice> Site(int count)
{
    std::vector<commands::ListedDevice> devices(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        commands::ListedDevice& device = devices[static_cast<std::size_t>(i)];
        const auto byte = [i](int shift) { return static_cast<std::uint8_t>(i >> shift); };
        device.macAddress = {0x02, 0x00, 0x00, byte(16), byte(8), byte(0)};
        device.ipAddress = {10, byte(16), byte(8), static_cast<std::uint8_t>(1 + i % 250)};
        device.netmask = {255, 0, 0, 0};
        device.name = QStringLiteral("cam-%1").arg(i);
        device.nameBytes = device.name.toUtf8();
    }
    return devices;
}

double MedianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> took;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(took.begin(), took.end());
    return took[took.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int count = static_cast<int>(devices::DeviceTable::kMaximumDevices);
    const std::vector<commands::ListedDevice> devices = Site(count);
    commands::PlanRequest request;
    request.first = {10, 200, 0, 1};
    request.last = {10, 255, 255, 254};
    request.nameTemplate = QStringLiteral("site-{n:05}");
    QString error;
    std::optional<QByteArray> plan;
    const double making = MedianMs(runs, [&] { plan = commands::MakePlan(devices, request, error); });
    if (!plan) {
        std::fprintf(stderr, "plan_bench: no plan: %s\n", qPrintable(error));
        return 1;
    }
    commands::CheckedPlan checked;
    const double checking = MedianMs(runs, [&] { checked = commands::CheckPlan(*plan, devices); });
    if (checked.lines.size() != devices.size() || !checked.problems.empty()) {
        std::fprintf(stderr, "plan_bench: the plan checked as %zu lines, %zu problems\n", checked.lines.size(),
                     checked.problems.size());
        return 1;
    }
    std::printf("| case | median of %d |\n|---|---|\n", runs);
    std::printf("| making a plan for %d devices | %.0f ms |\n| checking a plan of %d lines | %.0f ms |\n", count, making,
                count, checking);
    std::printf("{\"case\":\"make_plan\",\"devices\":%d,\"median_ms\":%.1f}\n", count, making);
    std::printf("{\"case\":\"check_plan\",\"lines\":%d,\"median_ms\":%.1f}\n", count, checking);
    return 0;
}
