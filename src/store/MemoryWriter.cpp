#include "store/MemoryWriter.h"

#include "platform/Interfaces.h"
#include "protocol/DeviceTexts.h"

namespace quillon::store {

MemoryWriter::MemoryWriter(const devices::DeviceStore& devices, QString path, std::function<void(const QString& message)> say)
    : devices_(devices), path_(std::move(path)), say_(std::move(say)), thread_([this] { Run(); })
{
}

MemoryWriter::~MemoryWriter()
{
    {
        const std::scoped_lock lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void MemoryWriter::Journal(JournalEntry entry)
{
    bool off = false;
    {
        const std::scoped_lock lock(mutex_);
        off = off_;
        if (!off)
            journal_.push_back(entry);
    }
    if (off)
        say_(QStringLiteral("The journal entry for %1 (%2) was not written: the site's memory is off")
                 .arg(protocol::MacText(entry.mac), entry.outcome));
    else
        wake_.notify_all();
}

void MemoryWriter::Run()
{
    const auto off = [this](const QString& why) {
        std::vector<JournalEntry> unwritten;
        {
            const std::scoped_lock lock(mutex_);
            off_ = true;
            unwritten.swap(journal_);
        }
        say_(QStringLiteral("The site's memory (%1) is off: %2").arg(path_, why));
        for (const JournalEntry& entry : unwritten)
            say_(QStringLiteral("The journal entry for %1 (%2) was not written").arg(protocol::MacText(entry.mac), entry.outcome));
    };
    QString why;
    const std::unique_ptr<SiteMemory> memory = SiteMemory::Open(path_, why);
    if (memory == nullptr) {
        off(why);
        return;
    }
    if (!memory->Notice().isEmpty())
        say_(memory->Notice());
    const QDateTime visitBegan = QDateTime::currentDateTimeUtc();
    bool stopping = false;
    while (!stopping) {
        {
            std::unique_lock lock(mutex_);
            stopping = wake_.wait_for(lock, kInterval, [this] { return stopping_ || !journal_.empty(); }) && stopping_;
        }
        if (!WriteJournal(*memory)) {
            off(memory->Error());
            return;
        }
        if (!WriteReported(*memory, visitBegan)) {
            off(memory->Error());
            return;
        }
    }
}

bool MemoryWriter::WriteJournal(SiteMemory& memory)
{
    std::vector<JournalEntry> entries;
    {
        const std::scoped_lock lock(mutex_);
        entries.swap(journal_);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (memory.RecordJournal(entries[i]))
            continue;
        const std::scoped_lock lock(mutex_); // the rest are said with the memory off
        journal_.insert(journal_.begin(), entries.begin() + static_cast<std::ptrdiff_t>(i), entries.end());
        return false;
    }
    return true;
}

bool MemoryWriter::WriteReported(SiteMemory& memory, const QDateTime& visitBegan)
{
    const std::vector<commands::ListedDevice> reported = ReportedSince();
    return reported.empty() || memory.RecordDevices(reported, {}, QDateTime::currentDateTimeUtc(), visitBegan);
}

// Only the numbers and report counts are copied under the table's lock; each device that
// reported since is then read on its own.
std::vector<commands::ListedDevice> MemoryWriter::ReportedSince()
{
    std::vector<commands::ListedDevice> reported;
    std::vector<platform::BroadcastInterface> cards;
    const std::vector<std::pair<wire::MacAddress, std::uint32_t>> counts = devices_.ReportCounts();
    for (std::size_t at = 0; at < counts.size(); ++at) {
        const int number = static_cast<int>(at) + 1;
        const auto& [mac, reports] = counts[at];
        std::pair<int, std::uint32_t>& written = written_[wire::MacKey(mac)];
        if (written == std::pair(number, reports))
            continue;
        written = {number, reports};
        if (cards.empty())
            cards = platform::UsableInterfaces();
        if (std::optional<commands::ListedDevice> listed = commands::ListRowDevice(devices_, number, cards))
            reported.push_back(std::move(*listed));
    }
    return reported;
}

} // namespace quillon::store
