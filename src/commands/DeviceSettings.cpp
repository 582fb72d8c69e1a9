#include "commands/DeviceSettings.h"

#include "platform/WebBrowser.h"
#include "protocol/DeviceTexts.h"
#include "protocol/Protocol.h"

#include <cstdio>

namespace quillon::commands {

namespace {

DeviceSettings ReadSettings(const devices::Device& device)
{
    const devices::DeviceState& state = device.believed;
    DeviceSettings settings;
    settings.mac = device.mac;
    settings.nameText = protocol::NameText(state.name);
    settings.port1 = state.ports.port1;
    settings.macText = protocol::MacText(device.mac);
    settings.ipAddress = state.ipAddress;
    settings.netmask = state.netmask;
    settings.gateway = state.gateway;
    settings.dns1 = state.dns.dns1;
    settings.dns2 = state.dns.dns2;
    settings.hasDns = state.hasDns;
    settings.hasDhcp = state.hasDhcp;
    settings.dhcpEnabled = state.dhcpEnabled;
    return settings;
}

QString OpenWebPage(const WebTarget& target)
{
    const QString address = DeviceWebAddress(target);
    const QString reason = UnusableDeviceAddressReason(target.ipAddress);
    if (reason.isEmpty())
        return platform::OpenWebAddress(address) ? QString() : QStringLiteral("%1 is not opened: there is no web browser to open it").arg(address);
    const QString refusal = QStringLiteral("%1 is not opened: the device claims %2, which no device on the LAN can have")
                                .arg(address, reason);
    std::fprintf(stderr, "quillon: %s\n", refusal.toUtf8().constData());
    return refusal;
}

} // namespace

std::optional<DeviceSettings> SelectDevice(const devices::DeviceStore& devices, int rowNumber, int rowCount,
                                           std::optional<wire::MacAddress>& chosen)
{
    if (rowNumber < 1 || rowCount == 0)
        return std::nullopt;
    std::optional<devices::Device> device = devices.FindByNumber(rowNumber);
    if (device)
        chosen = device->mac;
    else if (chosen)
        device = devices.Find(*chosen);
    if (!device)
        return std::nullopt;
    return ReadSettings(*device);
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

QString OpenDeviceWebPage(const devices::DeviceStore& devices, const wire::MacAddress& mac)
{
    const std::optional<devices::Device> device = devices.Find(mac);
    if (!device)
        return {};
    return OpenWebPage({device->believed.ipAddress, device->believed.ports.port1});
}

} // namespace quillon::commands
