#include "commands/DetailTexts.h"

#include <QCoreApplication>

#include <algorithm>

namespace quillon::commands {

QString ModeText(devices::AddressMode mode)
{
    switch (mode) {
    case devices::AddressMode::Dhcp:
        return QStringLiteral("DHCP");
    case devices::AddressMode::Static:
        return QStringLiteral("Static");
    case devices::AddressMode::Unknown:
        break;
    }
    return QStringLiteral("\u2014");
}

QString PortText(std::int32_t port)
{
    return port == 0 ? QString() : QString::number(port);
}

QString CardText(unsigned card, const std::vector<platform::BroadcastInterface>& cards)
{
    if (platform::IsRemoteCard(card))
        return QString::fromStdString(platform::InterfaceName(card));
    const auto found = std::find_if(cards.begin(), cards.end(), [card](const auto& known) { return known.index == card; });
    return card == 0 || found == cards.end() ? QString() : QString::fromStdString(found->name);
}

QString TimeText(std::chrono::system_clock::time_point time, QDate today, bool withSeconds)
{
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(milliseconds);
    if (local.date() != today)
        return local.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return local.toString(withSeconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

QString LastSeenText(const devices::RowDetails& details, QDate today)
{
    if (details.missing)
        return QCoreApplication::translate("DetailTexts", "missing since %1").arg(TimeText(details.lastSeen, today, false));
    if (details.offlineSince)
        return QCoreApplication::translate("DetailTexts", "offline since %1").arg(TimeText(*details.offlineSince, today, false));
    if (details.lastSeen == std::chrono::system_clock::time_point{})
        return {};
    return TimeText(details.lastSeen, today, true);
}

} // namespace quillon::commands
