#include "app/DeviceListMenu.h"

#include "app/DeviceListModel.h"
#include "app/UiLock.h"
#include "commands/DeviceListing.h"
#include "commands/DeviceSettings.h"
#include "platform/Interfaces.h"
#include "platform/MessageBox.h"
#include "protocol/DeviceTexts.h"
#include "store/SiteReport.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QSaveFile>

#include <unordered_map>

namespace quillon::app {

namespace {

void Copy(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

QAction* AddAction(QMenu* menu, const char* name, const QString& text, std::function<void()> act)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    QObject::connect(action, &QAction::triggered, menu, std::move(act));
    return action;
}

struct FileType {
    QString filter; // "CSV (*.csv)"
    QString suffix;
};

// A file to save to, its name given the chosen type's suffix when it has none.
std::optional<QString> AskForSaveFile(QWidget* parent, const QString& title, const QString& name, const std::vector<FileType>& types)
{
    QStringList filters;
    for (const FileType& type : types)
        filters << type.filter;
    QFileDialog dialog(parent, title, QString(), filters.join(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(types.front().suffix);
    dialog.selectFile(name);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        for (const FileType& type : types)
            if (type.filter == filter)
                dialog.setDefaultSuffix(type.suffix);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

// A name ending in .csv or .json says the format whatever type is chosen.
std::optional<ExportFile> AskForExportFile(QWidget* parent)
{
    const std::optional<QString> path =
        AskForSaveFile(parent, DeviceListMenu::tr("Export list"), QStringLiteral("devices.csv"),
                       {{DeviceListMenu::tr("CSV (*.csv)"), QStringLiteral("csv")}, {DeviceListMenu::tr("JSON (*.json)"), QStringLiteral("json")}});
    if (!path)
        return std::nullopt;
    return ExportFile{*path, QFileInfo(*path).suffix().toLower() == QLatin1String("json") ? ExportFormat::Json : ExportFormat::Csv};
}

std::optional<QString> AskForReportFile(QWidget* parent, const QString& name)
{
    return AskForSaveFile(parent, DeviceListMenu::tr("Save site report"), name,
                          {{DeviceListMenu::tr("Web page (*.html)"), QStringLiteral("html")},
                           {DeviceListMenu::tr("CSV (*.csv)"), QStringLiteral("csv")},
                           {DeviceListMenu::tr("JSON (*.json)"), QStringLiteral("json")}});
}

void WarnNotSaved(const QString& message)
{
    platform::MessageBoxRequest box = platform::ApplicationBox(message);
    box.icon = platform::BoxIcon::Warning;
    platform::ShowMessageBox(box);
}

// Writes `data` whole or not at all; the reason it could not, or nothing.
std::optional<QString> SaveWhole(const QString& path, const QByteArray& data)
{
    QSaveFile output(path);
    if (output.open(QIODevice::WriteOnly) && output.write(data) == data.size() && output.commit())
        return std::nullopt;
    return output.errorString();
}

} // namespace

DeviceListMenu::DeviceListMenu(const devices::DeviceStore& devices, const DeviceListModel& model, QWidget* window)
    : QObject(window), devices_(devices), model_(model), window_(window), chooseFile_(AskForExportFile),
      chooseReport_(AskForReportFile), siteWebPages_(new commands::SiteWebPages(this))
{
}

QMenu* DeviceListMenu::Create(int row)
{
    auto* menu = new QMenu(window_);
    menu->setObjectName(QStringLiteral("deviceListMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (const std::optional<commands::ListedDevice> device = row >= 0 ? model_.Device(row) : std::nullopt) {
        AddAction(menu, "copyIpAddress", tr("Copy &IP address"),
                  [ip = protocol::DottedDecimal(device->ipAddress)] { Copy(ip); });
        AddAction(menu, "copyMacAddress", tr("Copy &MAC address"),
                  [mac = protocol::MacText(device->macAddress)] { Copy(mac); });
        AddAction(menu, "copyWebAddress", tr("Copy &web address"), [web = device->webAddress] { Copy(web); });
        AddAction(menu, "copyRow", tr("Copy &row"),
                  [line = commands::FormatTabSeparated({*device}, false)] { Copy(line); });
        AddAction(menu, "openWebPage", tr("&Open web page"),
                  [this, mac = device->macAddress] {
                      if (const QString why = commands::OpenDeviceWebPage(devices_, mac); !why.isEmpty())
                          emit WebPageNotOpened(why);
                  });
        // A device of a remote site is reached through its host, by a forward over ssh.
        if (const std::string host = platform::RemoteCardHost(device->cardIndex); !host.empty())
            AddAction(menu, "openWebPageThroughSite", tr("Open web page &through %1").arg(QString::fromStdString(host)),
                      [this, mac = device->macAddress] {
                          siteWebPages_->Open(devices_, mac, [this](const QString& why) {
                              if (!why.isEmpty())
                                  emit WebPageNotOpened(why);
                          });
                      });
        menu->addSeparator();
    }
    const bool listed = model_.rowCount() > 0;
    AddAction(menu, "copyAllRows", tr("Copy &all rows"), [this] { CopyAllRows(); })->setEnabled(listed);
    AddAction(menu, "exportList", tr("&Export list…"), [this] { ExportList(); })->setEnabled(listed);
    AddAction(menu, "saveSiteReport", tr("Save site &report…"), [this] { SaveSiteReport(); })->setEnabled(bool(reportSource_));
    return menu;
}

// In the list's order, under the header line.
void DeviceListMenu::CopyAllRows()
{
    const std::vector<commands::ListedDevice> listed = commands::ListDevices(devices_, platform::UsableInterfaces());
    std::unordered_map<int, const commands::ListedDevice*> byNumber;
    for (const commands::ListedDevice& device : listed)
        byNumber.emplace(device.rowNumber, &device);
    std::vector<commands::ListedDevice> rows;
    for (int row = 0; row < model_.rowCount(); ++row)
        if (const auto found = byNumber.find(model_.Row(row).number); found != byNumber.end())
            rows.push_back(*found->second);
    Copy(commands::FormatTabSeparated(rows, true));
}

// What `quillonctl list` writes, whole or not at all.
void DeviceListMenu::ExportList()
{
    const std::optional<ExportFile> file = chooseFile_(window_);
    if (!file)
        return;
    const std::vector<commands::ListedDevice> devices = commands::ListDevices(devices_, platform::UsableInterfaces());
    const QByteArray data =
        file->format == ExportFormat::Json ? commands::FormatJson(devices, true) : commands::FormatCsv(devices);
    if (const std::optional<QString> why = SaveWhole(file->path, data))
        WarnNotSaved(tr("The list was not exported to %1: %2").arg(QDir::toNativeSeparators(file->path), *why));
}

// What `quillonctl report` writes, read and written while the window goes on drawing: a site of
// thousands of devices takes a moment.
void DeviceListMenu::SaveSiteReport()
{
    const ReportSource source = reportSource_();
    const QString name = (source.sites.size() == 1 ? source.sites.front() : QStringLiteral("site")) + QStringLiteral(" report.html");
    const std::optional<QString> path = chooseReport_(window_, QString(name).replace(u'/', u'-'));
    if (!path)
        return;
    std::optional<QString> why;
    RunServingEvents([&] {
        QString notOpened;
        const std::unique_ptr<store::SiteMemory> memory = store::SiteMemory::Open(source.database, notOpened);
        const std::optional<store::SiteReport> report = memory ? store::ReadSiteReport(*memory, source.sites) : std::nullopt;
        if (!report)
            why = memory ? memory->Error() : notOpened;
        else
            why = SaveWhole(*path, store::FormatSiteReport(*report, store::ReportFormatOfFile(*path)));
    });
    if (why)
        WarnNotSaved(tr("The site report was not saved to %1: %2").arg(QDir::toNativeSeparators(*path), *why));
    else
        emit SiteReportSaved(*path);
}

} // namespace quillon::app
