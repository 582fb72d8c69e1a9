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

void Discovery::Start()
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
    takeLock(shared_.listLock);
    std::scoped_lock lock(std::adopt_lock, shared_.listLock);
    table_.Clear();
    AskAgain();
    return true;
}

void Discovery::AskAgain()
{
    table_.StartSearchRound();
    protocol::BuildShortFormSearchRequest(shortFormSearch_);
    protocol::BuildLongFormRequest(longFormSearch_);
    BroadcastShortForm(shortFormSearch_);
    BroadcastLongForm(longFormSearch_);
}

void Discovery::SearchLive(std::chrono::system_clock::time_point now)
{
    table_.StartLiveSearch(now);
    AskAgain();
}

void Discovery::Stop()
{
    for (ReceiverThread* receiver : {longFormReceiver_.get(), shortFormReceiver_.get()})
        if (receiver != nullptr)
            receiver->Stop();
}

void Discovery::Close(const LockTaker& takeLock)
{
    Stop();
    takeLock(shared_.listLock);
    std::scoped_lock lock(std::adopt_lock, shared_.listLock);
    table_.Clear();
}

} // namespace quillon::discovery
