#pragma once

#include "devices/DeviceTable.h"
#include "protocol/Protocol.h"
#include "protocol/Wire.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace quillon::commands {

using NameBytes = std::array<std::uint8_t, protocol::kNameSize>;

// The name as UTF-8, as many whole characters as fit in 18 bytes, zero-padded.
NameBytes EncodeDeviceName(const QString& name);

// What the user put into the settings fields, read back and checked for form already.
struct NewSettings {
    QString name;
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    wire::Ipv4 dns1{};
    wire::Ipv4 dns2{};
    std::uint16_t port = 0;
    bool wantsDhcp = false;
};

enum class SubmitOutcome {
    Sent,
    UnusableAddress, // the last octet is 0 or 255
    Declined,        // the user did not confirm a gateway outside the subnet
    NoDevice,
    NothingChanged,
};

// True when the gateway lies outside the address's subnet and is not 0.0.0.0 ("no gateway"):
// then the user is asked before anything is sent.
bool NeedsSubnetConfirmation(const NewSettings& settings);

// Checks the new settings, writes the changed ones into the current device's record and
// broadcasts one set request carrying exactly the changed groups, built in `sendBuffer`.
// `confirmSubnet` asks the user (true = go on); it is called before any record is touched.
SubmitOutcome SubmitSettings(devices::DeviceTable& table, const NewSettings& settings,
                             const std::function<bool()>& confirmSubnet,
                             std::span<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer);

} // namespace quillon::commands
