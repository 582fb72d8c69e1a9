#pragma once

#include "devices/DeviceRecord.h"
#include "devices/RowStore.h"
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
    explicit DeviceTable(RowStore& rows) : rows_(rows) {}
    ~DeviceTable() { FreeAllDevices(); }
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // Frees every record and forgets the current device, taking RecordsMutex itself. The rows are
    // left to the caller. Devices dropped since the last call are reported on standard error.
    void FreeAllDevices();

    // The record of the device with `mac`. A device has one record whatever its address, so a
    // device still waiting for one (0.0.0.0) keeps one row however often it answers.
    DeviceRecord* FindDeviceByMac(const wire::MacAddress& mac) const;

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

    // The first record given `listIndex`, in constant time: the list asks for the device of each
    // row it paints.
    DeviceRecord* FindDeviceByListIndex(int listIndex) const;

    // The device the user chose last; null after a search.
    DeviceRecord* CurrentDevice() const { return currentDevice_; }
    // Makes the device numbered listIndex + 1 the current device, if there is one, and returns
    // the current device: a number without a device keeps the one chosen before.
    DeviceRecord* SelectByListIndex(int listIndex);

    // The first row whose number minus 1 is listIndex.
    std::optional<int> FindRowByListIndex(int listIndex);

    // Gives a record without a row the next number and a row at the end of the list.
    void AssignRow(DeviceRecord& record, const QString& nameText, const QString& addressText);

    // Moves a record's row to the end of the list under its unchanged number, with new texts.
    void RefreshRow(DeviceRecord& record, const QString& nameText, const QString& addressText);

    // Gives a record's row new texts where it stands, under its unchanged number.
    void RewriteRow(const DeviceRecord& record, const QString& nameText, const QString& addressText);

    bool IsEmpty() const { return chain_.deviceHead == nullptr && chain_.deviceTail == nullptr; }
    const DeviceChain& Chain() const { return chain_; }
    RowStore& Rows() { return rows_; }
    std::mutex& RecordsMutex() { return recordsMutex_; }

    // The position of the row added last.
    int LastInsertedRow() const { return lastInsertedRow_; }

    // Set while a receiver handles a datagram; Search gives way to it. Not a lock.
    void SetReceiveBusy(bool busy) { receiveBusy_ = busy; }
    bool IsReceiveBusy() const { return receiveBusy_; }

private:
    std::optional<int> FindRowWithinUpdate(int listIndex) const;
    void AppendRowFor(const DeviceRecord& record, const QString& nameText, const QString& addressText);

    RowStore& rows_;
    std::mutex recordsMutex_;
    DeviceChain chain_;
    // The record of each MAC address, so that a look-up needs no walk of the whole chain.
    std::unordered_map<std::uint64_t, DeviceRecord*> recordsByMac_;
    // The first record given each listIndex, at that index.
    std::vector<DeviceRecord*> recordsByListIndex_;
    std::size_t recordCount_ = 0;
    DeviceRecord* currentDevice_ = nullptr;
    int lastInsertedRow_ = -1;
    std::atomic<bool> receiveBusy_{false};
    std::atomic<std::size_t> droppedDevices_{0};
};

} // namespace quillon::devices
