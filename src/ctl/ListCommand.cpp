#include "ctl/ListCommand.h"

#include "commands/DeviceListing.h"
#include "ctl/Common.h"
#include "discovery/Discovery.h"
#include "platform/Interfaces.h"

#include <cstdio>
#include <optional>

namespace quillon::ctl {

int RunList(const ListOptions& options, int dataFd)
{
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    const std::optional<std::vector<unsigned>> named = SearchOnlyThrough(options.interfaces, cards);
    if (!named)
        return kExitError;

    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    discovery.Start();
    const bool failed = failure.WaitFor(options.timeout);
    std::vector<commands::ListedDevice> devices = commands::ListDevices(discovery.Devices(), cards);
    discovery.Stop();
    if (failed)
        return kExitError;

    KeepNamedCards(devices, *named);
    if (devices.empty())
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
