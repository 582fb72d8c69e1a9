#include "ctl/RelayCommand.h"

#include "ctl/ListCommand.h"
#include "discovery/Relay.h"
#include "protocol/DeviceTexts.h"

#include <unistd.h>

#include <cstdio>

namespace quillon::ctl {

namespace {

constexpr int kExitRefused = 1;

int RunRelay(const std::vector<std::string>& interfaces, int dataFd)
{
    if (!SearchOnlyThrough(interfaces, platform::UsableInterfaces()))
        return kExitError;
    std::string why;
    switch (discovery::RunRelay(STDIN_FILENO, dataFd, why)) {
    case discovery::RelayEnd::InputClosed:
        return 0;
    case discovery::RelayEnd::Refused:
        std::fprintf(stderr, "quillonctl: relay: refused %s\n", qPrintable(protocol::DisplayableText(QString::fromStdString(why))));
        return kExitRefused;
    case discovery::RelayEnd::SetupFailed:
        break;
    }
    std::fprintf(stderr, "quillonctl: relay: %s\n", qPrintable(protocol::DisplayableText(QString::fromStdString(why))));
    return kExitError;
}

} // namespace

ParsedCommand ParseRelay(const QStringList& arguments)
{
    CommandLine line({"relay", "relay [OPTION]...",
                      "For another computer's quillon or quillonctl, which runs it over ssh: broadcasts on this\n"
                      "computer's LAN the search and set requests it reads (framed) on standard input, nothing\n"
                      "else, and writes every reply heard on ports 4022 and 4023 to standard output with the\n"
                      "card it arrived on, until standard input closes. See quillonctl(1) for the frames.",
                      "Exit status: 0 when standard input closed, 1 when a frame was refused, 2 on errors."});
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    return [interfaces = line.Interfaces()](int dataFd) { return RunRelay(interfaces, dataFd); };
}

} // namespace quillon::ctl
