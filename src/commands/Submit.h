#pragma once

#include "devices/DeviceTable.h"
#include "protocol/Protocol.h"
#include "protocol/ShortForm.h"
#include "protocol/Wire.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace quillon::commands {

// What the user put into the settings fields, read back and checked for form already.
struct NewSettings {
    // Only a name the user edited: a name left as it was shown is never sent, so a name the
    // window cannot show exactly (not UTF-8, cut inside a character) is never rewritten.
    std::optional<QString> name;
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    wire::Ipv4 dns1{};
    wire::Ipv4 dns2{};
    std::uint16_t port = 0;
    // Empty when the device has not told its addressing mode (the switch is hidden): then the
    // mode is neither compared nor sent, so only a click of the user ever changes it.
    std::optional<bool> wantsDhcp;
};

enum class SubmitOutcome {
    Sent,
    UnusableAddress, // no device can use the address (AddressRefusal)
    UnusableNetmask, // not a netmask of /1 to /30
    NameTooLong,     // over 18 bytes of UTF-8: the device would keep a cut name
    Declined,        // the user did not confirm a gateway outside the subnet
    AddressHeld,     // the user did not confirm an address another listed device has
    MacShared,       // two hosts answer with the device's MAC address: the request would reach both
    Missing,         // listed from the site's memory, it has not answered: nothing would confirm
    SiteUnreachable, // found at a remote site whose relay is not running: nothing would carry it
    NoDevice,
    NothingChanged,
};

// Why no device can use `address`: its last octet is 0 or 255, or it is one no device on the LAN
// can have (UnusableDeviceAddressReason). Empty when a device can use it.
QString AddressRefusal(const wire::Ipv4& address);
bool UsableDeviceAddress(const wire::Ipv4& address);
// True for a netmask a device can use: a contiguous prefix of /1 to /30.
bool UsableNetmask(const wire::Ipv4& netmask);
// "no device can use the IP address 127.0.0.9 (…)" and "1.2.3.4 is no netmask …": what is
// said when Submit refuses them.
QString AddressRefusalMessage(const wire::Ipv4& address);
QString NetmaskRefusalMessage(const wire::Ipv4& netmask);
// "the name … takes 21 bytes of UTF-8; a device keeps at most 18".
QString NameRefusalMessage(const QString& name);
// "10.0.0.5 and 10.0.0.9 both answer with its MAC address …".
QString SharedMacMessage(const std::array<wire::Ipv4, 2>& sources);
// "Hall (00:1a:2b:3c:4d:01)", or the MAC address alone for a device that gave no name.
QString DeviceLabel(const devices::Device& device);
// True when the name takes at most 18 bytes of UTF-8.
bool NameFits(const QString& name);

// True when the gateway lies outside the address's subnet and is not 0.0.0.0 ("no gateway"):
// then the user is asked before anything is sent.
bool NeedsSubnetConfirmation(const NewSettings& settings);

// What Submit asks the user before it sends; each answers true to go on.
struct SubmitQuestions {
    // The gateway lies outside the new address's subnet.
    std::function<bool()> gatewayOutsideSubnet;
    // The new address is one `holder`, another listed device, has already.
    std::function<bool(const devices::Device& holder)> addressHeld;
};

// Called with the set request right before it goes out, so that whoever waits for the device's
// word is listening before the device can answer.
using BeforeSending = std::function<void(const protocol::ShortFormSetRequest&)>;

// Checks the new settings for the device with the MAC address `device` (none: no device was
// chosen), has the table take the changed ones and broadcasts one set request carrying exactly
// the changed groups, built in `sendBuffer`. The questions are asked before anything is taken.
SubmitOutcome SubmitSettings(devices::DeviceStore& devices, const std::optional<wire::MacAddress>& device,
                             const NewSettings& settings, const SubmitQuestions& questions,
                             std::span<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer,
                             const BeforeSending& beforeSending = {});

// Each field a set request changes, as the device had it before Submit and as sent, named as
// quillonctl set names them: what a journal keeps.
struct SentChanges {
    QJsonObject before;
    QJsonObject after;
};
SentChanges ChangesSent(const devices::Device& before, const protocol::ShortFormSetRequest& request);

} // namespace quillon::commands
