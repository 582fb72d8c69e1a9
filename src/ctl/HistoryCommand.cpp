#include "ctl/HistoryCommand.h"

#include "ctl/ListCommand.h"
#include "protocol/DeviceTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace quillon::ctl {

namespace {

enum class HistoryFormat { Text, Json, Csv };

struct HistoryOptions {
    store::HistoryQuery query;
    HistoryFormat format = HistoryFormat::Text;
    MemoryOptions memory;
};

// "ip 203.0.113.20 → 203.0.113.40, name Lobby → Hall"
QString ChangesText(const store::JournalEntry& entry)
{
    QStringList changes;
    for (auto field = entry.after.begin(); field != entry.after.end(); ++field)
        changes << QStringLiteral("%1 %2 \u2192 %3")
                       .arg(field.key(), commands::ReportedSetting(entry.before, field.key().toLatin1().constData()),
                            commands::ReportedSetting(entry.after, field.key().toLatin1().constData()));
    return changes.join(QLatin1String(", "));
}

QByteArray FormatText(const std::vector<store::JournalEntry>& entries)
{
    QByteArray text;
    for (const store::JournalEntry& entry : entries)
        text += protocol::DisplayableText(QStringLiteral("%1 %2@%3 %4 %5 (%6): %7: %8")
                                              .arg(entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                                   entry.user, entry.host, entry.source, protocol::MacText(entry.mac),
                                                   entry.site, ChangesText(entry), entry.outcome))
                    .toUtf8() +
                '\n';
    return text;
}

QByteArray FormatJson(const std::vector<store::JournalEntry>& entries)
{
    QJsonArray array;
    for (const store::JournalEntry& entry : entries)
        array.append(QJsonObject{{"time", entry.time.toUTC().toString(Qt::ISODate)},
                                 {"user", entry.user},
                                 {"host", entry.host},
                                 {"site", entry.site},
                                 {"source", entry.source},
                                 {"mac", protocol::MacText(entry.mac)},
                                 {"before", entry.before},
                                 {"after", entry.after},
                                 {"outcome", entry.outcome}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

// A row per field sent, for a spreadsheet.
QByteArray FormatCsv(const std::vector<store::JournalEntry>& entries)
{
    QStringList lines{QStringLiteral("time,user,host,site,source,mac,field,before,after,outcome")};
    for (const store::JournalEntry& entry : entries)
        for (auto field = entry.after.begin(); field != entry.after.end(); ++field) {
            const QByteArray key = field.key().toLatin1();
            QStringList cells{entry.time.toUTC().toString(Qt::ISODate), entry.user, entry.host, entry.site, entry.source,
                              protocol::MacText(entry.mac), field.key(), commands::ReportedSetting(entry.before, key.constData()),
                              commands::ReportedSetting(entry.after, key.constData()), entry.outcome};
            for (QString& cell : cells)
                cell = commands::CsvField(commands::SpreadsheetCell(cell));
            lines << cells.join(u',');
        }
    return (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8();
}

int RunHistory(const HistoryOptions& options, int dataFd)
{
    const std::unique_ptr<store::SiteMemory> memory = OpenSiteMemory(options.memory);
    if (memory == nullptr)
        return kExitError;
    const std::optional<std::vector<store::JournalEntry>> entries = memory->History(options.query);
    if (!entries) {
        SayMemoryOff(memory->Path(), memory->Error());
        return kExitError;
    }
    const QByteArray data = options.format == HistoryFormat::Json  ? FormatJson(*entries)
                            : options.format == HistoryFormat::Csv ? FormatCsv(*entries)
                                                                   : FormatText(*entries);
    if (!WriteAll(dataFd, data)) {
        std::perror("quillonctl: writing the history");
        return kExitError;
    }
    return 0;
}

} // namespace

ParsedCommand ParseHistory(const QStringList& arguments)
{
    CommandLine line({"history", "history [MAC] [OPTION]...",
                      "Prints the journal of the set requests sent (by the window, set and apply), oldest first: when, "
                      "who, the device, each setting before and as sent, and how it ended.",
                      "Exit status: 0 when the journal was read, 2 otherwise.", nullptr, true});
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("Only entries from DATE on (2026-12-07 or 2026-12-07T14:00)."),
                                   QStringLiteral("DATE"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("Output as text (default), json or csv."),
                                    QStringLiteral("FORMAT"), QStringLiteral("text"));
    line.AddOptions({since, format});
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    HistoryOptions options;
    options.memory = line.Memory();
    if (options.memory.off)
        return UsageError(QStringLiteral("history reads the site's memory: --no-database leaves nothing to read"));
    options.query.site = options.memory.site;
    if (const QString mac = line.Argument(); !mac.isEmpty()) {
        options.query.mac = protocol::ParseMac(mac);
        if (!options.query.mac)
            return UsageError(QStringLiteral("'%1' is not a MAC address").arg(mac));
    }
    if (line.Options().isSet(since)) {
        QDateTime from = QDateTime::fromString(line.Options().value(since), Qt::ISODate);
        if (!from.isValid())
            return UsageError(QStringLiteral("--since takes a date as 2026-12-07 or 2026-12-07T14:00, not '%1'")
                                  .arg(line.Options().value(since)));
        options.query.since = from;
    }
    const QString name = line.Options().value(format);
    if (name == QLatin1String("json"))
        options.format = HistoryFormat::Json;
    else if (name == QLatin1String("csv"))
        options.format = HistoryFormat::Csv;
    else if (name != QLatin1String("text"))
        return UsageError(QStringLiteral("--format takes text, json or csv, not '%1'").arg(name));
    return [options](int dataFd) { return RunHistory(options, dataFd); };
}

} // namespace quillon::ctl
