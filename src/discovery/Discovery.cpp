#include "discovery/Discovery.h"

#include "discovery/Sender.h"
#include "platform/MessageBox.h"
#include "protocol/ShortForm.h"

#include <system_error>

namespace quillon::discovery {

void TakeLockAndWait(platform::NamedLock& lock)
{
    lock.lock();
}

Discovery::Discovery(platform::NamedLock& listLock, std::function<void(int status)> endProgram)
    : shared_{table_, listLock, std::move(endProgram), {}}
{
}

void Discovery::SetSites(const std::vector<std::string>& hosts, bool searchHere)
{
    searchHere_ = searchHere;
    relays_.clear();
    for (const std::string& host : hosts)
        relays_.push_back(std::make_unique<RelayLink>(host, shared_));
}

std::vector<SiteState> Discovery::Sites() const
{
    std::vector<SiteState> states;
    for (const auto& relay : relays_)
        states.push_back(relay->State());
    return states;
}

void Discovery::StartRelays()
{
    for (const auto& relay : relays_)
        relay->Start();
}

void Discovery::Start()
{
    StartRelays();
    if (searchHere_)
        StartReceivers();
    // The receivers sent this computer's first requests; the sites get theirs.
    protocol::BuildShortFormSearchRequest(shortFormSearch_);
    protocol::BuildLongFormRequest(longFormSearch_);
    for (const auto& relay : relays_)
        SendSearchesThrough(*relay);
}

void Discovery::StartReceivers()
{
    const std::pair<ReceiverThread::Body, std::unique_ptr<ReceiverThread>*> receivers[] = {
        {LongFormReceiverThread, &longFormReceiver_},
        {ShortFormReceiverThread, &shortFormReceiver_},
    };
    for (const auto& [body, receiver] : receivers) {
        try {
            *receiver = std::make_unique<ReceiverThread>(body, shared_);
        } catch (const std::system_error&) {
            platform::ShowMessageBox({QStringLiteral("Create Rx Thread error!"), QStringLiteral("MSG")});
        }
    }
}

bool Discovery::Search(const LockTaker& takeLock)
{
    if (shared_.receiversBusy > 0)
        return false;
    // Starting ssh needs no lock, and nothing waits for it under one.
    StartRelays();
    takeLock(shared_.listLock);
    std::scoped_lock lock(std::adopt_lock, shared_.listLock);
    table_.Clear();
    AskAgain();
    return true;
}

void Discovery::AskAgain()
{
    table_.StartSearchRound();
    SendSearches();
}

void Discovery::SendSearches()
{
    protocol::BuildShortFormSearchRequest(shortFormSearch_);
    protocol::BuildLongFormRequest(longFormSearch_);
    if (searchHere_) {
        BroadcastShortForm(shortFormSearch_);
        BroadcastLongForm(longFormSearch_);
    }
    for (const auto& relay : relays_)
        SendSearchesThrough(*relay);
}

void Discovery::SendSearchesThrough(RelayLink& relay)
{
    relay.Send(protocol::kShortFormPort, shortFormSearch_);
    relay.Send(protocol::kLongFormPort, longFormSearch_);
}

void Discovery::SearchLive(std::chrono::system_clock::time_point now)
{
    table_.StartLiveSearch(now);
    StartRelays();
    AskAgain();
}

void Discovery::Stop()
{
    for (ReceiverThread* receiver : {longFormReceiver_.get(), shortFormReceiver_.get()})
        if (receiver != nullptr)
            receiver->Stop();
    relays_.clear();
}

void Discovery::Close(const LockTaker& takeLock)
{
    Stop();
    takeLock(shared_.listLock);
    std::scoped_lock lock(std::adopt_lock, shared_.listLock);
    table_.Clear();
}

} // namespace quillon::discovery
