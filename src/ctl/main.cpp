// quillonctl: finds the devices on the LAN and changes their settings from the command line,
// with the core library only. Data goes to standard output, every message to standard error.

#include "ctl/ListCommand.h"
#include "ctl/SetCommand.h"
#include "protocol/Protocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <optional>

using namespace quillon;

namespace {

const char* const kUsage = "Usage: quillonctl [OPTION]... list\n"
                           "       quillonctl [OPTION]... set MAC [--ip A] [--netmask M] [--gateway G] [--dns1 D]\n"
                           "                  [--dns2 D] [--name TEXT] [--port N] [--dhcp | --static] [--yes]\n"
                           "Try 'quillonctl --help' for more information.\n";

int UsageError(const QString& message)
{
    std::fprintf(stderr, "quillonctl: %s\n%s", qPrintable(message), kUsage);
    return ctl::kExitError;
}

// "192.168.1.50": four decimal numbers of 0 to 255, nothing else.
std::optional<wire::Ipv4> ParseIpv4(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    wire::Ipv4 address{};
    for (int i = 0; i < 4; ++i) {
        const int octet = match.captured(i + 1).toInt();
        if (octet > 255)
            return std::nullopt;
        address[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(octet);
    }
    return address;
}

// "00:1a:2b:3c:4d:5e" or "00-1A-2B-3C-4D-5E".
std::optional<wire::MacAddress> ParseMac(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-fA-F]{2}([:-][0-9a-fA-F]{2}){5}$"));
    if (!form.match(text).hasMatch() || text.count(text[2]) != 5)
        return std::nullopt;
    wire::MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i)
        mac[i] = static_cast<std::uint8_t>(text.mid(static_cast<qsizetype>(i) * 3, 2).toUInt(nullptr, 16));
    return mac;
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
        "             (the others stay as they are) and wait for the device to confirm them\n\n"
        "set refuses, sending nothing, an IP address ending in 0 or 255, a name over 18 bytes,\n"
        "a port outside 0..65535 and, without --yes, a gateway outside the device's subnet.\n"
        "Settings the device already has print \"unchanged\" and send nothing.\n\n"
        "Exit status of list: 0 when a device answered, 1 when none did, 2 on errors.\n"
        "Exit status of set: 0 when the device confirmed (or nothing needed changing), 2 for bad\n"
        "input or an error (nothing sent), 3 when sent but not confirmed in time, 4 when the\n"
        "device was not found."));
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
    const QCommandLineOption netmaskOption(QStringLiteral("netmask"), QStringLiteral("set: the netmask."),
                                           QStringLiteral("M"));
    const QCommandLineOption gatewayOption(QStringLiteral("gateway"),
                                           QStringLiteral("set: the gateway (0.0.0.0 for none)."), QStringLiteral("G"));
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
    const QCommandLineOption yesOption(QStringLiteral("yes"),
                                       QStringLiteral("set: send a gateway outside the subnet without refusing."));
    parser.addOptions({interfaceOption, timeoutOption, formatOption, prettyOption, ipOption, netmaskOption,
                       gatewayOption, dns1Option, dns2Option, nameOption, portOption, dhcpOption, staticOption,
                       yesOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, or set MAC"));

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
    if (command != QLatin1String("list") && command != QLatin1String("set"))
        return UsageError(QStringLiteral("unknown command '%1'").arg(command));
    const bool isSet = command == QLatin1String("set");
    const qsizetype arguments = isSet ? 2 : 1;
    if (isSet && positional.size() < 2)
        return UsageError(QStringLiteral("set needs the device's MAC address"));
    if (positional.size() > arguments)
        return UsageError(QStringLiteral("unexpected argument '%1'").arg(positional[arguments]));
    const QList<const QCommandLineOption*> listOnly{&formatOption, &prettyOption};
    const QList<const QCommandLineOption*> setOnly{&ipOption,   &netmaskOption, &gatewayOption, &dns1Option,
                                                    &dns2Option, &nameOption,    &portOption,    &dhcpOption,
                                                    &staticOption, &yesOption};
    for (const QCommandLineOption* option : isSet ? listOnly : setOnly)
        if (parser.isSet(*option))
            return UsageError(QStringLiteral("--%1 is not an option of %2").arg(option->names().constFirst(), command));

    std::chrono::milliseconds timeout(isSet ? 5000 : 2000);
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
    if (isSet) {
        const std::optional<wire::MacAddress> mac = ParseMac(positional[1]);
        if (!mac)
            return UsageError(QStringLiteral("'%1' is not a MAC address like 00:1a:2b:3c:4d:5e").arg(positional[1]));
        setOptions.mac = *mac;
        const std::pair<const QCommandLineOption*, std::optional<wire::Ipv4>*> addresses[] = {
            {&ipOption, &setOptions.ipAddress}, {&netmaskOption, &setOptions.netmask},
            {&gatewayOption, &setOptions.gateway}, {&dns1Option, &setOptions.dns1}, {&dns2Option, &setOptions.dns2}};
        for (const auto& [option, field] : addresses) {
            if (!parser.isSet(*option))
                continue;
            *field = ParseIpv4(parser.value(*option));
            if (!*field)
                return UsageError(QStringLiteral("--%1 takes an address like 192.168.1.20, not '%2'")
                                      .arg(option->names().constFirst(), parser.value(*option)));
        }
        if (parser.isSet(nameOption)) {
            const QString name = parser.value(nameOption);
            const qsizetype bytes = name.toUtf8().size();
            if (static_cast<std::size_t>(bytes) > protocol::kNameSize)
                return UsageError(QStringLiteral("--name takes at most %1 bytes of UTF-8; '%2' has %3")
                                      .arg(protocol::kNameSize)
                                      .arg(name)
                                      .arg(bytes));
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
    } else {
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
    const int status = isSet ? ctl::RunSet(setOptions, dataFd) : ctl::RunList(listOptions, dataFd);
    ::close(dataFd);
    return status;
}
