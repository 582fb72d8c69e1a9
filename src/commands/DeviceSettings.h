#pragma once

#include "devices/DeviceTable.h"
#include "protocol/Wire.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quillon::commands {

// What the window shows of the selected device, copied from the table in one consistent step.
struct DeviceSettings {
    wire::MacAddress mac{};
    QString nameText;
    std::int32_t port1 = 0;
    QString macText; // "00:1a:2b:3c:4d:5e"
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    wire::Ipv4 dns1{};
    wire::Ipv4 dns2{};
    bool hasDns = false;
    bool hasDhcp = false;
    bool dhcpEnabled = false;
};

// A left click on the row numbered `rowNumber` (0 when the click hit no row): the row's device
// becomes the `chosen` one, and the chosen device's settings return. Nothing, and no change, when
// the number is below 1 or the list is empty; a number without a device keeps the device chosen
// before.
std::optional<DeviceSettings> SelectDevice(const devices::DeviceStore& devices, int rowNumber, int rowCount,
                                           std::optional<wire::MacAddress>& chosen);

// A device's web address and web port.
struct WebTarget {
    wire::Ipv4 ipAddress{};
    std::int32_t port1 = 0;
};

// "http://a.b.c.d", with ":port" unless the port is 80 or outside 1 to 65535.
QString DeviceWebAddress(const WebTarget& target);

// Why no device on the LAN can have `address`, so that its page must not be opened: a reply
// claiming this computer's own address would have the browser open a local service. Empty for
// an address a device can have (link-local 169.254/16 included, which cameras fall back to).
QString UnusableDeviceAddressReason(const wire::Ipv4& address);

// Opens the web page of the device with `mac` (the double click, and the list's menu). For an
// address no device on the LAN can have it opens nothing and says why on standard error; that,
// or that no browser could open it, is returned for the window (empty when the page opened).
QString OpenDeviceWebPage(const devices::DeviceStore& devices, const wire::MacAddress& mac);

} // namespace quillon::commands
