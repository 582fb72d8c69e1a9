#include "discovery/ReplyEntry.h"

namespace quillon::discovery {

using devices::DeviceEntry;
using devices::DeviceReport;

namespace {

// The fields both forms carry, in the same places of their reply structures.
template <typename Reply>
DeviceEntry CommonEntry(const Reply& reply, std::uint8_t protocol, const Arrival& arrival)
{
    DeviceEntry entry;
    DeviceReport& report = entry.report;
    report.protocol = protocol;
    entry.mac = reply.macAddress;
    report.ipAddress = reply.ipAddress;
    report.netmask = reply.netmask;
    report.gateway = reply.gateway;
    report.name = reply.name;
    report.card = arrival.interfaceIndex;
    report.source = arrival.source;
    entry.nameText = reply.nameText;
    entry.addressText = reply.addressText;
    return entry;
}

} // namespace

DeviceEntry EntryOf(const protocol::LongFormReply& reply, const Arrival& arrival)
{
    DeviceEntry entry = CommonEntry(reply, devices::kAnsweredLongForm, arrival);
    entry.report.ports = devices::WebPorts{reply.port1, reply.port2};
    entry.report.dns = protocol::DnsServers{reply.dns1, reply.dns2};
    entry.report.dhcp = reply.dhcp != 0;
    return entry;
}

std::optional<DeviceEntry> EntryOf(const protocol::ShortFormReply& reply, const Arrival& arrival)
{
    using Kind = protocol::ShortFormReplyKind;
    if (reply.replyKind != static_cast<std::uint8_t>(Kind::DeviceAnswer) &&
        reply.replyKind != static_cast<std::uint8_t>(Kind::UpdateNotice))
        return std::nullopt;
    DeviceEntry entry = CommonEntry(reply, devices::kAnsweredShortForm, arrival);
    if (reply.replyKind == static_cast<std::uint8_t>(Kind::UpdateNotice))
        entry.report.kind = devices::ReportKind::Notice;
    if (reply.hasPorts)
        entry.report.ports = devices::WebPorts{reply.port1, reply.port2};
    if (reply.hasDns)
        entry.report.dns = protocol::DnsServers{reply.dns1, reply.dns2};
    if (reply.hasDhcp)
        entry.report.dhcp = reply.dhcpEnabled;
    return entry;
}

} // namespace quillon::discovery
