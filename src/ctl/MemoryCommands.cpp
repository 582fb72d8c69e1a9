#include "ctl/MemoryCommands.h"

#include "ctl/ListCommand.h"
#include "protocol/DeviceTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <functional>

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

const char* KindName(store::SiteDifference::Kind kind)
{
    switch (kind) {
    case store::SiteDifference::Kind::New:
        return "new";
    case store::SiteDifference::Kind::Missing:
        return "missing";
    case store::SiteDifference::Kind::Changed:
        break;
    }
    return "changed";
}

// "Depot: missing 00:1a:2b:3c:4d:02 203.0.113.22 Dock (last seen 2026-12-07 10:00:00)"
QByteArray FormatDifferences(const std::vector<store::SiteDifference>& differences, bool json)
{
    QByteArray data;
    for (const store::SiteDifference& d : differences) {
        if (json) {
            QJsonObject object{{"site", d.site}, {"event", QLatin1String(KindName(d.kind))}, {"mac", d.mac}, {"ip", d.ip},
                               {"name", d.name}, {"time", d.time}};
            if (d.kind == store::SiteDifference::Kind::Changed) {
                object.insert(QStringLiteral("field"), d.field);
                object.insert(QStringLiteral("old"), d.old);
                object.insert(QStringLiteral("new"), d.now);
            }
            data += QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
            continue;
        }
        const QString when = QDateTime::fromString(d.time, Qt::ISODate).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const QString what = d.kind == store::SiteDifference::Kind::New       ? QStringLiteral("(first seen %1)").arg(when)
                             : d.kind == store::SiteDifference::Kind::Missing ? QStringLiteral("(last seen %1)").arg(when)
                                                                              : QStringLiteral("%1 %2 \u2192 %3 (%4)").arg(d.field, d.old, d.now, when);
        data += protocol::DisplayableText(QStringLiteral("%1: %2 %3 %4 %5 %6").arg(d.site, QLatin1String(KindName(d.kind)), d.mac, d.ip, d.name, what))
                    .toUtf8() +
                '\n';
    }
    return data;
}

// Opens the site's memory and writes what `read` gives of it to `dataFd`; a memory that cannot
// be read is said, as is output that cannot be written (`what`). The exit status.
int WriteFromMemory(const MemoryOptions& options, int dataFd, const char* what,
                    const std::function<std::optional<QByteArray>(store::SiteMemory&)>& read)
{
    const std::unique_ptr<store::SiteMemory> memory = OpenSiteMemory(options);
    if (memory == nullptr)
        return kExitError;
    const std::optional<QByteArray> data = read(*memory);
    if (!data) {
        SayMemoryOff(memory->Path(), memory->Error());
        return kExitError;
    }
    if (!WriteAll(dataFd, *data)) {
        std::perror(QByteArray("quillonctl: writing the ").append(what).constData());
        return kExitError;
    }
    return 0;
}

int RunHistory(const HistoryOptions& options, int dataFd)
{
    return WriteFromMemory(options.memory, dataFd, "history", [&options](store::SiteMemory& memory) -> std::optional<QByteArray> {
        const std::optional<std::vector<store::JournalEntry>> entries = memory.History(options.query);
        if (!entries)
            return std::nullopt;
        return options.format == HistoryFormat::Json  ? FormatJson(*entries)
               : options.format == HistoryFormat::Csv ? FormatCsv(*entries)
                                                      : FormatText(*entries);
    });
}

struct DiffOptions {
    std::optional<QDateTime> since;
    bool json = false;
    MemoryOptions memory;
};

int RunDiff(const DiffOptions& options, int dataFd)
{
    return WriteFromMemory(options.memory, dataFd, "differences", [&options](store::SiteMemory& memory) -> std::optional<QByteArray> {
        const std::optional<std::vector<store::SiteDifference>> differences = memory.Diff(options.memory.site, options.since);
        if (!differences)
            return std::nullopt;
        return FormatDifferences(*differences, options.json);
    });
}

// --since DATE, read into `since`; the usage error's exit status when it is no date.
std::optional<int> ReadSince(const CommandLine& line, const QCommandLineOption& option, std::optional<QDateTime>& since)
{
    if (!line.Options().isSet(option))
        return std::nullopt;
    const QDateTime from = QDateTime::fromString(line.Options().value(option), Qt::ISODate);
    if (!from.isValid())
        return UsageError(QStringLiteral("--since takes a date as 2026-12-07 or 2026-12-07T14:00, not '%1'").arg(line.Options().value(option)));
    since = from;
    return std::nullopt;
}

QCommandLineOption SinceOption()
{
    return {QStringLiteral("since"), QStringLiteral("From DATE on (2026-12-07 or 2026-12-07T14:00)."), QStringLiteral("DATE")};
}

} // namespace

ParsedCommand ParseDiff(const QStringList& arguments)
{
    CommandLine line({"diff", "diff [OPTION]...",
                      "Tells, for each site (or the one of --site), the devices first seen since the visit before the "
                      "latest (or --since DATE), those the latest visit did not see, and each setting that changed.",
                      "Exit status: 0 when the site's memory was read, 2 otherwise."});
    const QCommandLineOption since = SinceOption();
    const QCommandLineOption lastVisit(QStringLiteral("last-visit"), QStringLiteral("Since the visit before the latest (the default)."));
    line.AddOptions({since, lastVisit});
    line.AddOutputFormat();
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    DiffOptions options;
    options.memory = line.Memory();
    if (options.memory.off)
        return UsageError(QStringLiteral("diff reads the site's memory: --no-database leaves nothing to read"));
    if (line.Options().isSet(since) && line.Options().isSet(lastVisit))
        return UsageError(QStringLiteral("give --since or --last-visit, not both"));
    if (const std::optional<int> refused = ReadSince(line, since, options.since))
        return *refused;
    options.json = line.Json();
    return [options](int dataFd) { return RunDiff(options, dataFd); };
}

ParsedCommand ParseHistory(const QStringList& arguments)
{
    CommandLine line({"history", "history [MAC] [OPTION]...",
                      "Prints the journal of the set requests sent (by the window, set and apply), oldest first: when, "
                      "who, the device, each setting before and as sent, and how it ended.",
                      "Exit status: 0 when the journal was read, 2 otherwise.", nullptr, true});
    const QCommandLineOption since = SinceOption();
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
    if (const std::optional<int> refused = ReadSince(line, since, options.query.since))
        return *refused;
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
