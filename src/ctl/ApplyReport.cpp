#include "ctl/ApplyReport.h"

#include "commands/DeviceSettings.h"
#include "protocol/DeviceTexts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <utility>
#include <vector>

namespace quillon::ctl {

namespace {

// The columns, each a field before the plan and as the plan gives it.
const QStringList kColumns = {QStringLiteral("line"),        QStringLiteral("mac"),        QStringLiteral("outcome"),
                              QStringLiteral("ended"),       QStringLiteral("old_ip"),     QStringLiteral("ip"),
                              QStringLiteral("old_netmask"), QStringLiteral("netmask"),    QStringLiteral("old_gateway"),
                              QStringLiteral("gateway"),     QStringLiteral("old_name"),   QStringLiteral("name"),
                              QStringLiteral("old_port"),    QStringLiteral("port"),       QStringLiteral("old_mode"),
                              QStringLiteral("mode"),        QStringLiteral("web_address")};

// A value before and as the plan gives it: an empty cell of the plan keeps the old one.
std::pair<QString, QString> BeforeAndAfter(const QString& before, const std::optional<QString>& planned)
{
    return {before, planned.value_or(before)};
}

std::optional<QString> Dotted(const std::optional<wire::Ipv4>& address)
{
    return address ? std::optional(protocol::DottedDecimal(*address)) : std::nullopt;
}

QStringList Cells(const ReportRow& row)
{
    const commands::PlanLine& line = row.line;
    const commands::ListedDevice* before = row.before;
    const auto old = [before](auto field) { return before != nullptr ? field(*before) : QString(); };
    const auto [oldIp, ip] = BeforeAndAfter(old([](const auto& d) { return protocol::DottedDecimal(d.ipAddress); }),
                                            Dotted(line.ipAddress));
    const auto [oldNetmask, netmask] = BeforeAndAfter(
        old([](const auto& d) { return protocol::DottedDecimal(d.netmask); }), Dotted(line.netmask));
    const auto [oldGateway, gateway] = BeforeAndAfter(
        old([](const auto& d) { return protocol::DottedDecimal(d.gateway); }), Dotted(line.gateway));
    const auto [oldName, name] = BeforeAndAfter(old([](const auto& d) { return d.name; }), line.name);
    const auto [oldPort, port] = BeforeAndAfter(old([](const auto& d) { return QString::number(d.webPort); }),
                                                line.port ? std::optional(QString::number(*line.port)) : std::nullopt);
    const auto [oldMode, mode] = BeforeAndAfter(
        old([](const auto& d) { return commands::ModeCell(d.dhcp); }),
        line.dhcp ? std::optional(commands::ModeCell(line.dhcp)) : std::nullopt);
    const std::optional<wire::Ipv4> address = protocol::ParseIpv4(ip);
    const QString web = address ? commands::DeviceWebAddress({*address, port.toInt()}) : QString();
    return {QString::number(line.line), protocol::MacText(line.mac), row.outcome,
            row.ended.toString(Qt::ISODateWithMs), oldIp, ip, oldNetmask, netmask, oldGateway, gateway,
            oldName, name, oldPort, port, oldMode, mode, web};
}

} // namespace

bool ApplyReport::Begin()
{
    switch (format_) {
    case ReportFormat::Csv:
        return write_(kColumns.join(QLatin1Char(',')).toUtf8() + "\r\n");
    case ReportFormat::Json:
        return write_("[");
    case ReportFormat::JsonLines:
        break;
    }
    return true;
}

bool ApplyReport::Add(const ReportRow& row)
{
    const QStringList cells = Cells(row);
    if (format_ == ReportFormat::Csv) {
        QStringList fields;
        for (const QString& cell : cells)
            fields << commands::CsvField(commands::SpreadsheetCell(cell));
        return write_(fields.join(QLatin1Char(',')).toUtf8() + "\r\n");
    }
    QJsonObject object;
    for (qsizetype i = 0; i < kColumns.size(); ++i)
        object.insert(kColumns[i], cells[i]);
    object.insert(QStringLiteral("line"), row.line.line);
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (format_ == ReportFormat::JsonLines)
        return write_(json + '\n');
    return write_((std::exchange(empty_, false) ? "\n" : ",\n") + json);
}

bool ApplyReport::End()
{
    return format_ == ReportFormat::Json ? write_("\n]\n") : true;
}

} // namespace quillon::ctl
