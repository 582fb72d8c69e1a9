#include "ctl/DoctorCommand.h"

#include "protocol/DeviceTexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "ctl/Common.h"
#include "ctl/ListCommand.h"
#include "discovery/Receivers.h"
#include "discovery/RelayLink.h"
#include "discovery/SearchDiagnosis.h"
#include "platform/Interfaces.h"
#include "protocol/Protocol.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace quillon::ctl {

namespace {

struct Findings {
    QByteArray lines;
    QJsonArray objects; // for --format json
    bool inTheWay = false;

    // Card names are anybody's to choose: what could move the cursor, retitle the terminal or
    // mirror the line is shown as U+FFFD.
    void Add(const QString& line, bool standsInTheWay = false)
    {
        lines += protocol::DisplayableText(line).toUtf8() + '\n';
        // "card eno1: 10.0.0.5/24": what the finding is about, and what was found.
        objects.append(QJsonObject{{QStringLiteral("subject"), line.section(QStringLiteral(": "), 0, 0)},
                                   {QStringLiteral("finding"), line.section(QStringLiteral(": "), 1)},
                                   {QStringLiteral("in_the_way"), standsInTheWay}});
        inTheWay = inTheWay || standsInTheWay;
    }
};

void FindCards(const discovery::SearchDiagnosis& diagnosis, Findings& findings)
{
    if (diagnosis.cards.empty())
        findings.Add(QStringLiteral("cards: none is up with an IPv4 address, so a search cannot go out"), true);
    for (const discovery::SearchCard& card : diagnosis.cards) {
        const QString name = QString::fromStdString(card.name);
        findings.Add(QStringLiteral("card %1: %2").arg(name, QString::fromStdString(card.addressWithPrefix)));
        if (card.loosening.empty())
            continue;
        QStringList settings;
        for (const std::string& setting : card.strictSettings)
            settings << QString::fromStdString(setting);
        findings.Add(QStringLiteral("strict reverse-path filtering on %1 (%2): answers from other subnets are dropped;"
                                    " to let them in: sudo sysctl -w %3")
                         .arg(name, settings.join(QLatin1String(", ")), QString::fromStdString(card.loosening)),
                     true);
    }
}

// The receivers share their ports with other copies of the program; only a socket that does
// not share them keeps the receivers out.
void FindPort(std::uint16_t port, Findings& findings)
{
    const int error = discovery::TryReceiverPort(port);
    const QString subject = QStringLiteral("port %1/udp: ").arg(port);
    if (error == 0)
        findings.Add(subject + QStringLiteral("quillon can receive on it"));
    else if (error == EADDRINUSE)
        findings.Add(subject + QStringLiteral("held by another program that does not share it; quillon cannot receive on it"), true);
    else
        findings.Add(subject + QStringLiteral("quillon cannot bind it: %1")
                                   .arg(QString::fromLocal8Bit(error > 0 ? std::strerror(error) : "no socket")),
                     true);
}

// Informative only: without an active firewall a missing definition is in nobody's way, and
// whether one is active and lets the ports in is the firewall's to say.
void FindFirewallDefinitions(Findings& findings)
{
    const std::pair<const char*, const char*> definitions[] = {
        {"firewalld service quillon", "/usr/lib/firewalld/services/quillon.xml"},
        {"ufw profile quillon", "/etc/ufw/applications.d/quillon"},
    };
    for (const auto& [what, path] : definitions)
        findings.Add(QStringLiteral("%1: %2 (%3)")
                         .arg(QLatin1String(what),
                              QFileInfo::exists(QLatin1String(path)) ? QLatin1String("installed") : QLatin1String("missing"),
                              QLatin1String(path)));
}

} // namespace

ParsedCommand ParseDoctor(const QStringList& arguments)
{
    CommandLine line({"doctor", "doctor [OPTION]...",
                      "Tells what a search would meet, one finding a line, and sends nothing: the cards with their\n"
                      "addresses, strict reverse-path filtering (and the sysctl that loosens it), ports 4022 and\n"
                      "4023 held by another program, and whether the firewalld service and the ufw profile\n"
                      "quillon are installed.",
                      "Exit status: 0 when nothing stands in the way of a search, 1 when a card drops answers\n"
                      "from other subnets, a port is held or no card can search, 2 on errors."});
    line.AddOutputFormat();
    line.AddVia();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;
    if (!Via().empty())
        return [json = line.Json()](int dataFd) { return RunRemoteDoctor(Via(), json, dataFd); };
    return [interfaces = line.Interfaces(), json = line.Json()](int dataFd) {
        return RunDoctor(interfaces, json, dataFd);
    };
}

int RunDoctor(const std::vector<std::string>& interfaces, bool json, int dataFd)
{
    if (!SearchOnlyThrough(interfaces, platform::UsableInterfaces()))
        return kExitError;
    Findings findings;
    FindCards(discovery::DiagnoseSearchNow(), findings);
    FindPort(protocol::kShortFormPort, findings);
    FindPort(protocol::kLongFormPort, findings);
    FindFirewallDefinitions(findings);
    const QByteArray data = json ? QJsonDocument(findings.objects).toJson(QJsonDocument::Compact) + '\n' : findings.lines;
    if (!WriteAll(dataFd, data)) {
        std::perror("quillonctl: writing the findings");
        return kExitError;
    }
    return findings.inTheWay ? kExitInTheWay : 0;
}

int RunRemoteDoctor(const std::vector<std::string>& hosts, bool json, int dataFd)
{
    int worst = 0;
    for (const std::string& host : hosts) {
        std::vector<std::string> command{"quillonctl", "doctor"};
        if (json)
            command.insert(command.end(), {"--format", "json"});
        const std::vector<std::string> line = discovery::SshCommandLine(host, command);
        std::vector<char*> argv;
        for (const std::string& argument : line)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, dataFd, STDOUT_FILENO);
        pid_t pid = -1;
        const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > kExitError) {
            // ssh's own failures end with 255; what it said is on standard error already.
            std::fprintf(stderr, "quillonctl: site %s: the doctor could not be run there\n",
                         qPrintable(protocol::DisplayableText(QString::fromStdString(host))));
            worst = kExitError;
            continue;
        }
        worst = std::max(worst, WEXITSTATUS(status));
    }
    return worst;
}

} // namespace quillon::ctl
