#pragma once

#include "devices/DeviceTable.h"
#include "store/SiteMemory.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon::store {

// Keeps a site's memory up to date with a device table from a thread of its own, so that neither
// the window nor its receivers ever wait for the disk: the devices that reported since the last
// write are written once the answers pause (kPause, or every kLongestWait while they keep
// coming), a slice of them a transaction, all of them one visit of their sites, begun when the writer was. The
// database is opened on that thread. What the user must hear of it goes to `say`, called on that
// thread: that the file was moved aside, or, once, that the memory is off and why, after which
// nothing more is written.
class MemoryWriter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kTick{50};
    // Answers count as paused after this long without one: a busy receiver may leave a tick
    // without any in the middle of a burst.
    static constexpr std::chrono::milliseconds kPause{100};
    static constexpr std::chrono::milliseconds kLongestWait{3000};
    // Answers are taken to have settled, for the missing devices, after this long without one:
    // longer than the pauses between the repeats of one search.
    static constexpr std::chrono::milliseconds kSettled{1000};

    MemoryWriter(const devices::DeviceStore& devices, QString path, std::function<void(const QString& message)> say);
    // Writes what reported since the last write and the journal entries handed over, then ends.
    ~MemoryWriter();
    MemoryWriter(const MemoryWriter&) = delete;
    MemoryWriter& operator=(const MemoryWriter&) = delete;

    // Hands a set request's entry over for the journal, written at once. An entry that cannot be
    // written is said, never dropped unsaid.
    void Journal(JournalEntry entry);

    // Has the devices known at this visit's sites that are not listed handed to `list` (on the
    // writer's thread, as entries of the table, each with what it last reported there): once the
    // answers have settled (kSettled without any), and again after each search's. An empty `list`
    // stops it.
    using MissingLister = std::function<void(std::vector<devices::DeviceEntry> entries)>;
    void ShowMissing(MissingLister list);
    // Names the site of whatever is found from now on (empty: each card's own), written at once.
    void NameSite(QString name);
    // The site named in the memory, as last read; empty when none is.
    QString NamedSite() const;
    // The sites this visit found devices at.
    QStringList VisitedSites() const;

private:
    void Run();
    bool WriteJournal(SiteMemory& memory);
    bool WriteSiteName(SiteMemory& memory);
    // The numbers of the devices that reported since they were last written.
    std::vector<int> ReportedSince();
    // Devices written in one transaction: a full site goes in several.
    static constexpr std::size_t kSlice = 16384;
    // Writes them; true when there were any. Nothing when the memory failed.
    std::optional<bool> WriteReported(SiteMemory& memory, const QDateTime& visitBegan);
    bool ListMissing(SiteMemory& memory);

    const devices::DeviceStore& devices_;
    const QString path_;
    const std::function<void(const QString&)> say_;
    // MAC key → the mark of the device's report last written
    std::unordered_map<std::uint64_t, std::uint64_t> written_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::vector<JournalEntry> journal_; // handed over, not yet written
    bool off_ = false;                  // the memory could not be used: nothing more is written
    std::optional<QString> siteToName_; // handed over, not yet written
    QString namedSite_;
    Clock::time_point nameRead_{}; // the writer's thread's alone
    static constexpr std::chrono::seconds kNameReread{1};
    QStringList visitedSites_;
    MissingLister listMissing_;
    bool missingDue_ = false; // listed once the answers settle
    std::thread thread_; // last: it starts once everything it uses is there
};

} // namespace quillon::store
