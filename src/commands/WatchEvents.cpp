#include "commands/WatchEvents.h"

#include "protocol/DeviceTexts.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillon::commands {

namespace {

const char* KindName(WatchEvent::Kind kind)
{
    switch (kind) {
    case WatchEvent::Kind::New:
        return "new";
    case WatchEvent::Kind::Changed:
        return "changed";
    case WatchEvent::Kind::Offline:
        return "offline";
    case WatchEvent::Kind::Online:
        break;
    }
    return "online";
}

void AddChanges(const ListedDevice& before, const ListedDevice& now, std::vector<WatchEvent>& events)
{
    const QJsonObject old = DeviceJson(before);
    const QJsonObject current = DeviceJson(now);
    for (const char* field : kReportedSettings) {
        const QString key = QLatin1String(field);
        if (old.value(key) != current.value(key))
            events.push_back({WatchEvent::Kind::Changed, now, key, ReportedSetting(old, field), ReportedSetting(current, field)});
    }
}

} // namespace

std::vector<WatchEvent> WatchEvents(const std::vector<ListedDevice>& before, const std::vector<ListedDevice>& now)
{
    QHash<std::uint64_t, const ListedDevice*> known;
    known.reserve(static_cast<qsizetype>(before.size()));
    for (const ListedDevice& device : before)
        known.insert(wire::MacKey(device.macAddress), &device);
    std::vector<WatchEvent> events;
    for (const ListedDevice& device : now) {
        const ListedDevice* was = known.value(wire::MacKey(device.macAddress));
        if (was == nullptr) {
            events.push_back({WatchEvent::Kind::New, device, {}, {}, {}});
            continue;
        }
        if (!was->offlineSince && device.offlineSince)
            events.push_back({WatchEvent::Kind::Offline, device, {}, {}, {}});
        else if (was->offlineSince && !device.offlineSince)
            events.push_back({WatchEvent::Kind::Online, device, {}, {}, {}});
        AddChanges(*was, device, events);
    }
    return events;
}

QString WatchEventText(const WatchEvent& event, const QDateTime& when)
{
    QString line = QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(when.toString(QStringLiteral("HH:mm:ss")), QLatin1String(KindName(event.kind)),
                            protocol::MacText(event.device.macAddress), protocol::DottedDecimal(event.device.ipAddress),
                            protocol::DisplayableText(event.device.name));
    if (event.kind == WatchEvent::Kind::Changed)
        line += QStringLiteral(" %1 %2 \u2192 %3")
                    .arg(event.field, protocol::DisplayableText(event.oldValue), protocol::DisplayableText(event.newValue));
    return line;
}

QByteArray WatchEventJson(const WatchEvent& event, const QDateTime& when)
{
    QJsonObject object = DeviceJson(event.device);
    object.insert(QStringLiteral("time"), when.toUTC().toString(Qt::ISODate));
    object.insert(QStringLiteral("event"), QLatin1String(KindName(event.kind)));
    if (event.kind == WatchEvent::Kind::Changed) {
        object.insert(QStringLiteral("field"), event.field);
        object.insert(QStringLiteral("old"), event.oldValue);
        object.insert(QStringLiteral("new"), event.newValue);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace quillon::commands
