// Discovery at scale: N simulated devices answer one search on both protocols, spread over
// 100 ms or all at once at the simulator's full speed. Each case runs first against a bare
// receiver that only counts the datagrams (the limit of this machine and kernel), then against
// the real window (offscreen): its receivers, device table and list. Reported per case: devices
// listed out of N, time from the search request to the last row shown, the longest stall of
// the UI thread's event loop (a 5 ms timer probe) and resident memory before and after.
// Run it inside the virtual LAN:
//   QT_QPA_PLATFORM=offscreen tools/lan/lan-run -- build/bench/discovery_bench

#include "app/CScannerApp.h"
#include "app/CScannerDlg.h"
#include "devices/ListLock.h"
#include "i18n/InterfaceTexts.h"
#include "platform/ReceiveBuffer.h"
#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"
#include "DevsimProcess.h"
#include "VirtualLan.h"
#include "protocol/LongForm.h"
#include "discovery/Sender.h"
#include "protocol/ShortForm.h"
#include "store/SiteMemory.h"

#include <QAbstractItemModel>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <arpa/inet.h>
#include <sqlite3.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>


using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

struct Case {
    int devices;
    bool burst;
};

struct Measure {
    int listed = 0;
    double msToLast = 0;
    double longestStallMs = 0;
    long rssBeforeKb = 0;
    long rssAfterKb = 0;
    double msToRemembered = 0; // from the last answer taken until the site's memory holds every device listed
    double msToRememberedWorst = 0;
};

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// quillon-devsim for one case.
std::vector<std::string> SimulatorCommand(const Case& c)
{
    std::vector<std::string> words{QUILLON_DEVSIM, "--count", std::to_string(c.devices)};
    if (!c.burst)
        words.insert(words.end(), {"--spread", "100"});
    return words;
}

void SendSearchRequests()
{
    std::array<std::uint8_t, protocol::kShortFormRequestSize> shortForm{};
    protocol::BuildShortFormSearchRequest(shortForm);
    protocol::LongFormPacket longForm{};
    protocol::BuildLongFormRequest(longForm);
    discovery::BroadcastShortForm(shortForm);
    discovery::BroadcastLongForm(longForm);
}

platform::UniqueFd CountingSocket(std::uint16_t port)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const sockaddr_in address = platform::AnyAddress(port);
    ::bind(fd.Get(), platform::AsSocketAddress(address), sizeof address);
    platform::EnlargeReceiveBuffer(fd.Get()); // the same buffers as the program's receivers
    return fd;
}

// The bare receiver: the same ports and buffers, counting the devices whose replies arrive.
Measure RunBaseline(const Case& c)
{
    const auto shortForm = CountingSocket(protocol::kShortFormPort);
    const auto longForm = CountingSocket(protocol::kLongFormPort);
    devsim::SimulatorProcess simulator(SimulatorCommand(c));
    std::set<std::uint64_t> devices;
    std::vector<std::uint8_t> buffer(2048);
    const auto start = Clock::now();
    SendSearchRequests();
    Measure measure;
    pollfd watched[2] = {{shortForm.Get(), POLLIN, 0}, {longForm.Get(), POLLIN, 0}};
    while (::poll(watched, 2, 1500) > 0) {
        for (const pollfd& socket : watched) {
            if (!(socket.revents & POLLIN))
                continue;
            const ssize_t length = ::recv(socket.fd, buffer.data(), buffer.size(), 0);
            const bool isShort = socket.fd == shortForm.Get();
            const bool reply = isShort ? length >= 50 && std::equal(buffer.begin(), buffer.begin() + 5, "IPCam")
                                       : length == 445 && buffer[6] >= 1 && buffer[6] <= 3;
            if (!reply)
                continue;
            const std::size_t macAt = isShort ? 14 : 8;
            std::uint64_t mac = 0;
            for (std::size_t i = 0; i < 6; ++i)
                mac = mac << 8 | buffer[macAt + i];
            if (devices.insert(mac).second)
                measure.msToLast = MillisecondsSince(start);
        }
    }
    measure.listed = static_cast<int>(devices.size());
    return measure;
}

// How many devices the window's site's memory holds as seen at `since` or later (whole seconds,
// as it keeps them): read from a connection of the bench's own, as another program would.
int RememberedSince(const QDateTime& since)
{
    sqlite3* database = nullptr;
    int count = -1;
    if (sqlite3_open_v2(store::DefaultDatabasePath().toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(database, 1000);
        sqlite3_stmt* query = nullptr;
        const QByteArray time = since.toUTC().toString(Qt::ISODate).toUtf8();
        if (sqlite3_prepare_v2(database, "SELECT count(*) FROM device WHERE last_seen >= ?1", -1, &query, nullptr) == SQLITE_OK &&
            sqlite3_bind_text(query, 1, time.constData(), static_cast<int>(time.size()), SQLITE_TRANSIENT) == SQLITE_OK &&
            sqlite3_step(query) == SQLITE_ROW)
            count = sqlite3_column_int(query, 0);
        sqlite3_finalize(query);
    }
    sqlite3_close(database);
    return count;
}

// A run begins on a whole second, after every write of the run before, so that the devices its
// search writes are told from those by their time.
QDateTime BeginOnANewSecond()
{
    QTest::qWait(static_cast<int>(1000 - QDateTime::currentDateTimeUtc().time().msec()) + 1);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return now.addMSecs(-now.time().msec());
}

Measure RunProgram(app::CScannerDlg& window, const Case& c)
{
    QAbstractItemModel* list = window.findChild<QTreeView*>(QStringLiteral("deviceList"))->model();
    Measure measure;
    measure.rssBeforeKb = devsim::ResidentKilobytes();
    devsim::SimulatorProcess simulator(SimulatorCommand(c));

    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        measure.longestStallMs = std::max(measure.longestStallMs, static_cast<double>(sinceTick.elapsed()) - 5);
        sinceTick.restart();
    });
    const QDateTime began = BeginOnANewSecond();
    const auto start = Clock::now();
    window.OnSearchDevice();
    sinceTick.start();
    probe.start();
    int shown = 0;
    auto lastChange = Clock::now();
    // The last answer the table took: a device's reply on its second protocol comes after its row.
    std::uint64_t answers = window.Devices().LastReportMark();
    auto lastAnswer = Clock::now();
    const auto noteAnswers = [&] {
        if (const std::uint64_t mark = window.Devices().LastReportMark(); mark != answers) {
            answers = mark;
            lastAnswer = Clock::now();
        }
    };
    while (shown < c.devices && Clock::now() - lastChange < std::chrono::milliseconds(1500)) {
        QTest::qWait(1);
        noteAnswers();
        if (list->rowCount() != shown) {
            shown = list->rowCount();
            lastChange = Clock::now();
            measure.msToLast = MillisecondsSince(start);
        }
    }
    probe.stop();
    measure.listed = shown;
    // Counted every 50 ms: a count over every device is itself work for the processors.
    while (RememberedSince(began) < shown && Clock::now() - lastAnswer < std::chrono::seconds(20)) {
        for (int step = 0; step < 50; ++step) {
            QTest::qWait(1);
            noteAnswers();
        }
    }
    measure.msToRemembered = std::chrono::duration<double, std::milli>(Clock::now() - lastAnswer).count();
    measure.rssAfterKb = devsim::ResidentKilobytes();
    return measure;
}

std::string Name(const Case& c)
{
    return std::to_string(c.devices) + (c.burst ? " devices, one burst" : " devices, spread over 100 ms");
}

} // namespace

// The median run by time to the last device; the fewest devices listed, the longest stall and
// the most memory of any run; the memory before the first run.
Measure Summary(std::vector<Measure> runs)
{
    const long rssBeforeFirstRun = runs.front().rssBeforeKb;
    std::sort(runs.begin(), runs.end(), [](const Measure& a, const Measure& b) { return a.msToLast < b.msToLast; });
    Measure median = runs[runs.size() / 2];
    std::vector<double> remembered;
    for (const Measure& run : runs)
        remembered.push_back(run.msToRemembered);
    std::sort(remembered.begin(), remembered.end());
    median.msToRemembered = remembered[remembered.size() / 2];
    median.msToRememberedWorst = remembered.back();
    for (const Measure& run : runs) {
        median.listed = std::min(median.listed, run.listed);
        median.longestStallMs = std::max(median.longestStallMs, run.longestStallMs);
        median.rssAfterKb = std::max(median.rssAfterKb, run.rssAfterKb);
    }
    median.rssBeforeKb = rssBeforeFirstRun;
    return median;
}

int main(int argc, char* argv[])
{
    if (const auto exposure = test::FindRealNetworkExposure()) {
        std::fprintf(stderr, "discovery_bench: refusing to run on a real network (%s)\n", exposure->c_str());
        return 2;
    }
    // The window remembers what it finds, as a user's does, in a site's memory of the run's own.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qunsetenv("QUILLON_DATABASE");
    // Up to the table's capacity of 65,536 devices.
    const std::vector<Case> cases = {{10000, false}, {10000, true}, {50000, false}, {50000, true}, {65536, false}, {65536, true}};
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // The baselines first: the window's receivers would hear the same datagrams.
    std::vector<Measure> baselines;
    for (const Case& c : cases) {
        std::vector<Measure> measured;
        for (int run = 0; run < runs; ++run)
            measured.push_back(RunBaseline(c));
        baselines.push_back(Summary(measured));
    }

    i18n::InterfaceTexts texts;
    app::CScannerApp application(argc, argv);
    platform::NamedLock listLock(devices::kListLockName);
    app::CScannerDlg window(texts, listLock);
    window.OnInitDialog();
    window.show();
    QTest::qWait(200);

    std::printf("Medians of %d runs; listed = the fewest in any run; stall and RSS after = the worst run.\n"
                "Remembered: from the last answer taken until the site's memory holds every device listed (median, worst).\n\n", runs);
    std::printf("| case | bare receiver: devices, last | Quillon: listed, last row shown | ratio (time) | longest UI stall | RSS before → after | per 10,000 devices | remembered |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Measure& base = baselines[i];
        std::vector<Measure> measured;
        for (int run = 0; run < runs; ++run)
            measured.push_back(RunProgram(window, c));
        const Measure program = Summary(measured);
        const double ratio = base.msToLast > 0 ? program.msToLast / base.msToLast : 0;
        const double mbPer10000 = static_cast<double>(program.rssAfterKb - program.rssBeforeKb) / 1024 *
                                  10000 / std::max(program.listed, 1);
        std::printf("| %s | %d, %.0f ms | %d of %d, %.0f ms | %.2f | %.1f ms | %.1f → %.1f MB | %.1f MB | %.0f ms, %.0f ms |\n",
                    Name(c).c_str(), base.listed, base.msToLast, program.listed, c.devices, program.msToLast, ratio,
                    program.longestStallMs, static_cast<double>(program.rssBeforeKb) / 1024,
                    static_cast<double>(program.rssAfterKb) / 1024, mbPer10000, program.msToRemembered,
                    program.msToRememberedWorst);
        std::printf("{\"case\":\"discovery\",\"devices\":%d,\"burst\":%s,\"runs\":%d,\"baseline_devices\":%d,"
                    "\"baseline_ms\":%.1f,\"listed\":%d,\"ms_to_last_row\":%.1f,\"ratio\":%.2f,\"longest_stall_ms\":%.1f,"
                    "\"rss_before_kb\":%ld,\"rss_after_kb\":%ld,\"ms_to_remembered\":%.1f,\"ms_to_remembered_worst\":%.1f}\n",
                    c.devices, c.burst ? "true" : "false", runs, base.listed, base.msToLast, program.listed,
                    program.msToLast, ratio, program.longestStallMs, program.rssBeforeKb, program.rssAfterKb, program.msToRemembered,
                    program.msToRememberedWorst);
        std::fflush(stdout);
    }
    window.OnCancel();
    return 0;
}
