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
#include <QJsonObject>
#include <QMenu>

#include <fstream>

using namespace quillon;

namespace {

// Ports 80, 0, 8080 and 65535; DHCP on, off and unknown; with and without DNS servers; one
// device that claims this computer's own address.
const char* kFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:01", "ip": "192.168.1.20", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "dns1": "192.168.1.1", "dns2": "8.8.8.8", "name": "Lobby", "port1": 80, "dhcp": false, "shortLength": 70},
  {"mac": "00:1a:2b:3c:4d:02", "ip": "192.168.1.21", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "dns1": "192.168.1.1", "dns2": "1.1.1.1", "name": "Parking", "port1": 8080, "dhcp": true, "shortLength": 70,
   "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:03", "ip": "192.168.1.22", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "name": "Dock", "port1": 0, "shortLength": 50, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:04", "ip": "192.168.1.23", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "name": "Roof", "port1": 65535, "shortLength": 60, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:05", "ip": "127.0.0.1", "netmask": "255.0.0.0", "name": "printer", "port1": 631,
   "protocols": ["short"]}
]})";

class Commands : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Start(kFleet, 5);
    }
    void Start(const char* fleet, int devices)
    {
        logPath = QString::fromStdString(test::WriteTemporaryFile(""));
        simulator = std::make_unique<test::SimulatorProcess>(
            std::vector<std::string>{"--devices", test::WriteTemporaryFile(fleet), "--log", logPath.toStdString()});
        ASSERT_TRUE(simulator->IsReady());
        Open();
        ASSERT_TRUE(test::Eventually([&] { return RowCount() == devices; })) << RowCount();
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        simulator.reset();
    }

    // The requests the simulator received, oldest first.
    std::vector<QJsonObject> Log() const
    {
        QFile file(logPath);
        std::vector<QJsonObject> entries;
        if (!file.open(QIODevice::ReadOnly))
            return entries;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                entries.push_back(QJsonDocument::fromJson(line).object());
        return entries;
    }
    // The set requests the simulator received.
    std::vector<QJsonObject> SetRequests() const
    {
        std::vector<QJsonObject> sets;
        for (const auto& entry : Log())
            if (entry.value("request").toString() == QLatin1String("set"))
                sets.push_back(entry);
        return sets;
    }
    QStringList Applied(const QJsonObject& entry) const
    {
        QStringList groups;
        for (const auto& group : entry.value("applied").toArray())
            groups << group.toString();
        return groups;
    }

    void Select(const char* name)
    {
        const int row = RowWithName(QLatin1String(name));
        ASSERT_GE(row, 0) << name;
        ClickRow(row);
        ASSERT_EQ(Field("nameField"), QLatin1String(name));
    }
    void Submit() { QTest::mouseClick(Find<QPushButton>("submitButton"), Qt::LeftButton); }
    // The list's context menu, opened as the desktop does on a right click at `row` (-1: below
    // the rows), and one of its actions.
    void TriggerListMenu(int row, const char* action)
    {
        const QPoint at = RowPoint(row);
        QTest::mouseClick(List()->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, List()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(List()->viewport(), &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_NE(menu->findChild<QAction*>(QLatin1String(action)), nullptr) << action;
        menu->findChild<QAction*>(QLatin1String(action))->trigger();
        menu->close();
    }
    void TypeInto(const char* field, const QString& text)
    {
        auto* edit = Find<QLineEdit>(field);
        edit->selectAll();
        edit->insert(text); // as typed: the field's limit applies
        edit->setFocus();
    }

    QString logPath;
    std::unique_ptr<test::SimulatorProcess> simulator;
};

// A device in DHCP mode, and one whose reply is too short to tell its mode and whose name is
// not UTF-8 (a Latin-1 "Café" and a cut three-byte character).
const char* kUntellingFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:11", "ip": "192.168.1.30", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "name": "Gate", "port1": 80, "dhcp": true, "shortLength": 70, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:12", "ip": "192.168.1.31", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "nameHex": "436166e920e78c", "port1": 80, "shortLength": 60, "protocols": ["short"]}
]})";

// Inside the virtual LAN's 203.0.113.0/24, outside it, and two devices at one address.
const char* kHintFleet = R"({"devices": [
  {"mac": "02:00:00:00:00:01", "ip": "203.0.113.20", "netmask": "255.255.255.0", "name": "Inside"},
  {"mac": "02:00:00:00:00:02", "ip": "192.168.1.64", "netmask": "255.255.255.0", "name": "Factory"},
  {"mac": "02:00:00:00:00:03", "ip": "203.0.113.30", "netmask": "255.255.255.0", "name": "Twin-1"},
  {"mac": "02:00:00:00:00:04", "ip": "203.0.113.30", "netmask": "255.255.255.0", "name": "Twin-2"}
]})";

class Hints : public Commands {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Start(kHintFleet, 4);
    }
};

class UntouchedSettings : public Commands {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Start(kUntellingFleet, 2);
    }
};

// One device answers a set request, one falls silent.
const char* kConfirmingFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:21", "ip": "192.168.1.40", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "name": "Porch", "port1": 80, "shortLength": 70, "confirm": "answer"},
  {"mac": "00:1a:2b:3c:4d:22", "ip": "192.168.1.41", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "name": "Attic", "port1": 80, "shortLength": 70, "confirm": "silent"}
]})";

class Confirmations : public Commands {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Start(kConfirmingFleet, 2);
    }
};

// Nobody answers in this LAN.
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

QLabel* StatusLine(const app::CScannerDlg& window)
{
    return window.findChild<QLabel*>(QStringLiteral("statusLine"));
}

} // namespace

TEST_F(Commands, ClickShowsTheRowsDevice)
{
    Select("Lobby");
    EXPECT_EQ(Field("macField"), QStringLiteral("00:1A:2B:3C:4D:01"));
    EXPECT_EQ(Field("portField"), QStringLiteral("80"));
    EXPECT_EQ(Address("ipField")->Address(), (app::IpAddressEdit::Octets{192, 168, 1, 20}));
    EXPECT_EQ(Address("dns2Field")->Address(), (app::IpAddressEdit::Octets{8, 8, 8, 8}));
    EXPECT_TRUE(Address("dns1Field")->isEnabled());
    EXPECT_TRUE(Find<QRadioButton>("staticButton")->isVisible());
    EXPECT_TRUE(Find<QRadioButton>("staticButton")->isChecked());
    EXPECT_TRUE(Address("ipField")->isEnabled());

    Select("Parking"); // DHCP on: the address fields are greyed
    EXPECT_TRUE(Find<QRadioButton>("dhcpButton")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>("staticButton")->isChecked());
    EXPECT_FALSE(Address("ipField")->isEnabled());
    EXPECT_FALSE(Address("netmaskField")->isEnabled());
    EXPECT_FALSE(Address("gatewayField")->isEnabled());
    EXPECT_TRUE(Address("dns1Field")->isEnabled());

    Select("Dock"); // no addressing mode, no DNS servers, no port
    EXPECT_FALSE(Find<QRadioButton>("dhcpButton")->isVisible());
    EXPECT_FALSE(Find<QRadioButton>("staticButton")->isVisible());
    EXPECT_TRUE(Address("ipField")->isEnabled());
    EXPECT_FALSE(Address("dns1Field")->isEnabled());
    EXPECT_FALSE(Address("dns2Field")->isEnabled());
    EXPECT_EQ(Field("portField"), QString());

    ClickRow(-1); // below the last row: nothing changes
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock"));
    QTest::mouseClick(List()->viewport(), Qt::RightButton, {}, RowPoint(RowWithName(QStringLiteral("Lobby"))));
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock")) << "only a left click selects";
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock")) << "nor does moving with the keyboard";
}

TEST_F(Commands, AHeadingClickOrdersTheRowsClearsTheSelectionAndAClickFindsTheDeviceOfItsRow)
{
    Select("Dock");
    auto* header = List()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(2) + 5, 5));
    EXPECT_EQ(RowText(0, 1), QStringLiteral("Roof")) << "the greatest address on top";
    EXPECT_FALSE(List()->selectionModel()->hasSelection());
    ClickRow(0);
    EXPECT_EQ(Field("nameField"), QStringLiteral("Roof"));
    EXPECT_EQ(Field("portField"), QStringLiteral("65535"));
}

TEST_F(Commands, DoubleClickOpensTheDevicesWebPage)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Lobby", "http://192.168.1.20"},
        {"Parking", "http://192.168.1.21:8080"},
        {"Dock", "http://192.168.1.22"},
        {"printer", ""}, // a page of this computer's is never opened for a device
        {"Roof", "http://192.168.1.23:65535"},
    };
    for (const auto& [name, address] : cases) {
        openedAddresses.clear();
        DoubleClickRow(RowWithName(QLatin1String(name)));
        EXPECT_EQ(Field("nameField"), QLatin1String(name));
        EXPECT_EQ(openedAddresses.join(u' '), QLatin1String(address)) << name;
    }
    openedAddresses.clear();
    DoubleClickRow(-1); // the device chosen before
    EXPECT_EQ(openedAddresses.value(0), QStringLiteral("http://192.168.1.23:65535"));
}

TEST_F(Commands, SearchEmptiesTheTableAndFieldsAndSendsBothRequestsShortFirst)
{
    Select("Parking");
    const std::size_t before = Log().size();
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    EXPECT_EQ(Field("nameField"), QString());
    EXPECT_EQ(Field("macField"), QString());
    EXPECT_EQ(Field("portField"), QString());
    EXPECT_TRUE(Address("ipField")->IsBlank());
    EXPECT_TRUE(Address("dns2Field")->IsBlank());
    EXPECT_TRUE(Find<QRadioButton>("dhcpButton")->isVisible()) << "the switch keeps its state";
    EXPECT_TRUE(Find<QRadioButton>("dhcpButton")->isChecked());

    ASSERT_TRUE(test::Eventually([&] { return Log().size() == before + 2; })) << Log().size();
    EXPECT_EQ(Log()[before].value("port").toInt(), 4022);
    EXPECT_EQ(Log()[before + 1].value("port").toInt(), 4023);
    ASSERT_TRUE(test::Eventually([&] { return RowCount() == 5; })) << RowCount();
    QStringList numbers;
    for (int row = 0; row < 5; ++row)
        numbers << RowText(row, 0);
    numbers.sort();
    EXPECT_EQ(numbers, (QStringList{"1", "2", "3", "4", "5"})) << "numbered anew";
}

TEST_F(Commands, EachFieldGoesIntoItsOwnGroupAndTheRowFollows)
{
    Select("Lobby");
    TypeInto("nameField", QString::fromUtf8("玄関カメラ北"));
    QTest::keyClick(Find<QLineEdit>("nameField"), Qt::Key_Return); // Enter in a field is Submit
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{1}; })) << SetRequests().size();
    EXPECT_EQ(Applied(SetRequests()[0]), QStringList{"name"});
    EXPECT_EQ(SetRequests()[0].value("target").toString(), QStringLiteral("00:1a:2b:3c:4d:01"));
    ASSERT_TRUE(test::Eventually([&] { return RowWithName(QString::fromUtf8("玄関カメラ北")) >= 0; }));

    Select("Roof");
    Address("ipField")->SetAddress(app::IpAddressEdit::Octets{192, 168, 1, 99});
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{2}; })) << SetRequests().size();
    EXPECT_EQ(Applied(SetRequests()[1]), QStringList{"address"});
    ASSERT_TRUE(test::Eventually([&] { return Model()->match(Model()->index(0, 2), Qt::DisplayRole, QStringLiteral("192.168.001.099")).size() == 1; }));

    Select("Dock");
    TypeInto("portField", QStringLiteral("8081"));
    Address("dns1Field")->SetAddress(app::IpAddressEdit::Octets{9, 9, 9, 9});
    Address("netmaskField")->SetAddress(app::IpAddressEdit::Octets{255, 255, 0, 0});
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{3}; })) << SetRequests().size();
    EXPECT_EQ(Applied(SetRequests()[2]), (QStringList{"address", "port", "dns"}));

    Select("Parking"); // DHCP on; back to a static address
    QTest::mouseClick(Find<QRadioButton>("staticButton"), Qt::LeftButton);
    EXPECT_TRUE(Address("ipField")->isEnabled());
    EXPECT_FALSE(Find<QRadioButton>("dhcpButton")->isChecked());
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{4}; })) << SetRequests().size();
    EXPECT_EQ(Applied(SetRequests()[3]), QStringList{"dhcp"});
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'|').toStdString();
}

TEST_F(Commands, AConfirmedChangeMovesOnlyItsOwnRowAndLeavesNothingSelected)
{
    // The second row: a row above it, rows below it.
    const QString number = RowText(1, 0);
    const QString newName = RowText(1, 1) + QStringLiteral("-2");
    ClickRow(1);
    TypeInto("nameField", newName);
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return RowWithName(newName) == RowCount() - 1; }));
    EXPECT_EQ(RowText(RowCount() - 1, 0), number);
    EXPECT_TRUE(List()->selectionModel()->selectedRows().isEmpty()) << "no other device may look selected";
    EXPECT_EQ(Field("nameField"), newName);
}

TEST_F(Commands, AGatewayOutsideTheSubnetIsAskedAboutFirst)
{
    Select("Lobby");
    Address("gatewayField")->SetAddress(app::IpAddressEdit::Octets{192, 168, 2, 1});
    answer = platform::BoxAnswer::Cancel;
    Submit();
    EXPECT_EQ(boxes, QStringList{"[Choice] No Match, IP and GateWay. Are you continued?"});
    QTest::qWait(200);
    EXPECT_TRUE(SetRequests().empty());
}

TEST_F(UntouchedSettings, SubmitNeverSendsAModeOrANameTheUserDidNotChange)
{
    Select("Gate"); // DHCP on: the DHCP button carries the mark
    ClickRow(RowWithAddress(QStringLiteral("192.168.001.031")));
    ASSERT_TRUE(Find<QRadioButton>("dhcpButton")->isHidden());
    Submit();
    QTest::qWait(200);
    EXPECT_TRUE(SetRequests().empty()) << "nothing was edited";

    TypeInto("portField", QStringLiteral("8081"));
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return SetRequests().size() == std::size_t{1}; })) << SetRequests().size();
    EXPECT_EQ(Applied(SetRequests()[0]), QStringList{"port"}) << "neither the name nor the mode goes with it";
}

TEST_F(Confirmations, TheStatusLineSaysWhetherTheDeviceConfirmedTheChangeSearchOrNot)
{
    struct Case {
        const char* name;
        bool searchWhileWaiting;
        const char* outcome;
    };
    const Case cases[] = {
        {"Attic", false, "No answer from the device within 5 s: the change may not have been applied"},
        {"Porch", true, "The device confirmed the change"},
    };
    for (const auto& [name, searchWhileWaiting, outcome] : cases) {
        Select(name);
        TypeInto("nameField", QLatin1String(name) + QStringLiteral("-2"));
        Submit();
        if (searchWhileWaiting)
            QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
        EXPECT_TRUE(StatusLine(*window)->text().startsWith(QStringLiteral("Sent name to 00:1A:2B:3C:4D:2"))) << name;
        EXPECT_TRUE(test::Eventually([&] { return StatusLine(*window)->text() == QLatin1String(outcome); }))
            << name << ": " << StatusLine(*window)->text().toStdString();
    }
}

TEST_F(NoAnswer, TheStatusLineNamesTheCardsSearchedAndLoosensAStrictOne)
{
    SetReversePathFilter("1");
    Open();
    QLabel* line = StatusLine(*window);
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
        {"copyIpAddress", "192.168.1.21"},
        {"copyMacAddress", "00:1a:2b:3c:4d:02"},
        {"copyWebAddress", "http://192.168.1.21:8080"},
        {"copyRow", "00:1a:2b:3c:4d:02\t192.168.1.21\t255.255.255.0\t192.168.1.1\t192.168.1.1\t1.1.1.1\tParking"
                    "\t8080\ton\tshort\tlan0\tno\tno\thttp://192.168.1.21:8080\n"},
    };
    for (const auto& [action, text] : copies) {
        TriggerListMenu(RowWithName(QStringLiteral("Parking")), action);
        EXPECT_EQ(QApplication::clipboard()->text(), text) << action;
    }
    TriggerListMenu(RowWithName(QStringLiteral("Parking")), "openWebPage");
    TriggerListMenu(RowWithName(QStringLiteral("printer")), "openWebPage"); // refused as a double click is
    EXPECT_EQ(openedAddresses, QStringList{"http://192.168.1.21:8080"});
    TriggerListMenu(-1, "copyAllRows");
    const QStringList lines = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), RowCount() + 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("mac\tip\t")));
    for (int row = 0; row < RowCount(); ++row)
        EXPECT_EQ(lines[row + 1].split(u'\t').value(6), RowText(row, 1)) << "in the list's order";
    EXPECT_EQ(Field("nameField"), QStringLiteral("Dock"));
    EXPECT_EQ(List()->selectionModel()->selectedRows(1), QModelIndexList{Model()->index(dock, 1)});

    // Exported as quillonctl lists them; a file that cannot be written is not written at all.
    QTemporaryDir directory;
    const QStringList devices = {"00:1a:2b:3c:4d:05 127.0.0.1 printer", "00:1a:2b:3c:4d:01 192.168.1.20 Lobby",
                                 "00:1a:2b:3c:4d:02 192.168.1.21 Parking", "00:1a:2b:3c:4d:03 192.168.1.22 Dock",
                                 "00:1a:2b:3c:4d:04 192.168.1.23 Roof"};
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
    QStringList fromCsv;
    for (const QByteArray& line : csv.readAll().split('\n').mid(1, devices.size())) {
        const QList<QByteArray> fields = line.split(',');
        fromCsv << QString::fromUtf8(fields.value(0) + ' ' + fields.value(1) + ' ' + fields.value(6));
    }
    EXPECT_EQ(fromCsv, devices);
    QFile json(files[1].path);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    QStringList fromJson;
    for (const QJsonValue device : QJsonDocument::fromJson(json.readAll()).array())
        fromJson << device["mac"].toString() + u' ' + device["ip"].toString() + u' ' + device["name"].toString();
    EXPECT_EQ(fromJson, devices);
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files), (QStringList{"list.csv", "list.json"}));
    ASSERT_EQ(boxes.size(), 2) << boxes.join(u'|').toStdString();
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("not exported to ") + files[2].path));
}

TEST_F(Hints, MarkExactlyTheUnreachableAndTheSharedAddressRowsWhateverTheOrder)
{
    const auto number = [&](const char* name) { return RowText(RowWithName(QLatin1String(name)), 0); };
    const QString twin = QStringLiteral("The device numbered %1 answered with this address too;\n"
                                        "give each device an address of its own");
    const std::map<QString, QString> hints = {
        {"Inside", ""},
        {"Factory", "192.168.1.64 is not in 203.0.113.0/24 of lan0, so its web page will not open;\n"
                    "give it an address in that subnet"},
        {"Twin-1", twin.arg(number("Twin-2"))},
        {"Twin-2", twin.arg(number("Twin-1"))},
    };
    const auto expectHints = [&](const std::map<QString, QString>& expected, const char* when) {
        for (int row = 0; row < RowCount(); ++row) {
            const QModelIndex cell = Model()->index(row, 1);
            const QString name = cell.data().toString();
            const QString hint = expected.at(name);
            EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), hint.isEmpty() ? name : name + u'\n' + hint) << when;
            EXPECT_EQ(cell.data(Qt::DecorationRole).isNull(), hint.isEmpty()) << name.toStdString() << when;
        }
    };
    expectHints(hints, "as the devices answered");
    window->OnDeviceListColumnClick(1);
    expectHints(hints, "ordered by name");
    window->OnDeviceListColumnClick(2);
    expectHints(hints, "ordered by address");

    Select("Twin-2"); // given an address of its own: neither twin is marked any more
    Address("ipField")->SetAddress(app::IpAddressEdit::Octets{203, 0, 113, 31});
    Submit();
    ASSERT_TRUE(test::Eventually([&] { return RowWithAddress(QStringLiteral("203.000.113.031")) >= 0; }));
    expectHints({{"Inside", ""}, {"Factory", hints.at("Factory")}, {"Twin-1", ""}, {"Twin-2", ""}}, "after Submit");
}
