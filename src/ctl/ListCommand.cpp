#include "ctl/ListCommand.h"

#include "commands/DeviceListing.h"
#include "ctl/Common.h"
#include "discovery/Discovery.h"
#include "platform/Interfaces.h"

#include <cstdio>
#include <optional>

namespace quillon::ctl {

ParsedCommand ParseList(const QStringList& arguments)
{
    CommandLine line({"list", "list [OPTION]...",
                      "Searches with both protocols and lists every device that answered, sorted by IP address.",
                      "Exit status: 0 when a device answered, 1 when none did, 2 on errors."});
    line.AddTimeout(QStringLiteral("Collect answers for SECONDS, 0 to 3600 (default 2)."));
    line.AddRepeat();
    line.AddVia();
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("Output as table (default), json or csv."),
                                    QStringLiteral("FORMAT"), QStringLiteral("table"));
    const QCommandLineOption pretty(QStringLiteral("pretty"), QStringLiteral("Indent the JSON output."));
    line.AddOptions({format, pretty});
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;

    ListOptions options;
    options.timeout = line.Timeout().value_or(options.timeout);
    options.repeats = line.Repeats();
    const QString name = line.Options().value(format);
    if (name == QLatin1String("table"))
        options.format = ListFormat::Table;
    else if (name == QLatin1String("json"))
        options.format = ListFormat::Json;
    else if (name == QLatin1String("csv"))
        options.format = ListFormat::Csv;
    else
        return UsageError(QStringLiteral("--format takes table, json or csv, not '%1'").arg(name));
    options.pretty = line.Options().isSet(pretty);
    options.interfaces = line.Interfaces();
    options.memory = line.Memory();
    return [options](int dataFd) { return RunList(options, dataFd); };
}

int RunList(const ListOptions& options, int dataFd)
{
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    const std::optional<std::vector<unsigned>> named = SearchOnlyThrough(options.interfaces, cards);
    if (!named)
        return kExitError;

    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    const bool failed = SearchAndCollect(discovery, failure, options.timeout, options.repeats) | SitesFailed(discovery);
    std::vector<commands::ListedDevice> devices = commands::ListDevices(discovery.Devices(), cards);
    discovery.Stop();
    if (failed)
        return kExitError;

    KeepNamedCards(devices, *named);
    if (!devices.empty())
        RememberDevices(OpenSiteMemory(options.memory).get(), devices, options.memory.site);
    if (devices.empty() && !Quiet())
        std::fputs("quillonctl: no device answered\n", stderr);
    QByteArray data;
    switch (options.format) {
    case ListFormat::Table: // for people: nothing at all rather than a lone header
        if (!devices.empty())
            data = commands::FormatTable(devices);
        break;
    case ListFormat::Json:
        data = commands::FormatJson(devices, options.pretty);
        break;
    case ListFormat::Csv:
        data = commands::FormatCsv(devices);
        break;
    }
    if (!WriteAll(dataFd, data)) {
        std::perror("quillonctl: writing the listing");
        return kExitError;
    }
    return devices.empty() ? kExitNoDevice : kExitFound;
}

} // namespace quillon::ctl
