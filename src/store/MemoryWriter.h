#pragma once

#include "devices/DeviceTable.h"
#include "store/SiteMemory.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon::store {

// Keeps a site's memory up to date with a device table from a thread of its own, so that neither
// the window nor its receivers ever wait for the disk: once every kInterval, the devices that
// reported since are written in one transaction, all of them one visit of their sites, begun when
// the writer was. The database is opened on that thread. What the
// user must hear of it goes to `say`, called on that thread: that the file was moved aside, or, once,
// that the memory is off and why, after which nothing more is written.
class MemoryWriter {
public:
    static constexpr std::chrono::milliseconds kInterval{1000};

    MemoryWriter(const devices::DeviceStore& devices, QString path, std::function<void(const QString& message)> say);
    // Writes what reported since the last write and the journal entries handed over, then ends.
    ~MemoryWriter();
    MemoryWriter(const MemoryWriter&) = delete;
    MemoryWriter& operator=(const MemoryWriter&) = delete;

    // Hands a set request's entry over for the journal, written at once. An entry that cannot be
    // written is said, never dropped unsaid.
    void Journal(JournalEntry entry);

private:
    void Run();
    bool WriteJournal(SiteMemory& memory);
    // The devices that reported since they were last written, as a listing shows them.
    std::vector<commands::ListedDevice> ReportedSince();
    bool WriteReported(SiteMemory& memory, const QDateTime& visitBegan);

    const devices::DeviceStore& devices_;
    const QString path_;
    const std::function<void(const QString&)> say_;
    // MAC key → the device's number and reports when it was last written (a search numbers anew)
    std::unordered_map<std::uint64_t, std::pair<int, std::uint32_t>> written_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::vector<JournalEntry> journal_; // handed over, not yet written
    bool off_ = false;                  // the memory could not be used: nothing more is written
    std::thread thread_; // last: it starts once everything it uses is there
};

} // namespace quillon::store
