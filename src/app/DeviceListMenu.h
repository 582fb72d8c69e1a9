#pragma once

#include "commands/SiteWebPage.h"
#include "devices/DeviceTable.h"

#include <QObject>
#include <QString>
#include <QStringList>

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
// its web page (for a remote site's device, also through the site's host); anywhere in the list: a copy of every row and the export of the list in the
// command line's CSV or JSON; and the site report from the site's memory. The row's device is read when the menu opens and acted on by its
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

    // Where to save the site report (HTML, CSV or JSON by its name); nothing when the user cancels.
    using ReportChooser = std::function<std::optional<QString>(QWidget* parent, const QString& name)>;
    void SetReportChooser(ReportChooser chooser) { chooseReport_ = std::move(chooser); }
    // The site's memory and the sites a report covers (none: every site), while the window
    // remembers sites; an empty function disables Save site report.
    struct ReportSource {
        QString database;
        QStringList sites;
    };
    void SetSiteReportSource(std::function<ReportSource()> source) { reportSource_ = std::move(source); }

signals:
    // Open web page opened nothing, for the reason given.
    void WebPageNotOpened(const QString& why);
    void SiteReportSaved(const QString& path);

private:
    void CopyAllRows();
    void ExportList();
    void SaveSiteReport();

    const devices::DeviceStore& devices_;
    const DeviceListModel& model_;
    QWidget* window_;
    FileChooser chooseFile_;
    ReportChooser chooseReport_;
    std::function<ReportSource()> reportSource_;
    commands::SiteWebPages* siteWebPages_; // a child: its forwards end with the window
};

} // namespace quillon::app
