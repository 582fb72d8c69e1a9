#include "commands/Submit.h"

#include "discovery/Sender.h"
#include "protocol/ShortForm.h"

#include <QList>
#include <QStringView>

#include <algorithm>
#include <mutex>

namespace quillon::commands {

using devices::DeviceRecord;
using devices::HoldsAddress;

namespace {

template <std::size_t N>
void Store(std::array<std::uint8_t, N>& field, const wire::Ipv4& address)
{
    std::copy(address.begin(), address.end(), field.begin());
}

// Names compare as texts of at most 18 bytes that end at the first zero byte.
bool SameName(const DeviceRecord& record, const NameBytes& name)
{
    const auto recorded = std::span(record.name).first<protocol::kNameSize>();
    const std::size_t length = wire::BoundedTextLength(recorded);
    return length == wire::BoundedTextLength(name) && std::equal(name.begin(), name.begin() + length, recorded.begin());
}

bool NameChanged(const DeviceRecord& record, const std::optional<NameBytes>& name)
{
    return name && !SameName(record, *name);
}

bool ModeChanged(const DeviceRecord& record, const std::optional<bool>& wantsDhcp)
{
    return wantsDhcp && *wantsDhcp != (record.dhcpEnabled != 0);
}

bool NothingChanged(const DeviceRecord& record, const NewSettings& settings, const std::optional<NameBytes>& name)
{
    return HoldsAddress(record.ipAddress, settings.ipAddress) && HoldsAddress(record.gateway, settings.gateway) &&
           !NameChanged(record, name) && HoldsAddress(record.netmask, settings.netmask) &&
           HoldsAddress(record.dns1, settings.dns1) && HoldsAddress(record.dns2, settings.dns2) && record.port1 == settings.port &&
           !ModeChanged(record, settings.wantsDhcp);
}

// Writes the changed values into the record and names them in the request.
protocol::ShortFormSetRequest TakeChanges(DeviceRecord& record, const NewSettings& settings,
                                          const std::optional<NameBytes>& name)
{
    protocol::ShortFormSetRequest request;
    request.addressChanged = !HoldsAddress(record.ipAddress, settings.ipAddress) || !HoldsAddress(record.netmask, settings.netmask);
    Store(record.ipAddress, settings.ipAddress);
    Store(record.netmask, settings.netmask);
    std::copy_n(record.ipAddress.begin(), 4, request.ipAddress.begin());
    std::copy_n(record.macAddress.begin(), 6, request.macAddress.begin());
    std::copy_n(record.netmask.begin(), 4, request.netmask.begin());
    if (!HoldsAddress(record.gateway, settings.gateway)) {
        Store(record.gateway, settings.gateway);
        request.gateway = settings.gateway;
    }
    if (NameChanged(record, name)) {
        wire::CopyBoundedText(std::span(record.name).first<protocol::kNameSize>(), *name);
        request.name = *name;
    }
    if (record.port1 != settings.port) {
        record.port1 = settings.port;
        request.port = settings.port;
    }
    if (!HoldsAddress(record.dns1, settings.dns1) || !HoldsAddress(record.dns2, settings.dns2)) {
        Store(record.dns1, settings.dns1);
        Store(record.dns2, settings.dns2);
        request.dns = protocol::DnsServers{settings.dns1, settings.dns2};
    }
    // The record keeps its addressing mode until the device reports the new one.
    if (ModeChanged(record, settings.wantsDhcp))
        request.dhcp = *settings.wantsDhcp;
    return request;
}

} // namespace

NameBytes EncodeDeviceName(const QString& name)
{
    NameBytes bytes{};
    std::size_t used = 0;
    for (const char32_t codePoint : name.toUcs4()) {
        const QByteArray character = QString::fromUcs4(&codePoint, 1).toUtf8();
        if (used + static_cast<std::size_t>(character.size()) > bytes.size())
            break;
        std::copy(character.begin(), character.end(), bytes.begin() + static_cast<std::ptrdiff_t>(used));
        used += static_cast<std::size_t>(character.size());
    }
    return bytes;
}

bool UsableDeviceAddress(const wire::Ipv4& address)
{
    return address[3] != 0 && address[3] != 255;
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

SubmitOutcome SubmitSettings(devices::DeviceTable& table, const NewSettings& settings,
                             const std::function<bool()>& confirmSubnet,
                             std::span<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer,
                             protocol::ShortFormSetRequest* sent)
{
    if (!UsableDeviceAddress(settings.ipAddress))
        return SubmitOutcome::UnusableAddress;
    if (NeedsSubnetConfirmation(settings) && !confirmSubnet())
        return SubmitOutcome::Declined;
    std::fill(sendBuffer.begin(), sendBuffer.end(), std::uint8_t{0});

    std::optional<NameBytes> name;
    if (settings.name)
        name = EncodeDeviceName(*settings.name);
    protocol::ShortFormSetRequest request;
    {
        std::scoped_lock records(table.RecordsMutex());
        DeviceRecord* current = table.CurrentDevice();
        if (current == nullptr)
            return SubmitOutcome::NoDevice;
        if (NothingChanged(*current, settings, name))
            return SubmitOutcome::NothingChanged;
        request = TakeChanges(*current, settings, name);
    }
    const auto packet = sendBuffer.first<protocol::kShortFormRequestSize>();
    protocol::BuildShortFormSetRequest(packet, request);
    discovery::BroadcastShortForm(packet);
    if (sent != nullptr)
        *sent = request;
    return SubmitOutcome::Sent;
}

} // namespace quillon::commands
