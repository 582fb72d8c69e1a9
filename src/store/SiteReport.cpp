#include "store/SiteReport.h"

#include "commands/DeviceSettings.h"
#include "protocol/DeviceTexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace quillon::store {

namespace {

// The device columns of the CSV and JSON, and the heading each has in the HTML.
struct Column {
    const char* key;
    const char* heading;
};
constexpr Column kDeviceColumns[] = {
    {"name", "Name"},         {"ip", "IP address"},   {"mac", "MAC address"},  {"netmask", "Netmask"},
    {"gateway", "Gateway"},   {"dns1", "DNS 1"},      {"dns2", "DNS 2"},       {"web_port", "Port"},
    {"dhcp", "DHCP"},         {"card", "Card"},       {"web_address", "Web address"},
    {"first_seen", "First seen"}, {"last_seen", "Last seen"}};

QString IsoTime(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODate);
}

QString LocalTime(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString WebAddressOf(const RememberedDevice& device)
{
    const std::optional<wire::Ipv4> address = protocol::ParseIpv4(commands::ReportedSetting(device.settings, "ip"));
    if (!address)
        return {};
    return commands::DeviceWebAddress({*address, commands::ReportedSetting(device.settings, "web_port").toInt()});
}

// Each device column's value as text, in kDeviceColumns' order; times as `time` writes them.
QStringList DeviceCells(const RememberedDevice& device, QString (*time)(const QDateTime&))
{
    QStringList cells;
    for (const Column& column : kDeviceColumns) {
        const QLatin1String key(column.key);
        if (key == QLatin1String("mac"))
            cells << device.mac;
        else if (key == QLatin1String("web_address"))
            cells << WebAddressOf(device);
        else if (key == QLatin1String("first_seen"))
            cells << time(device.firstSeen);
        else if (key == QLatin1String("last_seen"))
            cells << time(device.lastSeen);
        else
            cells << commands::ReportedSetting(device.settings, column.key);
    }
    return cells;
}

QJsonObject JournalObject(const JournalEntry& entry)
{
    return {{"time", IsoTime(entry.time)},  {"user", entry.user},
            {"host", entry.host},           {"site", entry.site},
            {"source", entry.source},       {"mac", protocol::MacText(entry.mac)},
            {"before", entry.before},       {"after", entry.after},
            {"outcome", entry.outcome}};
}

QString CsvRow(QStringList cells)
{
    for (QString& cell : cells)
        cell = commands::CsvField(commands::SpreadsheetCell(cell));
    return cells.join(u',');
}

QByteArray FormatJson(const SiteReport& report)
{
    QJsonArray sites;
    for (const RememberedSite& site : report.sites) {
        QJsonArray devices;
        for (const RememberedDevice& device : site.devices) {
            const QStringList cells = DeviceCells(device, IsoTime);
            QJsonObject object;
            for (std::size_t i = 0; i < std::size(kDeviceColumns); ++i)
                object.insert(QLatin1String(kDeviceColumns[i].key), cells[static_cast<qsizetype>(i)]);
            devices.append(object);
        }
        sites.append(QJsonObject{{"name", site.name},
                                 {"first_visit", IsoTime(site.firstVisit)},
                                 {"last_visit", IsoTime(site.lastVisit)},
                                 {"visits", site.visits},
                                 {"devices", devices}});
    }
    QJsonArray journal;
    for (const JournalEntry& entry : report.journal)
        journal.append(JournalObject(entry));
    return QJsonDocument(QJsonObject{{"site", report.title}, {"made", IsoTime(report.made)}, {"sites", sites}, {"journal", journal}})
               .toJson(QJsonDocument::Indented);
}

QByteArray FormatCsv(const SiteReport& report)
{
    QStringList header{QStringLiteral("site")};
    for (const Column& column : kDeviceColumns)
        header << QLatin1String(column.key);
    QStringList lines{header.join(u',')};
    for (const RememberedSite& site : report.sites)
        for (const RememberedDevice& device : site.devices)
            lines << CsvRow(QStringList{site.name} + DeviceCells(device, IsoTime));
    return (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n\r\n")).toUtf8() + FormatJournalCsv(report.journal);
}

// Text for the page: what a device sent may hold markup or control characters.
QString Html(const QString& text)
{
    return protocol::DisplayableText(text).toHtmlEscaped();
}

constexpr const char* kStyle = R"(
body { font: 10pt/1.4 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1d1d1d; margin: 2em; }
h1 { font-size: 17pt; margin: 0 0 .2em; }
h2 { font-size: 13pt; margin: 1.8em 0 .2em; padding-bottom: .1em; border-bottom: 2px solid #3a6ea5; }
p.about { color: #555; margin: 0 0 .8em; }
table { border-collapse: collapse; margin: .4em 0 1em; font-size: 9pt; }
th, td { border: 1px solid #c4c4c4; padding: 2px 5px; text-align: left; vertical-align: top; white-space: nowrap; }
td.text { white-space: normal; }
th { background: #e8eef5; font-weight: 600; }
tbody tr:nth-child(even) td { background: #f6f6f6; }
td.number { font-variant-numeric: tabular-nums; }
td.none { color: #999; }
a { color: #1f5a96; }
@page { size: landscape; margin: 12mm; }
@media print {
  body { margin: 0; font-size: 8pt; }
  table { font-size: 7pt; }
  a { color: inherit; text-decoration: none; }
  thead { display: table-header-group; }
  tr { break-inside: avoid; }
  h2 { break-after: avoid; }
}
)";

enum class CellKind { Number, Word, Text };

QString HtmlCell(const QString& text, CellKind kind)
{
    if (text.isEmpty() || text == QLatin1String("unknown"))
        return QStringLiteral("<td class=\"none\">\u2014</td>");
    const char* classes[] = {" class=\"number\"", "", " class=\"text\""};
    return QStringLiteral("<td%1>%2</td>").arg(QLatin1String(classes[static_cast<int>(kind)]), Html(text));
}

QString HtmlDevices(const RememberedSite& site)
{
    QString html = QStringLiteral("<table>\n<thead><tr>");
    for (const Column& column : kDeviceColumns)
        html += QStringLiteral("<th>%1</th>").arg(QLatin1String(column.heading));
    html += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const RememberedDevice& device : site.devices) {
        const QStringList cells = DeviceCells(device, LocalTime);
        html += QStringLiteral("<tr>");
        for (std::size_t i = 0; i < std::size(kDeviceColumns); ++i) {
            const QString& cell = cells[static_cast<qsizetype>(i)];
            const QLatin1String key(kDeviceColumns[i].key);
            if (key == QLatin1String("web_address") && !cell.isEmpty())
                html += QStringLiteral("<td><a href=\"%1\">%1</a></td>").arg(Html(cell));
            else
                html += HtmlCell(cell, key == QLatin1String("name") || key == QLatin1String("card") ? CellKind::Word : CellKind::Number);
        }
        html += QStringLiteral("</tr>\n");
    }
    return html + QStringLiteral("</tbody>\n</table>\n");
}

QString HtmlJournal(const std::vector<JournalEntry>& journal)
{
    if (journal.empty())
        return QStringLiteral("<p class=\"about\">No change was sent.</p>\n");
    QString html = QStringLiteral("<table>\n<thead><tr><th>Time</th><th>Who</th><th>From</th><th>Site</th><th>Device</th>"
                                  "<th>Changes</th><th>Outcome</th></tr></thead>\n<tbody>\n");
    for (const JournalEntry& entry : journal)
        html += QStringLiteral("<tr>%1%2%3%4%5%6%7</tr>\n")
                    .arg(HtmlCell(LocalTime(entry.time), CellKind::Number), HtmlCell(entry.user + u'@' + entry.host, CellKind::Word),
                         HtmlCell(entry.source, CellKind::Word), HtmlCell(entry.site, CellKind::Word),
                         HtmlCell(protocol::MacText(entry.mac), CellKind::Number), HtmlCell(JournalChangesText(entry), CellKind::Text),
                         HtmlCell(entry.outcome, CellKind::Text));
    return html + QStringLiteral("</tbody>\n</table>\n");
}

QByteArray FormatHtml(const SiteReport& report)
{
    const QString title = report.title.isEmpty() ? QStringLiteral("Every site") : report.title;
    std::size_t devices = 0;
    for (const RememberedSite& site : report.sites)
        devices += site.devices.size();
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                                  "<title>Site report: %1</title>\n<style>%2</style>\n</head>\n<body>\n"
                                  "<h1>Site report: %1</h1>\n<p class=\"about\">Made %3 by %4@%5 \u00b7 %6 devices \u00b7 %7 changes sent</p>\n")
                       .arg(Html(title), QLatin1String(kStyle), LocalTime(report.made), Html(CurrentUserAndHost().first),
                            Html(CurrentUserAndHost().second))
                       .arg(devices)
                       .arg(report.journal.size());
    for (const RememberedSite& site : report.sites)
        html += QStringLiteral("<h2>%1</h2>\n<p class=\"about\">%2 devices \u00b7 first visit %3 \u00b7 last visit %4 \u00b7 visits: %5</p>\n")
                    .arg(Html(site.name))
                    .arg(site.devices.size())
                    .arg(LocalTime(site.firstVisit), LocalTime(site.lastVisit))
                    .arg(site.visits) +
                HtmlDevices(site);
    html += QStringLiteral("<h2>Journal</h2>\n") + HtmlJournal(report.journal) + QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

} // namespace

std::optional<SiteReport> ReadSiteReport(SiteMemory& memory, const QStringList& sites)
{
    SiteReport report{QDateTime::currentDateTimeUtc(), sites.join(QLatin1String(", ")), {}, {}};
    for (const QString& site : sites.isEmpty() ? QStringList{QString()} : sites) {
        std::optional<std::vector<RememberedSite>> found = memory.Sites(site);
        std::optional<std::vector<JournalEntry>> journal = memory.History({std::nullopt, site, std::nullopt});
        if (!found || !journal)
            return std::nullopt;
        std::move(found->begin(), found->end(), std::back_inserter(report.sites));
        std::move(journal->begin(), journal->end(), std::back_inserter(report.journal));
    }
    std::stable_sort(report.journal.begin(), report.journal.end(),
                     [](const JournalEntry& a, const JournalEntry& b) { return a.time < b.time; });
    return report;
}

QByteArray FormatSiteReport(const SiteReport& report, ReportFormat format)
{
    switch (format) {
    case ReportFormat::Csv:
        return FormatCsv(report);
    case ReportFormat::Json:
        return FormatJson(report);
    case ReportFormat::Html:
        break;
    }
    return FormatHtml(report);
}

ReportFormat ReportFormatOfFile(const QString& fileName)
{
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ReportFormat::Csv;
    if (fileName.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return ReportFormat::Json;
    return ReportFormat::Html;
}

QString JournalChangesText(const JournalEntry& entry)
{
    QStringList changes;
    for (auto field = entry.after.begin(); field != entry.after.end(); ++field) {
        const QByteArray key = field.key().toLatin1();
        changes << QStringLiteral("%1 %2 \u2192 %3")
                       .arg(field.key(), commands::ReportedSetting(entry.before, key.constData()),
                            commands::ReportedSetting(entry.after, key.constData()));
    }
    return changes.join(QLatin1String(", "));
}

QByteArray FormatJournalJson(const std::vector<JournalEntry>& entries)
{
    QJsonArray array;
    for (const JournalEntry& entry : entries)
        array.append(JournalObject(entry));
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray FormatJournalCsv(const std::vector<JournalEntry>& entries)
{
    QStringList lines{QStringLiteral("time,user,host,site,source,mac,field,before,after,outcome")};
    for (const JournalEntry& entry : entries)
        for (auto field = entry.after.begin(); field != entry.after.end(); ++field) {
            const QByteArray key = field.key().toLatin1();
            lines << CsvRow({IsoTime(entry.time), entry.user, entry.host, entry.site, entry.source, protocol::MacText(entry.mac),
                             field.key(), commands::ReportedSetting(entry.before, key.constData()),
                             commands::ReportedSetting(entry.after, key.constData()), entry.outcome});
        }
    return (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8();
}

} // namespace quillon::store
