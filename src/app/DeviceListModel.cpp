#include "app/DeviceListModel.h"

#include "commands/DetailTexts.h"
#include "protocol/DeviceTexts.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

#include <algorithm>

namespace quillon::app {

using devices::Column;

DeviceListModel::DeviceListModel(QObject* parent) : QAbstractTableModel(parent)
{
    const std::pair<Column, QString> detailTitles[] = {
        {Column::Mac, tr("MAC")},   {Column::Port, tr("Port")},           {Column::Mode, tr("Mode")},
        {Column::Card, tr("Card")}, {Column::LastSeen, tr("Last seen")},
    };
    for (const auto& [column, title] : detailTitles)
        titles_[static_cast<int>(column)] = title;
}

int DeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : devices::kColumnCount;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto column = static_cast<Column>(index.column());
    const auto text = [&] {
        return index.column() < devices::kTextColumnCount ? protocol::DisplayableText(Row(index.row()).Text(column))
                                                          : DetailText(index.row(), column);
    };
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return text();
    case Qt::ToolTipRole:
        return ToolTip(index.row(), text());
    case Qt::AccessibleDescriptionRole: {
        const QString hint = ToolTip(index.row(), {});
        return hint.isEmpty() ? QVariant() : hint;
    }
    case Qt::ForegroundRole: {
        const std::optional<devices::RowDetails> details = Details(index.row());
        if (details && (details->offlineSince || details->missing))
            return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    }
    case Qt::DecorationRole:
        return column == Column::Name ? Marker(index.row()) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= devices::kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return titles_[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void DeviceListModel::SetColumnTitles(const QString& nameTitle, const QString& addressTitle)
{
    titles_[static_cast<int>(Column::Name)] = nameTitle;
    titles_[static_cast<int>(Column::Address)] = addressTitle;
    emit headerDataChanged(Qt::Horizontal, 0, devices::kColumnCount - 1);
}

void DeviceListModel::ReadDevicesFrom(const devices::DeviceStore& devices)
{
    devices_ = &devices;
}

void DeviceListModel::Apply(devices::RowChanges changes)
{
    if (changes.reset) {
        Reset(std::move(changes.rows), changes.reordered);
        return;
    }
    const auto& steps = changes.steps;
    for (std::size_t step = 0; step < steps.size();) {
        if (steps[step].kind == devices::RowChange::Kind::Insert && steps[step].row == rowCount()) {
            step = AppendRun(steps, step);
            continue;
        }
        Replay(steps[step++]);
    }
    RemarkSharedAddresses();
}

void DeviceListModel::Reset(std::vector<devices::DeviceRow> rows, bool reordered)
{
    beginResetModel();
    rows_ = std::move(rows);
    if (!reordered) // the same rows show the same addresses
        IndexAddresses();
    endResetModel();
}

std::size_t DeviceListModel::AppendRun(const std::vector<devices::RowChange>& steps, std::size_t step)
{
    std::size_t end = step;
    for (int next = rowCount(); end < steps.size() && steps[end].kind == devices::RowChange::Kind::Insert &&
                                steps[end].row == next;
         ++end, ++next) {
    }
    beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(end - step) - 1);
    for (std::size_t i = step; i < end; ++i) {
        rows_.push_back(steps[i].texts);
        AddAddress(steps[i].texts);
    }
    endInsertRows();
    return end;
}

void DeviceListModel::Replay(const devices::RowChange& change)
{
    const auto at = rows_.begin() + change.row;
    switch (change.kind) {
    case devices::RowChange::Kind::Insert:
        beginInsertRows({}, change.row, change.row);
        rows_.insert(at, change.texts);
        AddAddress(change.texts);
        endInsertRows();
        break;
    case devices::RowChange::Kind::Delete:
        emit RowLeaving(change.row);
        beginRemoveRows({}, change.row, change.row);
        RemoveAddress(*at);
        rows_.erase(at);
        endRemoveRows();
        break;
    case devices::RowChange::Kind::Replace:
        RemoveAddress(*at);
        *at = change.texts;
        AddAddress(*at);
        emit dataChanged(index(change.row, 0), index(change.row, devices::kColumnCount - 1));
        break;
    }
}

void DeviceListModel::IndexAddresses()
{
    rowByAddress_.clear();
    sharedAddressRows_.clear();
    rowByAddress_.reserve(static_cast<qsizetype>(rows_.size()));
    for (const devices::DeviceRow& row : rows_)
        AddAddress(row);
    remarkedAddresses_.clear(); // the view reads every row anew
}

void DeviceListModel::AddAddress(const devices::DeviceRow& row)
{
    const auto single = rowByAddress_.constFind(row.addressText);
    if (single == rowByAddress_.cend()) {
        rowByAddress_.insert(row.addressText, row.number);
        return;
    }
    QList<int>& numbers = sharedAddressRows_[row.addressText];
    if (numbers.isEmpty()) {
        numbers << single.value();
        remarkedAddresses_.insert(row.addressText);
    }
    numbers << row.number;
}

void DeviceListModel::RemoveAddress(const devices::DeviceRow& row)
{
    const auto shared = sharedAddressRows_.find(row.addressText);
    if (shared == sharedAddressRows_.end()) {
        rowByAddress_.remove(row.addressText);
        return;
    }
    shared->removeOne(row.number);
    if (shared->size() == 1) {
        rowByAddress_[row.addressText] = shared->constFirst();
        sharedAddressRows_.erase(shared);
        remarkedAddresses_.insert(row.addressText);
    }
}

// Rare (an address comes to be shared or ceases to be), so a look at every row is affordable.
void DeviceListModel::RemarkSharedAddresses()
{
    if (remarkedAddresses_.isEmpty())
        return;
    const QList<int> roles{Qt::DecorationRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole};
    for (int row = 0; row < rowCount(); ++row)
        if (remarkedAddresses_.contains(Row(row).addressText))
            emit dataChanged(index(row, 0), index(row, devices::kColumnCount - 1), roles);
    remarkedAddresses_.clear();
}

std::size_t DeviceListModel::SameAddressCount(int row) const
{
    const qsizetype rows = sharedAddressRows_.value(Row(row).addressText).size();
    return rows > 1 ? static_cast<std::size_t>(rows - 1) : 0;
}

std::optional<int> DeviceListModel::RowOfNumber(int number) const
{
    const auto row = std::find_if(rows_.begin(), rows_.end(), [number](const devices::DeviceRow& r) { return r.number == number; });
    if (row == rows_.end())
        return std::nullopt;
    return static_cast<int>(row - rows_.begin());
}

std::optional<commands::ListedDevice> DeviceListModel::ReadDevice(int row) const
{
    if (devices_ == nullptr)
        return std::nullopt;
    return commands::ListRowDevice(*devices_, Row(row).number, Cards());
}

std::optional<commands::ListedDevice> DeviceListModel::Device(int row) const
{
    std::optional<commands::ListedDevice> device = ReadDevice(row);
    if (device)
        device->sharesAddress = SameAddressCount(row) > 0;
    return device;
}

// Only the few twins the hint names are read, however many there are.
commands::RowHint DeviceListModel::Hint(int row) const
{
    const devices::DeviceRow& own = Row(row);
    std::vector<commands::ListedDevice> twins;
    for (const int number : sharedAddressRows_.value(own.addressText)) {
        if (twins.size() == commands::kNamedTwins)
            break;
        if (number == own.number || devices_ == nullptr)
            continue;
        if (std::optional<commands::ListedDevice> twin = commands::ListRowDevice(*devices_, number, Cards()))
            twins.push_back(std::move(*twin));
    }
    return commands::DescribeRow(ReadDevice(row), twins, SameAddressCount(row));
}

std::optional<devices::RowDetails> DeviceListModel::Details(int row) const
{
    if (devices_ == nullptr)
        return std::nullopt;
    const std::optional<devices::Device> device = devices_->FindByNumber(Row(row).number);
    return device ? std::optional(devices::DetailsOf(*device)) : std::nullopt;
}

std::vector<devices::RowDetails> DeviceListModel::AllDetails() const
{
    return devices_ == nullptr ? std::vector<devices::RowDetails>() : devices_->Details();
}

QString DeviceListModel::DetailText(int row, Column column) const
{
    const std::optional<devices::RowDetails> details = Details(row);
    if (!details)
        return {};
    switch (column) {
    case Column::Mac:
        return protocol::MacText(details->mac);
    case Column::Port:
        return commands::PortText(details->port);
    case Column::Mode:
        return commands::ModeText(details->mode);
    case Column::Card:
        return commands::CardText(details->card, Cards());
    case Column::LastSeen:
        return commands::LastSeenText(*details, QDate::currentDate());
    case Column::Number:
    case Column::Name:
    case Column::Address:
        break;
    }
    return {};
}

// The cell's text, then what the hint and an offline or missing device's silence add to it.
QString DeviceListModel::ToolTip(int row, const QString& text) const
{
    QStringList lines;
    if (!text.isEmpty())
        lines << text;
    if (const QString hint = Hint(row).text; !hint.isEmpty())
        lines << hint;
    const std::optional<devices::RowDetails> details = Details(row);
    if (details && details->offlineSince)
        lines << tr("Offline since %1: it did not answer %2 searches in a row")
                     .arg(commands::TimeText(*details->offlineSince, QDate::currentDate(), false))
                     .arg(devices::DeviceTable::kMissedSearchesOffline);
    if (details && details->missing)
        lines << tr("Missing: this site's memory knows it, last seen %1, but it has not answered here")
                     .arg(commands::TimeText(details->lastSeen, QDate::currentDate(), false));
    return lines.join(QLatin1Char('\n'));
}

const std::vector<platform::BroadcastInterface>& DeviceListModel::Cards() const
{
    if (!cardsRead_.isValid() || cardsRead_.elapsed() > kCardsLifetime) {
        cards_ = platform::UsableInterfaces();
        cardsRead_.start();
    }
    return cards_;
}

// The style's icons are looked up in the icon theme, which would slow the window's start.
QVariant DeviceListModel::Marker(int row) const
{
    const auto marker = [](QIcon& icon, QStyle::StandardPixmap standard) {
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(standard);
        return icon;
    };
    if (SameAddressCount(row) > 0)
        return marker(sharedAddressMarker_, QStyle::SP_MessageBoxCritical);
    const std::optional<commands::ListedDevice> device = ReadDevice(row);
    if (device && device->macSharedBy)
        return marker(sharedAddressMarker_, QStyle::SP_MessageBoxCritical);
    if (device && commands::OutsideCardSubnet(*device))
        return marker(outsideSubnetMarker_, QStyle::SP_MessageBoxWarning);
    return {};
}

} // namespace quillon::app
