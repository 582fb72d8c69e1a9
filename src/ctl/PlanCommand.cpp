#include "ctl/PlanCommand.h"

#include "commands/DeviceListing.h"
#include "ctl/Common.h"
#include "ctl/ApplyReport.h"
#include "ctl/ListCommand.h"
#include "ctl/ParallelApply.h"
#include "ctl/ReportFile.h"
#include "ctl/SetCommand.h"
#include "discovery/Discovery.h"
#include "platform/Interfaces.h"
#include "protocol/DeviceTexts.h"

#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstdio>
#include <optional>

namespace quillon::ctl {

namespace {

// Searches through the named cards and collects the answers for `timeout`; nothing when a card
// is unknown or a receiver failed.
std::optional<std::vector<commands::ListedDevice>> Search(discovery::Discovery& discovery, Failure& failure,
                                                          const std::vector<std::string>& interfaces,
                                                          std::chrono::milliseconds timeout, int repeats,
                                                          const std::function<bool()>& enough = {})
{
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    const std::optional<std::vector<unsigned>> named = SearchOnlyThrough(interfaces, cards);
    if (!named)
        return std::nullopt;
    if (SearchAndCollect(discovery, failure, timeout, repeats, enough) | SitesFailed(discovery))
        return std::nullopt;
    std::vector<commands::ListedDevice> devices = commands::ListDevices(discovery.Devices(), cards);
    KeepNamedCards(devices, *named);
    return devices;
}

const char* StatusText(SetResult result)
{
    switch (result) {
    case SetResult::Confirmed:
        return "applied";
    case SetResult::Unchanged:
        return "unchanged";
    case SetResult::NotFound:
        return "not found";
    case SetResult::Unconfirmed:
        return "not confirmed";
    case SetResult::Refused:
    case SetResult::Failed:
    case SetResult::Stopped:
        break;
    }
    return "failed";
}

// "ip: 203.0.113.20 -> 203.0.113.50", one line for each value the plan line changes.
QString Changes(const commands::ListedDevice& device, const commands::PlanLine& line)
{
    using protocol::DottedDecimal;
    QString lines;
    const auto change = [&lines](const char* field, const QString& from, const std::optional<QString>& to) {
        if (to && *to != from)
            lines += QStringLiteral("  %1: %2 -> %3\n").arg(QLatin1String(field), from, *to);
    };
    const auto address = [](const std::optional<wire::Ipv4>& value) {
        return value ? std::optional(protocol::DottedDecimal(*value)) : std::nullopt;
    };
    change("ip", protocol::DottedDecimal(device.ipAddress), address(line.ipAddress));
    change("netmask", protocol::DottedDecimal(device.netmask), address(line.netmask));
    change("gateway", protocol::DottedDecimal(device.gateway), address(line.gateway));
    change("dns1", device.dns1 ? protocol::DottedDecimal(*device.dns1) : QString(), address(line.dns1));
    change("dns2", device.dns2 ? protocol::DottedDecimal(*device.dns2) : QString(), address(line.dns2));
    change("name", protocol::DisplayableText(device.name),
           line.name ? std::optional(protocol::DisplayableText(*line.name)) : std::nullopt);
    change("port", QString::number(device.webPort), line.port ? std::optional(QString::number(*line.port)) : std::nullopt);
    const QString mode = commands::ModeCell(device.dhcp);
    change("mode", mode.isEmpty() ? QStringLiteral("unknown") : mode,
           line.dhcp ? std::optional(commands::ModeCell(line.dhcp)) : std::nullopt);
    return lines;
}

// On standard error, for a run that stopped early: what became of the lines tried and which
// were not reached.
void TellWhatWasDone(const std::vector<commands::PlanLine>& lines, const std::vector<std::optional<QByteArray>>& statuses,
                     int signal)
{
    const auto count = [&statuses](const char* status) {
        return std::count(statuses.begin(), statuses.end(), std::optional<QByteArray>(status));
    };
    QByteArrayList done;
    for (const char* status : {"applied", "unchanged", "not confirmed", "not found"})
        done.append(QByteArray::number(count(status)) + ' ' + status);
    if (const auto failed = count("failed"))
        done.append(QByteArray::number(failed) + " failed");
    QByteArrayList missed;
    for (std::size_t index = 0; index < lines.size(); ++index)
        if (!statuses[index])
            missed.append(protocol::MacText(lines[index].mac).toLatin1() + " (line " +
                          QByteArray::number(lines[index].line) + ')');
    const char* const why = signal == SIGINT    ? "by SIGINT"
                            : signal == SIGTERM ? "by SIGTERM"
                            : signal == SIGHUP  ? "by SIGHUP"
                                                : "as writing failed";
    std::fprintf(stderr, "quillonctl: stopped %s: %s; not reached: %s\n", why, done.join(", ").constData(),
                 missed.isEmpty() ? "none" : missed.join(", ").constData());
}

} // namespace

int RunPlan(const PlanOptions& options, int dataFd)
{
    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    const std::optional<std::vector<commands::ListedDevice>> devices =
        Search(discovery, failure, options.interfaces, options.timeout, options.repeats);
    discovery.Stop();
    if (!devices)
        return kExitError;
    QString error;
    const std::optional<QByteArray> plan = commands::MakePlan(*devices, options.request, error);
    if (!plan) {
        std::fprintf(stderr, "quillonctl: %s\n", qPrintable(protocol::DisplayableText(error)));
        return kExitError;
    }
    if (!WriteAll(dataFd, *plan)) {
        std::perror("quillonctl: writing the plan");
        return kExitError;
    }
    return kExitFound;
}

int RunApply(const ApplyOptions& options, int dataFd)
{
    if (!options.reportPath.isEmpty() && SameFile(options.reportPath, options.planPath)) {
        std::fprintf(stderr, "quillonctl: --report %s is the plan itself; nothing sent\n",
                     qPrintable(options.reportPath));
        return kExitError;
    }
    QFile file;
    if (!OpenInput(file, options.planPath))
        return kExitError;
    QString tooLarge;
    const std::optional<QByteArray> text = commands::ReadPlanText(file, tooLarge);
    if (!text) {
        std::fprintf(stderr, "quillonctl: %s: %s; nothing sent\n", qPrintable(options.planPath), qPrintable(tooLarge));
        return kExitError;
    }

    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    // The search ends once every device the plan names has answered and the answers paused.
    const std::vector<wire::MacAddress> named = commands::PlanMacs(*text);
    const auto allAnswered = [&discovery, &named] {
        return std::all_of(named.begin(), named.end(), [&discovery](const wire::MacAddress& mac) { return discovery.Devices().Find(mac).has_value(); });
    };
    const std::optional<std::vector<commands::ListedDevice>> devices =
        Search(discovery, failure, options.interfaces, kFindTimeout, options.repeats, allAnswered);
    if (!devices)
        return kExitError;
    const commands::CheckedPlan plan = commands::CheckPlan(*text, *devices, {options.yes, options.skipMissing});
    for (const commands::PlanProblem& problem : plan.problems)
        std::fprintf(stderr, "quillonctl: %s:%d: %s\n", qPrintable(protocol::DisplayableText(options.planPath)),
                     problem.line, qPrintable(protocol::DisplayableText(problem.message)));
    if (!plan.problems.empty()) {
        std::fputs("quillonctl: nothing sent\n", stderr);
        return kExitError;
    }

    if (options.dryRun) {
        QString changes;
        const commands::DevicesByMac byMac = commands::IndexByMac(*devices);
        for (const commands::PlanLine& line : plan.lines) {
            const QString lines = Changes(*byMac.at(wire::MacKey(line.mac)), line);
            changes += protocol::MacText(line.mac) + (lines.isEmpty() ? QStringLiteral(" unchanged\n")
                                                                      : QStringLiteral("\n") + lines);
        }
        for (const commands::PlanLine& line : plan.missing)
            changes += protocol::MacText(line.mac) + QStringLiteral(" not found\n");
        return WriteAll(dataFd, changes.toUtf8()) ? kExitFound : kExitError;
    }

    // The old report stays as it is until this run has tried a device.
    ReportFile reportFile;
    ApplyReport report([&reportFile](const QByteArray& bytes) { return reportFile.Write(bytes); }, options.reportFormat);
    if (!options.reportPath.isEmpty() && (!reportFile.Open(options.reportPath) || !report.Begin()))
        return kExitError;
    // A signal, or output that cannot be written, stops the run after the devices in flight.
    CatchInterruptions();
    DataOutput output(dataFd);
    ApplyReport jsonLines([&output](const QByteArray& bytes) { return output.Write(bytes); }, ReportFormat::JsonLines);
    const bool showProgress = ::isatty(STDERR_FILENO) == 1 && !Quiet();
    const commands::DevicesByMac byMac = commands::IndexByMac(*devices);
    std::vector<std::optional<QByteArray>> statuses(plan.lines.size()); // by line, once ended
    qsizetype endedLines = 0;
    const auto tell = [&](const commands::PlanLine& line, const QString& outcome) {
        const QByteArray mac = protocol::MacText(line.mac).toLatin1();
        const auto device = byMac.find(wire::MacKey(line.mac));
        const ReportRow row{line, device != byMac.end() ? device->second : nullptr, outcome,
                            QDateTime::currentDateTimeUtc()};
        if (options.json)
            jsonLines.Add(row);
        else
            output.Write(mac + ' ' + outcome.toUtf8() + '\n');
        if (reportFile.IsOpen())
            report.Add(row);
        return !output.Failed() && !reportFile.Failed();
    };
    const std::unique_ptr<store::SiteMemory> memory = OpenSiteMemory(options.memory);
    const auto lineEnded = [&](std::size_t index, SetResult result, const QString& why, const SentSettings* sent) {
        statuses[index] = StatusText(result);
        ++endedLines;
        const QString outcome = OutcomeText(result, why);
        if (sent != nullptr) {
            const auto device = byMac.find(wire::MacKey(plan.lines[index].mac));
            const QString site = memory != nullptr && device != byMac.end() ? memory->SiteOf(*device->second, options.memory.site)
                                                                            : options.memory.site;
            Journal(memory.get(), "apply", site, plan.lines[index].mac, *sent, outcome);
        }
        if (showProgress)
            std::fprintf(stderr, "[%lld/%zu] %s %s\n", static_cast<long long>(endedLines), plan.lines.size(),
                         qPrintable(protocol::MacText(plan.lines[index].mac)), qPrintable(outcome));
        return tell(plan.lines[index], outcome);
    };
    // Devices that did not answer are told first: nothing is sent to them.
    for (const commands::PlanLine& line : plan.missing)
        tell(line, QStringLiteral("not found"));
    ApplyInParallel(discovery, failure, plan.lines, *devices, {options.jobs, options.timeout, options.yes}, lineEnded);
    std::vector<wire::MacAddress> unconfirmed;
    for (std::size_t index = 0; index < plan.lines.size(); ++index)
        if (statuses[index] != QByteArrayLiteral("applied") && statuses[index] != QByteArrayLiteral("unchanged"))
            unconfirmed.push_back(plan.lines[index].mac);
    RememberDevices(memory.get(), commands::ListDevices(discovery.Devices(), platform::UsableInterfaces()), options.memory.site,
                    unconfirmed);
    report.End();
    reportFile.Commit();
    const int signal = Interruption();
    if (signal != 0 || endedLines < qsizetype(plan.lines.size()))
        TellWhatWasDone(plan.lines, statuses, signal);
    if (signal != 0)
        return 128 + signal;
    const bool allApplied = std::all_of(statuses.begin(), statuses.end(), [](const std::optional<QByteArray>& status) {
        return status == QByteArrayLiteral("applied") || status == QByteArrayLiteral("unchanged");
    });
    return allApplied && plan.missing.empty() ? kExitFound : kExitNotAllApplied;
}

ParsedCommand ParsePlan(const QStringList& arguments)
{
    CommandLine line({"plan", "plan --range FIRST[-LAST] [OPTION]...",
                      "Searches and writes a plan (CSV) giving the devices found consecutive addresses from\n"
                      "--range, in the order of their addresses, skipping those other devices hold; sends nothing.",
                      "Exit status: 0 when the plan was written, 2 otherwise."});
    line.AddTimeout(QStringLiteral("Collect answers for SECONDS, 0 to 3600 (default 2)."));
    line.AddRepeat();
    line.AddVia();
    const QCommandLineOption range(QStringLiteral("range"),
                                   QStringLiteral("The addresses to give, FIRST or FIRST-LAST; without LAST up to "
                                                  ".254 of FIRST's /24."),
                                   QStringLiteral("FIRST[-LAST]"));
    const QCommandLineOption netmask(QStringLiteral("netmask"), QStringLiteral("The netmask of every line."),
                                     QStringLiteral("M"));
    const QCommandLineOption gateway(QStringLiteral("gateway"),
                                     QStringLiteral("The gateway of every line (0.0.0.0 for none)."), QStringLiteral("G"));
    const QCommandLineOption nameTemplate(
        QStringLiteral("name-template"),
        QStringLiteral("Name the devices TEXT, {n} or {n:0W} counting from 1 in plan order."), QStringLiteral("TEXT"));
    const QCommandLineOption only(QStringLiteral("only"), QStringLiteral("Only the devices whose name matches GLOB."),
                                  QStringLiteral("GLOB"));
    const QCommandLineOption dns1(QStringLiteral("dns1"), QStringLiteral("The first DNS server of every line."),
                                  QStringLiteral("D"));
    const QCommandLineOption dns2(QStringLiteral("dns2"), QStringLiteral("The second DNS server of every line."),
                                  QStringLiteral("D"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("The web port of every line, 0 to 65535."),
                                  QStringLiteral("N"));
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("Every device takes its address by DHCP."));
    const QCommandLineOption fixed(QStringLiteral("static"), QStringLiteral("Every device keeps a fixed address."));
    const QCommandLineOption names(QStringLiteral("names"),
                                   QStringLiteral("Name the devices FILE lists (CSV of mac,name; - for standard "
                                                  "input), before the template."),
                                   QStringLiteral("FILE"));
    line.AddOptions({range, netmask, gateway, nameTemplate, only, dns1, dns2, port, dhcp, fixed, names});
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;

    const QCommandLineParser& given = line.Options();
    if (!given.isSet(range))
        return UsageError(QStringLiteral("plan needs --range"));
    PlanOptions options;
    const QStringList ends = given.value(range).split(QLatin1Char('-'));
    const std::optional<wire::Ipv4> first = protocol::ParseIpv4(ends.first());
    const std::optional<wire::Ipv4> last = ends.size() == 2 ? protocol::ParseIpv4(ends[1]) : first;
    if (ends.size() > 2 || !first || !last || *last < *first)
        return UsageError(QStringLiteral("--range takes FIRST or FIRST-LAST like 192.168.1.50-192.168.1.99, not '%1'")
                              .arg(given.value(range)));
    options.request.first = *first;
    options.request.last = ends.size() == 2 ? *last : wire::Ipv4{first->at(0), first->at(1), first->at(2), 254};
    const AddressOption addresses[] = {{&netmask, &options.request.netmask},
                                       {&gateway, &options.request.gateway},
                                       {&dns1, &options.request.dns1},
                                       {&dns2, &options.request.dns2}};
    if (const std::optional<int> refused = line.ReadAddresses(addresses))
        return *refused;
    if (const std::optional<int> refused = line.ReadPort(port, options.request.port))
        return *refused;
    if (const std::optional<int> refused = line.ReadMode(dhcp, fixed, options.request.dhcp))
        return *refused;
    if (given.isSet(names)) {
        QFile file;
        if (!OpenInput(file, given.value(names)))
            return kExitError;
        QString error;
        const std::optional<QByteArray> text = commands::ReadPlanText(file, error);
        const std::optional<commands::NamesByMac> read = text ? commands::ReadNames(*text, error) : std::nullopt;
        if (!read)
            return UsageError(QStringLiteral("--names %1: %2").arg(given.value(names), error));
        options.request.names = *read;
    }
    options.repeats = line.Repeats();
    options.request.nameTemplate = given.value(nameTemplate);
    options.request.only = given.value(only);
    if (const QString problem = commands::PlanRequestProblem(options.request); !problem.isEmpty())
        return UsageError(problem);
    options.timeout = line.Timeout().value_or(options.timeout);
    options.interfaces = line.Interfaces();
    return [options](int dataFd) { return RunPlan(options, dataFd); };
}

ParsedCommand ParseApply(const QStringList& arguments)
{
    CommandLine line({"apply", "apply PLAN.csv [OPTION]...",
                      "Checks the whole plan (mac,ip,netmask,gateway,dns1,dns2,name,port,mode; an empty cell\n"
                      "keeps the device's value), then sets the devices as set does, several at once, printing\n"
                      "applied, unchanged, not found or not confirmed for each as it ends. A plan with a problem sends\n"
                      "nothing. SIGINT, SIGTERM or SIGHUP, or output that cannot be written, stops it after\n"
                      "the device in flight, telling what was done and which devices were not reached.\n"
                      "The report gets each device's line as soon as the device is done, in a new file that\n"
                      "replaces FILE when the run ends, stopped or not; a plan with a problem or --dry-run\n"
                      "leaves FILE as it is, and a FILE that is the plan is refused.",
                      "Exit status: 0 when every line was applied or unchanged, 2 when the plan has a problem\n"
                      "(each printed with its line) or on errors (nothing sent), 3 otherwise (a device not\n"
                      "found or not confirmed, or not reached once the output failed), 130, 143 or 129 when\n"
                      "stopped by SIGINT, SIGTERM or SIGHUP.",
                      "apply needs a plan file"});
    line.AddTimeout(QStringLiteral("Wait up to SECONDS, 0 to 3600, for each device to confirm (default 5)."));
    line.AddRepeat();
    line.AddVia();
    line.AddOutputFormat();
    line.AddSiteMemory();
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QStringLiteral("Print what would change; send nothing."));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Send gateways outside the subnet without refusing."));
    const QCommandLineOption report(QStringLiteral("report"), QStringLiteral("Write what became of each device to FILE, to hand over."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption jobs(QStringLiteral("jobs"),
                                  QStringLiteral("Set up to N devices at once, 1 to 64 (default 8); lines that touch "
                                                 "one address keep the plan's order."),
                                  QStringLiteral("N"));
    const QCommandLineOption reportFormat(QStringLiteral("report-format"),
                                          QStringLiteral("Write the report as csv (default) or json."),
                                          QStringLiteral("FORMAT"), QStringLiteral("csv"));
    const QCommandLineOption skipMissing(QStringLiteral("skip-missing"),
                                         QStringLiteral("Apply the lines of the devices that answered and report the "
                                                        "others as not found, instead of refusing the plan."));
    line.AddOptions({dryRun, yes, report, reportFormat, jobs, skipMissing});
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;

    ApplyOptions options;
    options.planPath = line.Argument();
    options.dryRun = line.Options().isSet(dryRun);
    options.yes = line.Options().isSet(yes);
    options.reportPath = line.Options().value(report);
    options.skipMissing = line.Options().isSet(skipMissing);
    options.json = line.Json();
    const QString format = line.Options().value(reportFormat);
    if (format != QLatin1String("csv") && format != QLatin1String("json"))
        return UsageError(QStringLiteral("--report-format takes csv or json, not '%1'").arg(format));
    options.reportFormat = format == QLatin1String("json") ? ReportFormat::Json : ReportFormat::Csv;
    options.repeats = line.Repeats();
    if (line.Options().isSet(jobs)) {
        bool isNumber = false;
        const uint count = line.Options().value(jobs).toUInt(&isNumber);
        if (!isNumber || count < 1 || count > kMostJobs)
            return UsageError(QStringLiteral("--jobs takes 1 to %1, not '%2'").arg(kMostJobs).arg(line.Options().value(jobs)));
        options.jobs = count;
    }
    options.timeout = line.Timeout().value_or(options.timeout);
    options.interfaces = line.Interfaces();
    options.memory = line.Memory();
    return [options](int dataFd) { return RunApply(options, dataFd); };
}

} // namespace quillon::ctl
