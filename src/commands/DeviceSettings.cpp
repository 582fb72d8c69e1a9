#include "commands/DeviceSettings.h"

#include "platform/WebBrowser.h"
#include "protocol/DeviceTexts.h"
#include "protocol/Protocol.h"

#include <cstdio>
#include <mutex>

namespace quillon::commands {

namespace {

template <std::size_t N>
wire::Ipv4 FirstFour(const std::array<std::uint8_t, N>& field)
{
    return {field[0], field[1], field[2], field[3]};
}

DeviceSettings ReadSettings(const devices::DeviceRecord& record)
{
    DeviceSettings settings;
    settings.nameText = protocol::NameText(std::span(record.name).first<protocol::kNameSize>());
    settings.port1 = record.port1;
    const auto& mac = record.macAddress;
    settings.macText = QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    settings.ipAddress = FirstFour(record.ipAddress);
    settings.netmask = FirstFour(record.netmask);
    settings.gateway = FirstFour(record.gateway);
    settings.dns1 = FirstFour(record.dns1);
    settings.dns2 = FirstFour(record.dns2);
    settings.hasDns = record.hasDns == 1;
    settings.hasDhcp = record.hasDhcp == 1;
    settings.dhcpEnabled = record.dhcpEnabled == 1;
    return settings;
}

WebTarget TargetOf(const devices::DeviceRecord& record)
{
    return {FirstFour(record.ipAddress), record.port1};
}

QString OpenWebPage(const std::optional<WebTarget>& target)
{
    if (!target)
        return {};
    const QString address = DeviceWebAddress(*target);
    const QString reason = UnusableDeviceAddressReason(target->ipAddress);
    if (reason.isEmpty()) {
        platform::OpenWebAddress(address);
        return {};
    }
    const QString refusal = QStringLiteral("%1 is not opened: the device claims %2, which no device on the LAN can have")
                                .arg(address, reason);
    std::fprintf(stderr, "quillon: %s\n", refusal.toUtf8().constData());
    return refusal;
}

} // namespace

std::optional<DeviceSettings> SelectDevice(devices::DeviceTable& table, int rowNumber, int rowCount)
{
    if (rowNumber < 1 || rowCount == 0)
        return std::nullopt;
    std::scoped_lock records(table.RecordsMutex());
    const devices::DeviceRecord* current = table.SelectByListIndex(rowNumber - 1);
    if (current == nullptr)
        return std::nullopt;
    return ReadSettings(*current);
}

std::optional<WebTarget> CurrentWebTarget(devices::DeviceTable& table)
{
    std::scoped_lock records(table.RecordsMutex());
    const devices::DeviceRecord* current = table.CurrentDevice();
    if (current == nullptr)
        return std::nullopt;
    return TargetOf(*current);
}

QString DeviceWebAddress(const WebTarget& target)
{
    const auto& ip = target.ipAddress;
    if (target.port1 == 80 || target.port1 < 1 || target.port1 >= 65536)
        return QString::asprintf("http://%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
    return QString::asprintf("http://%d.%d.%d.%d:%d", ip[0], ip[1], ip[2], ip[3], target.port1);
}

QString UnusableDeviceAddressReason(const wire::Ipv4& address)
{
    if (address == wire::Ipv4{255, 255, 255, 255})
        return QStringLiteral("the broadcast address");
    if (address[0] == 0)
        return QStringLiteral("an address of \"this host\" (0.0.0.0/8)");
    if (address[0] == 127)
        return QStringLiteral("this computer's own loopback address (127.0.0.0/8)");
    if (address[0] >= 224 && address[0] < 240)
        return QStringLiteral("a multicast address (224.0.0.0/4)");
    if (address[0] >= 240)
        return QStringLiteral("a reserved address (240.0.0.0/4)");
    return {};
}

QString OpenCurrentDeviceWebPage(devices::DeviceTable& table)
{
    return OpenWebPage(CurrentWebTarget(table));
}

QString OpenDeviceWebPage(devices::DeviceTable& table, const wire::MacAddress& mac)
{
    std::optional<WebTarget> target;
    {
        std::scoped_lock records(table.RecordsMutex());
        if (const devices::DeviceRecord* record = table.FindDeviceByMac(mac))
            target = TargetOf(*record);
    }
    return OpenWebPage(target);
}

} // namespace quillon::commands
