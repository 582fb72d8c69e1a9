#include "commands/Submit.h"

#include "commands/DeviceSettings.h"
#include "discovery/Sender.h"
#include "protocol/DeviceTexts.h"
#include "protocol/ShortForm.h"

#include <algorithm>
#include <bit>

namespace quillon::commands {

namespace {

bool NameChanged(const devices::DeviceState& state, const std::optional<protocol::NameBytes>& name)
{
    return name && !protocol::SameName(state.name, *name);
}

bool ModeChanged(const devices::DeviceState& state, const std::optional<bool>& wantsDhcp)
{
    return wantsDhcp && *wantsDhcp != state.dhcpEnabled;
}

bool NothingChanged(const devices::DeviceState& state, const NewSettings& settings,
                    const std::optional<protocol::NameBytes>& name)
{
    return state.ipAddress == settings.ipAddress && state.gateway == settings.gateway && !NameChanged(state, name) &&
           state.netmask == settings.netmask && state.dns.dns1 == settings.dns1 && state.dns.dns2 == settings.dns2 &&
           state.ports.port1 == settings.port && !ModeChanged(state, settings.wantsDhcp);
}

// The request naming the changed groups; the address group always goes.
protocol::ShortFormSetRequest ChangesOf(const devices::Device& device, const NewSettings& settings,
                                        const std::optional<protocol::NameBytes>& name)
{
    const devices::DeviceState& state = device.believed;
    protocol::ShortFormSetRequest request;
    request.addressChanged = state.ipAddress != settings.ipAddress || state.netmask != settings.netmask;
    request.ipAddress = settings.ipAddress;
    request.macAddress = device.mac;
    request.netmask = settings.netmask;
    if (state.gateway != settings.gateway)
        request.gateway = settings.gateway;
    if (NameChanged(state, name))
        request.name = *name;
    if (state.ports.port1 != settings.port)
        request.port = settings.port;
    if (state.dns.dns1 != settings.dns1 || state.dns.dns2 != settings.dns2)
        request.dns = protocol::DnsServers{settings.dns1, settings.dns2};
    if (ModeChanged(state, settings.wantsDhcp))
        request.dhcp = *settings.wantsDhcp;
    return request;
}

} // namespace

QString AddressRefusal(const wire::Ipv4& address)
{
    if (address[3] == 0 || address[3] == 255)
        return QStringLiteral("it ends in 0 or 255");
    return UnusableDeviceAddressReason(address);
}

bool UsableDeviceAddress(const wire::Ipv4& address)
{
    return AddressRefusal(address).isEmpty();
}

QString AddressRefusalMessage(const wire::Ipv4& address)
{
    return QStringLiteral("no device can use the IP address %1 (%2)")
        .arg(protocol::DottedDecimal(address), AddressRefusal(address));
}

QString NetmaskRefusalMessage(const wire::Ipv4& netmask)
{
    return QStringLiteral("%1 is no netmask a device can use: it must be a prefix of /1 to /30")
        .arg(protocol::DottedDecimal(netmask));
}

bool UsableNetmask(const wire::Ipv4& netmask)
{
    const std::uint32_t bits = wire::Ipv4Key(netmask);
    const int prefix = std::popcount(bits);
    return prefix >= 1 && prefix <= 30 && bits == ~std::uint32_t{0} << (32 - prefix);
}

QString NameRefusalMessage(const QString& name)
{
    return QStringLiteral("the name \"%1\" takes %2 bytes of UTF-8; a device keeps at most %3")
        .arg(protocol::DisplayableText(name))
        .arg(name.toUtf8().size())
        .arg(protocol::kNameSize);
}

QString SharedMacMessage(const std::array<wire::Ipv4, 2>& sources)
{
    return QStringLiteral("%1 and %2 both answer with its MAC address, so a change would reach both")
        .arg(protocol::DottedDecimal(sources[0]), protocol::DottedDecimal(sources[1]));
}

QString DeviceLabel(const devices::Device& device)
{
    const QString mac = protocol::MacText(device.mac).toUpper();
    // The name the device itself last gave, not one that was only sent to it.
    const QString name = protocol::DisplayableText(protocol::NameText(device.lastReport.name));
    return name.isEmpty() ? mac : QStringLiteral("%1 (%2)").arg(name, mac);
}

bool NameFits(const QString& name)
{
    return static_cast<std::size_t>(name.toUtf8().size()) <= protocol::kNameSize;
}

bool NeedsSubnetConfirmation(const NewSettings& settings)
{
    if (settings.gateway == wire::Ipv4{})
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if ((settings.ipAddress[i] & settings.netmask[i]) != (settings.gateway[i] & settings.netmask[i]))
            return true;
    return false;
}

SubmitOutcome SubmitSettings(devices::DeviceStore& devices, const std::optional<wire::MacAddress>& device,
                             const NewSettings& settings, const SubmitQuestions& questions,
                             std::span<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer,
                             const BeforeSending& beforeSending)
{
    if (!UsableDeviceAddress(settings.ipAddress))
        return SubmitOutcome::UnusableAddress;
    if (!UsableNetmask(settings.netmask))
        return SubmitOutcome::UnusableNetmask;
    if (settings.name && !NameFits(*settings.name))
        return SubmitOutcome::NameTooLong;
    if (NeedsSubnetConfirmation(settings) && !questions.gatewayOutsideSubnet())
        return SubmitOutcome::Declined;
    std::fill(sendBuffer.begin(), sendBuffer.end(), std::uint8_t{0});

    std::optional<protocol::NameBytes> name;
    if (settings.name)
        name = protocol::EncodeDeviceName(*settings.name);
    const std::optional<devices::Device> current = device ? devices.Find(*device) : std::nullopt;
    if (!current)
        return SubmitOutcome::NoDevice;
    if (current->remembered)
        return SubmitOutcome::Missing;
    if (NothingChanged(current->believed, settings, name))
        return SubmitOutcome::NothingChanged;
    if (current->macSharedBy)
        return SubmitOutcome::MacShared;
    if (current->believed.ipAddress != settings.ipAddress)
        if (const std::optional<devices::Device> holder = devices.HolderOf(settings.ipAddress, current->mac))
            if (!questions.addressHeld(*holder))
                return SubmitOutcome::AddressHeld;
    if (!discovery::CanSendSetRequest(current->card))
        return SubmitOutcome::SiteUnreachable;
    const protocol::ShortFormSetRequest request = ChangesOf(*current, settings, name);
    // What was sent is what this program now holds true, so the same edit again sends nothing.
    if (!devices.TakeSent(request))
        return SubmitOutcome::NoDevice;
    const auto packet = sendBuffer.first<protocol::kShortFormRequestSize>();
    protocol::BuildShortFormSetRequest(packet, request);
    if (beforeSending)
        beforeSending(request);
    discovery::SendSetRequest(packet, current->card);
    return SubmitOutcome::Sent;
}

namespace {

QString ModeText(const devices::Device& device)
{
    if (!device.believed.hasDhcp && (device.protocols & devices::kAnsweredLongForm) == 0)
        return QStringLiteral("unknown");
    return device.believed.dhcpEnabled ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

SentChanges ChangesSent(const devices::Device& device, const protocol::ShortFormSetRequest& request)
{
    const devices::DeviceState& before = device.believed;
    SentChanges changes;
    const auto field = [&changes](const char* name, const QString& from, const QString& to) {
        if (from == to)
            return;
        changes.before.insert(QLatin1String(name), from);
        changes.after.insert(QLatin1String(name), to);
    };
    using protocol::DottedDecimal;
    if (request.addressChanged) {
        field("ip", DottedDecimal(before.ipAddress), DottedDecimal(request.ipAddress));
        field("netmask", DottedDecimal(before.netmask), DottedDecimal(request.netmask));
    }
    if (request.gateway)
        field("gateway", DottedDecimal(before.gateway), DottedDecimal(*request.gateway));
    if (request.name)
        field("name", protocol::NameText(before.name), protocol::NameText(*request.name));
    if (request.port)
        field("port", QString::number(before.ports.port1), QString::number(*request.port));
    if (request.dns) {
        field("dns1", DottedDecimal(before.dns.dns1), DottedDecimal(request.dns->dns1));
        field("dns2", DottedDecimal(before.dns.dns2), DottedDecimal(request.dns->dns2));
    }
    if (request.dhcp)
        field("dhcp", ModeText(device), *request.dhcp ? QStringLiteral("on") : QStringLiteral("off"));
    return changes;
}

} // namespace quillon::commands
