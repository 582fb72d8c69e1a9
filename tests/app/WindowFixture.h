#pragma once

#include "app/CScannerDlg.h"
#include "app/DeviceListModel.h"
#include "app/IpAddressEdit.h"
#include "i18n/InterfaceTexts.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"
#include "platform/WebBrowser.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace quillon::test {

// Serves events until `condition` holds; false when it still does not after `timeoutMs`.
// (QtTest's QTRY_ macros report to QtTest, not to GoogleTest, so they are not used here.)
inline bool Eventually(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// The requests a simulator logged to `path`, oldest first; only those of kind `request` ("set",
// "search") when it is given.
inline std::vector<QJsonObject> SimulatorLog(const QString& path, const char* request = nullptr)
{
    QFile file(path);
    std::vector<QJsonObject> entries;
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (!line.isEmpty() && (request == nullptr || entry.value("request").toString() == QLatin1String(request)))
            entries.push_back(entry);
    }
    return entries;
}

// The groups a logged set request changed on the device.
inline QStringList Applied(const QJsonObject& entry) { return entry.value("applied").toVariant().toStringList(); }

// The real window, offscreen, with message boxes answered and web addresses caught.
class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lockDirectory.isValid());
        QSettings().clear(); // each test starts from a window the user never changed
        qputenv("QUILLON_DATABASE", dataDirectory.filePath(QStringLiteral("quillon.sqlite")).toLocal8Bit());
        listLock = std::make_unique<platform::NamedLock>("LIST LOCK", lockDirectory.path().toStdString());
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& box) {
            boxes << QStringLiteral("[%1] %2").arg(box.caption, box.text);
            return answer;
        });
        platform::SetMessageBoxPoster([this](const platform::MessageBoxRequest& box, std::function<void()> closed) {
            boxes << QStringLiteral("[%1] %2").arg(box.caption, box.text);
            if (closed)
                closed();
        });
        platform::SetWebAddressOpener([this](const QString& address) {
            openedAddresses << address;
            return true;
        });
    }

    void TearDown() override
    {
        if (window && window->isVisible())
            window->OnCancel();
        window.reset();
        platform::SetMessageBoxHandler({});
        platform::SetMessageBoxPoster({});
        platform::SetWebAddressOpener({});
        qunsetenv("QUILLON_DATABASE");
    }

    void Open()
    {
        window = std::make_unique<app::CScannerDlg>(texts, *listLock);
        window->OnInitDialog();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
    }

    template <typename Widget>
    Widget* Find(const char* name) const
    {
        auto* widget = window->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QTreeView* List() const { return Find<QTreeView>("deviceList"); }
    // The list's rows, all of them: the view shows those the filter lets through.
    app::DeviceListModel* Model() const { return window->findChild<app::DeviceListModel*>(); }
    int RowCount() const { return Model()->rowCount(); }
    QString RowText(int row, int column) const { return Model()->index(row, column).data().toString(); }
    QString Field(const char* name) const { return Find<QLineEdit>(name)->text(); }
    app::IpAddressEdit* Address(const char* name) const { return Find<app::IpAddressEdit>(name); }
    void TypeInto(const char* field, const QString& text)
    {
        auto* edit = Find<QLineEdit>(field);
        edit->selectAll();
        edit->insert(text); // as typed: the field's limit applies
        edit->setFocus();
    }
    void Submit() { QTest::mouseClick(Find<QPushButton>("submitButton"), Qt::LeftButton); }

    // `action` of the list's menu, opened by a right click on `row` (-1: below the rows).
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

    // A left click on `row` of the list, or below the last row when `row` is -1.
    void ClickRow(int row) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(row)); }
    // As the desktop delivers a double click: a click, then the double click.
    void DoubleClickRow(int row)
    {
        ClickRow(row);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(row));
    }
    QPoint RowPoint(int row) const
    {
        if (row >= 0)
            return List()->visualRect(List()->model()->index(row, 1)).center();
        return {10, List()->viewport()->height() - 5};
    }
    int RowWith(int column, const QString& text) const
    {
        for (int row = 0; row < RowCount(); ++row)
            if (RowText(row, column) == text)
                return row;
        return -1;
    }
    int RowWithName(const QString& name) const { return RowWith(1, name); }
    int RowWithAddress(const QString& address) const { return RowWith(2, address); }

    QTemporaryDir lockDirectory;
    QTemporaryDir dataDirectory; // the site's memory of the test's window
    std::unique_ptr<platform::NamedLock> listLock;
    i18n::InterfaceTexts texts;
    std::unique_ptr<app::CScannerDlg> window;
    QStringList boxes;
    QStringList openedAddresses;
    platform::BoxAnswer answer = platform::BoxAnswer::Ok;
};

} // namespace quillon::test
