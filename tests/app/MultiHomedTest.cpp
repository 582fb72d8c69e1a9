// A computer on three LANs (the default route on the first), simulated devices on each LAN's
// other host: every device of every LAN is found, changed, and a LAN that comes up later is
// searched at the next Search.

#include "WindowFixture.h"

#include "support/SimulatorProcess.h"

#include <cstdlib>
#include <sstream>

using namespace quillon;

namespace {

// Three devices on LAN k, addressed from its /26.
std::string DevicesOfLan(int lan)
{
    std::ostringstream json;
    json << R"({"devices": [)";
    for (int i = 1; i <= 3; ++i)
        json << (i > 1 ? "," : "") << R"({"mac": "02:0)" << lan << R"(:00:00:00:0)" << i << R"(", "ip": "203.0.113.)"
             << 64 * lan + 10 + i << R"(", "netmask": "255.255.255.192", "gateway": "203.0.113.)" << 64 * lan + 1
             << R"(", "name": "lan)" << lan << "-cam" << i << R"("})";
    json << "]}";
    return json.str();
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

class MultiHomed : public test::WindowTest {};

} // namespace

TEST_F(MultiHomed, DevicesOnEveryLanAreFoundAndReachedAndALanThatComesUpLaterIsSearched)
{
    ASSERT_EQ(Shell("ip link set lan4 down"), 0); // the third LAN's cable is not plugged in yet
    const QString log = QString::fromStdString(test::WriteTemporaryFile(""));
    test::SimulatorProcess first(0, {"--devices", test::WriteTemporaryFile(DevicesOfLan(0))});
    test::SimulatorProcess second(1, {"--devices", test::WriteTemporaryFile(DevicesOfLan(1)), "--log", log.toStdString()});
    test::SimulatorProcess third(2, {"--devices", test::WriteTemporaryFile(DevicesOfLan(2))});
    ASSERT_TRUE(first.IsReady() && second.IsReady() && third.IsReady());

    Open(); // the receivers' start-up requests
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 6; })) << RowCount();
    EXPECT_GE(RowWithName(QStringLiteral("lan1-cam3")), 0) << "a device on the LAN without the default route";
    EXPECT_LT(RowWithName(QStringLiteral("lan2-cam1")), 0);

    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 6; })) << RowCount();

    // A change to a device on the second LAN reaches it.
    ClickRow(RowWithName(QStringLiteral("lan1-cam2")));
    TypeInto("nameField", QStringLiteral("lan1-renamed"));
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return RowWithName(QStringLiteral("lan1-renamed")) >= 0; }));
    const auto sets = test::SimulatorLog(log, "set");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(test::Applied(sets[0]), QStringList{"name"});

    // The cable is plugged in while the program runs: the next Search finds that LAN too.
    ASSERT_EQ(Shell("ip link set lan4 up"), 0);
    ASSERT_TRUE(test::Eventually([] { return Shell("ip link show lan4 | grep -q LOWER_UP") == 0; }))
        << "a link carries a moment after it is set up";
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 9; })) << RowCount();
    EXPECT_GE(RowWithName(QStringLiteral("lan2-cam1")), 0);
}

// A host on the second LAN takes every set request for a camera of the first and says, as the
// camera would, that it applied it. Only the camera's own word, on the card it was found on,
// confirms: the camera itself falls silent, so the change stays unconfirmed.
TEST_F(MultiHomed, ANoticeForgedOnAnotherLanConfirmsNothing)
{
    const std::string camera = R"({"mac": "02:00:00:00:00:01", "ip": "203.0.113.11", "netmask": "255.255.255.192",
                                   "name": "cam")";
    test::SimulatorProcess device(0, {"--devices", test::WriteTemporaryFile(R"({"devices": [)" + camera +
                                                                            R"(, "confirm": "silent"}]})")});
    test::SimulatorProcess forger(1, {"--devices", test::WriteTemporaryFile(R"({"devices": [)" + camera +
                                                                            R"(, "protocols": []}]})")});
    ASSERT_TRUE(device.IsReady() && forger.IsReady());
    Open();
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 1; })) << RowCount();
    ClickRow(0);
    TypeInto("nameField", QStringLiteral("renamed"));
    Submit();
    const QLabel* line = Find<QLabel>("statusLine");
    EXPECT_TRUE(test::Eventually([&] { return line->text().startsWith(QLatin1String("No answer from")); }))
        << line->text().toStdString();
}
