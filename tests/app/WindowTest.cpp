// The window itself: its state after start, its fields, menu, About box, language file,
// ordering, closing while devices answer, and a list lock held by another process.

#include "WindowFixture.h"

#include "devices/DeviceTable.h"
#include "i18n/LanguageLoader.h"
#include "support/SimulatorProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTimer>

#include <cstdio>
#include <string_view>

using namespace quillon;
using test::WindowTest;

namespace {

class Window : public WindowTest {};

const QString kTemplateHelp = QString::fromUtf8(
    "To Change Device Name, IP address, and Gateway:\n1.Select the device on the left side.\n"
    "2.Change network parameter on the right side.\n3.Press Submit button.\n"
    "4.Press \u201cSearch Device\u201d to re-search again.\n5.Double click the device to open it.");

} // namespace

TEST_F(Window, RightAfterStart)
{
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillon V2.6"));
    EXPECT_EQ(Find<QLabel>("deviceListsLabel")->text(), QStringLiteral("Device lists:"));
    EXPECT_EQ(Find<QLabel>("helpText")->text(), kTemplateHelp);
    EXPECT_EQ(Model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Server Name"));
    EXPECT_EQ(Model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("IP Address"));
    EXPECT_TRUE(List()->isColumnHidden(0));
    for (const char* field : {"nameField", "macField", "portField"})
        EXPECT_EQ(Field(field), QString()) << field << ": a port of 0 shows as an empty field";
    EXPECT_FALSE(Find<QRadioButton>("staticButton")->isVisible());
    EXPECT_FALSE(Find<QRadioButton>("dhcpButton")->isVisible());
    EXPECT_TRUE(Find<QPushButton>("submitButton")->isDefault());
    ASSERT_TRUE(test::Eventually([&] { return Address("ipField")->isAncestorOf(QApplication::focusWidget()); }));
    EXPECT_EQ(window->size(), window->minimumSize()) << "it opens at its smallest size";
    EXPECT_FALSE(window->windowIcon().pixmap(32, 32).isNull());
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'|').toStdString();
}

TEST_F(Window, TabVisitsTheControlsTopDownTheListsSideFirstAndSkipsTheRadioButtons)
{
    Open();
    const char* expected[] = {"netmaskField", "gatewayField", "dns1Field",  "dns2Field",    "portField", "macField",
                              "submitButton", "exitButton",   "deviceList", "searchButton", "nameField", "ipField"};
    for (const char* name : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        QWidget* control = window->findChild<QWidget*>(QLatin1String(name));
        EXPECT_TRUE(focus == control || control->isAncestorOf(focus)) << name << " got " << focus->objectName().toStdString();
    }
}

TEST_F(Window, NameTakesEighteenCharactersAtMostAndPortReadBackAcceptsZeroTo65535)
{
    Open();
    QTest::keyClicks(Find<QLineEdit>("nameField"), QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
    EXPECT_EQ(Field("nameField"), QStringLiteral("ABCDEFGHIJKLMNOPQR"));
    auto* port = Find<QLineEdit>("portField");
    const std::pair<const char*, const char*> cases[] = {
        {"0", ""},
        {"65535", ""},
        {"80", ""},
        {"65536", "Please enter an integer between 0 and 65535."},
        {"", "Please enter an integer."},
    };
    for (const auto& [text, refusal] : cases) {
        port->setText(QLatin1String(text));
        EXPECT_EQ(window->ReadFields(), *refusal == 0) << text;
        EXPECT_EQ(boxes.join(u'|'), *refusal == 0 ? QString() : '[' + platform::ApplicationName() + "] " + refusal);
        boxes.clear();
    }
    EXPECT_EQ(QApplication::focusWidget(), port) << "a refused port takes the focus";
}

TEST_F(Window, IpAddressFieldActsAsOneField)
{
    Open();
    auto* ip = Address("ipField");
    // Typed into whichever octet has the focus; \b is Backspace.
    const std::pair<const char*, app::IpAddressEdit::Octets> steps[] = {
        {"192.168.1.200", {192, 168, 1, 200}},
        {"\b\b\b\b\b7", {192, 168, 7, 0}}, // the fourth Backspace goes on into the third octet
        {"009", {192, 168, 255, 9}},         // 700 is clamped to 255; a fourth digit lands in the next octet
    };
    for (const auto& [keys, octets] : steps) {
        for (const char* key = keys; *key != 0; ++key)
            QTest::keyClick(QApplication::focusWidget(), *key);
        EXPECT_EQ(ip->Address(), octets) << keys;
    }
    ip->Clear();
    EXPECT_TRUE(ip->IsBlank());
    EXPECT_EQ(ip->Address(), (app::IpAddressEdit::Octets{0, 0, 0, 0}));
    ip->SetAddress(std::uint32_t{0x0A000005});
    EXPECT_EQ(ip->Address(), (app::IpAddressEdit::Octets{10, 0, 0, 5}));
    ip->setEnabled(false);
    for (auto* octet : ip->findChildren<QLineEdit*>())
        EXPECT_FALSE(octet->isEnabled());
}

TEST_F(Window, OnlyARightClickOnTheFreeAreaOpensTheWindowMenuWhoseLastEntryOpensTheAboutBox)
{
    Open();
    auto rightClick = [&](QWidget* target, QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &event);
        const bool shown = window->WindowMenu()->isVisible();
        window->WindowMenu()->hide();
        return shown;
    };
    EXPECT_FALSE(rightClick(List()->viewport(), {5, 5}));
    EXPECT_FALSE(rightClick(Find<QLabel>("ipLabel"), {2, 2}));
    EXPECT_FALSE(rightClick(Find<QPushButton>("searchButton"), {2, 2}));
    const QPoint free(window->width() - 2, 2);
    ASSERT_EQ(window->childAt(free), nullptr);
    EXPECT_TRUE(rightClick(window.get(), free));

    const auto actions = window->WindowMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), QStringLiteral("About Quillon(&A)..."));

    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        seen = about->objectName() == QLatin1String("aboutBox") && about->windowTitle() == QLatin1String("About Quillon") &&
               about->findChildren<QPushButton*>().isEmpty() &&
               about->findChild<QLabel*>(QStringLiteral("aboutProduct"))->text() == QLatin1String("Quillon V2.6") &&
               about->findChild<QLabel*>(QStringLiteral("aboutNotice"))->text() == QLatin1String("Quillon V2.6 Device Scanner");
        QTest::keyClick(about, Qt::Key_Escape);
    });
    actions.last()->trigger();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(window->isVisible()) << "Escape closed the About box, not the window";
}

TEST_F(Window, LanguageFileRelabelsTheWindow)
{
    QTemporaryDir directory;
    QFile file(directory.filePath(i18n::kLanguageFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QString::fromUtf8("\xEF\xBB\xBF[LANGUAGE]\nDevice_Lists=デバイス一覧\nServer_Name=名前\n"
                                 "IP=アドレス\nExit=終了\n3._Press_Submit_button.=3. 送信を押す\n")
                   .toUtf8());
    file.close();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(directory.path());
    Open();
    QDir::setCurrent(previous);
    EXPECT_EQ(Find<QLabel>("deviceListsLabel")->text(), QString::fromUtf8("デバイス一覧"));
    EXPECT_EQ(Model()->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("名前"));
    EXPECT_EQ(Find<QPushButton>("exitButton")->text(), QString::fromUtf8("終了"));
    EXPECT_EQ(Address("ipField")->accessibleName(), QString::fromUtf8("アドレス"));
    EXPECT_TRUE(Find<QLabel>("helpText")->text().contains(QString::fromUtf8("\n3. 送信を押す\n")));
    EXPECT_TRUE(Find<QLabel>("helpText")->text().startsWith(QStringLiteral("To Change Device Name")));
}

TEST_F(Window, EscapeOrExitWhileRepliesPourInEndsCleanly)
{
    test::SimulatorProcess simulator({"--count", "3000"});
    ASSERT_TRUE(simulator.IsReady());
    for (const char* way : {"Escape", "Exit"}) {
        Open();
        ASSERT_TRUE(test::Eventually([&] { return RowCount() > 0; }));
        for (int i = 0; i < 5; ++i) {
            QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
            QTest::qWait(20);
        }
        if (way == std::string_view("Escape"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            QTest::mouseClick(Find<QPushButton>("exitButton"), Qt::LeftButton);
        EXPECT_FALSE(window->isVisible()) << way;
        EXPECT_EQ(window->result(), QDialog::Rejected) << way;
        EXPECT_TRUE(window->Devices().IsEmpty()) << way;
    }
}

TEST_F(Window, AnotherProcessHoldingTheListLockFreezesNeitherTheListNorExit)
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

// Whatever the receivers do to the rows, the list replays it to the same rows, one step after
// the other, and then reads them anew after a reordering or a clearing; it marks the rows that
// share their address with another whatever moved.
TEST(DeviceListModel, ReplayingTheChangesGivesTheStoresRows)
{
    devices::DeviceTable table;
    devices::RowFeed& rows = table.Rows();
    app::DeviceListModel model;
    std::uint16_t devices = 0;
    std::uint16_t answers = 0;
    std::uint32_t random = 12345;
    auto next = [&](std::uint32_t bound) { return (random = random * 1103515245 + 12345) / 65536 % bound; };
    auto modelRows = [&] {
        devices::RowFeed::Rows shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown.push_back({model.index(row, 0).data().toInt(), model.index(row, 1).data().toString(),
                             model.index(row, 2).data().toString()});
        return shown;
    };
    // A new device's answer appends a row, a notice moves a row to the end, and the first
    // device's answer from a new address rewrites its row where it stands.
    auto enter = [&](std::uint16_t device, devices::ReportKind kind, const QString& text) {
        devices::DeviceEntry entry{{}, {}, text, text};
        entry.report.kind = kind;
        entry.mac = {2, 0, 0, 0, static_cast<std::uint8_t>(device >> 8), static_cast<std::uint8_t>(device)};
        ++answers;
        entry.report.ipAddress = {10, 0, static_cast<std::uint8_t>(answers >> 8), static_cast<std::uint8_t>(answers)};
        table.Enter({&entry, 1});
    };
    for (int round = 0; round < 300; ++round) {
        for (std::uint32_t op = next(40); op > 0; --op) {
            const QString text = QString::number(next(1000));
            const std::uint32_t kind = next(100);
            if (kind < 50 || devices == 0)
                enter(devices++, devices::ReportKind::Answer, text);
            else if (kind < 80)
                enter(static_cast<std::uint16_t>(next(devices)), devices::ReportKind::Notice, text);
            else if (kind < 98)
                enter(0, devices::ReportKind::Answer, text);
            else
                rows.Reorder([](devices::RowFeed::Rows& all) { std::reverse(all.begin(), all.end()); });
        }
        model.Apply(rows.TakeChanges());
        ASSERT_EQ(modelRows(), rows.Copy()) << "round " << round;
        if (round % 10 != 0)
            continue;
        QHash<QString, int> rowsPerAddress;
        for (const devices::DeviceRow& row : rows.Copy())
            ++rowsPerAddress[row.addressText];
        for (int row = 0; row < model.rowCount(); ++row) {
            const bool shared = rowsPerAddress[model.Row(row).addressText] > 1;
            ASSERT_EQ(model.index(row, 1).data(Qt::DecorationRole).isNull(), !shared) << "round " << round;
        }
    }
    table.Clear();
    model.Apply(rows.TakeChanges());
    EXPECT_EQ(model.rowCount(), 0);
}
