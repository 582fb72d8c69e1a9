#include "app/DeviceListModel.h"

#include "protocol/DeviceTexts.h"


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

void DeviceListModel::Apply(devices::RowChanges changes)
{
    if (changes.reset) {
        Reset(std::move(changes.rows));
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
}

void DeviceListModel::Reset(std::vector<devices::DeviceRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
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
    for (std::size_t i = step; i < end; ++i)
        rows_.push_back(steps[i].texts);
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
        endInsertRows();
        break;
    case devices::RowChange::Kind::Delete:
        emit RowLeaving(change.row);
        beginRemoveRows({}, change.row, change.row);
        rows_.erase(at);
        endRemoveRows();
        break;
    case devices::RowChange::Kind::Replace:
        *at = change.texts;
        emit dataChanged(index(change.row, 0), index(change.row, devices::kColumnCount - 1));
        break;
    }
}

} // namespace quillon::app
