#include "devices/DeviceTable.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace quillon::devices {

namespace {

// Once per search, when its table is cleared: how many devices a full table could not take.
void ReportDroppedDevices(std::size_t dropped)
{
    if (dropped > 0)
        std::fprintf(stderr, "quillon: the device table was full (%zu devices); %s%zu more devices answered and "
                             "were not listed\n",
                     DeviceTable::kMaximumDevices, dropped == DeviceTable::kMaximumDevices ? "at least " : "", dropped);
}

constexpr std::size_t kFirstIndexSize = 64;

// Fibonacci hashing of the MAC address, onto a power of two slots.
std::size_t SlotOf(const wire::MacAddress& mac, std::size_t mask)
{
    return static_cast<std::size_t>((wire::MacKey(mac) * 0x9E3779B97F4A7C15ULL) >> 32) & mask;
}

// Names compare as the device sent them, all 18 bytes.
bool ShowsOtherAddressOrName(const Device& device, const DeviceReport& report)
{
    return device.believed.ipAddress != report.ipAddress || device.believed.name != report.name;
}

// A name is kept up to its first zero byte, zero-filled behind it.
protocol::NameBytes BoundedName(const protocol::NameBytes& name)
{
    protocol::NameBytes bounded{};
    wire::CopyBoundedText(bounded, name);
    return bounded;
}

// The groups of a device answer. A long-form answer always carries DNS servers and says "DHCP"
// only when it is on ("static" leaves whether the mode is known as it was); a short-form answer
// too short for a group says it lacks it, and the group keeps its last values.
void TakeAnswer(DeviceState& state, const DeviceReport& report)
{
    state.ipAddress = report.ipAddress;
    state.netmask = report.netmask;
    state.ports = report.ports.value_or(WebPorts{});
    state.hasDns = report.dns.has_value();
    if (report.dns)
        state.dns = *report.dns;
    if (report.protocol == kAnsweredLongForm) {
        state.dhcpEnabled = report.dhcp.value_or(false);
        state.hasDhcp = state.hasDhcp || state.dhcpEnabled;
    } else {
        state.hasDhcp = report.dhcp.has_value();
        if (report.dhcp)
            state.dhcpEnabled = *report.dhcp;
    }
}

void TakeGatewayAndName(DeviceState& state, const DeviceReport& report)
{
    state.gateway = report.gateway;
    state.name = BoundedName(report.name);
}

bool SaysTheSame(const DeviceReport& a, const DeviceReport& b)
{
    return a.kind == b.kind && a.protocol == b.protocol && a.ipAddress == b.ipAddress && a.netmask == b.netmask &&
           a.gateway == b.gateway && a.name == b.name && a.ports == b.ports && a.dns.has_value() == b.dns.has_value() &&
           (!a.dns || (a.dns->dns1 == b.dns->dns1 && a.dns->dns2 == b.dns->dns2)) && a.dhcp == b.dhcp;
}

// A computer with two cards on one LAN hears every broadcast twice. The copy from the second card
// is not a new report: whoever judges the device's reports by the card it was found on must not
// lose the first copy to it.
bool IsEchoOnAnotherCard(const DeviceReport& last, const DeviceReport& report)
{
    constexpr std::chrono::seconds kEchoWindow{1};
    return report.card != last.card && report.time - last.time < kEchoWindow && SaysTheSame(last, report);
}

// False for an echo, which is not a report of its own.
bool TakeReport(Device& device, const DeviceReport& report)
{
    TakeGatewayAndName(device.believed, report);
    if (device.reports > 0 && IsEchoOnAnotherCard(device.lastReport, report))
        return false;
    device.lastReport = report;
    ++device.reports;
    return true;
}

} // namespace

void DeviceTable::Enter(std::span<const DeviceEntry> entries)
{
    std::scoped_lock lock(mutex_);
    for (const DeviceEntry& entry : entries) {
        if (entry.report.kind == ReportKind::Answer)
            EnterAnswer(entry);
        else
            EnterNotice(entry);
    }
}

void DeviceTable::EnterAnswer(const DeviceEntry& entry)
{
    const DeviceReport& report = entry.report;
    Device* device = Lookup(entry.mac);
    if (device == nullptr) {
        device = AddDevice(entry);
        if (device == nullptr)
            return;
    } else if (ShowsOtherAddressOrName(*device, report)) {
        // The first device's row never moves, but it always shows what a click on it acts on.
        if (device->number == 1)
            RewriteRow(*device, entry);
        else
            MoveRowToEnd(*device, entry);
    }
    TakeAnswer(device->believed, report);
    device->reportedDns = device->reportedDns || report.dns.has_value();
    device->protocols |= report.protocol;
    if (report.card != 0)
        device->card = report.card;
    NoteAnswerSource(*device, report);
    if (TakeReport(*device, report))
        device->reportMark = ++reportSequence_;
    NoteReportedAlive(*device);
}

void DeviceTable::EnterRemembered(std::span<const DeviceEntry> entries)
{
    std::scoped_lock lock(mutex_);
    for (const DeviceEntry& entry : entries) {
        if (Lookup(entry.mac) != nullptr)
            continue;
        Device* device = AddDevice(entry);
        if (device == nullptr)
            return;
        TakeAnswer(device->believed, entry.report);
        TakeGatewayAndName(device->believed, entry.report);
        device->reportedDns = entry.report.dns.has_value();
        device->card = entry.report.card;
        device->lastReport = entry.report;
        device->reportedInLiveSearch = liveSearch_;
        device->remembered = true;
        ++rememberedDevices_;
    }
}

void DeviceTable::NoteReportedAlive(Device& device)
{
    device.reportedInLiveSearch = liveSearch_;
    if (device.remembered) {
        device.remembered = false;
        --rememberedDevices_;
    }
    if (device.offlineSince) {
        device.offlineSince.reset();
        --offlineDevices_;
    }
}

void DeviceTable::NoteAnswerSource(Device& device, const DeviceReport& report) const
{
    if (report.source == wire::Ipv4{})
        return;
    const bool sameRound = device.answeredRound == searchRound_ && device.answeredFrom != wire::Ipv4{};
    if (sameRound && device.answeredFrom != report.source)
        device.macSharedBy = std::array{device.answeredFrom, report.source};
    device.answeredRound = searchRound_;
    device.answeredFrom = report.source;
}

// A listed device says it changed: its row moves to the end of the list under its own number
// (a new number could repeat another row's, and a click would then reach the wrong device).
void DeviceTable::EnterNotice(const DeviceEntry& entry)
{
    Device* device = Lookup(entry.mac);
    if (device == nullptr)
        return;
    MoveRowToEnd(*device, entry);
    if (TakeReport(*device, entry.report))
        device->reportMark = ++reportSequence_;
    NoteReportedAlive(*device);
}

Device* DeviceTable::Lookup(const wire::MacAddress& mac)
{
    const std::optional<std::size_t> at = IndexOf(mac);
    return at ? &devices_[*at] : nullptr;
}

std::optional<std::size_t> DeviceTable::IndexOf(const wire::MacAddress& mac) const
{
    if (slots_.empty())
        return std::nullopt;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = SlotOf(mac, mask);; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots_[slot];
        if (held == 0)
            return std::nullopt;
        if (devices_[held - 1].mac == mac)
            return held - 1;
    }
}

void DeviceTable::MakeRoomInIndex(std::size_t count)
{
    if (count * 2 <= slots_.size())
        return;
    std::vector<std::uint32_t> larger(std::max<std::size_t>(kFirstIndexSize, slots_.size() * 2));
    slots_.swap(larger);
    for (std::size_t at = 0; at < devices_.size(); ++at)
        PutInIndex(at);
}

void DeviceTable::PutInIndex(std::size_t at)
{
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = SlotOf(devices_[at].mac, mask);
    while (slots_[slot] != 0)
        slot = (slot + 1) & mask;
    slots_[slot] = static_cast<std::uint32_t>(at + 1);
}

Device* DeviceTable::AddDevice(const DeviceEntry& entry)
{
    if (devices_.size() >= kMaximumDevices) {
        // A device answers on two protocols and to every search: it is counted once. A flood of
        // ever new MAC addresses stops being counted where the table itself stopped.
        try {
            if (droppedDevices_.size() < kMaximumDevices)
                droppedDevices_.insert(wire::MacKey(entry.mac));
        } catch (const std::bad_alloc&) {
        }
        return nullptr;
    }
    // Memory that runs out drops the reply, as a full table does, rather than the receiver.
    try {
        MakeRoomInIndex(devices_.size() + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    Device& device = devices_.emplace_back(); // within the room reserved: nothing moves
    device.mac = entry.mac;
    device.number = static_cast<int>(devices_.size());
    PutInIndex(devices_.size() - 1);
    RowUpdate update(rows_);
    rows_.InsertDeviceRow(rows_.RowCount(), {device.number, entry.nameText, entry.addressText});
    return &device;
}

void DeviceTable::MoveRowToEnd(const Device& device, const DeviceEntry& entry)
{
    RowUpdate update(rows_);
    if (const std::optional<int> row = rows_.FindRow(device.number))
        rows_.DeleteRow(*row);
    rows_.InsertDeviceRow(rows_.RowCount(), {device.number, entry.nameText, entry.addressText});
}

void DeviceTable::RewriteRow(const Device& device, const DeviceEntry& entry)
{
    RowUpdate update(rows_);
    if (const std::optional<int> row = rows_.FindRow(device.number))
        rows_.ReplaceRow(*row, {device.number, entry.nameText, entry.addressText});
}

void DeviceTable::StartSearchRound()
{
    std::scoped_lock lock(mutex_);
    ++searchRound_;
}

void DeviceTable::StartLiveSearch(std::chrono::system_clock::time_point now)
{
    std::scoped_lock lock(mutex_);
    for (Device& device : devices_) {
        if (device.offlineSince || device.remembered || liveSearch_ - device.reportedInLiveSearch < kMissedSearchesOffline)
            continue;
        device.offlineSince = now;
        ++offlineDevices_;
    }
    ++liveSearch_;
}

void DeviceTable::Clear()
{
    std::size_t dropped = 0;
    {
        std::scoped_lock lock(mutex_);
        devices_.clear();
        liveSearch_ = 0;
        offlineDevices_ = 0;
        rememberedDevices_ = 0;
        std::vector<std::uint32_t>().swap(slots_);
        rows_.Clear();
        dropped = droppedDevices_.size();
        std::unordered_set<std::uint64_t>().swap(droppedDevices_);
    }
    ReportDroppedDevices(dropped);
}

std::size_t DeviceTable::DroppedDevices() const
{
    std::scoped_lock lock(mutex_);
    return droppedDevices_.size();
}

std::size_t DeviceTable::Count() const
{
    std::scoped_lock lock(mutex_);
    return devices_.size();
}

std::optional<Device> DeviceTable::Find(const wire::MacAddress& mac) const
{
    std::scoped_lock lock(mutex_);
    const std::optional<std::size_t> at = IndexOf(mac);
    if (!at)
        return std::nullopt;
    return devices_[*at];
}

std::optional<Device> DeviceTable::FindByNumber(int number) const
{
    std::scoped_lock lock(mutex_);
    if (number < 1 || static_cast<std::size_t>(number) > devices_.size())
        return std::nullopt;
    return devices_[static_cast<std::size_t>(number) - 1];
}

std::vector<Device> DeviceTable::All() const
{
    std::scoped_lock lock(mutex_);
    return devices_;
}

std::vector<RowDetails> DeviceTable::Details() const
{
    std::scoped_lock lock(mutex_);
    std::vector<RowDetails> details;
    details.reserve(devices_.size());
    for (const Device& device : devices_)
        details.push_back(DetailsOf(device));
    return details;
}

std::vector<std::pair<wire::MacAddress, std::uint64_t>> DeviceTable::ReportMarks() const
{
    std::scoped_lock lock(mutex_);
    std::vector<std::pair<wire::MacAddress, std::uint64_t>> marks;
    marks.reserve(devices_.size());
    for (const Device& device : devices_)
        marks.emplace_back(device.mac, device.reportMark);
    return marks;
}

std::size_t DeviceTable::OfflineCount() const
{
    std::scoped_lock lock(mutex_);
    return offlineDevices_;
}

std::uint64_t DeviceTable::LastReportMark() const
{
    std::scoped_lock lock(mutex_);
    return reportSequence_;
}

std::size_t DeviceTable::MissingCount() const
{
    std::scoped_lock lock(mutex_);
    return rememberedDevices_;
}

bool DeviceTable::IsEmpty() const
{
    std::scoped_lock lock(mutex_);
    return devices_.empty();
}

std::optional<Device> DeviceTable::HolderOf(const wire::Ipv4& address, const wire::MacAddress& except) const
{
    std::scoped_lock lock(mutex_);
    const auto holder = std::find_if(devices_.begin(), devices_.end(), [&](const Device& device) {
        return device.believed.ipAddress == address && device.mac != except;
    });
    if (holder == devices_.end())
        return std::nullopt;
    return *holder;
}

bool DeviceTable::TakeSent(const protocol::ShortFormSetRequest& request)
{
    std::scoped_lock lock(mutex_);
    Device* device = Lookup(request.macAddress);
    if (device == nullptr)
        return false;
    DeviceState& state = device->believed;
    state.ipAddress = request.ipAddress;
    state.netmask = request.netmask;
    if (request.gateway)
        state.gateway = *request.gateway;
    if (request.name)
        state.name = BoundedName(*request.name);
    if (request.port)
        state.ports.port1 = *request.port;
    if (request.dns)
        state.dns = *request.dns;
    return true;
}

} // namespace quillon::devices
