#pragma once

#include "devices/DeviceTable.h"
#include "protocol/Wire.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quillon::commands {

// What the window shows of the selected device, copied from its record in one consistent step.
struct DeviceSettings {
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

// A left click on the row numbered `rowNumber` (0 when the click hit no row): makes that row's
// device the current device and returns its settings. Nothing, and no change, when the number
// is below 1 or the list is empty; a number without a device keeps the current device.
std::optional<DeviceSettings> SelectDevice(devices::DeviceTable& table, int rowNumber, int rowCount);

// The current device's web address and web port, read consistently; nothing without one.
struct WebTarget {
    wire::Ipv4 ipAddress{};
    std::int32_t port1 = 0;
};
std::optional<WebTarget> CurrentWebTarget(devices::DeviceTable& table);

// "http://a.b.c.d", with ":port" unless the port is 80 or outside 1 to 65535.
QString DeviceWebAddress(const WebTarget& target);

// Why no device on the LAN can have `address`, so that its page must not be opened: a reply
// claiming this computer's own address would have the browser open a local service. Empty for
// an address a device can have (link-local 169.254/16 included, which cameras fall back to).
QString UnusableDeviceAddressReason(const wire::Ipv4& address);

// The double click: opens the current device's web page. For an address no device on the LAN
// can have it opens nothing and says why on standard error; the text is returned for the window.
QString OpenCurrentDeviceWebPage(devices::DeviceTable& table);
// The same for the device with `mac`, which stays as it is, current or not.
QString OpenDeviceWebPage(devices::DeviceTable& table, const wire::MacAddress& mac);

} // namespace quillon::commands
