#pragma once

#include "devices/DeviceRows.h"

#include <QAbstractTableModel>

#include <vector>

namespace quillon::app {

// The device list as the view shows it: a copy of the core's rows, brought up to date in
// coalesced steps. Rows that did not change keep their selection.
class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void SetColumnTitles(const QString& nameTitle, const QString& addressTitle);
    // Shows `rows`: the rows in front that did not change stay, the rest is replaced.
    void Show(std::vector<devices::DeviceRowTexts> rows);
    const devices::DeviceRowTexts& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

private:
    std::vector<devices::DeviceRowTexts> rows_;
    QString titles_[devices::kColumnCount];
};

} // namespace quillon::app
