#include "commands/RowHint.h"
#include "protocol/DeviceTexts.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace quillon::commands {

namespace {

// "7", "7 and 9", "3, 7 and 9".
QString NumberList(std::span<const int> numbers)
{
    std::vector<int> sorted(numbers.begin(), numbers.end());
    std::sort(sorted.begin(), sorted.end());
    QStringList texts;
    for (const int number : sorted)
        texts << QString::number(number);
    const QString last = texts.takeLast();
    return texts.isEmpty() ? last : texts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace

RowHint DescribeRow(const std::optional<ListedDevice>& device, std::span<const int> sameAddressRows)
{
    RowHint hint;
    QStringList paragraphs;
    if (device && !device->inCardSubnet.value_or(true)) {
        hint.outsideCardSubnet = true;
        paragraphs << QStringLiteral("%1 is not in %2 of %3, so its web page will not open;\n"
                                "give it an address in that subnet")
                     .arg(protocol::DottedDecimal(device->ipAddress), device->cardSubnet, device->cardName);
    }
    if (!sameAddressRows.empty()) {
        hint.sharesAddress = true;
        const QString devices = sameAddressRows.size() == 1 ? QStringLiteral("device") : QStringLiteral("devices");
        paragraphs << QStringLiteral("The %1 numbered %2 answered with this address too;\n"
                                "give each device an address of its own")
                     .arg(devices, NumberList(sameAddressRows));
    }
    hint.text = paragraphs.join(QLatin1Char('\n'));
    return hint;
}

} // namespace quillon::commands
