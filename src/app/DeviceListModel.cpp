#include "app/DeviceListModel.h"

#include "protocol/DeviceTexts.h"

#include <algorithm>

namespace quillon::app {

using devices::Column;

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
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return protocol::DisplayableText(Row(index.row()).Text(static_cast<Column>(index.column())));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
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

void DeviceListModel::Show(std::vector<devices::DeviceRowTexts> rows)
{
    const auto [keptEnd, unused] = std::mismatch(rows_.begin(), rows_.end(), rows.begin(), rows.end());
    const int kept = static_cast<int>(keptEnd - rows_.begin());
    const int oldCount = static_cast<int>(rows_.size());
    const int newCount = static_cast<int>(rows.size());
    if (kept < oldCount) {
        beginRemoveRows({}, kept, oldCount - 1);
        rows_.resize(static_cast<std::size_t>(kept));
        endRemoveRows();
    }
    if (kept < newCount) {
        beginInsertRows({}, kept, newCount - 1);
        rows_ = std::move(rows);
        endInsertRows();
    }
}

} // namespace quillon::app
