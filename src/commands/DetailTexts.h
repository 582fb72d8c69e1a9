#pragma once

#include "devices/Device.h"
#include "platform/Interfaces.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <vector>

namespace quillon::commands {

// The texts of the list's detail columns, as the window shows them.
QString ModeText(devices::AddressMode mode);  // "DHCP", "Static" or "—"
QString PortText(std::int32_t port);          // empty for 0, the port never told
QString CardText(unsigned card, const std::vector<platform::BroadcastInterface>& cards); // its name; empty when unknown
// "14:02:33" for a time of `today`, "2026-12-06 14:02" for one before; "offline since 14:02" for
// a device taken for offline; "missing since 2026-11-30 09:12" for one listed from the site's
// memory (when it was last seen there); empty before the device was ever seen.
QString LastSeenText(const devices::RowDetails& details, QDate today);
QString TimeText(std::chrono::system_clock::time_point time, QDate today, bool withSeconds);

} // namespace quillon::commands
