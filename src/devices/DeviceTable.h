#pragma once

#include "devices/Device.h"
#include "devices/RowStore.h"
#include "protocol/ShortForm.h"
#include "protocol/Wire.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillon::devices {

// What readers and commands see of the devices: copies out, and the values a set request sent in.
// Every member is safe on any thread.
class DeviceStore {
public:
    virtual std::optional<Device> Find(const wire::MacAddress& mac) const = 0;
    // The device whose row is numbered `number`, in constant time: the list asks for the device of
    // each row it paints.
    virtual std::optional<Device> FindByNumber(int number) const = 0;
    // Every device, in the order of their numbers.
    virtual std::vector<Device> All() const = 0;
    // Every device's details, in the order of their numbers: less to copy than All.
    virtual std::vector<RowDetails> Details() const = 0;
    // Every device's MAC address and the mark of its last report (Device::reportMark), in the order
    // of their numbers: what tells a reader which devices reported since it last looked, for a
    // small copy.
    virtual std::vector<std::pair<wire::MacAddress, std::uint64_t>> ReportMarks() const = 0;
    // The mark of the last report the table took: whether any came since, in constant time.
    virtual std::uint64_t LastReportMark() const = 0;
    // How many devices are taken for offline (see DeviceTable::StartLiveSearch).
    virtual std::size_t OfflineCount() const = 0;
    // How many devices are listed from a site's memory without having answered.
    virtual std::size_t MissingCount() const = 0;
    virtual std::size_t Count() const = 0;
    virtual bool IsEmpty() const = 0;
    // Another device than `except` whose address is `address`, the first in number order.
    virtual std::optional<Device> HolderOf(const wire::Ipv4& address, const wire::MacAddress& except) const = 0;
    // Submit sent `request`: the device takes the groups it carried as what this program now
    // holds true, so that the same edit again sends nothing. The mode stays as the device
    // reported it until it reports the new one. False when no device has the request's MAC.
    virtual bool TakeSent(const protocol::ShortFormSetRequest& request) = 0;

protected:
    ~DeviceStore() = default;
};

// A device's report on its way into the table, with the texts its row shows (made before any
// lock is taken).
struct DeviceEntry {
    wire::MacAddress mac{};
    DeviceReport report;
    QString nameText;
    QString addressText;
};

// The device table: every device that answered since the last search, and the list rows that
// show them. A device is found by its MAC address; a row is tied to its device only by its
// number (the order in which the devices first answered), never by position, so the list may be
// reordered freely. One mutex of the table's own guards the devices; the row store's own is
// taken inside it, never the other way round, and neither is held while waiting for anything.
class DeviceTable final : public DeviceStore {
public:
    DeviceTable() { devices_.reserve(kMaximumDevices); }
    ~DeviceTable() { Clear(); }
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // No site has more devices; a flood of replies from ever new MAC addresses stops here
    // instead of exhausting memory.
    static constexpr std::size_t kMaximumDevices = 65536;

    // Enters reports in order, under one taking of the table's mutex. An answer from an unknown
    // device gives it an entry and a row at the end of the list (dropped, and counted, when the
    // table is full); when a known device's address or name changed, its row moves to the end
    // under its own number (the first device's row is rewritten where it stands). A notice moves
    // a known device's row to the end and takes only the gateway and the name; a notice of an
    // unknown device changes nothing.
    void Enter(std::span<const DeviceEntry> entries);

    // Search requests are about to go out: answers from here on belong to a new round, in which
    // each device answers once from its own address.
    void StartSearchRound();

    // A list that keeps searching is about to ask every device again, at `now`. A device that
    // has missed kMissedSearchesOffline of the searches sent since it last reported (each
    // given until the next to answer) is taken for offline since `now`, until it reports again.
    void StartLiveSearch(std::chrono::system_clock::time_point now);
    static constexpr std::uint32_t kMissedSearchesOffline = 3;

    // Lists devices that a site's memory knows and that have not answered (each entry's report
    // holds what the device last reported there, its time when it was last seen): each gets a row
    // at the end of the list and is missing until it reports. A device listed already is left as
    // it is.
    void EnterRemembered(std::span<const DeviceEntry> entries);

    // Forgets every device and empties the list. Devices dropped since the last call are
    // reported on standard error.
    void Clear();

    std::size_t Count() const override;
    // Devices dropped because the table was full, since it was last cleared: each counted once,
    // however often it answers, up to kMaximumDevices of them.
    std::size_t DroppedDevices() const;

    RowFeed& Rows() { return rows_; }

    std::optional<Device> Find(const wire::MacAddress& mac) const override;
    std::optional<Device> FindByNumber(int number) const override;
    std::vector<Device> All() const override;
    std::vector<RowDetails> Details() const override;
    std::vector<std::pair<wire::MacAddress, std::uint64_t>> ReportMarks() const override;
    std::uint64_t LastReportMark() const override;
    std::size_t OfflineCount() const override;
    std::size_t MissingCount() const override;
    bool IsEmpty() const override;
    std::optional<Device> HolderOf(const wire::Ipv4& address, const wire::MacAddress& except) const override;
    bool TakeSent(const protocol::ShortFormSetRequest& request) override;

private:
    Device* Lookup(const wire::MacAddress& mac);
    std::optional<std::size_t> IndexOf(const wire::MacAddress& mac) const;
    void MakeRoomInIndex(std::size_t count);
    void PutInIndex(std::size_t at);
    void EnterAnswer(const DeviceEntry& entry);
    void EnterNotice(const DeviceEntry& entry);
    Device* AddDevice(const DeviceEntry& entry);
    void NoteAnswerSource(Device& device, const DeviceReport& report) const;
    void MoveRowToEnd(const Device& device, const DeviceEntry& entry);
    void RewriteRow(const Device& device, const DeviceEntry& entry);
    void NoteReportedAlive(Device& device);

    mutable std::mutex mutex_;
    RowStore rows_;
    // devices_[number - 1]. Room for as many devices as the table takes is reserved once, so the
    // devices never move, and memory is used only as they fill it.
    std::vector<Device> devices_;
    // The MAC index: open addressing over devices_, each slot a device's position + 1 (0: empty),
    // the slots at most half taken. A slot per device beats a node per device several times in
    // memory.
    std::vector<std::uint32_t> slots_;
    std::unordered_set<std::uint64_t> droppedDevices_; // wire::MacKey of each
    std::uint32_t searchRound_ = 1;
    std::uint32_t liveSearch_ = 0;    // live searches since the last Clear
    std::size_t offlineDevices_ = 0;
    std::size_t rememberedDevices_ = 0; // listed from a memory, not heard since
    std::uint64_t reportSequence_ = 0;  // the last report's mark; a search that empties the table keeps it
};

} // namespace quillon::devices
