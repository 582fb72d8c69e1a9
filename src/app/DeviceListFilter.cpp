#include "app/DeviceListFilter.h"

#include "app/DeviceListModel.h"
#include "protocol/DeviceTexts.h"

namespace quillon::app {

namespace {

// "203.0.113.20" for the list's "203.000.113.020": what a user types to find it.
QString WithoutLeadingZeros(const QString& address)
{
    QString plain;
    plain.reserve(address.size());
    bool atOctetStart = true;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address[i];
        const bool lastOfOctet = i + 1 == address.size() || address[i + 1] == u'.';
        if (atOctetStart && c == u'0' && !lastOfOctet)
            continue;
        plain += c;
        atOctetStart = c == u'.';
    }
    return plain;
}

} // namespace

DeviceListFilter::DeviceListFilter(DeviceListModel& rows, QObject* parent) : QSortFilterProxyModel(parent), rows_(rows)
{
    setSourceModel(&rows);
    setDynamicSortFilter(true);
}

void DeviceListFilter::SetText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    details_ = rows_.AllDetails();
    invalidateRowsFilter();
}

bool DeviceListFilter::Shows(int row) const
{
    if (text_.isEmpty())
        return true;
    const devices::DeviceRow& shown = rows_.Row(row);
    const auto contains = [this](const QString& text) { return text.contains(text_, Qt::CaseInsensitive); };
    if (contains(shown.nameText) || contains(shown.addressText) || contains(WithoutLeadingZeros(shown.addressText)))
        return true;
    const QString mac = MacOf(row);
    return contains(mac) || contains(QString(mac).remove(u':'));
}

bool DeviceListFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return !sourceParent.isValid() && Shows(sourceRow);
}

QString DeviceListFilter::MacOf(int row) const
{
    const auto at = static_cast<std::size_t>(rows_.Row(row).number) - 1;
    if (at < details_.size())
        return protocol::MacText(details_[at].mac);
    const std::optional<devices::RowDetails> details = rows_.Details(row);
    return details ? protocol::MacText(details->mac) : QString();
}

} // namespace quillon::app
