#include "commands/SiteWebPage.h"

#include "discovery/RelayLink.h"
#include "platform/Interfaces.h"
#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"
#include "platform/WebBrowser.h"
#include "protocol/DeviceTexts.h"

#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>

namespace quillon::commands {

namespace {

constexpr int kPollMs = 100;

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port of 127.0.0.1 that nothing holds now, for ssh to listen on.
std::uint16_t FreeLoopbackPort()
{
    const platform::UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (!probe.IsValid() || ::bind(probe.Get(), platform::AsSocketAddress(address), sizeof address) < 0 ||
        ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) < 0)
        return 0;
    return ntohs(address.sin_port);
}

bool Accepts(std::uint16_t port)
{
    const platform::UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    return probe.IsValid() && ::connect(probe.Get(), platform::AsSocketAddress(address), sizeof address) == 0;
}

} // namespace

SiteWebPages::~SiteWebPages()
{
    for (const platform::SpawnedChild& ssh : forwards_)
        if (ssh.pid > 0)
            platform::EndChild(ssh.pid);
}

void SiteWebPages::Open(const devices::DeviceStore& devices, const wire::MacAddress& mac, Done done)
{
    const std::optional<devices::Device> device = devices.Find(mac);
    const std::string host = device ? platform::RemoteCardHost(device->card) : std::string();
    if (host.empty())
        return;
    const std::uint16_t localPort = FreeLoopbackPort();
    if (localPort == 0) {
        done(QStringLiteral("No port of this computer is free for the web page of %1").arg(protocol::MacText(mac)));
        return;
    }
    const std::uint16_t webPort = device->believed.ports.port1 != 0 ? static_cast<std::uint16_t>(device->believed.ports.port1) : 80;
    const QString forward = QStringLiteral("127.0.0.1:%1:%2:%3").arg(localPort).arg(protocol::DottedDecimal(device->believed.ipAddress)).arg(webPort);
    std::vector<std::string> line = discovery::SshCommandLine(host, {});
    // -N: nothing is run there; the forward is all. It must be had, or ssh ends at once.
    line.insert(std::find(line.begin(), line.end(), std::string("--")), {"-N", "-o", "ExitOnForwardFailure=yes", "-L", forward.toStdString()});
    platform::SpawnedChild ssh = platform::SpawnChild(line);
    if (ssh.pid < 0) {
        done(QStringLiteral("The web page could not be reached through the site: %1").arg(QString::fromStdString(ssh.failure)));
        return;
    }
    forwards_.push_back(std::move(ssh));
    WaitForForward(forwards_.size() - 1, localPort, QStringLiteral("http://127.0.0.1:%1/").arg(localPort), 0, done);
}

void SiteWebPages::WaitForForward(std::size_t forward, std::uint16_t localPort, const QString& address, int waitedMs,
                                  const Done& done)
{
    if (Accepts(localPort)) {
        done(platform::OpenWebAddress(address) ? QString() : QStringLiteral("%1 is not opened: there is no web browser to open it").arg(address));
        return;
    }
    platform::SpawnedChild& ssh = forwards_[forward];
    int status = 0;
    const bool ended = ::waitpid(ssh.pid, &status, WNOHANG) == ssh.pid;
    if (ended || waitedMs >= kPatienceMs) {
        if (!ended)
            platform::EndChild(ssh.pid);
        ssh.pid = -1;
        const std::string said = platform::LastLineOf(ssh.errors.Get());
        done(QStringLiteral("The web page could not be reached through the site: %1")
                 .arg(said.empty() ? QStringLiteral("ssh ended") : protocol::DisplayableText(QString::fromStdString(said))));
        return;
    }
    QTimer::singleShot(kPollMs, this, [this, forward, localPort, address, waitedMs, done] {
        WaitForForward(forward, localPort, address, waitedMs + kPollMs, done);
    });
}

} // namespace quillon::commands
