// quillonctl: finds the devices on the LAN and changes their settings from the command line,
// with the core library only. Data goes to standard output, every message to standard error.

#include "commands/Plan.h"
#include "commands/Submit.h"
#include "ctl/DoctorCommand.h"
#include "ctl/ListCommand.h"
#include "ctl/PlanCommand.h"
#include "ctl/SetCommand.h"
#include "protocol/DeviceTexts.h"
#include "protocol/Protocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

#include <QRegularExpression>

#include <cmath>
#include <span>
#include <cstdio>
#include <optional>

using namespace quillon;

namespace {

const char* const kUsage = "Usage: quillonctl [OPTION]... list\n"
                           "       quillonctl [OPTION]... set MAC [--ip A] [--netmask M] [--gateway G] [--dns1 D]\n"
                           "                  [--dns2 D] [--name TEXT] [--port N] [--dhcp | --static] [--yes]\n"
                           "       quillonctl [OPTION]... plan --range FIRST[-LAST] [--netmask M] [--gateway G]\n"
                           "                  [--name-template TEXT] [--only GLOB]\n"
                           "       quillonctl [OPTION]... apply PLAN.csv [--dry-run] [--yes] [--report FILE]\n"
                           "       quillonctl [OPTION]... doctor\n"
                           "Try 'quillonctl --help' for more information.\n";

int UsageError(const QString& message)
{
    std::fprintf(stderr, "quillonctl: %s\n%s", qPrintable(message), kUsage);
    return ctl::kExitError;
}

using AddressOption = std::pair<const QCommandLineOption*, std::optional<wire::Ipv4>*>;

// Reads each address option that is given into its field; the usage error's exit status for
// the first that is not an address.
std::optional<int> ReadAddressOptions(const QCommandLineParser& parser, std::span<const AddressOption> options)
{
    for (const auto& [option, field] : options) {
        if (!parser.isSet(*option))
            continue;
        *field = protocol::ParseIpv4(parser.value(*option));
        if (!*field)
            return UsageError(QStringLiteral("--%1 takes an address like 192.168.1.20, not '%2'")
                                  .arg(option->names().constFirst(), parser.value(*option)));
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillonctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds IP cameras and similar devices on the LAN by UDP broadcast (ports 4022 and 4023)\n"
        "and changes their network settings.\n\n"
        "Commands:\n"
        "  list       search with both protocols and list every device that answered\n"
        "  set MAC    find the device with this MAC address, send the settings given as options\n"
        "             (the others stay as they are) and wait for the device to confirm them\n"
        "  plan       search and write a plan (CSV) giving the devices found consecutive\n"
        "             addresses from --range, in the order of their addresses; sends nothing\n"
        "  apply PLAN check the whole plan (mac,ip,netmask,gateway,dns1,dns2,name,port,mode;\n"
        "             an empty cell keeps the device's value), then set one device after\n"
        "             another as set does, printing applied, unchanged, not found or\n"
        "             not confirmed for each\n"
        "  doctor     tell what a search would meet, one finding a line: the cards with their\n"
        "             addresses, strict reverse-path filtering (and the sysctl that loosens\n"
        "             it), ports 4022 and 4023 held by another program, and whether the\n"
        "             firewalld service and the ufw profile quillon are installed; sends nothing\n\n"
        "set refuses, sending nothing, an IP address ending in 0 or 255, a name over 18 bytes,\n"
        "a port outside 0..65535 and, without --yes, a gateway outside the device's subnet.\n"
        "Settings the device already has print \"unchanged\" and send nothing.\n\n"
        "Exit status of list: 0 when a device answered, 1 when none did, 2 on errors.\n"
        "Exit status of set: 0 when the device confirmed (or nothing needed changing), 2 for bad\n"
        "input or an error (nothing sent), 3 when sent but not confirmed in time, 4 when the\n"
        "device was not found.\n"
        "Exit status of plan: 0 when the plan was written, 2 otherwise.\n"
        "Exit status of apply: 0 when every line was applied or unchanged, 2 when the plan has\n"
        "a problem (each printed with its line; nothing sent) or on errors, 3 otherwise.\n"
        "Exit status of doctor: 0 when nothing stands in the way of a search, 1 when a card drops\n"
        "answers from other subnets, a port is held or no card can search, 2 on errors."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption interfaceOption({QStringLiteral("i"), QStringLiteral("interface")},
                                             QStringLiteral("Search only through network card NAME (repeatable)."),
                                             QStringLiteral("NAME"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("list: collect answers for SECONDS (default 2). set: wait up to SECONDS for the "
                       "device to confirm (default 5; the device must answer the search within 2)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("list: output as table (default), json or csv."),
                                          QStringLiteral("FORMAT"), QStringLiteral("table"));
    const QCommandLineOption prettyOption(QStringLiteral("pretty"), QStringLiteral("list: indent the JSON output."));
    const QCommandLineOption ipOption(QStringLiteral("ip"), QStringLiteral("set: the IP address."),
                                      QStringLiteral("A"));
    const QCommandLineOption netmaskOption(QStringLiteral("netmask"), QStringLiteral("set, plan: the netmask."),
                                           QStringLiteral("M"));
    const QCommandLineOption gatewayOption(QStringLiteral("gateway"),
                                           QStringLiteral("set, plan: the gateway (0.0.0.0 for none)."), QStringLiteral("G"));
    const QCommandLineOption dns1Option(QStringLiteral("dns1"), QStringLiteral("set: the first DNS server."),
                                        QStringLiteral("D"));
    const QCommandLineOption dns2Option(QStringLiteral("dns2"), QStringLiteral("set: the second DNS server."),
                                        QStringLiteral("D"));
    const QCommandLineOption nameOption(QStringLiteral("name"),
                                        QStringLiteral("set: the device's name, at most 18 bytes of UTF-8."),
                                        QStringLiteral("TEXT"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("set: the web port, 0 to 65535."),
                                        QStringLiteral("N"));
    const QCommandLineOption dhcpOption(QStringLiteral("dhcp"), QStringLiteral("set: take the address by DHCP."));
    const QCommandLineOption staticOption(QStringLiteral("static"), QStringLiteral("set: use a fixed address."));
    const QCommandLineOption yesOption(
        QStringLiteral("yes"), QStringLiteral("set, apply: send a gateway outside the subnet without refusing."));
    const QCommandLineOption rangeOption(QStringLiteral("range"),
                                         QStringLiteral("plan: the addresses to give, FIRST or FIRST-LAST."),
                                         QStringLiteral("FIRST[-LAST]"));
    const QCommandLineOption templateOption(
        QStringLiteral("name-template"),
        QStringLiteral("plan: name the devices TEXT, {n} or {n:0W} counting from 1 in plan order."),
        QStringLiteral("TEXT"));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("plan: only the devices whose name matches GLOB."),
                                        QStringLiteral("GLOB"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          QStringLiteral("apply: print what would change; send nothing."));
    const QCommandLineOption reportOption(QStringLiteral("report"),
                                          QStringLiteral("apply: write each device's status as CSV to FILE."),
                                          QStringLiteral("FILE"));
    parser.addOptions({rangeOption, templateOption, onlyOption, dryRunOption, reportOption, interfaceOption, timeoutOption, formatOption, prettyOption, ipOption, netmaskOption,
                       gatewayOption, dns1Option, dns2Option, nameOption, portOption, dhcpOption, staticOption,
                       yesOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, set MAC, plan, apply PLAN or doctor"));

    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("quillonctl %s\n", QUILLON_VERSION);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return UsageError(QStringLiteral("no command given"));
    const QString command = positional.first();
    const QStringList commandNames{QStringLiteral("list"), QStringLiteral("set"), QStringLiteral("plan"),
                                   QStringLiteral("apply"), QStringLiteral("doctor")};
    if (!commandNames.contains(command))
        return UsageError(QStringLiteral("unknown command '%1'").arg(command));
    const bool isSet = command == QLatin1String("set");
    const bool isPlan = command == QLatin1String("plan");
    const bool isApply = command == QLatin1String("apply");
    const bool isDoctor = command == QLatin1String("doctor");
    const qsizetype arguments = isSet || isApply ? 2 : 1;
    if (isSet && positional.size() < 2)
        return UsageError(QStringLiteral("set needs the device's MAC address"));
    if (isApply && positional.size() < 2)
        return UsageError(QStringLiteral("apply needs a plan file"));
    if (positional.size() > arguments)
        return UsageError(QStringLiteral("unexpected argument '%1'").arg(positional[arguments]));
    // The commands each option belongs to.
    const std::pair<const QCommandLineOption*, QStringList> owners[] = {
        {&formatOption, {"list"}},       {&prettyOption, {"list"}},         {&ipOption, {"set"}},
        {&netmaskOption, {"set", "plan"}}, {&gatewayOption, {"set", "plan"}}, {&dns1Option, {"set"}},
        {&dns2Option, {"set"}},          {&nameOption, {"set"}},            {&portOption, {"set"}},
        {&dhcpOption, {"set"}},          {&staticOption, {"set"}},          {&yesOption, {"set", "apply"}},
        {&rangeOption, {"plan"}},        {&templateOption, {"plan"}},       {&onlyOption, {"plan"}},
        {&dryRunOption, {"apply"}},      {&reportOption, {"apply"}},
        {&timeoutOption, {"list", "set", "plan", "apply"}}};
    for (const auto& [option, commands] : owners)
        if (parser.isSet(*option) && !commands.contains(command))
            return UsageError(QStringLiteral("--%1 is not an option of %2").arg(option->names().constFirst(), command));

    std::chrono::milliseconds timeout(isSet || isApply ? 5000 : 2000);
    if (parser.isSet(timeoutOption)) {
        bool isNumber = false;
        const double seconds = parser.value(timeoutOption).toDouble(&isNumber);
        if (!isNumber || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
            return UsageError(
                QStringLiteral("--timeout takes seconds from 0 to 3600, not '%1'").arg(parser.value(timeoutOption)));
        timeout = std::chrono::milliseconds(std::lround(seconds * 1000));
    }
    std::vector<std::string> interfaces;
    for (const QString& name : parser.values(interfaceOption))
        interfaces.push_back(name.toStdString());

    ctl::ListOptions listOptions;
    ctl::SetOptions setOptions;
    ctl::PlanOptions planOptions;
    ctl::ApplyOptions applyOptions;
    if (isPlan) {
        if (!parser.isSet(rangeOption))
            return UsageError(QStringLiteral("plan needs --range"));
        const QStringList range = parser.value(rangeOption).split(QLatin1Char('-'));
        const std::optional<wire::Ipv4> first = protocol::ParseIpv4(range.first());
        const std::optional<wire::Ipv4> last = range.size() == 2 ? protocol::ParseIpv4(range[1]) : first;
        if (range.size() > 2 || !first || !last || *last < *first)
            return UsageError(QStringLiteral("--range takes FIRST or FIRST-LAST like 192.168.1.50-192.168.1.99, "
                                             "not '%1'")
                                  .arg(parser.value(rangeOption)));
        planOptions.request.first = *first;
        planOptions.request.last = range.size() == 2 ? *last : wire::Ipv4{first->at(0), first->at(1), first->at(2), 254};
        const AddressOption addresses[] = {
            {&netmaskOption, &planOptions.request.netmask}, {&gatewayOption, &planOptions.request.gateway}};
        if (const std::optional<int> refused = ReadAddressOptions(parser, addresses))
            return *refused;
        planOptions.request.nameTemplate = parser.value(templateOption);
        planOptions.request.only = parser.value(onlyOption);
        planOptions.timeout = timeout;
        planOptions.interfaces = interfaces;
    } else if (isApply) {
        applyOptions.planPath = positional[1];
        applyOptions.dryRun = parser.isSet(dryRunOption);
        applyOptions.yes = parser.isSet(yesOption);
        applyOptions.reportPath = parser.value(reportOption);
        applyOptions.timeout = timeout;
        applyOptions.interfaces = interfaces;
    } else if (isSet) {
        const std::optional<wire::MacAddress> mac = protocol::ParseMac(positional[1]);
        if (!mac)
            return UsageError(QStringLiteral("'%1' is not a MAC address like 00:1a:2b:3c:4d:5e").arg(positional[1]));
        setOptions.mac = *mac;
        const AddressOption addresses[] = {
            {&ipOption, &setOptions.ipAddress}, {&netmaskOption, &setOptions.netmask},
            {&gatewayOption, &setOptions.gateway}, {&dns1Option, &setOptions.dns1}, {&dns2Option, &setOptions.dns2}};
        if (const std::optional<int> refused = ReadAddressOptions(parser, addresses))
            return *refused;
        if (parser.isSet(nameOption)) {
            const QString name = parser.value(nameOption);
            if (!commands::NameFits(name))
                return UsageError(QStringLiteral("--name takes at most %1 bytes of UTF-8; '%2' has %3")
                                      .arg(protocol::kNameSize)
                                      .arg(name)
                                      .arg(name.toUtf8().size()));
            setOptions.name = name;
        }
        if (parser.isSet(portOption)) {
            bool isNumber = false;
            const uint port = parser.value(portOption).toUInt(&isNumber);
            if (!isNumber || port > 65535)
                return UsageError(QStringLiteral("--port takes 0 to 65535, not '%1'").arg(parser.value(portOption)));
            setOptions.port = static_cast<std::uint16_t>(port);
        }
        if (parser.isSet(dhcpOption) && parser.isSet(staticOption))
            return UsageError(QStringLiteral("--dhcp and --static exclude each other"));
        if (parser.isSet(dhcpOption) || parser.isSet(staticOption))
            setOptions.dhcp = parser.isSet(dhcpOption);
        setOptions.yes = parser.isSet(yesOption);
        setOptions.timeout = timeout;
        setOptions.interfaces = interfaces;
    } else if (!isDoctor) {
        listOptions.timeout = timeout;
        const QString format = parser.value(formatOption);
        if (format == QLatin1String("table"))
            listOptions.format = ctl::ListFormat::Table;
        else if (format == QLatin1String("json"))
            listOptions.format = ctl::ListFormat::Json;
        else if (format == QLatin1String("csv"))
            listOptions.format = ctl::ListFormat::Csv;
        else
            return UsageError(QStringLiteral("--format takes table, json or csv, not '%1'").arg(format));
        listOptions.pretty = parser.isSet(prettyOption);
        listOptions.interfaces = interfaces;
    }

    // The core writes a few diagnostics to standard output (a failed send, for one); they must
    // not mix with the data, so standard output carries the data alone and the rest goes to
    // standard error.
    std::fflush(stdout);
    const int dataFd = ::dup(STDOUT_FILENO);
    if (dataFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("quillonctl: standard output");
        return ctl::kExitError;
    }
    const int status = isDoctor  ? ctl::RunDoctor(interfaces, dataFd)
                       : isSet   ? ctl::RunSet(setOptions, dataFd)
                       : isPlan  ? ctl::RunPlan(planOptions, dataFd)
                       : isApply ? ctl::RunApply(applyOptions, dataFd)
                                 : ctl::RunList(listOptions, dataFd);
    ::close(dataFd);
    return status;
}
