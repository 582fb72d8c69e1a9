#include "commands/Confirmation.h"

#include "protocol/Wire.h"

#include <algorithm>
#include <mutex>

namespace quillon::commands {

using devices::DeviceRecord;
using devices::HoldsAddress;

namespace {

bool HoldsName(const DeviceRecord& record, const std::array<std::uint8_t, protocol::kNameSize>& name)
{
    const auto recorded = std::span(record.name).first<protocol::kNameSize>();
    const std::size_t length = wire::BoundedTextLength(recorded);
    return length == wire::BoundedTextLength(name) && std::equal(name.begin(), name.begin() + length, recorded.begin());
}

// A long-form reply always tells the mode (it says "DHCP" or nothing), a short one only when
// it is long enough to carry it.
bool TellsMode(const DeviceRecord& record)
{
    return record.hasDhcp != 0 || (record.protocolsAnswered & devices::kAnsweredLongForm) != 0;
}

} // namespace

bool RecordConfirms(const protocol::ShortFormSetRequest& request, const DeviceRecord& record)
{
    const bool toDhcp = request.dhcp.value_or(false);
    if (request.dhcp && (!TellsMode(record) || (record.dhcpEnabled != 0) != *request.dhcp))
        return false;
    if (request.name && !HoldsName(record, *request.name))
        return false;
    if (request.port && record.port1 != *request.port)
        return false;
    if (toDhcp)
        return true;
    if (request.addressChanged &&
        !(HoldsAddress(record.ipAddress, request.ipAddress) && HoldsAddress(record.netmask, request.netmask)))
        return false;
    if (request.gateway && !HoldsAddress(record.gateway, *request.gateway))
        return false;
    if (request.dns && (record.hasDns == 0 || !HoldsAddress(record.dns1, request.dns->dns1) ||
                        !HoldsAddress(record.dns2, request.dns->dns2)))
        return false;
    return true;
}

ConfirmationWatch::ConfirmationWatch(devices::DeviceTable& table, const protocol::ShortFormSetRequest& request)
    : table_(table), request_(request)
{
    std::scoped_lock records(table_.RecordsMutex());
    if (const DeviceRecord* record = table_.FindDeviceByMac(request_.macAddress))
        reportsBefore_ = record->reportsEntered;
}

bool ConfirmationWatch::Confirmed()
{
    std::scoped_lock records(table_.RecordsMutex());
    const DeviceRecord* record = table_.FindDeviceByMac(request_.macAddress);
    return record != nullptr && record->reportsEntered > reportsBefore_ && RecordConfirms(request_, *record);
}

} // namespace quillon::commands
