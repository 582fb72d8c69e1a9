#include "discovery/RelayLink.h"

#include "platform/ChildProcess.h"
#include "platform/Interfaces.h"
#include "protocol/Protocol.h"
#include "protocol/RelayFrames.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

namespace quillon::discovery {

using Clock = std::chrono::steady_clock;
using protocol::RelayFrameType;

std::string SshProgram()
{
    const char* program = std::getenv("QUILLON_SSH");
    return program != nullptr && *program != '\0' ? program : "ssh";
}

bool IsSiteHost(const std::string& host)
{
    return !host.empty() && host.front() != '-' &&
           std::none_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; });
}

std::vector<std::string> SshCommandLine(const std::string& host, const std::vector<std::string>& command)
{
    std::vector<std::string> line{SshProgram(), "-T", "-o", "BatchMode=yes", "-o", "ServerAliveInterval=1",
                                  "-o", "ServerAliveCountMax=2", "--", host};
    line.insert(line.end(), command.begin(), command.end());
    return line;
}

namespace {

// The relays of this process, for the set requests of devices they found. Taken before a
// link's own mutex, never while holding it.
struct Routes {
    std::mutex mutex;
    std::vector<RelayLink*> links;
};

Routes& RelayRoutes()
{
    static Routes routes;
    return routes;
}

} // namespace

bool SendThroughRelay(const std::string& host, std::uint16_t port, wire::Bytes datagram)
{
    Routes& routes = RelayRoutes();
    const std::scoped_lock lock(routes.mutex);
    return std::any_of(routes.links.begin(), routes.links.end(),
                       [&](RelayLink* link) { return link->Host() == host && link->Send(port, datagram); });
}

bool RelayIsUp(const std::string& host)
{
    Routes& routes = RelayRoutes();
    const std::scoped_lock lock(routes.mutex);
    return std::any_of(routes.links.begin(), routes.links.end(), [&](const RelayLink* link) {
        return link->Host() == host && link->State().phase == SiteState::Phase::Up;
    });
}

RelayLink::RelayLink(std::string host, ReceiverShared& shared) : host_(std::move(host)), shared_(shared)
{
    state_.host = host_;
    state_.phase = SiteState::Phase::Failed;
    state_.why = "not started";
    Routes& routes = RelayRoutes();
    const std::scoped_lock lock(routes.mutex);
    routes.links.push_back(this);
}

RelayLink::~RelayLink()
{
    {
        Routes& routes = RelayRoutes();
        const std::scoped_lock lock(routes.mutex);
        std::erase(routes.links, this);
    }
    Stop();
}

void RelayLink::Stop()
{
    if (stop_)
        stop_->Raise();
    if (thread_.joinable())
        thread_.join();
}

void RelayLink::Start()
{
    {
        const std::scoped_lock lock(mutex_);
        if (state_.phase != SiteState::Phase::Failed)
            return;
    }
    // A relay that failed has been ended and reaped by its thread before it said so.
    if (thread_.joinable())
        thread_.join();
    platform::SpawnedChild spawned = platform::SpawnChild(SshCommandLine(host_, {"quillonctl", "relay"}));
    const std::scoped_lock lock(mutex_);
    if (spawned.pid < 0) {
        state_.why = spawned.failure;
        return;
    }
    child_ = spawned.pid;
    toRelay_ = std::move(spawned.input);
    fromRelay_ = std::move(spawned.output);
    errorsOfSsh_ = std::move(spawned.errors);
    state_.phase = SiteState::Phase::Starting;
    state_.why.clear();
    unanswered_ = 0;
    answerDue_ = Clock::now() + kStartPatience;
    const std::vector<std::uint8_t> hello = protocol::HelloFrame();
    (void)::send(toRelay_.Get(), hello.data(), hello.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    stop_ = std::make_unique<platform::StopSignal>();
    thread_ = std::thread([this] { Run(); });
}

bool RelayLink::Send(std::uint16_t port, wire::Bytes datagram)
{
    const std::scoped_lock lock(mutex_);
    if (state_.phase == SiteState::Phase::Failed || !toRelay_.IsValid())
        return false;
    const std::vector<std::uint8_t> frame = protocol::SendFrame(port, datagram);
    const ssize_t sent = ::send(toRelay_.Get(), frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent != static_cast<ssize_t>(frame.size())) {
        // A relay that stopped reading its input: its stream is of no more use.
        if (child_ > 0)
            ::kill(child_, SIGTERM);
        return false;
    }
    if (unanswered_++ == 0 && state_.phase == SiteState::Phase::Up)
        answerDue_ = Clock::now() + kAnswerPatience;
    return true;
}

SiteState RelayLink::State() const
{
    const std::scoped_lock lock(mutex_);
    return state_;
}

void RelayLink::Run()
{
    const std::string why = Follow();
    int status = 0;
    {
        const std::scoped_lock lock(mutex_);
        toRelay_.Reset();
    }
    status = platform::EndChild(child_);
    const std::string sshSaid = platform::LastLineOf(errorsOfSsh_.Get());
    const std::scoped_lock lock(mutex_);
    child_ = -1;
    fromRelay_.Reset();
    errorsOfSsh_.Reset();
    state_.phase = SiteState::Phase::Failed;
    if (!why.empty())
        state_.why = why;
    else if (!sshSaid.empty())
        state_.why = sshSaid;
    else if (WIFEXITED(status))
        state_.why = "the relay ended (status " + std::to_string(WEXITSTATUS(status)) + ")";
    else
        state_.why = "the relay ended";
}

std::string RelayLink::Follow()
{
    protocol::RelayFrameReader reader;
    std::array<std::uint8_t, 65536> buffer{};
    for (;;) {
        Clock::time_point due;
        bool waiting = false;
        {
            const std::scoped_lock lock(mutex_);
            due = answerDue_;
            waiting = state_.phase == SiteState::Phase::Starting || unanswered_ > 0;
        }
        const auto patience = waiting ? std::max(std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()),
                                                 std::chrono::milliseconds(0))
                                      : std::chrono::milliseconds(1000);
        switch (stop_->WaitReadableFor(fromRelay_.Get(), patience)) {
        case platform::StopSignal::Wake::Raised:
            return "stopped";
        case platform::StopSignal::Wake::TimedOut:
            if (waiting && Clock::now() >= due)
                return PhaseIs(SiteState::Phase::Starting) ? "no answer from the relay within " +
                                                                 std::to_string(kStartPatience.count()) + " s"
                                                           : "the relay stopped answering";
            continue;
        case platform::StopSignal::Wake::Readable:
            break;
        }
        const ssize_t got = ::read(fromRelay_.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return {};
        reader.Append(wire::Bytes(buffer.data(), static_cast<std::size_t>(got)));
        std::vector<protocol::RelayReceived> replies;
        while (const std::optional<protocol::RelayFrame> frame = reader.Next())
            if (std::string why = Take(*frame, replies); !why.empty())
                return why;
        EnterReplies(replies);
        if (!reader.Failure().empty())
            return "the relay sent " + reader.Failure();
    }
}

bool RelayLink::PhaseIs(SiteState::Phase phase) const
{
    const std::scoped_lock lock(mutex_);
    return state_.phase == phase;
}

std::string RelayLink::Take(const protocol::RelayFrame& frame, std::vector<protocol::RelayReceived>& replies)
{
    const std::scoped_lock lock(mutex_);
    if (state_.phase == SiteState::Phase::Starting) {
        const std::optional<std::uint8_t> version =
            frame.type == RelayFrameType::Hello ? protocol::ReadHello(frame.body) : std::nullopt;
        if (frame.type == RelayFrameType::Error)
            return "the relay said: " + protocol::ReadErrorText(frame.body);
        if (!version)
            return "the relay did not say hello";
        if (*version != protocol::kRelayVersion)
            return "the relay speaks version " + std::to_string(*version) + ", this program " +
                   std::to_string(protocol::kRelayVersion);
        state_.phase = SiteState::Phase::Up;
        answerDue_ = Clock::now() + kAnswerPatience;
        return {};
    }
    switch (frame.type) {
    case RelayFrameType::Sent:
        if (!protocol::ReadSent(frame.body) || unanswered_ == 0)
            return "the relay answered a request never sent";
        --unanswered_;
        answerDue_ = Clock::now() + kAnswerPatience;
        return {};
    case RelayFrameType::Received:
        if (std::optional<protocol::RelayReceived> received = protocol::ReadReceived(frame.body)) {
            replies.push_back(std::move(*received));
            return {};
        }
        return "the relay sent a malformed reply";
    case RelayFrameType::Error:
        return "the relay said: " + protocol::ReadErrorText(frame.body);
    default:
        return "the relay sent a frame it must not send";
    }
}

void RelayLink::EnterReplies(const std::vector<protocol::RelayReceived>& replies)
{
    std::vector<ReceivedDatagram> shortForm;
    std::vector<ReceivedDatagram> longForm;
    for (const protocol::RelayReceived& reply : replies) {
        auto card = cards_.find(reply.card);
        if (card == cards_.end())
            card = cards_.emplace(reply.card, platform::RemoteCardIndex(host_ + ":" + reply.card)).first;
        ReceivedDatagram datagram{reply.datagram, Arrival{card->second, reply.source}};
        (reply.port == protocol::kShortFormPort ? shortForm : longForm).push_back(datagram);
    }
    if (!shortForm.empty())
        EnterShortFormDatagrams(shared_, shortForm, *stop_);
    if (!longForm.empty())
        EnterLongFormDatagrams(shared_, longForm, *stop_);
}

} // namespace quillon::discovery
