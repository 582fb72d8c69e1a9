// The window's own figures: start-up of the program to the window shown, and ordering 10,000
// rows by each column including the list's repaint. Run it inside the virtual LAN, offscreen
// or on a display:
//   QT_QPA_PLATFORM=offscreen tests/lan/lan-run -- build/bench/window_bench

#include "app/CScannerApp.h"
#include "app/CScannerDlg.h"
#include "devices/ListLock.h"
#include "i18n/InterfaceTexts.h"
#include "VirtualLan.h"

#include <QTest>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>
#include <unistd.h>

using namespace quillon;

namespace {

// Seconds since this process was started, from the kernel's record of its start.
double SecondsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(content.substr(content.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const double started = std::stod(field) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started;
}

void FillRows(devices::DeviceTable& table, int count)
{
    for (int i = 0; i < count; ++i) {
        const auto n = static_cast<std::uint8_t>(i);
        devices::DeviceRecord* record = table.AppendDevice({2, 0, 0, 0, static_cast<std::uint8_t>(i >> 8), n});
        table.AssignRow(*record, QStringLiteral("Camera-%1").arg((i * 7919) % count, 5, 10, QLatin1Char('0')),
                        QStringLiteral("010.%1.%2.%3")
                            .arg(i / 65536 % 256, 3, 10, QLatin1Char('0'))
                            .arg(i / 256 % 256, 3, 10, QLatin1Char('0'))
                            .arg(i % 256, 3, 10, QLatin1Char('0')));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (const auto exposure = test::FindRealNetworkExposure()) {
        std::fprintf(stderr, "window_bench: refusing to run on a real network (%s)\n", exposure->c_str());
        return 2;
    }
    i18n::InterfaceTexts texts;
    app::CScannerApp application(argc, argv);
    platform::NamedLock listLock(devices::kListLockName);
    app::CScannerDlg window(texts, listLock);
    window.OnInitDialog();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const double startup = SecondsSinceProcessStart();
    std::printf("| case | figure |\n|---|---|\n| start-up to window shown | %.0f ms |\n", startup * 1000);
    std::printf("{\"case\":\"startup\",\"ms\":%.1f}\n", startup * 1000);

    constexpr int kRows = 10000;
    FillRows(window.Table(), kRows);
    QTest::qWait(50); // the list takes the rows
    auto* list = window.findChild<QTreeView*>(QStringLiteral("deviceList"));
    for (int column = 0; column < 3; ++column) {
        double worst = 0;
        for (int click = 0; click < 4; ++click) {
            const auto start = std::chrono::steady_clock::now();
            window.OnDeviceListColumnClick(column);
            list->viewport()->repaint();
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            worst = std::max(worst, took.count());
        }
        std::printf("| ordering %d rows by column %d (worst of 4) | %.1f ms |\n", kRows, column, worst);
        std::printf("{\"case\":\"ordering\",\"rows\":%d,\"column\":%d,\"worst_ms\":%.1f}\n", kRows, column, worst);
    }
    window.OnCancel();
    return 0;
}
