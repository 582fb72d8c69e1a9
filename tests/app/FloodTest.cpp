// Datagrams of random length and content, with valid replies of 1,000 devices mixed in, on both
// ports at full speed, while Search is clicked again and again; then the window is closed. The
// suite sends 20,000; bench/run sends a million (QUILLON_FLOOD_DATAGRAMS) and records the printed
// figures (longest UI stall, memory) in docs/reliability.md. The test asserts only what must hold
// whatever the machine's speed.

#include "WindowFixture.h"

#include "support/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>

using namespace quillon;

namespace {

bool FloodDone(const QString& logPath)
{
    QFile log(logPath);
    return log.open(QIODevice::ReadOnly) && log.readAll().contains("\"flood\"");
}

class Flood : public test::WindowTest {};

} // namespace

TEST_F(Flood, RandomDatagramsWhileSearchingAgainAndAgainNeitherStopTheWindowNorGrowItsMemory)
{
    const auto setting = [](const char* name, long fallback) {
        return qEnvironmentVariableIsSet(name) ? qEnvironmentVariable(name).toLong() : fallback;
    };
    const long datagrams = setting("QUILLON_FLOOD_DATAGRAMS", 20000);
    // Sanitizers keep freed memory aside for a while and shadow the rest: they set their own bound.
    const long memoryLimitMb = setting("QUILLON_FLOOD_MEMORY_LIMIT_MB", 64);
    Open();
    const long rssBefore = devsim::ResidentKilobytes();
    const QString log = QString::fromStdString(test::WriteTemporaryFile(""));
    test::SimulatorProcess simulator(
        {"--count", "1000", "--flood", std::to_string(datagrams), "--log", log.toStdString()});
    ASSERT_TRUE(simulator.IsReady());

    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.elapsed() - 5);
        sinceTick.restart();
    });
    sinceTick.start();
    probe.start();
    auto* search = Find<QPushButton>("searchButton");
    int searches = 0;
    QElapsedTimer flooding;
    flooding.start();
    while (!FloodDone(log) && flooding.elapsed() < 600000) {
        QTest::mouseClick(search, Qt::LeftButton);
        ++searches;
        QTest::qWait(100);
    }
    ASSERT_TRUE(FloodDone(log)) << "the flood did not end";
    const qint64 floodMs = flooding.elapsed();

    QTest::mouseClick(search, Qt::LeftButton); // after the flood: every device answers it
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 1000; }, 20000)) << RowCount();
    probe.stop();
    const long rssAfter = devsim::ResidentKilobytes();
    EXPECT_EQ(window->Devices().All().size(), 1000u);
    EXPECT_LT(rssAfter - rssBefore, memoryLimitMb * 1024) << "memory stays bounded";

    QTest::mouseClick(Find<QPushButton>("exitButton"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    std::printf("flood: %ld datagrams in %lld ms, %d searches, 1000 of 1000 devices after the last, "
                "longest UI stall %lld ms, RSS %ld -> %ld kB\n",
                datagrams, static_cast<long long>(floodMs), searches, static_cast<long long>(longestStall),
                rssBefore, rssAfter);
}
