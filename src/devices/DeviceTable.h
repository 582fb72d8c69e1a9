#pragma once

#include "devices/DeviceRecord.h"
#include "devices/DeviceRows.h"
#include "protocol/Wire.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quillon::devices {

// The records in the order their first answers arrived. Records are only appended at the tail
// and only freed all at once.
struct DeviceChain {
    DeviceRecord* deviceHead = nullptr;
    DeviceRecord* deviceTail = nullptr;
};

enum class MacLookup {
    PassOverUnaddressed, // a device answer: records whose address starts with octet 0 never match
    AllRecords,          // an update notice
};

// The device table: the chain that owns every record, the list rows that show them, and the
// values that go with them. A row is tied to its record only by the number in its first column
// (listIndex + 1), never by position, so the list may be reordered freely.
//
// Every operation runs with ListLock held by the caller. Besides, whoever changes the chain or a
// record's fields, and whoever reads them without ListLock (the UI thread: selection, Submit,
// the web page), holds RecordsMutex(), and nobody waits for another thread while holding it.
// Lock order: ListLock, then RecordsMutex(), then the rows' own update.
class DeviceTable {
public:
    explicit DeviceTable(DeviceRows& rows) : rows_(rows) {}
    ~DeviceTable() { FreeAllDevices(); }
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // Frees every record and clears currentDevice, taking RecordsMutex itself. The rows are
    // left to the caller. Devices dropped since the last call are reported on standard error.
    void FreeAllDevices();

    DeviceRecord* FindDeviceByMac(const wire::MacAddress& mac, MacLookup lookup) const;

    // No site has more devices; a flood of replies from ever new MAC addresses stops here
    // instead of exhausting memory.
    static constexpr std::size_t kMaximumRecords = 65536;

    // A zero-filled record for the device with `mac`, with listIndex -1, at the tail; null when
    // the table is full or memory runs out, in which case the caller drops the reply. A
    // record's MAC address never changes afterwards: it is the device's identity.
    DeviceRecord* AppendDevice(const wire::MacAddress& mac);
    std::size_t RecordCount() const { return recordCount_; }
    // Devices dropped because the table was full, since the table was last freed. Any thread.
    std::size_t DroppedDevices() const { return droppedDevices_.load(); }

    DeviceRecord* FindDeviceByListIndex(int listIndex) const;

    // The first row whose number minus 1 is listIndex.
    std::optional<int> FindRowByListIndex(int listIndex);

    // Gives a record without a row the next number and a row at the end of the list.
    void AssignRow(DeviceRecord& record, const QString& nameText, const QString& addressText);

    // Moves a record's row to the end of the list under its unchanged number, with new texts.
    void RefreshRow(DeviceRecord& record, const QString& nameText, const QString& addressText);

    bool IsEmpty() const { return chain_.deviceHead == nullptr && chain_.deviceTail == nullptr; }
    const DeviceChain& Chain() const { return chain_; }
    DeviceRows& Rows() { return rows_; }
    std::mutex& RecordsMutex() { return recordsMutex_; }

    DeviceRecord* currentDevice = nullptr;
    int lastInsertedRow = -1;
    // 1 while a receiver handles a datagram; Search gives way to it. Not a lock.
    std::atomic<int> receiveBusy{0};

private:
    std::optional<int> FindRowWithinUpdate(int listIndex) const;
    void AppendRowFor(const DeviceRecord& record, const QString& nameText, const QString& addressText);

    DeviceRows& rows_;
    std::mutex recordsMutex_;
    DeviceChain chain_;
    // Every record of each MAC address, in chain order, so that a look-up by MAC needs no walk
    // of the whole chain and still finds the first match.
    std::unordered_map<std::uint64_t, std::vector<DeviceRecord*>> recordsByMac_;
    std::size_t recordCount_ = 0;
    std::atomic<std::size_t> droppedDevices_{0};
};

} // namespace quillon::devices
