#include "discovery/RelayLink.h"

#include "platform/Interfaces.h"
#include "protocol/Protocol.h"
#include "protocol/RelayFrames.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace quillon::discovery {

using Clock = std::chrono::steady_clock;
using protocol::RelayFrameType;

std::string SshProgram()
{
    const char* program = std::getenv("QUILLON_SSH");
    return program != nullptr && *program != '\0' ? program : "ssh";
}

std::vector<std::string> SshCommandLine(const std::string& host, const std::vector<std::string>& command)
{
    std::vector<std::string> line{SshProgram(), "-T", "-o", "BatchMode=yes", "-o", "ServerAliveInterval=1",
                                  "-o", "ServerAliveCountMax=2", "--", host};
    line.insert(line.end(), command.begin(), command.end());
    return line;
}

namespace {

// The last line ssh wrote on its standard error, without waiting for more.
std::string LastLineOf(int fd)
{
    std::string text;
    std::array<char, 4096> buffer{};
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), static_cast<std::size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::string line = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < ' ')
            c = ' ';
    return line.substr(0, 300);
}

struct Spawned {
    pid_t pid = -1;
    platform::UniqueFd input;  // the child's standard input, ours to write
    platform::UniqueFd output; // its standard output, ours to read
    platform::UniqueFd errors; // its standard error
    std::string failure;
};

// Sockets rather than pipes for the relay's input and output: a write to a relay that went away
// fails with EPIPE (MSG_NOSIGNAL), it never raises SIGPIPE in the window.
Spawned SpawnRelay(const std::vector<std::string>& commandLine)
{
    Spawned spawned;
    int input[2], output[2], errors[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) < 0) {
        spawned.failure = std::strerror(errno);
        return spawned;
    }
    platform::UniqueFd childInput(input[1]);
    spawned.input.Reset(input[0]);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, output) < 0 || ::pipe2(errors, O_CLOEXEC) < 0) {
        spawned.failure = std::strerror(errno);
        return spawned;
    }
    platform::UniqueFd childOutput(output[1]);
    spawned.output.Reset(output[0]);
    platform::UniqueFd childErrors(errors[1]);
    spawned.errors.Reset(errors[0]);
    (void)::fcntl(spawned.errors.Get(), F_SETFL, O_NONBLOCK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childInput.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOutput.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childErrors.Get(), STDERR_FILENO);
    // Nothing of ours, the receivers' sockets least of all, goes with it.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A Ctrl+C in the terminal is ours to handle: the relay ends when we close its input.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& argument : commandLine)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int result = ::posix_spawnp(&spawned.pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        spawned.pid = -1;
        spawned.failure = commandLine.front() + ": " + std::strerror(result);
    }
    return spawned;
}

// Ends the child: it has a moment to go by itself once its input is closed, then it is told to.
int EndChild(pid_t pid)
{
    int status = 0;
    for (int waited = 0; waited < 20; ++waited) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        if (waited == 5)
            ::kill(pid, SIGTERM);
        ::usleep(10'000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return status;
}

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
    Spawned spawned = SpawnRelay(SshCommandLine(host_, {"quillonctl", "relay"}));
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
    status = EndChild(child_);
    const std::string sshSaid = LastLineOf(errorsOfSsh_.Get());
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
