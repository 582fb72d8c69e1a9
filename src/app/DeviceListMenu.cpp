#include "app/DeviceListMenu.h"

#include "app/DeviceListModel.h"
#include "commands/DeviceListing.h"
#include "commands/DeviceSettings.h"
#include "platform/Interfaces.h"
#include "platform/MessageBox.h"
#include "protocol/DeviceTexts.h"

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

// The chosen type gives the name its suffix; a name ending in .csv or .json says the format
// whatever type is chosen.
std::optional<ExportFile> AskForExportFile(QWidget* parent)
{
    const QString csv = DeviceListMenu::tr("CSV (*.csv)");
    const QString json = DeviceListMenu::tr("JSON (*.json)");
    QFileDialog dialog(parent, DeviceListMenu::tr("Export list"), QString(), csv + QStringLiteral(";;") + json);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("devices.csv"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(filter == json ? QStringLiteral("json") : QStringLiteral("csv"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    ExportFile file{dialog.selectedFiles().constFirst(),
                    dialog.selectedNameFilter() == json ? ExportFormat::Json : ExportFormat::Csv};
    const QString suffix = QFileInfo(file.path).suffix().toLower();
    if (suffix == QLatin1String("json") || suffix == QLatin1String("csv"))
        file.format = suffix == QLatin1String("json") ? ExportFormat::Json : ExportFormat::Csv;
    return file;
}

} // namespace

DeviceListMenu::DeviceListMenu(const devices::DeviceStore& devices, const DeviceListModel& model, QWidget* window)
    : QObject(window), devices_(devices), model_(model), window_(window), chooseFile_(AskForExportFile)
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
        menu->addSeparator();
    }
    const bool listed = model_.rowCount() > 0;
    AddAction(menu, "copyAllRows", tr("Copy &all rows"), [this] { CopyAllRows(); })->setEnabled(listed);
    AddAction(menu, "exportList", tr("&Export list…"), [this] { ExportList(); })->setEnabled(listed);
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
    QSaveFile output(file->path);
    if (output.open(QIODevice::WriteOnly) && output.write(data) == data.size() && output.commit())
        return;
    platform::MessageBoxRequest box = platform::ApplicationBox(
        tr("The list was not exported to %1: %2").arg(QDir::toNativeSeparators(file->path), output.errorString()));
    box.icon = platform::BoxIcon::Warning;
    platform::ShowMessageBox(box);
}

} // namespace quillon::app
