// The window's own figures: start-up of the program to the window shown, ordering 10,000 rows by
// each column including the list's repaint, and the refresh of one changed row in a full list.
// Every device lies outside the subnet of the card it answered on, so each row shown carries a
// hint. Run it inside the virtual LAN, offscreen or on a display:
//   QT_QPA_PLATFORM=offscreen tools/lan/lan-run -- build/bench/window_bench

#include "app/CScannerApp.h"
#include "app/CScannerDlg.h"
#include "devices/ListLock.h"
#include "i18n/InterfaceTexts.h"
#include "VirtualLan.h"

#include <QAbstractItemModel>
#include <QTest>
#include <QTreeView>

#include <net/if.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

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

// Rows `from` to `to` - 1, each of a device at 10.x.y.z that answered on the virtual LAN's card.
void FillRows(devices::DeviceTable& table, int from, int to, int count)
{
    const unsigned card = ::if_nametoindex("lan0");
    for (int i = from; i < to; ++i) {
        const auto a = static_cast<std::uint8_t>(i >> 16);
        const auto b = static_cast<std::uint8_t>(i >> 8);
        const auto c = static_cast<std::uint8_t>(i);
        devices::DeviceRecord* record = table.AppendDevice({2, 0, 0, a, b, c});
        record->ipAddress = {10, a, b, c, 0};
        record->arrivalInterface = card;
        table.AssignRow(*record, QStringLiteral("Camera-%1").arg((i * 7919) % count, 5, 10, QLatin1Char('0')),
                        QStringLiteral("010.%1.%2.%3")
                            .arg(a, 3, 10, QLatin1Char('0'))
                            .arg(b, 3, 10, QLatin1Char('0'))
                            .arg(c, 3, 10, QLatin1Char('0')));
    }
}

// `times` refreshes of one row that moves to the end of a list of `rows` rows, sorted: from the
// change in the core until the list shows it and has repainted.
std::vector<double> OneRowRefreshes(app::CScannerDlg& window, QTreeView& list, int rows, int times)
{
    const QAbstractItemModel& model = *list.model();
    std::vector<double> took;
    for (int i = 0; i < times; ++i) {
        QTest::qWait(20); // past the list's refresh interval: the change shows at once
        devices::DeviceRecord* record = window.Table().FindDeviceByListIndex(i * 97 % rows);
        const QString name = QStringLiteral("Moved-%1").arg(i);
        const auto start = std::chrono::steady_clock::now();
        window.Table().RefreshRow(*record, name, QStringLiteral("010.255.255.%1").arg(i, 3, 10, QLatin1Char('0')));
        while (model.index(model.rowCount() - 1, 1).data().toString() != name)
            QCoreApplication::processEvents();
        list.viewport()->repaint();
        took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(took.begin(), took.end());
    return took;
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
    FillRows(window.Table(), 0, kRows, kRows);
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

    const int fullList = static_cast<int>(devices::DeviceTable::kMaximumRecords);
    FillRows(window.Table(), kRows, fullList, fullList);
    QTest::qWait(50);
    const std::vector<double> refresh = OneRowRefreshes(window, *list, fullList, 21);
    std::printf("| one row changed in %d rows, refreshed and repainted (median, worst of 21) | %.2f, %.2f ms |\n",
                fullList, refresh[10], refresh.back());
    std::printf("{\"case\":\"one_row_refresh\",\"rows\":%d,\"median_ms\":%.2f,\"worst_ms\":%.2f}\n", fullList,
                refresh[10], refresh.back());
    window.OnCancel();
    return 0;
}
