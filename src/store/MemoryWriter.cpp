#include "store/MemoryWriter.h"

#include "platform/Interfaces.h"
#include "protocol/DeviceTexts.h"

#include <algorithm>
#include <unordered_set>

namespace quillon::store {

namespace {

// A device as the memory knows it, as the table takes a report: what it last reported at its site,
// at the time it was last seen there, on the card of that name if this computer has one.
std::optional<devices::DeviceEntry> EntryOf(const RememberedDevice& device, const std::vector<platform::BroadcastInterface>& cards)
{
    const std::optional<wire::MacAddress> mac = protocol::ParseMac(device.mac);
    if (!mac)
        return std::nullopt;
    const auto setting = [&device](const char* name) { return commands::ReportedSetting(device.settings, name); };
    const auto address = [&setting](const char* name) { return protocol::ParseIpv4(setting(name)).value_or(wire::Ipv4{}); };
    devices::DeviceEntry entry;
    entry.mac = *mac;
    devices::DeviceReport& report = entry.report;
    report.ipAddress = address("ip");
    report.netmask = address("netmask");
    report.gateway = address("gateway");
    report.name = protocol::EncodeDeviceName(setting("name"));
    if (!setting("web_port").isEmpty())
        report.ports = devices::WebPorts{setting("web_port").toInt(), 0};
    if (!setting("dns1").isEmpty())
        report.dns = protocol::DnsServers{address("dns1"), address("dns2")};
    if (setting("dhcp") == QLatin1String("on") || setting("dhcp") == QLatin1String("off"))
        report.dhcp = setting("dhcp") == QLatin1String("on");
    const auto card = std::find_if(cards.begin(), cards.end(),
                                   [name = setting("card").toStdString()](const platform::BroadcastInterface& c) { return c.name == name; });
    report.card = card != cards.end() ? card->index : 0;
    report.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(device.lastSeen.toMSecsSinceEpoch()));
    entry.nameText = protocol::NameText(wire::Bytes(report.name.data(), report.name.size()));
    entry.addressText = protocol::AddressText(report.ipAddress);
    return entry;
}

} // namespace

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
    std::uint64_t lastMark = 0;
    std::uint64_t writtenMark = 0; // every report up to it is written
    Clock::time_point lastAnswer = Clock::now();
    Clock::time_point lastWrite{};
    bool stopping = false;
    while (!stopping) {
        {
            std::unique_lock lock(mutex_);
            stopping = wake_.wait_for(lock, kTick, [this] { return stopping_ || !journal_.empty() || siteToName_; }) && stopping_;
        }
        if (!WriteSiteName(*memory) || !WriteJournal(*memory)) {
            off(memory->Error());
            return;
        }
        // Answers still coming in are written once they pause, or every kLongestWait while they
        // do not: the disk never competes with a burst of them for long.
        const Clock::time_point now = Clock::now();
        const std::uint64_t mark = devices_.LastReportMark();
        if (mark != lastMark) {
            lastMark = mark;
            lastAnswer = now;
        }
        const bool paused = now - lastAnswer >= kPause;
        if (mark != writtenMark && (stopping || paused || now - lastWrite >= kLongestWait)) {
            const std::optional<bool> wrote = WriteReported(*memory, visitBegan);
            if (!wrote) {
                off(memory->Error());
                return;
            }
            writtenMark = mark;
            lastWrite = now;
        }
        if (now - lastAnswer >= kSettled && !ListMissing(*memory)) {
            off(memory->Error());
            return;
        }
    }
}

void MemoryWriter::ShowMissing(MissingLister list)
{
    const std::scoped_lock lock(mutex_);
    listMissing_ = std::move(list);
    missingDue_ = true;
}

void MemoryWriter::NameSite(QString name)
{
    {
        const std::scoped_lock lock(mutex_);
        siteToName_ = std::move(name);
    }
    wake_.notify_all();
}

QString MemoryWriter::NamedSite() const
{
    const std::scoped_lock lock(mutex_);
    return namedSite_;
}

QStringList MemoryWriter::VisitedSites() const
{
    const std::scoped_lock lock(mutex_);
    return visitedSites_;
}

// The name handed over, written; the name in the memory (another program may have named it)
// read again once a second.
bool MemoryWriter::WriteSiteName(SiteMemory& memory)
{
    std::optional<QString> name;
    {
        const std::scoped_lock lock(mutex_);
        name.swap(siteToName_);
    }
    if (name && !memory.NameSite(*name))
        return false;
    if (!name && Clock::now() - nameRead_ < kNameReread)
        return true;
    nameRead_ = Clock::now();
    const std::optional<QString> named = memory.NamedSite();
    if (!named)
        return false;
    const std::scoped_lock lock(mutex_);
    namedSite_ = *named;
    return true;
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

std::optional<bool> MemoryWriter::WriteReported(SiteMemory& memory, const QDateTime& visitBegan)
{
    const std::vector<int> numbers = ReportedSince();
    if (numbers.empty())
        return false;
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // A slice at a time, so that a full site's listings are never all held at once.
    for (std::size_t from = 0; from < numbers.size(); from += kSlice) {
        std::vector<commands::ListedDevice> slice;
        for (std::size_t at = from; at < std::min(from + kSlice, numbers.size()); ++at)
            if (std::optional<commands::ListedDevice> listed = commands::ListRowDevice(devices_, numbers[at], cards))
                slice.push_back(std::move(*listed));
        if (!memory.RecordDevices(slice, {}, now, visitBegan))
            return std::nullopt;
        const std::scoped_lock lock(mutex_);
        for (const commands::ListedDevice& device : slice)
            if (const QString site = memory.SiteOf(device, {}); !visitedSites_.contains(site))
                visitedSites_ << site;
    }
    const std::scoped_lock lock(mutex_);
    missingDue_ = true;
    return true;
}

// The devices of this visit's sites that are not listed, once the answers settled after the last
// device was written.
bool MemoryWriter::ListMissing(SiteMemory& memory)
{
    MissingLister list;
    QStringList sites;
    {
        const std::scoped_lock lock(mutex_);
        if (!missingDue_ || !listMissing_)
            return true;
        missingDue_ = false;
        list = listMissing_;
        sites = visitedSites_;
        if (sites.isEmpty() && !namedSite_.isEmpty())
            sites << namedSite_;
    }
    std::unordered_set<std::uint64_t> listed;
    for (const auto& [mac, mark] : devices_.ReportMarks())
        listed.insert(wire::MacKey(mac));
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    std::vector<devices::DeviceEntry> missing;
    for (const QString& site : sites) {
        const std::optional<std::vector<RememberedSite>> remembered = memory.Sites(site);
        if (!remembered)
            return false;
        for (const RememberedSite& known : *remembered)
            for (const RememberedDevice& device : known.devices)
                if (std::optional<devices::DeviceEntry> entry = EntryOf(device, cards); entry && !listed.contains(wire::MacKey(entry->mac)))
                    missing.push_back(std::move(*entry));
    }
    if (!missing.empty())
        list(std::move(missing));
    return true;
}

// Only the MAC addresses and report marks are copied under the table's lock.
std::vector<int> MemoryWriter::ReportedSince()
{
    std::vector<int> numbers;
    const std::vector<std::pair<wire::MacAddress, std::uint64_t>> marks = devices_.ReportMarks();
    for (std::size_t at = 0; at < marks.size(); ++at) {
        const auto& [mac, mark] = marks[at];
        std::uint64_t& written = written_[wire::MacKey(mac)];
        if (mark == 0 || written == mark)
            continue; // a device listed from the memory has not reported
        written = mark;
        numbers.push_back(static_cast<int>(at) + 1);
    }
    return numbers;
}

} // namespace quillon::store
