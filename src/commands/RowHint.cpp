#include "commands/RowHint.h"
#include "protocol/DeviceTexts.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace quillon::commands {

namespace {

// "Hall (00:1a:2b:3c:4d:01)", "A (…) and B (…)", "A (…), B (…), … and 19994 more".
QString TwinList(std::span<const ListedDevice> twins, std::size_t twinCount)
{
    QStringList texts;
    for (const ListedDevice& twin : twins.first(std::min(twins.size(), kNamedTwins)))
        texts << QStringLiteral("%1 (%2)").arg(protocol::DisplayableText(twin.name), protocol::MacText(twin.macAddress));
    const std::size_t unnamed = twinCount - static_cast<std::size_t>(texts.size());
    const QString last = unnamed > 0 ? QStringLiteral("%1 more").arg(unnamed) : texts.takeLast();
    return texts.isEmpty() ? last : texts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace

bool OutsideCardSubnet(const ListedDevice& device)
{
    return !device.inCardSubnet.value_or(true);
}

RowHint DescribeRow(const std::optional<ListedDevice>& device, std::span<const ListedDevice> twins,
                    std::size_t twinCount)
{
    RowHint hint;
    QStringList paragraphs;
    if (device && OutsideCardSubnet(*device)) {
        hint.outsideCardSubnet = true;
        paragraphs << QStringLiteral("%1 is not in %2 of %3, so its web page will not open;\n"
                                "give it an address in that subnet")
                     .arg(protocol::DottedDecimal(device->ipAddress), device->cardSubnet,
                          protocol::DisplayableText(device->cardName));
    }
    if (device && device->macSharedBy) {
        hint.sharesMac = true;
        paragraphs << QStringLiteral("%1 and %2 both answer with the MAC address %3, so a change would reach both;\n"
                                     "Quillon changes neither until one of them is unplugged or given another MAC address")
                          .arg(protocol::DottedDecimal((*device->macSharedBy)[0]),
                               protocol::DottedDecimal((*device->macSharedBy)[1]), protocol::MacText(device->macAddress));
    }
    if (twinCount > 0) {
        hint.sharesAddress = true;
        paragraphs << QStringLiteral("%1 answered with this address too;\n"
                                     "give each device an address of its own")
                          .arg(TwinList(twins, twinCount));
    }
    hint.text = paragraphs.join(QLatin1Char('\n'));
    return hint;
}

} // namespace quillon::commands
