#pragma once

#include "devices/DeviceTable.h"
#include "protocol/ShortForm.h"

#include <cstdint>

namespace quillon::commands {

// True when what this program holds of the device shows every change `request` asked for: the address and
// netmask when the address group was sent, the gateway, name, web port and DNS servers when
// theirs were, the addressing mode when it was. A device asked to take its address by DHCP
// gets its address, netmask, gateway and DNS servers from the DHCP server, so then only DHCP
// on (with the name and port, if asked) is compared, whatever address it now has. DNS servers
// and the mode count only when the device's replies carry them.
bool DeviceConfirms(const protocol::ShortFormSetRequest& request, const devices::Device& device);

// Waits, by polling, for the device's word on a set request just sent: its update notice or
// its next device answer. The table took the new values when Submit sent them, so only a report
// entered after the request counts; the device is looked up by its MAC address, so a device
// that took a new address is found there.
class ConfirmationWatch {
public:
    // Right after SubmitSettings sent `request`: reports entered so far do not count.
    ConfirmationWatch(const devices::DeviceStore& devices, const protocol::ShortFormSetRequest& request);

    // After a Search: every device is new, so any report in the table counts.
    void TableWasEmptied() { reportsBefore_ = 0; }

    // True once a report entered after the request confirms every change.
    bool Confirmed();

private:
    const devices::DeviceStore& devices_;
    protocol::ShortFormSetRequest request_;
    std::uint32_t reportsBefore_ = 0;
};

} // namespace quillon::commands
