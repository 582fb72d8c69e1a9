#include "ctl/MemoryCommands.h"

#include "ctl/ListCommand.h"
#include "protocol/DeviceTexts.h"
#include "store/SiteReport.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
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

QByteArray FormatText(const std::vector<store::JournalEntry>& entries)
{
    QByteArray text;
    for (const store::JournalEntry& entry : entries)
        text += protocol::DisplayableText(QStringLiteral("%1 %2@%3 %4 %5 (%6): %7: %8")
                                              .arg(entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                                   entry.user, entry.host, entry.source, protocol::MacText(entry.mac),
                                                   entry.site, store::JournalChangesText(entry), entry.outcome))
                    .toUtf8() +
                '\n';
    return text;
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
        return options.format == HistoryFormat::Json  ? store::FormatJournalJson(*entries)
               : options.format == HistoryFormat::Csv ? store::FormatJournalCsv(*entries)
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

// The usage error of a command of the site's memory run with --no-database.
std::optional<int> RefuseWithoutMemory(const MemoryOptions& memory, const char* command)
{
    if (!memory.off)
        return std::nullopt;
    return UsageError(QStringLiteral("%1 works on the site's memory, which --no-database turns off").arg(QLatin1String(command)));
}

QCommandLineOption SinceOption()
{
    return {QStringLiteral("since"), QStringLiteral("From DATE on (2026-12-07 or 2026-12-07T14:00)."), QStringLiteral("DATE")};
}

struct ReportOptions {
    store::ReportFormat format = store::ReportFormat::Html;
    MemoryOptions memory;
};

int RunReport(const ReportOptions& options, int dataFd)
{
    bool unknownSite = false;
    const int status = WriteFromMemory(options.memory, dataFd, "report", [&](store::SiteMemory& memory) -> std::optional<QByteArray> {
        const std::optional<store::SiteReport> report = store::ReadSiteReport(
            memory, options.memory.site.isEmpty() ? QStringList() : QStringList{options.memory.site});
        if (!report)
            return std::nullopt;
        unknownSite = report->sites.empty() && !options.memory.site.isEmpty();
        return unknownSite ? QByteArray() : store::FormatSiteReport(*report, options.format);
    });
    if (status != 0 || !unknownSite)
        return status;
    std::fprintf(stderr, "quillonctl: the site's memory knows no site named '%s'\n",
                 qPrintable(protocol::DisplayableText(options.memory.site)));
    return 1;
}

int RunForget(const MemoryOptions& options)
{
    const std::unique_ptr<store::SiteMemory> memory = OpenSiteMemory(options);
    if (memory == nullptr)
        return kExitError;
    bool found = false;
    const std::optional<qint64> devices = memory->Forget(options.site, found);
    const QString site = protocol::DisplayableText(options.site);
    if (!devices) {
        SayMemoryOff(memory->Path(), memory->Error());
        return kExitError;
    }
    if (!found) {
        std::fprintf(stderr, "quillonctl: the site's memory knows no site named '%s'\n", qPrintable(site));
        return 1;
    }
    std::fprintf(stderr, "quillonctl: forgot the site '%s' and its %lld devices; the journal keeps what was sent there\n",
                 qPrintable(site), static_cast<long long>(*devices));
    return 0;
}

// "Depot                 12 devices  last visit 2026-12-07 14:02  (named)", names aligned.
QByteArray FormatSites(const std::vector<store::RememberedSite>& sites, const QString& named)
{
    qsizetype width = 0;
    for (const store::RememberedSite& site : sites)
        width = std::max(width, protocol::DisplayableText(site.name).size());
    QByteArray text;
    for (const store::RememberedSite& site : sites)
        text += QStringLiteral("%1  %2 devices  last visit %3%4\n")
                    .arg(protocol::DisplayableText(site.name), -static_cast<int>(width))
                    .arg(site.devices.size())
                    .arg(site.lastVisit.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                         site.name == named ? QStringLiteral("  (named)") : QString())
                    .toUtf8();
    return text;
}

struct SiteOptions {
    std::optional<QString> name; // to name the site; empty: each card's
    bool list = false;
    MemoryOptions memory;
};

int RunSite(const SiteOptions& options, int dataFd)
{
    return WriteFromMemory(options.memory, dataFd, "site", [&options](store::SiteMemory& memory) -> std::optional<QByteArray> {
        if (options.name)
            return memory.NameSite(*options.name) ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
        const std::optional<QString> named = memory.NamedSite();
        if (!named)
            return std::nullopt;
        if (!options.list)
            return named->isEmpty() ? QByteArray() : protocol::DisplayableText(*named).toUtf8() + '\n';
        const std::optional<std::vector<store::RememberedSite>> sites = memory.Sites({});
        return sites ? std::optional<QByteArray>(FormatSites(*sites, *named)) : std::nullopt;
    });
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
    if (const std::optional<int> refused = RefuseWithoutMemory(options.memory, "diff"))
        return *refused;
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
    if (const std::optional<int> refused = RefuseWithoutMemory(options.memory, "history"))
        return *refused;
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

ParsedCommand ParseReport(const QStringList& arguments)
{
    CommandLine line({"report", "report [OPTION]...",
                      "Writes an as-built report of the site of --site (or of every site): each device with its "
                      "settings, web address and when it was first and last seen, then the journal of the changes "
                      "sent there. HTML is one file that needs nothing else and prints well.",
                      "Exit status: 0 when the report was written, 1 when no site has that name, 2 otherwise."});
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("html (default), csv or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("html"));
    line.AddOptions({format});
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    ReportOptions options;
    options.memory = line.Memory();
    if (const std::optional<int> refused = RefuseWithoutMemory(options.memory, "report"))
        return *refused;
    const QString name = line.Options().value(format);
    if (name != QLatin1String("html") && name != QLatin1String("csv") && name != QLatin1String("json"))
        return UsageError(QStringLiteral("--format takes html, csv or json, not '%1'").arg(name));
    options.format = store::ReportFormatOfFile(QLatin1Char('.') + name);
    return [options](int dataFd) { return RunReport(options, dataFd); };
}

ParsedCommand ParseForget(const QStringList& arguments)
{
    CommandLine line({"forget", "forget --site NAME",
                      "Removes the site NAME from the site's memory: its devices and every change of their "
                      "settings. The journal of the changes sent is never removed.",
                      "Exit status: 0 when the site was forgotten, 1 when no site has that name, 2 otherwise."});
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    const MemoryOptions memory = line.Memory();
    if (const std::optional<int> refused = RefuseWithoutMemory(memory, "forget"))
        return *refused;
    if (memory.site.isEmpty())
        return UsageError(QStringLiteral("forget needs the site's name: --site NAME ('quillonctl site --list' lists them)"));
    return [memory](int) { return RunForget(memory); };
}

ParsedCommand ParseSite(const QStringList& arguments)
{
    CommandLine line({"site", "site [NAME] [OPTION]...",
                      "Names the site for everything found from now on, by the window and quillonctl alike (until "
                      "named otherwise or --clear). Without NAME, prints the site's name, if one was given.",
                      "Exit status: 0 when the site's memory was read or written, 2 otherwise.", nullptr, true});
    const QCommandLineOption clear(QStringLiteral("clear"), QStringLiteral("Name no site: each card's subnet names its own."));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("List every site remembered."));
    line.AddOptions({clear, list});
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    SiteOptions options;
    options.memory = line.Memory();
    if (const std::optional<int> refused = RefuseWithoutMemory(options.memory, "site"))
        return *refused;
    const QString name = line.Argument().trimmed();
    const int given = int(!name.isEmpty()) + int(line.Options().isSet(clear)) + int(line.Options().isSet(list));
    if (given > 1)
        return UsageError(QStringLiteral("give a NAME, --clear or --list, one of them"));
    if (!name.isEmpty() || line.Options().isSet(clear))
        options.name = name;
    options.list = line.Options().isSet(list);
    return [options](int dataFd) { return RunSite(options, dataFd); };
}

} // namespace quillon::ctl
