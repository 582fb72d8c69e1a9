#include "commands/Confirmation.h"

#include "protocol/DeviceTexts.h"

namespace quillon::commands {

namespace {

// A long-form reply always tells the mode (it says "DHCP" or nothing), a short one only when
// it is long enough to carry it.
bool TellsMode(const devices::Device& device)
{
    return device.believed.hasDhcp || (device.protocols & devices::kAnsweredLongForm) != 0;
}

} // namespace

bool DeviceConfirms(const protocol::ShortFormSetRequest& request, const devices::Device& device)
{
    const devices::DeviceState& state = device.believed;
    const bool toDhcp = request.dhcp.value_or(false);
    if (request.dhcp && (!TellsMode(device) || state.dhcpEnabled != *request.dhcp))
        return false;
    if (request.name && !protocol::SameName(state.name, *request.name))
        return false;
    if (request.port && state.ports.port1 != *request.port)
        return false;
    if (toDhcp)
        return true;
    if (request.addressChanged && !(state.ipAddress == request.ipAddress && state.netmask == request.netmask))
        return false;
    if (request.gateway && state.gateway != *request.gateway)
        return false;
    if (request.dns && (!state.hasDns || state.dns.dns1 != request.dns->dns1 || state.dns.dns2 != request.dns->dns2))
        return false;
    return true;
}

ConfirmationWatch::ConfirmationWatch(const devices::DeviceStore& devices, const protocol::ShortFormSetRequest& request)
    : devices_(devices), request_(request)
{
    if (const std::optional<devices::Device> device = devices_.Find(request_.macAddress))
        reportsBefore_ = device->reports;
}

bool ConfirmationWatch::Confirmed()
{
    const std::optional<devices::Device> device = devices_.Find(request_.macAddress);
    return device && device->reports > reportsBefore_ && DeviceConfirms(request_, *device);
}

} // namespace quillon::commands
