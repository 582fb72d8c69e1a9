// The window searching a remote site beside its own LAN: the site's devices listed on the card
// "site:lan10", changed and confirmed as local ones are, their web pages reached through the
// site's host; a relay that dies said in the status line and started again by Search.

#include "WindowFixture.h"

#include "app/StatusLine.h"
#include "support/RemoteSite.h"
#include "support/SimulatorProcess.h"

#include <QSettings>

#include <cstdlib>

using namespace quillon;

namespace {

const char* kSiteDevices = R"({"devices": [
  {"mac": "02:5e:00:00:00:01", "ip": "203.0.113.231", "netmask": "255.255.255.240", "gateway": "203.0.113.225", "name": "yard"},
  {"mac": "02:5e:00:00:00:02", "ip": "203.0.113.232", "netmask": "255.255.255.240", "gateway": "203.0.113.225", "name": "gate"}
]})";
const char* kLocalDevice = R"({"devices": [
  {"mac": "02:00:00:00:00:01", "ip": "203.0.113.20", "netmask": "255.255.255.0", "gateway": "203.0.113.1", "name": "lobby"}
]})";

class RemoteSiteWindow : public test::WindowTest {
protected:
    QString Status() const { return window->findChild<app::StatusLine*>(QStringLiteral("statusLine"))->text(); }
    QString Card(int row) const { return RowText(row, static_cast<int>(devices::Column::Card)); }
};

} // namespace

TEST_F(RemoteSiteWindow, ListsChangesAndOpensTheSitesDevicesAndStartsADeadRelayAgainAtSearch)
{
    const test::RemoteSite site;
    ASSERT_TRUE(site.IsReady());
    const QString log = QString::fromStdString(test::WriteTemporaryFile(""));
    test::SimulatorProcess remote(std::string("site-lan"), {"--devices", test::WriteTemporaryFile(kSiteDevices), "--log", log.toStdString()});
    test::SimulatorProcess local({"--devices", test::WriteTemporaryFile(kLocalDevice)});
    ASSERT_TRUE(remote.IsReady() && local.IsReady());

    QSettings().setValue(QStringLiteral("sites/hosts"), QStringList{QStringLiteral("site")}); // as the Sites dialog keeps them
    Open();
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 3; })) << RowCount();
    EXPECT_EQ(Card(RowWithName(QStringLiteral("yard"))), QStringLiteral("site:lan10"));
    EXPECT_EQ(Card(RowWithName(QStringLiteral("lobby"))), QStringLiteral("lan0"));
    EXPECT_TRUE(test::Eventually([&] { return Status().contains(QStringLiteral("site site: searching")); })) << Status().toStdString();

    ClickRow(RowWithName(QStringLiteral("gate")));
    TypeInto("nameField", QStringLiteral("gate-2"));
    Submit();
    EXPECT_TRUE(test::Eventually([&] { return Status().contains(QStringLiteral("confirmed the change")); })) << Status().toStdString();
    const auto sets = test::SimulatorLog(log, "set");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(test::Applied(sets[0]), QStringList{"name"});

    // Only a remote site's device is offered the way through its host; the page opens on this
    // computer's own end of the forward.
    TriggerListMenu(RowWithName(QStringLiteral("yard")), "openWebPageThroughSite");
    EXPECT_TRUE(test::Eventually([&] { return !openedAddresses.isEmpty(); }));
    EXPECT_TRUE(openedAddresses.value(0).startsWith(QStringLiteral("http://127.0.0.1:"))) << openedAddresses.join(' ').toStdString();

    ASSERT_EQ(std::system("pkill -f '^quillonctl relay'"), 0);
    EXPECT_TRUE(test::Eventually([&] { return Status().contains(QStringLiteral("site site: the relay ended")); })) << Status().toStdString();
    // Nothing would carry a change to the site now: none is sent, and the user is told why.
    ClickRow(RowWithName(QStringLiteral("yard")));
    TypeInto("nameField", QStringLiteral("yard-2"));
    Submit();
    EXPECT_TRUE(Status().contains(QStringLiteral("the relay of its site is not running"))) << Status().toStdString();
    EXPECT_EQ(test::SimulatorLog(log, "set").size(), 1u);
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    EXPECT_TRUE(test::Eventually([&] { return RowCount() == 3 && Status().contains(QStringLiteral("site site: searching")); }))
        << RowCount() << " " << Status().toStdString();
    EXPECT_GE(RowWithName(QStringLiteral("gate-2")), 0);
}
