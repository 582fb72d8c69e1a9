// quillonctl: finds the devices on the LAN from the command line, with the core library only.
// Data goes to standard output, every message to standard error.

#include "ctl/ListCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

#include <cmath>
#include <cstdio>

using namespace quillon;

namespace {

const char* const kUsage = "Usage: quillonctl [OPTION]... list\n"
                           "Try 'quillonctl --help' for more information.\n";

int UsageError(const QString& message)
{
    std::fprintf(stderr, "quillonctl: %s\n%s", qPrintable(message), kUsage);
    return ctl::kExitError;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillonctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds IP cameras and similar devices on the LAN by UDP broadcast (ports 4022 and 4023).\n\n"
        "Commands:\n"
        "  list    search with both protocols and list every device that answered\n\n"
        "Exit status: 0 when a device answered, 1 when none did, 2 on errors."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption interfaceOption({QStringLiteral("i"), QStringLiteral("interface")},
                                             QStringLiteral("Search only through network card NAME (repeatable)."),
                                             QStringLiteral("NAME"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Collect answers for SECONDS (default 2)."),
                                           QStringLiteral("SECONDS"), QStringLiteral("2"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("Output as table (default), json or csv."),
                                          QStringLiteral("FORMAT"), QStringLiteral("table"));
    const QCommandLineOption prettyOption(QStringLiteral("pretty"), QStringLiteral("Indent the JSON output."));
    parser.addOptions({interfaceOption, timeoutOption, formatOption, prettyOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list"));

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
    if (positional.first() != QLatin1String("list"))
        return UsageError(QStringLiteral("unknown command '%1'").arg(positional.first()));
    if (positional.size() > 1)
        return UsageError(QStringLiteral("unexpected argument '%1'").arg(positional[1]));

    ctl::ListOptions options;
    bool isNumber = false;
    const double seconds = parser.value(timeoutOption).toDouble(&isNumber);
    if (!isNumber || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
        return UsageError(
            QStringLiteral("--timeout takes seconds from 0 to 3600, not '%1'").arg(parser.value(timeoutOption)));
    options.timeout = std::chrono::milliseconds(std::lround(seconds * 1000));
    const QString format = parser.value(formatOption);
    if (format == QLatin1String("table"))
        options.format = ctl::ListFormat::Table;
    else if (format == QLatin1String("json"))
        options.format = ctl::ListFormat::Json;
    else if (format == QLatin1String("csv"))
        options.format = ctl::ListFormat::Csv;
    else
        return UsageError(QStringLiteral("--format takes table, json or csv, not '%1'").arg(format));
    options.pretty = parser.isSet(prettyOption);
    for (const QString& name : parser.values(interfaceOption))
        options.interfaces.push_back(name.toStdString());

    // The core writes a few diagnostics to standard output (a failed send, for one); they must
    // not mix with the data, so standard output carries the data alone and the rest goes to
    // standard error.
    std::fflush(stdout);
    const int dataFd = ::dup(STDOUT_FILENO);
    if (dataFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("quillonctl: standard output");
        return ctl::kExitError;
    }
    const int status = ctl::RunList(options, dataFd);
    ::close(dataFd);
    return status;
}
