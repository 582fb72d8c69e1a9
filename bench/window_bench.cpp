// The window's own figures: start-up of the program to the window shown, ordering 10,000 rows by
// each column including the list's repaint, a row's hint when 20,000 devices share one address,
// the refresh of one changed row in a full list, ordering and filtering the full list (65,536
// rows that answered in random order) with every column shown, and the processor time a full
// list that keeps searching takes between its searches.
// The devices are the simulator's, answering the window's search through the virtual LAN; a
// changed row is a device's update notice on the wire. Run it inside the virtual LAN, offscreen
// or on a display:
//   QT_QPA_PLATFORM=offscreen tools/lan/lan-run -- build/bench/window_bench

#include "app/CScannerApp.h"
#include "app/CScannerDlg.h"
#include "devices/ListLock.h"
#include "i18n/InterfaceTexts.h"
#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"
#include "protocol/Protocol.h"
#include "DeviceList.h"
#include "DevsimProcess.h"
#include "SimulatedDevice.h"
#include "VirtualLan.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QApplication>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
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

// The simulator's `count` devices answer the window's search; true once the list shows them all.
// `devices` is a file of the simulator's devices; without one, it makes up `count` of them.
bool ListSimulatedDevices(app::CScannerDlg& window, QTreeView& list, int count, const QString& devices = {})
{
    std::vector<std::string> arguments{QUILLON_DEVSIM, "--count", std::to_string(count), "--spread", "1000"};
    if (!devices.isEmpty())
        arguments = {QUILLON_DEVSIM, "--devices", devices.toStdString(), "--spread", "1000"};
    devsim::SimulatorProcess simulator(arguments);
    if (!simulator.IsReady())
        return false;
    window.OnSearchDevice();
    QElapsedTimer waited;
    waited.start();
    while (list.model()->rowCount() < count && waited.elapsed() < 30000)
        QTest::qWait(20);
    return list.model()->rowCount() == count;
}

void BroadcastDatagram(std::uint16_t port, const std::vector<std::uint8_t>& bytes)
{
    const platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in destination = platform::BroadcastAddress(port);
    ::sendto(fd.Get(), bytes.data(), bytes.size(), 0, platform::AsSocketAddress(destination), sizeof destination);
}

// `times` update notices, each of a device that moves its row to the end of a list of `rows`
// rows, sorted: from the notice on the wire until the list shows it and has repainted.
std::vector<double> OneRowRefreshes(QTreeView& list, int rows, int times)
{
    const QAbstractItemModel& model = *list.model();
    std::vector<devsim::SimulatedDevice> fleet = devsim::GenerateDevices(rows);
    std::vector<double> took;
    for (int i = 0; i < times; ++i) {
        QTest::qWait(20); // past the list's refresh interval: the change shows at once
        devsim::SimulatedDevice& device = fleet[static_cast<std::size_t>(i * 97 % rows)];
        device.name = "Moved-" + std::to_string(i);
        const auto start = std::chrono::steady_clock::now();
        BroadcastDatagram(protocol::kShortFormPort, devsim::ShortFormReply(device, 1));
        while (model.index(model.rowCount() - 1, 1).data().toString() != QString::fromStdString(device.name))
            QCoreApplication::processEvents();
        list.viewport()->repaint();
        took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(took.begin(), took.end());
    return took;
}

// `count` new cameras, all still at one factory address.
bool WriteCamerasAtOneAddress(QTemporaryFile& file, int count)
{
    if (!file.open())
        return false;
    QByteArray json = "{\"devices\": [";
    for (int i = 0; i < count; ++i)
        json += QStringLiteral(R"(%1{"mac": "02:00:00:%2:%3:%4", "ip": "192.168.1.64", "name": "cam-%5"})")
                    .arg(i > 0 ? QStringLiteral(",") : QString())
                    .arg(i >> 16 & 0xFF, 2, 16, QLatin1Char('0'))
                    .arg(i >> 8 & 0xFF, 2, 16, QLatin1Char('0'))
                    .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
                    .arg(i)
                    .toUtf8();
    json += "]}";
    return file.write(json) == json.size() && file.flush();
}

// What hovering a row costs when every device shares its address: the view asks the model for
// the row's tooltip and shows it, for `rows` rows spread over the list; sorted.
std::vector<double> SharedAddressTooltips(QTreeView& list, int rows)
{
    const QAbstractItemModel& model = *list.model();
    std::vector<double> took;
    for (int i = 0; i < rows; ++i) {
        const QModelIndex name = model.index(i * (model.rowCount() - 1) / (rows - 1), 1);
        list.scrollTo(name);
        const QPoint at = list.visualRect(name).center();
        QHelpEvent hover(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
        const auto start = std::chrono::steady_clock::now();
        QApplication::sendEvent(list.viewport(), &hover);
        took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (!QToolTip::isVisible())
            return {};
        QToolTip::hideText();
    }
    std::sort(took.begin(), took.end());
    return took;
}

struct Stall {
    double untilShownMs = 0; // from the start of the step until the list has repainted
    double longestMs = 0;    // the longest the UI thread served no event meanwhile
};

// One run of `step`, with the list's repaint: how long it took, and the longest gap of a 5 ms
// timer on the UI thread beyond its period while it ran (the gap that ends after the repaint
// included).
Stall MeasureStall(QTreeView& list, const std::function<void()>& step)
{
    constexpr qint64 kPeriod = 5;
    Stall stall;
    QElapsedTimer sinceTick;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        stall.longestMs = std::max(stall.longestMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - kPeriod);
        sinceTick.start();
    });
    ticks.start(kPeriod);
    QTest::qWait(20);
    stall.longestMs = 0;
    const auto start = std::chrono::steady_clock::now();
    step();
    list.viewport()->repaint();
    stall.untilShownMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    QTest::qWait(20); // the tick after the step
    return stall;
}

double ProcessorSeconds()
{
    timespec used{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

// The share of one core the process takes in each of `seconds` seconds.
std::vector<double> SharesBySecond(int seconds)
{
    std::vector<double> shares;
    for (int second = 0; second < seconds; ++second) {
        const double usedBefore = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        QTest::qWait(1000);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        shares.push_back((ProcessorSeconds() - usedBefore) / elapsed);
    }
    return shares;
}

} // namespace

int main(int argc, char* argv[])
{
    if (const auto exposure = test::FindRealNetworkExposure()) {
        std::fprintf(stderr, "window_bench: refusing to run on a real network (%s)\n", exposure->c_str());
        return 2;
    }
    // The window remembers what it finds, as a user's does, in a site's memory of the run's own.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qunsetenv("QUILLON_DATABASE");
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
    auto* list = window.findChild<QTreeView*>(QStringLiteral("deviceList"));
    if (!ListSimulatedDevices(window, *list, kRows))
        return 1;
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

    constexpr int kTwins = 20000;
    QTemporaryFile twinsFile;
    if (!WriteCamerasAtOneAddress(twinsFile, kTwins) || !ListSimulatedDevices(window, *list, kTwins, twinsFile.fileName()))
        return 1;
    const std::vector<double> hints = SharedAddressTooltips(*list, 21);
    if (hints.empty())
        return 1;
    std::printf("| a row's tooltip shown, %d devices at one address (median, worst of 21) | %.2f, %.2f ms |\n",
                kTwins, hints[10], hints.back());
    std::printf("{\"case\":\"shared_address_hint\",\"devices\":%d,\"median_ms\":%.2f,\"worst_ms\":%.2f}\n", kTwins,
                hints[10], hints.back());

    const int fullList = static_cast<int>(devices::DeviceTable::kMaximumDevices);
    if (!ListSimulatedDevices(window, *list, fullList))
        return 1;
    const std::vector<double> refresh = OneRowRefreshes(*list, fullList, 21);
    std::printf("| one row changed in %d rows, refreshed and repainted (median, worst of 21) | %.2f, %.2f ms |\n",
                fullList, refresh[10], refresh.back());
    std::printf("{\"case\":\"one_row_refresh\",\"rows\":%d,\"median_ms\":%.2f,\"worst_ms\":%.2f}\n", fullList,
                refresh[10], refresh.back());

    // Every column shown; the first click on each column, and filters that keep many, few or
    // no rows.
    for (int column = devices::kTextColumnCount; column < devices::kColumnCount; ++column)
        window.ShowColumn(static_cast<devices::Column>(column), true);
    for (int column = 1; column < devices::kColumnCount; ++column) {
        const Stall stall = MeasureStall(*list, [&] { window.OnDeviceListColumnClick(column); });
        std::printf("| first ordering of %d rows by column %d, every column shown: until shown, longest UI stall | %.1f, %.1f ms |\n",
                    fullList, column, stall.untilShownMs, stall.longestMs);
        std::printf("{\"case\":\"full_ordering\",\"rows\":%d,\"column\":%d,\"ms\":%.1f,\"stall_ms\":%.1f}\n", fullList,
                    column, stall.untilShownMs, stall.longestMs);
    }
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filterField"));
    for (const char* text : {"Camera-1", "camera-0001", "10.0.1.7", "02:51:00:00:0a", "no such device", ""}) {
        const Stall stall = MeasureStall(*list, [&] { filter->setText(QLatin1String(text)); });
        std::printf("| filter \"%s\" over %d rows, %d shown: until shown, longest UI stall | %.1f, %.1f ms |\n", text, fullList,
                    list->model()->rowCount(), stall.untilShownMs, stall.longestMs);
        std::printf("{\"case\":\"filter\",\"text\":\"%s\",\"rows\":%d,\"shown\":%d,\"ms\":%.1f,\"stall_ms\":%.1f}\n", text,
                    fullList, list->model()->rowCount(), stall.untilShownMs, stall.longestMs);
    }

    // The simulator keeps answering while the list keeps searching.
    devsim::SimulatorProcess answering({QUILLON_DEVSIM, "--count", std::to_string(fullList), "--spread", "1000"});
    if (!answering.IsReady())
        return 1;
    window.KeepSearchingAction()->setChecked(true); // searches at once, then every 15 s
    const auto interval = std::chrono::duration_cast<std::chrono::seconds>(discovery::Discovery::kLiveSearchInterval);
    const std::vector<double> shares = SharesBySecond(2 * static_cast<int>(interval.count()));
    QString profile;
    for (const double share : shares)
        profile += QStringLiteral("%1 ").arg(share * 100, 0, 'f', 1);
    std::printf("| a live list of %d devices, %% of a core in each second of two searches | %s|\n", fullList, qPrintable(profile));
    std::printf("{\"case\":\"live_list\",\"devices\":%d,\"core_percent_by_second\":[%s]}\n", fullList,
                qPrintable(profile.trimmed().replace(u' ', u',')));
    window.OnCancel();
    return 0;
}
