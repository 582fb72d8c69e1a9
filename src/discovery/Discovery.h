#pragma once

#include "devices/DeviceTable.h"
#include "discovery/Receivers.h"
#include "discovery/RelayLink.h"
#include "platform/NamedLock.h"
#include "protocol/LongForm.h"
#include "protocol/Protocol.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quillon::discovery {

// Each search request of a command-line search or of a list that keeps searching goes out this
// many times, kSearchRepeatInterval apart, so that one lost broadcast hides no device on a lossy
// LAN. (The window's Search Device sends each once.)
inline constexpr int kSearchRepeats = 5;
inline constexpr std::chrono::milliseconds kSearchRepeatInterval{100};

// How the owner's thread takes ListLock: the window keeps serving its events while it waits,
// a command-line run simply waits.
using LockTaker = std::function<void(platform::NamedLock&)>;
void TakeLockAndWait(platform::NamedLock& lock);

// Finding devices, in one place: the device table and the rows that list it, the two receivers
// that fill them, and the search that starts them over. The window and the command line each
// own one.
//
// Threads: the owner's thread calls every member; the two receiver threads run from Start to
// Stop and change the table and the rows, never anything of the owner's.
//
// Locks, always taken in this order and never held while waiting for another thread, for the
// network or for a person; none is taken outside the discovery and the device table:
//   1. ListLock: the entering of a batch of replies, Search and Close, between the receivers and
//      between running copies of the program (which wait for each other about a second at
//      most: every copy has a table of its own);
//   2. the device table's mutex: its devices, for every entry, copy and change;
//   3. the row store's own mutex: each row operation, and the view while it reads the changes.
class Discovery {
public:
    // `endProgram` is called, on any thread, once a receiver's set-up failure (its port cannot
    // be bound, for instance) has been shown: the program cannot go on.
    Discovery(platform::NamedLock& listLock, std::function<void(int status)> endProgram);
    ~Discovery() { Stop(); }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Remote sites, each searched through a relay started over ssh on its host beside this
    // computer's cards, or instead of them when `searchHere` is false. Before Start.
    void SetSites(const std::vector<std::string>& hosts, bool searchHere = true);
    // Each site's relay as it is now, in the order given.
    std::vector<SiteState> Sites() const;

    // Starts the long-form receiver, then the short-form one. Each binds its port and then
    // broadcasts one search request of its protocol, so that no early answer is lost. Then
    // starts each site's relay and sends both search requests through it.
    void Start();

    // Forgets every device, empties the list and broadcasts both search requests, the short form
    // first, all under ListLock; starts again a site's relay that ended. Gives way, doing
    // nothing and returning false, while a receiver is in the middle of a datagram.
    bool Search(const LockTaker& takeLock = TakeLockAndWait);

    // Asks every device again, forgetting none: both search requests, the short form first.
    void AskAgain();

    // A list that keeps searching asks every device again each kLiveSearchInterval, forgetting
    // none: devices that missed too many of these searches in a row are taken for offline as
    // of `now` (DeviceTable::StartLiveSearch), then both search requests go out. The caller
    // repeats them with AskAgain.
    void SearchLive(std::chrono::system_clock::time_point now);
    static constexpr std::chrono::seconds kLiveSearchInterval{15};

    // Lists devices a site's memory knows that have not answered, as missing until they do
    // (DeviceTable::EnterRemembered).
    void ListRemembered(std::span<const devices::DeviceEntry> entries) { table_.EnterRemembered(entries); }

    // Wakes both receivers and joins them, and ends the sites' relays. Takes no lock: a receiver
    // may be waiting for one.
    void Stop();

    // Stops the receivers, then frees the table under ListLock, not waiting for another copy of
    // the program: this process's table is its own.
    void Close(const LockTaker& takeLock);

    // The devices found, as copies, and the values a set request sent to one of them.
    devices::DeviceStore& Devices() { return table_; }
    // The list's rows, for the view.
    devices::RowFeed& Rows() { return table_.Rows(); }

private:
    void StartReceivers();
    void StartRelays();
    void SendSearches();
    void SendSearchesThrough(RelayLink& relay);

    devices::DeviceTable table_;
    ReceiverShared shared_;
    // The owner thread's search requests; each receiver builds its own.
    std::array<std::uint8_t, protocol::kShortFormRequestSize> shortFormSearch_{};
    protocol::LongFormPacket longFormSearch_{};
    bool searchHere_ = true;
    std::vector<std::unique_ptr<RelayLink>> relays_;
    // Last, so that the threads are joined before anything they use goes.
    std::unique_ptr<ReceiverThread> longFormReceiver_;
    std::unique_ptr<ReceiverThread> shortFormReceiver_;
};

} // namespace quillon::discovery
