#include "devices/DeviceTable.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace quillon::devices {

namespace {

// Once per search, when its table is freed: how many devices a full table could not take.
void ReportDroppedDevices(std::size_t dropped)
{
    if (dropped > 0)
        std::fprintf(stderr, "quillon: the device table was full (%zu devices); %zu more devices answered and "
                             "were not listed\n",
                     DeviceTable::kMaximumRecords, dropped);
}

} // namespace

void DeviceTable::FreeAllDevices()
{
    std::scoped_lock records(recordsMutex_);
    while (chain_.deviceHead != nullptr) {
        DeviceRecord* next = chain_.deviceHead->next;
        delete chain_.deviceHead;
        chain_.deviceHead = next;
    }
    currentDevice_ = nullptr;
    chain_.deviceTail = nullptr;
    recordsByMac_.clear();
    recordsByListIndex_.clear();
    recordCount_ = 0;
    ReportDroppedDevices(droppedDevices_.exchange(0));
}

DeviceRecord* DeviceTable::FindDeviceByMac(const wire::MacAddress& mac) const
{
    const auto found = recordsByMac_.find(wire::MacKey(mac));
    return found == recordsByMac_.end() ? nullptr : found->second;
}

DeviceRecord* DeviceTable::AppendDevice(const wire::MacAddress& mac)
{
    if (recordCount_ >= kMaximumRecords) {
        ++droppedDevices_;
        return nullptr;
    }
    auto* record = new (std::nothrow) DeviceRecord{};
    if (record == nullptr)
        return nullptr;
    ++recordCount_;
    std::copy(mac.begin(), mac.end(), record->macAddress.begin());
    recordsByMac_[wire::MacKey(mac)] = record;
    if (chain_.deviceHead == nullptr)
        chain_.deviceHead = record;
    else
        chain_.deviceTail->next = record;
    chain_.deviceTail = record;
    return record;
}

DeviceRecord* DeviceTable::FindDeviceByListIndex(int listIndex) const
{
    const auto at = static_cast<std::size_t>(listIndex);
    return listIndex >= 0 && at < recordsByListIndex_.size() ? recordsByListIndex_[at] : nullptr;
}

DeviceRecord* DeviceTable::SelectByListIndex(int listIndex)
{
    if (DeviceRecord* record = FindDeviceByListIndex(listIndex))
        currentDevice_ = record;
    return currentDevice_;
}

std::optional<int> DeviceTable::FindRowByListIndex(int listIndex)
{
    RowUpdate update(rows_);
    return FindRowWithinUpdate(listIndex);
}

std::optional<int> DeviceTable::FindRowWithinUpdate(int listIndex) const
{
    for (int row = 0; row < rows_.RowCount(); ++row)
        if (rows_.RowNumber(row) - 1 == listIndex)
            return row;
    return std::nullopt;
}

void DeviceTable::AppendRowFor(const DeviceRecord& record, const QString& nameText, const QString& addressText)
{
    const DeviceRow texts{record.listIndex + 1, nameText, addressText};
    lastInsertedRow_ = rows_.InsertDeviceRow(rows_.RowCount(), texts);
}

void DeviceTable::AssignRow(DeviceRecord& record, const QString& nameText, const QString& addressText)
{
    RowUpdate update(rows_);
    record.listIndex = rows_.RowCount();
    const auto at = static_cast<std::size_t>(record.listIndex);
    if (at >= recordsByListIndex_.size())
        recordsByListIndex_.resize(at + 1, nullptr);
    if (recordsByListIndex_[at] == nullptr) // records get their index in the chain's order
        recordsByListIndex_[at] = &record;
    AppendRowFor(record, nameText, addressText);
}

void DeviceTable::RefreshRow(DeviceRecord& record, const QString& nameText, const QString& addressText)
{
    RowUpdate update(rows_);
    if (const std::optional<int> row = FindRowWithinUpdate(record.listIndex))
        rows_.DeleteRow(*row);
    AppendRowFor(record, nameText, addressText);
}

void DeviceTable::RewriteRow(const DeviceRecord& record, const QString& nameText, const QString& addressText)
{
    RowUpdate update(rows_);
    if (const std::optional<int> row = FindRowWithinUpdate(record.listIndex))
        rows_.ReplaceRow(*row, {record.listIndex + 1, nameText, addressText});
}

} // namespace quillon::devices
