#pragma once

#include "devices/RowStore.h"

#include <QAbstractTableModel>

#include <vector>

namespace quillon::app {

// The device list as the view shows it: a copy of the core's rows, brought up to date by
// replaying the core's changes, so that rows that did not change keep their place and their
// selection.
class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void SetColumnTitles(const QString& nameTitle, const QString& addressTitle);
    // Brings the rows up to date; rows appended one after the other arrive as one insertion.
    void Apply(devices::RowChanges changes);
    const devices::DeviceRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

signals:
    // Just before `row` is removed. A view in single selection moves its selection to a
    // neighbour of a removed current row, which would then look like the selected device.
    void RowLeaving(int row);

private:
    void Reset(std::vector<devices::DeviceRow> rows);
    // Appends the run of appended rows that starts at `step`; returns the step after the run.
    std::size_t AppendRun(const std::vector<devices::RowChange>& steps, std::size_t step);
    void Replay(const devices::RowChange& change);

    std::vector<devices::DeviceRow> rows_;
    QString titles_[devices::kColumnCount];
};

} // namespace quillon::app
