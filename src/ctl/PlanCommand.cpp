#include "ctl/PlanCommand.h"

#include "commands/DeviceListing.h"
#include "ctl/Common.h"
#include "ctl/ListCommand.h"
#include "ctl/SetCommand.h"
#include "discovery/Discovery.h"
#include "platform/Interfaces.h"
#include "protocol/DeviceTexts.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace quillon::ctl {

namespace {

// Searches through the named cards and collects the answers for `timeout`; nothing when a card
// is unknown or a receiver failed.
std::optional<std::vector<commands::ListedDevice>> Search(discovery::Discovery& discovery, Failure& failure,
                                                          const std::vector<std::string>& interfaces,
                                                          std::chrono::milliseconds timeout)
{
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    const std::optional<std::vector<unsigned>> named = SearchOnlyThrough(interfaces, cards);
    if (!named)
        return std::nullopt;
    discovery.Start();
    if (failure.WaitFor(timeout))
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
    change("name", device.name, line.name);
    change("port", QString::number(device.webPort), line.port ? std::optional(QString::number(*line.port)) : std::nullopt);
    const QString mode = device.dhcp == commands::DhcpMode::On    ? QStringLiteral("dhcp")
                         : device.dhcp == commands::DhcpMode::Off ? QStringLiteral("static")
                                                                  : QStringLiteral("unknown");
    change("mode", mode,
           line.dhcp ? std::optional(*line.dhcp ? QStringLiteral("dhcp") : QStringLiteral("static")) : std::nullopt);
    return lines;
}

} // namespace

int RunPlan(const PlanOptions& options, int dataFd)
{
    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    const std::optional<std::vector<commands::ListedDevice>> devices =
        Search(discovery, failure, options.interfaces, options.timeout);
    discovery.Stop();
    if (!devices)
        return kExitError;
    QString error;
    const std::optional<QByteArray> plan = commands::MakePlan(*devices, options.request, error);
    if (!plan) {
        std::fprintf(stderr, "quillonctl: %s\n", qPrintable(error));
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
    QFile file(options.planPath);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quillonctl: %s: %s\n", qPrintable(options.planPath), qPrintable(file.errorString()));
        return kExitError;
    }
    const QByteArray text = file.readAll();
    QFile report(options.reportPath);
    if (!options.reportPath.isEmpty() && !report.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "quillonctl: %s: %s\n", qPrintable(options.reportPath), qPrintable(report.errorString()));
        return kExitError;
    }

    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    const std::optional<std::vector<commands::ListedDevice>> devices =
        Search(discovery, failure, options.interfaces, kFindTimeout);
    if (!devices)
        return kExitError;
    const commands::CheckedPlan plan = commands::CheckPlan(text, *devices, options.yes);
    for (const commands::PlanProblem& problem : plan.problems)
        std::fprintf(stderr, "quillonctl: %s:%d: %s\n", qPrintable(options.planPath), problem.line,
                     qPrintable(problem.message));
    if (!plan.problems.empty()) {
        std::fputs("quillonctl: nothing sent\n", stderr);
        return kExitError;
    }

    if (options.dryRun) {
        QString changes;
        for (const commands::PlanLine& line : plan.lines) {
            const auto device = std::find_if(devices->begin(), devices->end(),
                                             [&](const commands::ListedDevice& d) { return d.macAddress == line.mac; });
            const QString lines = Changes(*device, line);
            changes += protocol::MacText(line.mac) + (lines.isEmpty() ? QStringLiteral(" unchanged\n")
                                                                      : QStringLiteral("\n") + lines);
        }
        return WriteAll(dataFd, changes.toUtf8()) ? kExitFound : kExitError;
    }

    bool allApplied = true;
    QByteArray reportText = "line,mac,status\r\n";
    for (const commands::PlanLine& line : plan.lines) {
        SetOptions set;
        static_cast<commands::DeviceChanges&>(set) = line;
        set.yes = options.yes;
        set.timeout = options.timeout;
        set.interfaces = options.interfaces;
        const SetResult result = SetOnDevice(discovery, failure, set, -1);
        allApplied = allApplied && (result == SetResult::Confirmed || result == SetResult::Unchanged);
        const QByteArray mac = protocol::MacText(line.mac).toLatin1();
        if (!WriteAll(dataFd, mac + ' ' + StatusText(result) + '\n'))
            std::perror("quillonctl: writing the status");
        reportText += QByteArray::number(line.line) + ',' + mac + ',' + StatusText(result) + "\r\n";
    }
    if (report.isOpen() && (report.write(reportText) != reportText.size() || !report.flush())) {
        std::fprintf(stderr, "quillonctl: %s: %s\n", qPrintable(options.reportPath), qPrintable(report.errorString()));
        return kExitError;
    }
    return allApplied ? kExitFound : kExitNotAllApplied;
}

} // namespace quillon::ctl
