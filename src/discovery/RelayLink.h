#pragma once

#include "discovery/Receivers.h"
#include "platform/StopSignal.h"
#include "platform/UniqueFd.h"
#include "protocol/RelayFrames.h"
#include "protocol/Wire.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::discovery {

// What a remote site's relay is doing, for the status line and standard error.
struct SiteState {
    enum class Phase { Starting, Up, Failed };
    std::string host;
    Phase phase = Phase::Starting;
    std::string why; // Failed: what ssh or the relay said, or what went unanswered
};

// The program that reaches a site: $QUILLON_SSH when set (a wrapper with options of its own, as
// git's GIT_SSH), else "ssh".
std::string SshProgram();

// A name the user may give for a site: not empty, no space or control character, and not one
// ssh would read as an option.
bool IsSiteHost(const std::string& host);

// The ssh command line that runs `command` on `host`: the user's own configuration, keys, agent
// and ProxyJump apply; BatchMode, so that no password is ever asked for; keep-alives, so that a
// dead link ends the session within a few seconds.
std::vector<std::string> SshCommandLine(const std::string& host, const std::vector<std::string>& command);

// One remote site: `ssh HOST quillonctl relay`, its requests and its replies. Replies are entered
// through the same door as a local receiver's, on the card "HOST:CARD".
//
// Threads: the owner's thread calls Start, Send and State; one thread of the link's own reads
// the relay's output (and ssh's standard error) until the relay ends or the link is stopped. A
// relay that does not say hello within kStartPatience, or leaves a request unanswered for
// kAnswerPatience, is taken for hung and ended; one that ended is started again by Start.
class RelayLink {
public:
    static constexpr std::chrono::seconds kStartPatience{15};
    static constexpr std::chrono::milliseconds kAnswerPatience{1500};

    RelayLink(std::string host, ReceiverShared& shared);
    ~RelayLink();
    RelayLink(const RelayLink&) = delete;
    RelayLink& operator=(const RelayLink&) = delete;

    const std::string& Host() const { return host_; }

    // Starts ssh unless the relay is starting or up. Never waits for the network.
    void Start();
    // Queues one request for the relay; false when there is no relay to take it.
    bool Send(std::uint16_t port, wire::Bytes datagram);
    SiteState State() const;

private:
    void Run();
    // Reads the relay until it ends, hangs or misbehaves: why it is to end (empty: its output
    // closed).
    std::string Follow();
    std::string Take(const protocol::RelayFrame& frame, std::vector<protocol::RelayReceived>& replies);
    bool PhaseIs(SiteState::Phase phase) const;
    void EnterReplies(const std::vector<protocol::RelayReceived>& replies);
    void Stop();

    std::string host_;
    ReceiverShared& shared_;
    mutable std::mutex mutex_; // everything below but the thread
    SiteState state_;
    pid_t child_ = -1;
    platform::UniqueFd toRelay_;
    platform::UniqueFd fromRelay_;
    platform::UniqueFd errorsOfSsh_;
    std::chrono::steady_clock::time_point answerDue_{};
    int unanswered_ = 0; // requests sent that the relay has not answered
    std::map<std::string, unsigned> cards_; // the thread's own
    std::unique_ptr<platform::StopSignal> stop_;
    std::thread thread_;
};

// Sends `datagram` through the relay of `host` that this process runs, if any is up or starting;
// false when none took it.
bool SendThroughRelay(const std::string& host, std::uint16_t port, wire::Bytes datagram);
// True while this process runs a relay of `host` that said hello.
bool RelayIsUp(const std::string& host);

} // namespace quillon::discovery
