#pragma once

#include "commands/DeviceListing.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

namespace quillon::commands {

// What a list that keeps searching saw happen to one device.
struct WatchEvent {
    enum class Kind { New, Changed, Offline, Online };
    Kind kind = Kind::New;
    ListedDevice device; // as it is now
    QString field;       // Changed: the field, named as list's JSON names it
    QString oldValue;
    QString newValue;
};

// What happened between two listings of the devices, compared by MAC address: devices new in
// `now`, each field of list's JSON that changed (the address, netmask, gateway, DNS servers,
// name, web port, mode, card), and devices gone offline or back. In the order of `now`.
std::vector<WatchEvent> WatchEvents(const std::vector<ListedDevice>& before, const std::vector<ListedDevice>& now);

// "14:02:33 changed 00:1a:2b:3c:4d:01 Lobby ip 203.0.113.20 → 203.0.113.40", a line for people,
// with the name as a terminal may show it.
QString WatchEventText(const WatchEvent& event, const QDateTime& when);
// The device as list's JSON has it, with "time", "event" and, for a change, "field", "old" and
// "new"; one compact line.
QByteArray WatchEventJson(const WatchEvent& event, const QDateTime& when);

} // namespace quillon::commands
