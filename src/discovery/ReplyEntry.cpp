#include "discovery/ReplyEntry.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace quillon::discovery {

using devices::DeviceRecord;
using devices::DeviceTable;
using protocol::kInterfaceNameSize;
using protocol::kNameSize;
using protocol::LongFormReply;
using protocol::ShortFormReply;

namespace {

using NameBytes = std::array<std::uint8_t, kNameSize>;

template <std::size_t FieldSize, std::size_t N>
void CopyInto(std::array<std::uint8_t, FieldSize>& field, const std::array<std::uint8_t, N>& value)
{
    static_assert(N <= FieldSize);
    std::copy(value.begin(), value.end(), field.begin());
}

bool HasAddress(const DeviceRecord& record, const wire::Ipv4& address)
{
    return std::equal(address.begin(), address.end(), record.ipAddress.begin());
}

bool HasNameBytes(const DeviceRecord& record, const NameBytes& name)
{
    return std::equal(name.begin(), name.end(), record.name.begin());
}

// The record a device answer goes to: the device's record, whose row follows when the device's
// address or name changed; else a new record at the tail. Null when no record could be
// allocated: the answer is dropped.
DeviceRecord* RecordForAnswer(DeviceTable& table, const wire::MacAddress& mac, const wire::Ipv4& address,
                              const NameBytes& name, const QString& nameText, const QString& addressText)
{
    DeviceRecord* record = table.FindDeviceByMac(mac);
    if (record == nullptr)
        return table.AppendDevice(mac);
    table.SetReceiveBusy(true);
    // The first device's row never moves, but it always shows what a click on it acts on.
    if (!HasAddress(*record, address) || !HasNameBytes(*record, name)) {
        if (record->listIndex == 0)
            table.RewriteRow(*record, nameText, addressText);
        else if (record->listIndex > 0)
            table.RefreshRow(*record, nameText, addressText);
    }
    table.SetReceiveBusy(false);
    return record;
}

void TakeIdentity(DeviceRecord& record, const std::array<std::uint8_t, kInterfaceNameSize>& interfaceName,
                  const wire::Ipv4& address, const wire::MacAddress& mac, const wire::Ipv4& netmask)
{
    wire::CopyBoundedText(std::span(record.interfaceName).first<kInterfaceNameSize>(), interfaceName);
    CopyInto(record.ipAddress, address);
    CopyInto(record.macAddress, mac);
    CopyInto(record.netmask, netmask);
}

void TakeGatewayAndName(DeviceRecord& record, const wire::Ipv4& gateway, const NameBytes& name)
{
    CopyInto(record.gateway, gateway);
    wire::CopyBoundedText(std::span(record.name).first<kNameSize>(), name);
}

void GiveRowIfNew(DeviceTable& table, DeviceRecord& record, const QString& nameText, const QString& addressText)
{
    if (record.listIndex == -1)
        table.AssignRow(record, nameText, addressText);
}

// Both protocols' device answers: find or make the record, take the reply's fields (the
// protocol's own ones through `takePorts...`), give a new record its row.
template <typename Reply, typename TakeOwnFields>
void EnterDeviceAnswer(DeviceTable& table, const Reply& reply, std::uint8_t protocol, const Arrival& arrival,
                       TakeOwnFields takeOwnFields)
{
    std::scoped_lock records(table.RecordsMutex());
    DeviceRecord* record = RecordForAnswer(table, reply.macAddress, reply.ipAddress, reply.name,
                                           reply.nameText, reply.addressText);
    if (record == nullptr)
        return;
    TakeIdentity(*record, reply.interfaceName, reply.ipAddress, reply.macAddress, reply.netmask);
    takeOwnFields(*record);
    record->protocolsAnswered |= protocol;
    if (arrival.interfaceIndex != 0)
        record->arrivalInterface = arrival.interfaceIndex;
    GiveRowIfNew(table, *record, reply.nameText, reply.addressText);
    TakeGatewayAndName(*record, reply.gateway, reply.name);
    ++record->reportsEntered;
}

void EnterShortFormAnswer(DeviceTable& table, const ShortFormReply& reply, const Arrival& arrival)
{
    EnterDeviceAnswer(table, reply, devices::kAnsweredShortForm, arrival, [&reply](DeviceRecord& record) {
        record.port1 = reply.port1; // 0 when the reply is too short to carry the ports
        record.port2 = reply.port2;
        record.hasDns = reply.hasDns ? 1 : 0;
        if (reply.hasDns) {
            CopyInto(record.dns1, reply.dns1);
            CopyInto(record.dns2, reply.dns2);
        }
        record.hasDhcp = reply.hasDhcp ? 1 : 0;
        if (reply.hasDhcp)
            record.dhcpEnabled = reply.dhcpEnabled ? 1 : 0;
    });
}

// A listed device says it changed: its row moves to the end of the list under its own number
// (a new number could repeat another row's, and a click would then reach the wrong device).
void EnterShortFormUpdateNotice(DeviceTable& table, const ShortFormReply& reply)
{
    std::scoped_lock records(table.RecordsMutex());
    DeviceRecord* record = table.FindDeviceByMac(reply.macAddress);
    if (record == nullptr)
        return;
    table.RefreshRow(*record, reply.nameText, reply.addressText);
    TakeGatewayAndName(*record, reply.gateway, reply.name);
    ++record->reportsEntered;
}

} // namespace

void EnterLongFormReply(DeviceTable& table, const LongFormReply& reply, const Arrival& arrival)
{
    EnterDeviceAnswer(table, reply, devices::kAnsweredLongForm, arrival, [&reply](DeviceRecord& record) {
        record.port1 = reply.port1;
        record.port2 = reply.port2;
        CopyInto(record.dns1, reply.dns1);
        CopyInto(record.dns2, reply.dns2);
        record.hasDns = 1;
        // A long-form reply says "DHCP" only when it is on: "static" leaves hasDhcp as it was.
        record.dhcpEnabled = reply.dhcp != 0 ? 1 : 0;
        if (reply.dhcp != 0)
            record.hasDhcp = 1;
    });
}

void EnterShortFormReply(DeviceTable& table, const ShortFormReply& reply, const Arrival& arrival)
{
    if (reply.replyKind == static_cast<std::uint8_t>(protocol::ShortFormReplyKind::DeviceAnswer))
        EnterShortFormAnswer(table, reply, arrival);
    else if (reply.replyKind == static_cast<std::uint8_t>(protocol::ShortFormReplyKind::UpdateNotice))
        EnterShortFormUpdateNotice(table, reply);
}

} // namespace quillon::discovery
