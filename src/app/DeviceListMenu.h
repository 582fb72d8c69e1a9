#pragma once

#include "devices/DeviceTable.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QMenu;
class QWidget;

namespace quillon::app {

class DeviceListModel;

enum class ExportFormat { Csv, Json };

struct ExportFile {
    QString path;
    ExportFormat format = ExportFormat::Csv;
};

// The device list's context menu. On a row: copies of the device's addresses and of its row, and
// its web page; anywhere in the list: a copy of every row and the export of the list in the
// command line's CSV or JSON. The row's device is read when the menu opens and acted on by its
// MAC address, whatever the list does meanwhile; it is neither selected nor shown in the fields.
class DeviceListMenu : public QObject {
    Q_OBJECT
public:
    // Asks where to export the list; nothing when the user cancels.
    using FileChooser = std::function<std::optional<ExportFile>(QWidget* parent)>;

    DeviceListMenu(const devices::DeviceStore& devices, const DeviceListModel& model, QWidget* window);

    // A menu for a right click on `row` of the list (-1: below the rows), which deletes itself
    // once closed.
    QMenu* Create(int row);
    // A file dialog by default; tests give their own.
    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

signals:
    // Open web page opened nothing, for the reason given.
    void WebPageNotOpened(const QString& why);

private:
    void CopyAllRows();
    void ExportList();

    const devices::DeviceStore& devices_;
    const DeviceListModel& model_;
    QWidget* window_;
    FileChooser chooseFile_;
};

} // namespace quillon::app
