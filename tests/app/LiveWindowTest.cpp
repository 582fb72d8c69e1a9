// What the window adds to its first form, end to end with the simulator in the virtual LAN: it
// grows, shows the columns the user chose, filters, answers F5, Ctrl+R and Enter, and keeps
// searching, marking the devices that stopped answering.

#include "WindowFixture.h"

#include "app/DeviceListMenu.h"
#include "protocol/DeviceTexts.h"
#include "store/SiteMemory.h"
#include "support/SimulatorProcess.h"

#include <QMenu>
#include <QInputDialog>
#include <QResizeEvent>
#include <QTimer>

#include <memory>

using namespace quillon;

namespace {

const char* kFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:01", "ip": "203.0.113.20", "netmask": "255.255.255.0", "name": "Lobby", "port1": 80},
  {"mac": "00:1a:2b:3c:4d:02", "ip": "203.0.113.21", "netmask": "255.255.255.0", "name": "Parking", "port1": 8080,
   "dhcp": true, "shortLength": 70, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:03", "ip": "203.0.113.22", "netmask": "255.255.255.0", "name": "Dock", "port1": 81},
  {"mac": "00:1a:2b:3c:4d:10", "ip": "203.0.113.40", "netmask": "255.255.255.0", "name": "Roof", "port1": 443}
]})";

constexpr int kMacColumn = 3;
constexpr int kLastSeenColumn = 7;

class LiveWindow : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        fleet = test::WriteTemporaryFile(kFleet);
        logPath = QString::fromStdString(test::WriteTemporaryFile(""));
        StartSimulator();
        OpenWithDevices();
    }
    void StartSimulator()
    {
        simulator = std::make_unique<test::SimulatorProcess>(
            std::vector<std::string>{"--devices", fleet, "--log", logPath.toStdString()});
        ASSERT_TRUE(simulator->IsReady());
    }
    void OpenWithDevices()
    {
        Open();
        ASSERT_TRUE(test::Eventually([&] { return RowCount() == 4; })) << RowCount();
    }
    void Reopen()
    {
        window->OnCancel();
        window.reset();
        OpenWithDevices();
    }
    std::size_t Searches() const { return test::SimulatorLog(logPath, "search").size(); }
    QString StatusText() const { return Find<QLabel>("statusLine")->text(); }
    // The names of the rows the view shows, top first.
    QStringList ShownNames() const
    {
        QStringList names;
        for (int row = 0; row < List()->model()->rowCount(); ++row)
            names << List()->model()->index(row, 1).data().toString();
        return names;
    }
    QMenu* OpenHeaderMenu()
    {
        emit List()->header()->customContextMenuRequested({5, 5});
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    // The window's site's memory, read as another program would.
    static std::unique_ptr<store::SiteMemory> Memory()
    {
        QString why;
        return store::SiteMemory::Open(store::DefaultDatabasePath(), why);
    }
    static std::vector<store::JournalEntry> Journal()
    {
        const std::unique_ptr<store::SiteMemory> memory = Memory();
        return memory ? memory->History({}).value_or(std::vector<store::JournalEntry>()) : std::vector<store::JournalEntry>();
    }

    std::string fleet;
    QString logPath;
    std::unique_ptr<test::SimulatorProcess> simulator;
};

} // namespace

TEST_F(LiveWindow, GrownTheListTakesTheRoomAndTheOtherControlsKeepToTheirCornersAndTheSizeIsRemembered)
{
    struct Case {
        const char* control;
        QPoint moves;
        QSize grows;
    };
    const QSize by(240, 120);
    const Case cases[] = {
        {"deviceList", {0, 0}, by},       {"deviceListsLabel", {0, 0}, {0, 0}}, {"ipField", {by.width(), 0}, {0, 0}},
        {"macLabel", {by.width(), 0}, {0, 0}}, {"submitButton", {by.width(), 0}, {0, 0}}, {"statusLine", {by.width(), 0}, {0, 0}},
        {"searchButton", {by.width(), by.height()}, {0, 0}}, {"exitButton", {by.width(), by.height()}, {0, 0}},
        {"helpText", {0, by.height()}, {0, 0}},
    };
    std::vector<QRect> before;
    for (const Case& c : cases)
        before.push_back(Find<QWidget>(c.control)->geometry());
    const QSize first = window->size();
    window->resize(first + by);
    ASSERT_TRUE(test::Eventually([&] { return window->size() == first + by; }));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QRect now = Find<QWidget>(cases[i].control)->geometry();
        EXPECT_EQ(now.topLeft() - before[i].topLeft(), cases[i].moves) << cases[i].control;
        EXPECT_EQ(now.size() - before[i].size(), cases[i].grows) << cases[i].control;
    }
    window->resize(first - QSize(50, 50));
    EXPECT_EQ(window->size(), first) << "never smaller than its first size";
    window->resize(first + by);
    Reopen();
    EXPECT_EQ(window->size(), first + by);
}

TEST_F(LiveWindow, TheHeaderMenuShowsDetailColumnsThatOrderLikeTheOthersWithAnArrowAndAreRemembered)
{
    for (int column = kMacColumn; column <= kLastSeenColumn; ++column)
        EXPECT_TRUE(List()->isColumnHidden(column)) << column;
    QMenu* menu = OpenHeaderMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 5);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("MAC"));
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_FALSE(List()->isColumnHidden(kMacColumn));
    EXPECT_EQ(RowText(RowWithName(QStringLiteral("Parking")), kMacColumn), QStringLiteral("00:1a:2b:3c:4d:02"));

    QTest::mouseClick(List()->header()->viewport(), Qt::LeftButton, {},
                      QPoint(List()->header()->sectionViewportPosition(kMacColumn) + 5, 5));
    EXPECT_EQ(ShownNames(), (QStringList{"Roof", "Dock", "Parking", "Lobby"})) << "greatest first";
    EXPECT_TRUE(List()->header()->isSortIndicatorShown());
    EXPECT_EQ(List()->header()->sortIndicatorSection(), kMacColumn);
    EXPECT_EQ(List()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    window->OnDeviceListColumnClick(kMacColumn);
    EXPECT_EQ(ShownNames(), (QStringList{"Lobby", "Parking", "Dock", "Roof"}));
    EXPECT_EQ(List()->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    Reopen();
    EXPECT_FALSE(List()->isColumnHidden(kMacColumn)) << "remembered";
    EXPECT_FALSE(List()->header()->isSortIndicatorShown()) << "a new search is in the order of the answers";
}

TEST_F(LiveWindow, TheFilterShowsRowsByNameAddressOrMacAndSubmitActsOnlyOnADeviceShown)
{
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    auto* filter = Find<QLineEdit>("filterField");
    ASSERT_TRUE(filter->isVisible());
    EXPECT_TRUE(filter->hasFocus());
    const std::pair<const char*, QStringList> cases[] = {
        {"lob", {"Lobby"}},        {"PARK", {"Parking"}},           {"113.2", {"Lobby", "Parking", "Dock"}}, {"113.040", {"Roof"}}, {"0.113.4", {"Roof"}},
        {"4d:10", {"Roof"}},       {"4D10", {"Roof"}},              {"nothing", {}},
    };
    for (const auto& [text, names] : cases) {
        filter->setText(QLatin1String(text));
        QStringList shown = ShownNames();
        shown.sort();
        QStringList expected = names;
        expected.sort();
        EXPECT_EQ(shown, expected) << text;
        EXPECT_TRUE(StatusText().endsWith(QStringLiteral("%1 of 4 devices shown").arg(names.size()))) << StatusText().toStdString();
    }

    filter->setText(QStringLiteral("o"));
    const int roof = List()->model()->match(List()->model()->index(0, 1), Qt::DisplayRole, QStringLiteral("Roof")).value(0).row();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->visualRect(List()->model()->index(roof, 1)).center());
    ASSERT_EQ(Field("nameField"), QStringLiteral("Roof")) << "a click acts on the row shown";
    filter->setText(QStringLiteral("lobby"));
    EXPECT_EQ(Field("nameField"), QString()) << "a device the filter hides is no longer chosen";
    Submit();
    EXPECT_TRUE(test::SimulatorLog(logPath, "set").empty());
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("Nothing sent: choose a device"))) << StatusText().toStdString();

    QTest::keyClick(filter, Qt::Key_Escape);
    EXPECT_FALSE(filter->isVisible());
    EXPECT_EQ(List()->model()->rowCount(), 4);
    EXPECT_TRUE(window->isVisible()) << "Escape in the filter leaves the window open";
}

TEST_F(LiveWindow, F5AndCtrlRSearchAndEnterOpensTheRowsPageWithoutSubmitting)
{
    for (const QKeyCombination keys : {QKeyCombination(Qt::Key_F5), QKeyCombination(Qt::ControlModifier, Qt::Key_R)}) {
        const std::size_t searches = Searches();
        QTest::keyClick(window.get(), keys.key(), keys.keyboardModifiers());
        ASSERT_TRUE(test::Eventually([&] { return Searches() >= searches + 2 && RowCount() == 4; }));
    }
    List()->setFocus();
    const int dock = RowWithName(QStringLiteral("Dock"));
    List()->setCurrentIndex(List()->model()->index(dock, 1));
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(openedAddresses, QStringList{QStringLiteral("http://203.0.113.22:81")});
    EXPECT_TRUE(test::SimulatorLog(logPath, "set").empty()) << "Enter on the list is not Submit";
}

// Each live search is started by the test: what counts is how many a device missed, not the time.
TEST_F(LiveWindow, DevicesThatMissThreeSearchesInARowAreShownOfflineUntilTheyAnswer)
{
    window->KeepSearchingAction()->setChecked(true);
    for (int column = kMacColumn; column <= kLastSeenColumn; ++column)
        window->ShowColumn(static_cast<devices::Column>(column), true);
    ASSERT_TRUE(test::Eventually([&] { return StatusText().endsWith(QStringLiteral("4 online, 0 offline")); }))
        << StatusText().toStdString();
    simulator.reset();
    const int lobby = RowWithName(QStringLiteral("Lobby"));
    for (int missed = 1; missed <= 3; ++missed) {
        window->OnLiveSearch();
        EXPECT_FALSE(RowText(lobby, kLastSeenColumn).startsWith(QStringLiteral("offline"))) << missed;
    }
    window->OnLiveSearch();
    EXPECT_TRUE(RowText(lobby, kLastSeenColumn).startsWith(QStringLiteral("offline since "))) << RowText(lobby, kLastSeenColumn).toStdString();
    EXPECT_TRUE(Model()->index(lobby, 1).data(Qt::ToolTipRole).toString().contains(QStringLiteral("did not answer 3 searches")));
    EXPECT_EQ(Model()->index(lobby, 1).data(Qt::ForegroundRole).value<QBrush>(),
              QApplication::palette().brush(QPalette::Disabled, QPalette::Text));
    EXPECT_TRUE(StatusText().endsWith(QStringLiteral("0 online, 4 offline"))) << StatusText().toStdString();
    EXPECT_EQ(RowCount(), 4) << "no device is forgotten";

    StartSimulator();
    window->OnLiveSearch();
    ASSERT_TRUE(test::Eventually([&] { return StatusText().endsWith(QStringLiteral("4 online, 0 offline")); }))
        << StatusText().toStdString();
    EXPECT_FALSE(RowText(lobby, kLastSeenColumn).startsWith(QStringLiteral("offline")));
    EXPECT_FALSE(Model()->index(lobby, 1).data(Qt::ForegroundRole).isValid());
    window->KeepSearchingAction()->setChecked(false);
    EXPECT_FALSE(StatusText().contains(QStringLiteral("online")));
}

TEST_F(LiveWindow, TheDevicesFoundGoToTheSitesMemoryAndAMemoryThatCannotBeUsedIsSaidOnce)
{
    ASSERT_TRUE(window->RememberSitesAction()->isChecked()) << "on unless the user turned it off";
    const auto remembered = [] {
        const std::unique_ptr<store::SiteMemory> memory = Memory();
        const std::optional<std::vector<store::SiteDifference>> found = memory ? memory->Diff({}, std::nullopt) : std::nullopt;
        return found ? found->size() : 0u;
    };
    EXPECT_TRUE(test::Eventually([&] { return remembered() == 4; }, 5000)) << remembered();

    // A change Submit sends goes into the journal with how it ended.
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(RowWithName(QStringLiteral("Dock"))));
    TypeInto("portField", QStringLiteral("82"));
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return StatusText().contains(QStringLiteral("confirmed the change")); })) << StatusText().toStdString();
    ASSERT_TRUE(test::Eventually([&] { return Journal().size() == 1; }, 3000));
    const store::JournalEntry entry = Journal().front();
    EXPECT_EQ(QStringList({entry.source, protocol::MacText(entry.mac), entry.before.value("port").toString(),
                           entry.after.value("port").toString(), entry.outcome}),
              QStringList({"window", "00:1a:2b:3c:4d:03", "81", "82", "applied"}));

    qputenv("QUILLON_DATABASE", "/proc/self/no/such.sqlite");
    window->RememberSitesAction()->setChecked(false);
    window->RememberSitesAction()->setChecked(true);
    EXPECT_TRUE(test::Eventually([&] {
        return StatusText().startsWith(QStringLiteral("The site's memory (/proc/self/no/such.sqlite) is off: "));
    })) << StatusText().toStdString();
    EXPECT_EQ(RowCount(), 4) << "the list goes on";
}

// A site named in the window holds what is found next; its devices that stop answering are listed
// as missing when asked (never changed by Submit, hidden again when no longer asked for, back as
// soon as they answer), and its report is saved from the list's menu.
TEST_F(LiveWindow, ASiteNamedInTheWindowListsItsMissingDevicesAndSavesItsReport)
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->setTextValue(QStringLiteral(" Depot "));
        dialog->accept();
    });
    window->WindowMenu()->findChild<QAction*>(QStringLiteral("siteNameAction"))->trigger();
    EXPECT_EQ(StatusText(), QStringLiteral("Devices found from now on belong to the site Depot"));
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    const auto atDepot = [] {
        const std::unique_ptr<store::SiteMemory> memory = Memory();
        const auto sites = memory ? memory->Sites(QStringLiteral("Depot")) : std::nullopt;
        return sites && !sites->empty() ? sites->front().devices.size() : 0u;
    };
    ASSERT_TRUE(test::Eventually([&] { return atDepot() == 4; }, 5000)) << atDepot();

    simulator.reset();
    window->ShowColumn(devices::Column::LastSeen, true);
    window->ShowMissingAction()->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 4; }, 5000)) << "listed once the search settled";
    const int dock = RowWithName(QStringLiteral("Dock"));
    EXPECT_TRUE(RowText(dock, kLastSeenColumn).startsWith(QStringLiteral("missing since "))) << RowText(dock, kLastSeenColumn).toStdString();
    EXPECT_EQ(Model()->index(dock, 1).data(Qt::ForegroundRole).value<QBrush>(),
              QApplication::palette().brush(QPalette::Disabled, QPalette::Text));
    EXPECT_TRUE(StatusText().endsWith(QStringLiteral("4 missing"))) << StatusText().toStdString();
    ClickRow(dock);
    EXPECT_EQ(Field("portField"), QStringLiteral("81")) << "what it last reported there";
    TypeInto("portField", QStringLiteral("83"));
    Submit();
    EXPECT_TRUE(StatusText().contains(QStringLiteral("it is missing"))) << StatusText().toStdString();
    window->ShowMissingAction()->setChecked(false);
    EXPECT_EQ(ShownNames(), QStringList());
    window->ShowMissingAction()->setChecked(true);
    EXPECT_EQ(ShownNames().size(), 4);

    StartSimulator();
    window->OnLiveSearch();
    ASSERT_TRUE(test::Eventually([&] { return !StatusText().endsWith(QStringLiteral(" missing")); })) << "each is back as it answers";
    EXPECT_FALSE(RowText(dock, kLastSeenColumn).startsWith(QStringLiteral("missing")));
    EXPECT_EQ(RowCount(), 4);
    ClickRow(RowWithName(QStringLiteral("Dock")));
    TypeInto("portField", QStringLiteral("83"));
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return StatusText().contains(QStringLiteral("confirmed the change")); })) << StatusText().toStdString();
    ASSERT_TRUE(test::Eventually([&] { return Journal().size() == 1; }, 3000));

    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("Depot report.html"));
    QString offered;
    window->ListMenu().SetReportChooser([&](QWidget*, const QString& name) {
        offered = name;
        return std::optional<QString>(path);
    });
    TriggerListMenu(-1, "saveSiteReport");
    EXPECT_EQ(offered, QStringLiteral("Depot report.html"));
    QFile report(path);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray html = report.readAll();
    EXPECT_TRUE(html.contains("<title>Site report: Depot</title>"));
    EXPECT_EQ(html.count(">00:1a:2b:3c:4d:"), 5) << "each device once, then the change sent";
    EXPECT_TRUE(html.contains("<td>window</td><td>Depot</td>")) << "the journal names the site named";
    EXPECT_EQ(StatusText().toStdString(), QStringLiteral("The site report was saved to %1").arg(path).toStdString());
}
