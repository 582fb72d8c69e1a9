#pragma once

#include "SimulatedDevice.h"

#include <QString>

#include <optional>
#include <vector>

namespace quillon::devsim {

// Reads {"devices": [ {...}, ... ]}. Every key is optional; see SimulatedDevice for defaults.
//   mac, ip, netmask, gateway, dns1, dns2: text ("00:1a:2b:3c:4d:5e", "192.168.1.20")
//   name, interface: text; port1, port2: numbers; dhcp: true/false
//   protocols: ["short", "long"]; shortLength: 50/60/69/70...; longCode: 1/2/3
//   confirm: as ParseConfirmation reads it
// Sets `error` and returns nothing when the file cannot be used.
std::optional<std::vector<SimulatedDevice>> LoadDevices(const QString& path, QString& error);

// "notice", "answer", "none", "silent" or "stale"; nothing for any other text.
std::optional<Confirmation> ParseConfirmation(const QString& text);

// `count` devices with distinct MAC addresses, addresses and names, spread over every reply
// length, both DHCP modes and both long-form reply codes 1 and 2.
std::vector<SimulatedDevice> GenerateDevices(int count);

} // namespace quillon::devsim
