#include "app/DeviceListFilter.h"

#include "app/DeviceListModel.h"
#include "app/UiLock.h"

#include <array>

namespace quillon::app {

namespace {

// "203.0.113.20" for the list's "203.000.113.020", written into `plain`: what a user types to find
// it. Texts longer than an address are left as they are.
QStringView WithoutLeadingZeros(const QString& address, std::array<QChar, 16>& plain)
{
    if (address.size() > static_cast<qsizetype>(plain.size()))
        return address;
    std::size_t length = 0;
    bool atOctetStart = true;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address[i];
        const bool lastOfOctet = i + 1 == address.size() || address[i + 1] == u'.';
        if (atOctetStart && c == u'0' && !lastOfOctet)
            continue;
        plain[length++] = c;
        atOctetStart = c == u'.';
    }
    return QStringView(plain.data(), static_cast<qsizetype>(length));
}

// The MAC address as "00:1a:2b:3c:4d:5e", or without the colons, written into `text`.
QStringView MacText(const wire::MacAddress& mac, bool withColons, std::array<QChar, 17>& text)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::size_t length = 0;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (withColons && i > 0)
            text[length++] = u':';
        text[length++] = QLatin1Char(kDigits[mac[i] >> 4]);
        text[length++] = QLatin1Char(kDigits[mac[i] & 0xF]);
    }
    return QStringView(text.data(), static_cast<qsizetype>(length));
}

// Whether the row shows under `text`; `mac` is its device's, when known.
bool Matches(const QString& text, bool macWithColons, const devices::DeviceRow& row, const std::optional<wire::MacAddress>& mac)
{
    const auto contains = [&text](QStringView haystack) { return haystack.contains(text, Qt::CaseInsensitive); };
    std::array<QChar, 16> address{};
    if (contains(row.nameText) || contains(row.addressText) || contains(WithoutLeadingZeros(row.addressText, address)))
        return true;
    std::array<QChar, 17> macText{};
    return mac && contains(MacText(*mac, macWithColons, macText));
}

} // namespace

DeviceListFilter::DeviceListFilter(DeviceListModel& rows, QObject* parent) : QSortFilterProxyModel(parent), rows_(rows)
{
    setSourceModel(&rows);
    setDynamicSortFilter(true);
}

// The rows are matched on a thread of their own, the window drawing meanwhile, from a copy; the
// view then takes the new rows in one change of layout, far cheaper for it than rows that come and
// go range by range. A row listed or changed meanwhile is matched as the view asks for it.
void DeviceListFilter::SetText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    macWithColons_ = text.contains(u':');
    if (!text.isEmpty()) {
        const std::vector<devices::DeviceRow> rows = rows_.Rows();
        std::vector<Decision> decided;
        RunServingEvents([&, macWithColons = macWithColons_] {
            const std::vector<devices::RowDetails> details = rows_.AllDetails();
            decided.resize(details.size());
            for (const devices::DeviceRow& row : rows) {
                const auto at = static_cast<std::size_t>(row.number) - 1;
                if (at < details.size())
                    decided[at] = {row.nameText, row.addressText, Matches(text, macWithColons, row, details[at].mac), true};
            }
        });
        decided_ = std::move(decided);
    }
    invalidate();
    decided_.clear();
}

void DeviceListFilter::SetHideMissing(bool hide)
{
    if (hide == hideMissing_)
        return;
    hideMissing_ = hide;
    invalidate();
}

bool DeviceListFilter::Shows(int row) const
{
    if (hideMissing_) {
        const std::optional<devices::RowDetails> details = rows_.Details(row);
        if (details && details->missing)
            return false;
    }
    if (text_.isEmpty())
        return true;
    const devices::DeviceRow& shown = rows_.Row(row);
    const auto at = static_cast<std::size_t>(shown.number) - 1;
    if (at < decided_.size() && decided_[at].known && decided_[at].nameText == shown.nameText &&
        decided_[at].addressText == shown.addressText)
        return decided_[at].shown;
    const std::optional<devices::RowDetails> details = rows_.Details(row);
    return Matches(text_, macWithColons_, shown, details ? std::optional(details->mac) : std::nullopt);
}

bool DeviceListFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return !sourceParent.isValid() && Shows(sourceRow);
}

} // namespace quillon::app
