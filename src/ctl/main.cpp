// quillonctl: finds the devices on the LAN and changes their settings from the command line,
// with the core library only. Data goes to standard output, every message to standard error.
// Each command reads its own options (ctl/*Command.cpp); this file finds the command.

#include "ctl/Common.h"
#include "ctl/DoctorCommand.h"
#include "ctl/MemoryCommands.h"
#include "ctl/ListCommand.h"
#include "ctl/PlanCommand.h"
#include "ctl/RelayCommand.h"
#include "ctl/SetCommand.h"
#include "ctl/WatchCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iterator>

using namespace quillon;

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
        "             an empty cell keeps the device's value), then set the devices as set\n"
        "             does, several at once, printing applied, unchanged, not found or\n"
        "             not confirmed for each as it ends\n"
        "  watch      search again every 15 s without forgetting a device and print a line\n"
        "             as a device is new, changes, goes offline (three searches missed in a\n"
        "             row) or comes back online, until interrupted\n"
        "  diff       what changed at each site since the visit before: devices new, missing\n"
        "             or with a setting changed\n"
        "  history    the journal of every set request sent, with who sent it and how it ended\n"
        "  report     an as-built report of a site (HTML, CSV or JSON): its devices, then its\n"
        "             journal\n"
        "  site NAME  name the site for what is found from now on (--list: every site known)\n"
        "  forget     remove a site and its devices from the site's memory (--site NAME)\n"
        "  doctor     tell what a search would meet, one finding a line: the cards with their\n"
        "             addresses, strict reverse-path filtering (and the sysctl that loosens\n"
        "             it), ports 4022 and 4023 held by another program, and whether the\n"
        "             firewalld service and the ufw profile quillon are installed; sends nothing\n"
        "  relay      for a computer that reaches this one over ssh (--via, quillon --site):\n"
        "             broadcast the requests it sends here and pass the replies back\n\n"
        "--via HOST (list, set, plan, apply, watch, doctor) searches the LAN behind HOST instead,\n"
        "through 'quillonctl relay' run there over ssh.\n\n"
        "set refuses, sending nothing, an IP address no device can use, a netmask that is not\n"
        "/1 to /30, a name over 18 bytes, a port outside 0..65535, a device whose MAC address two\n"
        "hosts answer with, without --yes a gateway outside the device's subnet and without\n"
        "--force an IP address another device has.\n"
        "Settings the device already has print \"unchanged\" and send nothing.\n\n"
        "Exit status of list: 0 when a device answered, 1 when none did, 2 on errors.\n"
        "Exit status of set: 0 when the device confirmed (or nothing needed changing), 2 for bad\n"
        "input or an error (nothing sent), 3 when sent but not confirmed in time, 4 when the\n"
        "device was not found; 0 or 3 even when the output could not be written.\n"
        "Exit status of plan: 0 when the plan was written, 2 otherwise.\n"
        "Exit status of apply: 0 when every line was applied or unchanged, 2 when the plan has\n"
        "a problem (each printed with its line) or on errors (nothing sent), 3 otherwise, 130,\n"
        "143 or 129 when stopped by SIGINT, SIGTERM or SIGHUP after the devices in flight.\n"
        "Exit status of watch: 0 when stopped by SIGINT, SIGTERM or SIGHUP, 2 on errors.\n"
        "Exit status of doctor: 0 when nothing stands in the way of a search, 1 when a card drops\n"
        "answers from other subnets, a port is held or no card can search, 2 on errors.\n\n"
        "'quillonctl help COMMAND' or 'quillonctl COMMAND --help' shows the options of COMMAND."));
    // Qt's own help option would also offer --help-all, which shows Qt's options, not ours.
    parser.addOptions({{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")},
                       {{QStringLiteral("v"), QStringLiteral("V"), QStringLiteral("version")},
                        QStringLiteral("Show the version and exit.")},
                       {{QStringLiteral("q"), QStringLiteral("quiet")},
                        QStringLiteral("Say only errors on standard error; the exit status tells the rest.")}});
    // These two may come before the command as well; the command reads them wherever they are.
    parser.addOptions({ctl::InterfaceOption(), ctl::ViaOption(),
                       ctl::TimeoutOption(QStringLiteral(
                           "list, plan: collect answers for SECONDS (default 2). set, apply: wait up to SECONDS "
                           "for a device to confirm (default 5)."))});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, set MAC, plan, apply PLAN, watch, history, diff, report, site, forget, "
                                                "doctor, relay or help COMMAND"));
    // What follows the command is the command's to read.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);

    if (!parser.parse(QCoreApplication::arguments()))
        return ctl::UsageError(parser.errorText());
    QStringList positional = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("help")) || positional == QStringList{QStringLiteral("help")}) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version")))
        return ctl::PrintVersion();
    QStringList arguments = QCoreApplication::arguments();
    if (positional.value(0) == QLatin1String("help")) {
        if (positional.size() > 2)
            return ctl::UnexpectedArgument(positional[2]);
        positional.removeFirst();
        arguments = QStringList{arguments.first(), positional.first(), QStringLiteral("--help")};
    }
    if (positional.isEmpty())
        return ctl::UsageError(QStringLiteral("no command given"));
    const std::pair<const char*, ctl::ParsedCommand (*)(const QStringList&)> commands[] = {
        {"list", ctl::ParseList},   {"set", ctl::ParseSet},       {"plan", ctl::ParsePlan},
        {"apply", ctl::ParseApply}, {"doctor", ctl::ParseDoctor}, {"watch", ctl::ParseWatch},
        {"history", ctl::ParseHistory}, {"diff", ctl::ParseDiff},   {"report", ctl::ParseReport},
        {"forget", ctl::ParseForget},   {"site", ctl::ParseSite},     {"relay", ctl::ParseRelay},
    };
    const auto command = std::find_if(std::begin(commands), std::end(commands),
                                      [&](const auto& c) { return positional.first() == QLatin1String(c.first); });
    if (command == std::end(commands))
        return ctl::UsageError(QStringLiteral("unknown command '%1'").arg(positional.first()));
    const ctl::ParsedCommand parsed = command->second(arguments);
    if (const int* status = std::get_if<int>(&parsed))
        return *status;

    // A reader that went away (quillonctl apply | head -1) makes a write fail, and the command
    // says so and ends with the status of what it did to the devices, instead of dying at once.
    std::signal(SIGPIPE, SIG_IGN);
    // The core writes a few diagnostics to standard output (a failed send, for one); they must
    // not mix with the data, so standard output carries the data alone and the rest goes to
    // standard error.
    std::fflush(stdout);
    const int dataFd = ::dup(STDOUT_FILENO);
    if (dataFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("quillonctl: standard output");
        return ctl::kExitError;
    }
    const int status = std::get<0>(parsed)(dataFd);
    ::close(dataFd);
    return status;
}
