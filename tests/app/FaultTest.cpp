// Faults and hostile input around the window: names made to confuse, two copies of the program
// side by side.

#include "WindowFixture.h"

#include "SimulatedDevice.h"
#include "support/SimulatorProcess.h"
#include "support/Sockets.h"

#include <QElapsedTimer>

#include <sys/socket.h>

#include <cstdio>

using namespace quillon;

namespace {

class Faults : public test::WindowTest {};

} // namespace

// The list and the Name field show a device's name through the same neutralising filter.
TEST_F(Faults, NamesThatAreBrokenOrMadeToConfuseAreShownSafely)
{
    // The short-form receiver sends its start-up request once it is bound: then it listens.
    const auto startUp = test::ListenOn(4022, std::chrono::seconds(10));
    Open();
    std::uint8_t request[100];
    ASSERT_EQ(::recv(startUp.Get(), request, sizeof request, 0), 74);
    const std::string names[] = {
        std::string("\xFF\xFE\xC3(broken\xE2\x82", 13), // invalid UTF-8
        "line\nbreak\ttab\x7F",                           // control characters
        "\xE2\x80\xAE" "exe.live",                          // U+202E right-to-left override
        "ad\xE2\x80\x8Bmin",                               // U+200B zero-width space
    };
    std::uint8_t tail = 1;
    for (const std::string& name : names) {
        devsim::SimulatedDevice device;
        device.mac = {0x02, 0x66, 0, 0, 0, tail};
        device.ip = {192, 168, 7, tail++};
        device.name = name;
        test::BroadcastRaw(4022, devsim::ShortFormReply(device));
    }
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 4; })) << RowCount();
    for (int row = 0; row < 4; ++row) {
        const QString shown = RowText(row, 1);
        EXPECT_TRUE(shown.contains(QChar(QChar::ReplacementCharacter))) << shown.toStdString();
        ClickRow(row);
        EXPECT_EQ(Field("nameField"), shown) << "the Name field shows what the list shows";
    }
}

TEST_F(Faults, TwoCopiesSideBySideBothListEveryDevice)
{
    test::SimulatorProcess simulator({"--count", "50"});
    ASSERT_TRUE(simulator.IsReady());
    Open();
    // A second copy: its own window and its own opening of the same named lock, as another
    // process would have.
    platform::NamedLock secondLock("LIST LOCK", lockDirectory.path().toStdString());
    i18n::InterfaceTexts secondTexts;
    app::CScannerDlg second(secondTexts, secondLock);
    second.OnInitDialog();
    second.show();
    auto* secondList = second.findChild<QTreeView*>(QStringLiteral("deviceList"))->model();

    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    QTest::mouseClick(second.findChild<QPushButton*>(QStringLiteral("searchButton")), Qt::LeftButton);
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 50; })) << RowCount();
    ASSERT_TRUE(test::Eventually([&] { return secondList->rowCount() == 50; })) << secondList->rowCount();
    second.OnCancel();
}

TEST_F(Faults, AnotherProcessHoldingTheListLockFreezesNeitherTheListNorExit)
{
    test::SimulatorProcess simulator({"--count", "20"});
    ASSERT_TRUE(simulator.IsReady());
    ASSERT_TRUE(listLock->IsSharedAcrossProcesses());
    // A process of ours that holds the lock file for 6 s, as a copy stopped in a terminal would
    // hold it for good. (Spawned, not forked by QProcess: ThreadSanitizer cannot follow a fork
    // of a process that has threads.)
    const devsim::SimulatorProcess holder({"/usr/bin/flock", "--exclusive", "--no-fork",
                                           lockDirectory.filePath(QStringLiteral("LIST LOCK")).toStdString(), "sh",
                                           "-c", "echo ready; exec sleep 6"});
    ASSERT_TRUE(holder.IsReady()) << "flock(1) did not take the lock";
    Open();

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    EXPECT_TRUE(test::Eventually([&] { return RowCount() == 20; }, 3000)) << RowCount();
    const qint64 listed = clock.elapsed();
    EXPECT_LT(listed, 3000) << "the list waited for the other process";

    clock.restart();
    QTest::mouseClick(Find<QPushButton>("exitButton"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    const qint64 closed = clock.elapsed();
    EXPECT_LT(closed, 1000) << "Exit waited for the other process";
    std::printf("listed %lld ms after Search, closed %lld ms after Exit\n", static_cast<long long>(listed),
                static_cast<long long>(closed));
}
