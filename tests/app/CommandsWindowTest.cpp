// What the user does with the table, end to end: the window, the receivers and the simulator
// in the virtual LAN, the simulator's log showing what went over the wire.

#include "WindowFixture.h"

#include "app/DeviceListMenu.h"
#include "support/SimulatorProcess.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>

#include <fstream>
#include <optional>

using namespace quillon;

namespace {

// One fleet for every test: ports 80, 0, 8080 and 65535; DHCP on, off and untold (replies of 50 and
// 60 bytes); with and without DNS servers; a name that is not UTF-8 (a Latin-1 "Café", a line break
// and a cut three-byte character); one device that claims this computer's own address (outside lan0's
// 203.0.113.0/24 too); two at one address, of which one confirms a change by its answer, one falls silent.
const char* kFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:01", "ip": "203.0.113.20", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "dns1": "203.0.113.1", "dns2": "8.8.8.8", "name": "Lobby", "port1": 80, "dhcp": false, "shortLength": 70},
  {"mac": "00:1a:2b:3c:4d:02", "ip": "203.0.113.21", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "dns1": "203.0.113.1", "dns2": "1.1.1.1", "name": "Parking", "port1": 8080, "dhcp": true, "shortLength": 70,
   "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:03", "ip": "203.0.113.22", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Dock", "port1": 0, "shortLength": 50, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:04", "ip": "203.0.113.99", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Roof", "port1": 65535, "shortLength": 60, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:05", "ip": "127.0.0.1", "netmask": "255.0.0.0", "name": "printer", "port1": 631,
   "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:06", "ip": "203.0.113.31", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "nameHex": "436166e90ae78c", "port1": 80, "shortLength": 60, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:07", "ip": "203.0.113.30", "netmask": "255.255.255.0", "name": "Attic", "confirm": "silent"},
  {"mac": "00:1a:2b:3c:4d:08", "ip": "203.0.113.30", "netmask": "255.255.255.0", "name": "Porch", "confirm": "answer"}
]})";

class Commands : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        logPath = QString::fromStdString(test::WriteTemporaryFile(""));
        simulator = std::make_unique<test::SimulatorProcess>(
            std::vector<std::string>{"--devices", test::WriteTemporaryFile(kFleet), "--log", logPath.toStdString()});
        ASSERT_TRUE(simulator->IsReady());
        Open();
        ASSERT_TRUE(test::Eventually([&] { return RowCount() == 8; })) << RowCount();
    }
    // The requests the simulator received, oldest first, and the set requests among them.
    std::vector<QJsonObject> Log() const { return test::SimulatorLog(logPath); }
    std::vector<QJsonObject> SetRequests() const { return test::SimulatorLog(logPath, "set"); }

    void Select(const char* name)
    {
        const int row = RowWithName(QLatin1String(name));
        ASSERT_GE(row, 0) << name;
        ClickRow(row);
        ASSERT_EQ(Field("nameField"), QLatin1String(name));
    }
    // The list's context menu, opened as the desktop does on a right click at `row` (-1: below
    // the rows), and one of its actions.

    QString logPath;
    std::unique_ptr<test::SimulatorProcess> simulator; // stopped after TearDown has closed the window
};

// Nobody answers in this LAN; lan0's reverse-path filter is put back after the test.
class NoAnswer : public test::WindowTest {
protected:
    void TearDown() override
    {
        WindowTest::TearDown();
        SetReversePathFilter("0");
    }
    static void SetReversePathFilter(const char* value)
    {
        std::ofstream("/proc/sys/net/ipv4/conf/lan0/rp_filter") << value;
    }
};

} // namespace

TEST_F(Commands, ClickShowsTheRowsDevice)
{
    Select("Lobby");
    EXPECT_EQ(Field("macField"), QStringLiteral("00:1A:2B:3C:4D:01"));
    EXPECT_EQ(Address("ipField")->Address(), (app::IpAddressEdit::Octets{203, 0, 113, 20}));
    EXPECT_EQ(Address("dns2Field")->Address(), (app::IpAddressEdit::Octets{8, 8, 8, 8}));
    // The device's port, its mode (none: the reply does not tell it) and whether it has DNS servers.
    const std::tuple<const char*, const char*, std::optional<bool>, bool> cases[] = {
        {"Lobby", "80", false, true},
        {"Parking", "8080", true, true}, // DHCP on: the address fields are greyed
        {"Dock", "", std::nullopt, false}, // port 0: an empty field
    };
    for (const auto& [name, port, dhcp, dns] : cases) {
        Select(name);
        EXPECT_EQ(Field("portField"), QLatin1String(port)) << name;
        const auto* dhcpButton = Find<QRadioButton>("dhcpButton");
        const auto* staticButton = Find<QRadioButton>("staticButton");
        EXPECT_EQ(dhcpButton->isVisible() && staticButton->isVisible(), dhcp.has_value()) << name;
        EXPECT_EQ(dhcpButton->isVisible() && dhcpButton->isChecked(), dhcp == true) << name;
        EXPECT_EQ(staticButton->isVisible() && staticButton->isChecked(), dhcp == false) << name;
        for (const char* field : {"ipField", "netmaskField", "gatewayField"})
            EXPECT_EQ(Address(field)->isEnabled(), dhcp != true) << name << ' ' << field;
        for (const char* field : {"dns1Field", "dns2Field"})
            EXPECT_EQ(Address(field)->isEnabled(), dns) << name << ' ' << field;
    }

    ClickRow(-1); // below the last row: nothing changes
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock"));
    QTest::mouseClick(List()->viewport(), Qt::RightButton, {}, RowPoint(RowWithName(QStringLiteral("Lobby"))));
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock")) << "only a left click selects";
}

// The keyboard moves the list's selection, and the device it lands on shows as after a click:
// Submit then changes that device, or says why it cannot (the one claiming this computer's own
// address).
TEST_F(Commands, TheKeyboardShowsTheDeviceItLandsOnAndSubmitChangesIt)
{
    simulator.reset(); // the same devices, now confirming by their answers: no row moves under the keys
    simulator = std::make_unique<test::SimulatorProcess>(std::vector<std::string>{
        "--devices", test::WriteTemporaryFile(kFleet), "--log", logPath.toStdString(), "--confirm", "answer"});
    ASSERT_TRUE(simulator->IsReady());
    Select("Lobby");
    // The keys, and the row they land on from the row the list is on.
    const std::pair<const char*, std::function<int(int)>> cases[] = {
        {"D, O", [&](int) { return RowWithName(QStringLiteral("Dock")); }}, // a name's first letters
        {"Home", [](int) { return 0; }},
        {"Down", [](int row) { return row + 1; }},
        {"End", [&](int) { return RowCount() - 1; }},
        {"Up", [](int row) { return row - 1; }},
    };
    for (const auto& [keys, landing] : cases) {
        const int row = landing(List()->currentIndex().row());
        List()->setFocus();
        QTest::keySequence(List(), QKeySequence(QLatin1String(keys)));
        ASSERT_EQ(List()->selectionModel()->selectedRows(1), QModelIndexList{List()->model()->index(row, 1)}) << keys;
        EXPECT_EQ(Field("nameField"), RowText(row, 1)) << keys;
        const QString mac = Field("macField");
        const std::size_t sent = SetRequests().size();
        TypeInto("portField", QString::number(9000 + sent));
        Submit();
        if (Address("ipField")->Address()[0] == 127) { // the printer: refused, and said so
            EXPECT_TRUE(Find<QLabel>("statusLine")->text().contains(QLatin1String("address 127.0.0.1"))) << keys;
            continue;
        }
        ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == sent + 1; })) << keys;
        EXPECT_EQ(SetRequests().back().value("target").toString(), mac.toLower()) << keys;
    }
}

TEST_F(Commands, DoubleClickOpensTheDevicesWebPage)
{
    // The row double-clicked (none: below the rows), the device then shown and the page opened;
    // a page not opened is said on the status line.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"printer", "printer", ""}, // a page of this computer's is never opened for a device
        {"Roof", "Roof", "http://203.0.113.99:65535"},
        {nullptr, "Roof", "http://203.0.113.99:65535"}, // the device chosen before
    };
    for (const auto& [clicked, shown, address] : cases) {
        openedAddresses.clear();
        DoubleClickRow(clicked != nullptr ? RowWithName(QLatin1String(clicked)) : -1);
        EXPECT_EQ(Field("nameField"), QLatin1String(shown));
        EXPECT_EQ(openedAddresses.join(u' '), QLatin1String(address)) << shown;
        EXPECT_EQ(Find<QLabel>("statusLine")->text().startsWith(QLatin1String("http://127.0.0.1:631 is not opened")),
                  *address == 0)
            << shown;
    }
}

TEST_F(Commands, SearchEmptiesTheTableAndFieldsAndSendsBothRequestsShortFirst)
{
    Select("Parking");
    ASSERT_TRUE(test::Eventually([&] { return Log().size() == 2; })) << "both receivers' start-up requests";
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    for (const char* field : {"nameField", "macField", "portField"})
        EXPECT_EQ(Field(field), QString()) << field;
    EXPECT_TRUE(Address("ipField")->IsBlank());
    EXPECT_TRUE(Address("dns2Field")->IsBlank());
    EXPECT_TRUE(Find<QRadioButton>("dhcpButton")->isVisible()) << "the switch keeps its state";
    EXPECT_TRUE(Find<QRadioButton>("dhcpButton")->isChecked());

    ASSERT_TRUE(test::Eventually([&] { return Log().size() == 4; })) << Log().size();
    EXPECT_EQ(Log()[2].value("port").toInt(), 4022);
    EXPECT_EQ(Log()[3].value("port").toInt(), 4023);
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 8; })) << RowCount();
}

TEST_F(Commands, EachFieldGoesIntoItsOwnGroupAndTheRowFollows)
{
    Select("Lobby");
    TypeInto("nameField", QString::fromUtf8("玄関カメラ北"));
    QTest::keyClick(Find<QLineEdit>("nameField"), Qt::Key_Return); // Enter in a field is Submit
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{1}; })) << SetRequests().size();
    EXPECT_EQ(test::Applied(SetRequests()[0]), QStringList{"name"});
    EXPECT_EQ(SetRequests()[0].value("target").toString(), QStringLiteral("00:1a:2b:3c:4d:01"));
    ASSERT_TRUE(test::Eventually([&] { return RowWithName(QString::fromUtf8("玄関カメラ北")) >= 0; }));

    Select("Roof");
    Address("ipField")->SetAddress(app::IpAddressEdit::Octets{203, 0, 113, 98});
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{2}; })) << SetRequests().size();
    EXPECT_EQ(test::Applied(SetRequests()[1]), QStringList{"address"});
    ASSERT_TRUE(test::Eventually([&] { return RowWithAddress(QStringLiteral("203.000.113.098")) >= 0; }));

    Select("Dock");
    TypeInto("portField", QStringLiteral("8081"));
    Address("dns1Field")->SetAddress(app::IpAddressEdit::Octets{9, 9, 9, 9});
    Address("netmaskField")->SetAddress(app::IpAddressEdit::Octets{255, 255, 0, 0});
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{3}; })) << SetRequests().size();
    EXPECT_EQ(test::Applied(SetRequests()[2]), (QStringList{"address", "port", "dns"}));

    Select("Parking"); // DHCP on; back to a static address
    QTest::mouseClick(Find<QRadioButton>("staticButton"), Qt::LeftButton);
    EXPECT_TRUE(Address("ipField")->isEnabled());
    EXPECT_FALSE(Find<QRadioButton>("dhcpButton")->isChecked());
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{4}; })) << SetRequests().size();
    EXPECT_EQ(test::Applied(SetRequests()[3]), QStringList{"dhcp"});
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'|').toStdString();
}

TEST_F(Commands, AConfirmedChangeMovesOnlyItsOwnRowAndLeavesNothingSelected)
{
    // A row with a row above it and rows below it, of a device that confirms by its notice.
    int row = 1;
    while (QStringList{"Attic", "Porch"}.contains(RowText(row, 1)))
        ++row;
    const QString newName = RowText(row, 1) + QStringLiteral("-2");
    ClickRow(row);
    TypeInto("nameField", newName);
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return RowWithName(newName) == RowCount() - 1; }));
    EXPECT_TRUE(List()->selectionModel()->selectedRows().isEmpty()) << "no other device may look selected";
    EXPECT_EQ(Field("nameField"), newName);
}

// The questions name what they are about; a No sends nothing, and so does a name that the device
// would keep cut, which the status line explains.
TEST_F(Commands, SubmitSendsNoModeOrNameTheUserDidNotChangeAndAsksBeforeAGatewayOutsideOrAnAddressInUse)
{
    Select("Parking"); // DHCP on: the DHCP button carries the mark
    // The mode untold; a name the list and the Name field both show through the filter that
    // neutralises broken and control characters.
    const int row = RowWithAddress(QStringLiteral("203.000.113.031"));
    ClickRow(row);
    ASSERT_TRUE(Find<QRadioButton>("dhcpButton")->isHidden());
    EXPECT_TRUE(RowText(row, 1).startsWith(QString::fromUtf8("Caf\uFFFD\uFFFD"))) << "Latin-1 é, the line break";
    EXPECT_EQ(Field("nameField"), RowText(row, 1));
    Submit();
    Address("gatewayField")->SetAddress(app::IpAddressEdit::Octets{192, 168, 2, 1});
    answer = platform::BoxAnswer::Cancel;
    Submit();
    EXPECT_EQ(boxes, QStringList{"[Choice] No Match, IP and GateWay. Are you continued?"});
    Address("gatewayField")->SetAddress(app::IpAddressEdit::Octets{203, 0, 113, 1});
    boxes.clear();
    Address("ipField")->SetAddress(app::IpAddressEdit::Octets{203, 0, 113, 20});
    Submit();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("[Choice] Lobby (00:1A:2B:3C:4D:01), in row %1 of the list, already "
                                                   "has the IP address 203.0.113.20.")
                                        .arg(RowWithName(QStringLiteral("Lobby")) + 1)))
        << boxes[0].toStdString();
    Address("ipField")->SetAddress(app::IpAddressEdit::Octets{203, 0, 113, 31});
    TypeInto("nameField", QString::fromUtf8("玄関カメラ北口")); // seven characters, 21 bytes
    Submit();
    EXPECT_TRUE(Find<QLabel>("statusLine")->text().endsWith(QString::fromUtf8(
        ": the name \"玄関カメラ北口\" takes 21 bytes of UTF-8; a device keeps at most 18")))
        << Find<QLabel>("statusLine")->text().toStdString();
    QTest::qWait(200);
    EXPECT_TRUE(SetRequests().empty()) << "nothing was edited, then each change was declined or refused";

    TypeInto("nameField", RowText(row, 1));
    TypeInto("portField", QStringLiteral("8081"));
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{1}; })) << SetRequests().size();
    EXPECT_EQ(test::Applied(SetRequests()[0]), QStringList{"port"}) << "neither the name nor the mode goes with it";
}

TEST_F(Commands, TheStatusLineSaysWhetherTheDeviceConfirmedTheChangeSearchOrNot)
{
    struct Case {
        const char* name;
        bool searchWhileWaiting;
        const char* outcome;
    };
    const Case cases[] = {
        {"Attic", false, "No answer from Attic (00:1A:2B:3C:4D:07) within 5 s: the change may not have been applied"},
        {"Porch", true, "Porch-2 (00:1A:2B:3C:4D:08) confirmed the change"},
    };
    for (const auto& [name, searchWhileWaiting, outcome] : cases) {
        Select(name);
        TypeInto("nameField", QLatin1String(name) + QStringLiteral("-2"));
        Submit();
        if (searchWhileWaiting)
            QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
        const QLabel* line = Find<QLabel>("statusLine");
        EXPECT_TRUE(line->text().startsWith(QStringLiteral("Sent name to 00:1A:2B:3C:4D:0"))) << name;
        EXPECT_TRUE(test::Eventually([&] { return line->text() == QLatin1String(outcome); }))
            << name << ": " << line->text().toStdString();
    }
    Select("Lobby");
    EXPECT_EQ(Find<QLabel>("statusLine")->text(), QString()) << "what was said of another device goes";
}

TEST_F(NoAnswer, TheStatusLineNamesTheCardsSearchedAndLoosensAStrictOne)
{
    SetReversePathFilter("1");
    Open();
    const QLabel* line = Find<QLabel>("statusLine");
    ASSERT_TRUE(test::Eventually([&] { return line->text().startsWith(QStringLiteral("No device answered.")); }));
    EXPECT_TRUE(line->text().contains(QStringLiteral("lan0 (203.0.113.1/24)"))) << line->text().toStdString();
    EXPECT_TRUE(line->text().contains(QStringLiteral("sudo sysctl -w net.ipv4.conf.lan0.rp_filter=2")));
    EXPECT_EQ(line->toolTip(), line->text()) << "wider than the line";
    EXPECT_LE(line->heightForWidth(line->width()), line->height()) << "its wrapped lines fit";
    for (const QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(control == line || control->isWindow() || !control->geometry().intersects(line->geometry()))
            << control->objectName().toStdString();

    SetReversePathFilter("2");
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    EXPECT_EQ(line->text(), QString());
    ASSERT_TRUE(test::Eventually([&] { return line->text().startsWith(QStringLiteral("No device answered.")); }));
    EXPECT_FALSE(line->text().contains(QStringLiteral("rp_filter"))) << line->text().toStdString();
}

TEST_F(Commands, ListMenuCopiesAndExportsWithoutSelectingOrShowingADevice)
{
    Select("Dock");
    const int dock = RowWithName(QStringLiteral("Dock"));
    const std::pair<const char*, QString> copies[] = {
        {"copyIpAddress", "203.0.113.21"},
        {"copyMacAddress", "00:1a:2b:3c:4d:02"},
        {"copyWebAddress", "http://203.0.113.21:8080"},
        {"copyRow", "00:1a:2b:3c:4d:02\t203.0.113.21\t255.255.255.0\t203.0.113.1\t203.0.113.1\t1.1.1.1\tParking"
                    "\t8080\ton\tshort\tlan0\tyes\tno\thttp://203.0.113.21:8080\n"},
    };
    for (const auto& [action, text] : copies) {
        TriggerListMenu(RowWithName(QStringLiteral("Parking")), action);
        EXPECT_EQ(QApplication::clipboard()->text(), text) << action;
    }
    TriggerListMenu(RowWithName(QStringLiteral("Parking")), "openWebPage");
    EXPECT_EQ(openedAddresses, QStringList{"http://203.0.113.21:8080"});
    TriggerListMenu(-1, "copyAllRows");
    const QStringList lines = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), RowCount() + 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("mac\tip\t")));
    for (int row = 0; row < RowCount(); ++row)
        EXPECT_EQ(lines[row + 1].split(u'\t').value(6), RowText(row, 1)) << "in the list's order";
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock"));
    EXPECT_EQ(List()->selectionModel()->selectedRows(1), QModelIndexList{List()->model()->index(dock, 1)});

    // Exported in the format chosen, every device (quillonctl's tests check the formats); a file that
    // cannot be written is not written at all.
    QTemporaryDir directory;
    const app::ExportFile files[] = {{directory.filePath("list.csv"), app::ExportFormat::Csv},
                                     {directory.filePath("list.json"), app::ExportFormat::Json},
                                     {directory.filePath("missing/list.csv"), app::ExportFormat::Csv},
                                     {directory.path(), app::ExportFormat::Json}};
    for (const app::ExportFile& file : files) {
        window->ListMenu().SetFileChooser([&](QWidget*) { return file; });
        TriggerListMenu(-1, "exportList");
    }
    QFile csv(files[0].path);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray csvText = csv.readAll();
    EXPECT_TRUE(csvText.startsWith("mac,ip,netmask,")) << csvText.left(80).toStdString();
    EXPECT_EQ(csvText.count("\r\n"), 9) << "a header and eight devices";
    QFile json(files[1].path);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(json.readAll()).array().size(), 8);
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files), (QStringList{"list.csv", "list.json"}));
    ASSERT_EQ(boxes.size(), 2) << boxes.join(u'|').toStdString();
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("not exported to ") + files[2].path));
}

// The hints mark exactly the rows of devices outside the card's subnet or sharing an address, and
// keep to them when a click on a heading orders the rows; that click leaves nothing selected, and
// a click then finds the device of its row.
TEST_F(Commands, AHeadingClickOrdersTheRowsWithTheirHintsAndAClickThenFindsTheDeviceOfItsRow)
{
    const QString twin = QStringLiteral("%1 answered with this address too;\n"
                                        "give each device an address of its own");
    const QString outside = QStringLiteral("%1 is not in 203.0.113.0/24 of lan0, so its web page will not open;\n"
                                           "give it an address in that subnet");
    // Every other device has no hint.
    const QMap<QString, QString> hints = {
        {"printer", outside.arg("127.0.0.1")},
        {"Attic", twin.arg("Porch (00:1a:2b:3c:4d:08)")},
        {"Porch", twin.arg("Attic (00:1a:2b:3c:4d:07)")},
    };
    const auto expectHints = [&](const char* when) {
        for (int row = 0; row < RowCount(); ++row) {
            const QModelIndex cell = Model()->index(row, 1);
            const QString name = cell.data().toString();
            const QString hint = hints.value(name);
            EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), hint.isEmpty() ? name : name + u'\n' + hint) << when;
            EXPECT_EQ(cell.data(Qt::DecorationRole).isNull(), hint.isEmpty()) << name.toStdString() << when;
        }
    };
    expectHints("as the devices answered");
    Select("Dock");
    auto* header = List()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(2) + 5, 5));
    EXPECT_EQ(RowText(0, 1), QStringLiteral("Roof")) << "the greatest address on top";
    EXPECT_FALSE(List()->selectionModel()->hasSelection());
    expectHints("ordered by address");
    ClickRow(0);
    EXPECT_EQ(Field("nameField"), QStringLiteral("Roof"));
    EXPECT_EQ(Field("portField"), QStringLiteral("65535"));
}
