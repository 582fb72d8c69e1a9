#include "store/MemoryWriter.h"

#include "platform/Interfaces.h"

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

void MemoryWriter::Run()
{
    const auto off = [this](const QString& why) { say_(QStringLiteral("The site's memory (%1) is off: %2").arg(path_, why)); };
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
            stopping = wake_.wait_for(lock, kInterval, [this] { return stopping_; });
        }
        if (!WriteReported(*memory, visitBegan)) {
            off(memory->Error());
            return;
        }
    }
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
