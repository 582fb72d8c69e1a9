#pragma once

#include "commands/DeviceListing.h"
#include "commands/RowHint.h"
#include "devices/DeviceTable.h"
#include "devices/RowStore.h"
#include "platform/Interfaces.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QIcon>
#include <QHash>
#include <QList>
#include <QSet>

#include <optional>
#include <vector>

namespace quillon::app {

// The device list as the view shows it: a copy of the core's rows, brought up to date by
// replaying the core's changes, so that rows that did not change keep their place and their
// selection.
//
// The columns after the address show the device's details, read when the view asks, as are the
// offline devices' grey.
//
// Rows carry hints (a marker beside the name, a tooltip): a device outside the subnet of the
// card it answered on, and devices that answered with the same address. A row's own device is
// read when the view asks, by its number; which rows share an address is kept up to date with
// the replayed changes, so neither costs a look at every row.
class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DeviceListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void SetColumnTitles(const QString& nameTitle, const QString& addressTitle);
    // The table the rows' devices are read from; without one, only shared addresses are marked.
    void ReadDevicesFrom(const devices::DeviceStore& devices);
    // Brings the rows up to date; rows appended one after the other arrive as one insertion.
    void Apply(devices::RowChanges changes);
    const devices::DeviceRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    const std::vector<devices::DeviceRow>& Rows() const { return rows_; }
    // Where the row of the device numbered `number` stands now; nothing when it has none.
    std::optional<int> RowOfNumber(int number) const;

    // The details of the row's device; nothing without one.
    std::optional<devices::RowDetails> Details(int row) const;
    // Every device's details, by number.
    std::vector<devices::RowDetails> AllDetails() const;

    // The device of `row` as the list marks it (sharesAddress as its marker tells); nothing
    // without one.
    std::optional<commands::ListedDevice> Device(int row) const;
    commands::RowHint Hint(int row) const;

signals:
    // Just before `row` is removed. A view in single selection moves its selection to a
    // neighbour of a removed current row, which would then look like the selected device.
    void RowLeaving(int row);

private:
    void Reset(std::vector<devices::DeviceRow> rows, bool reordered);
    // Appends the run of appended rows that starts at `step`; returns the step after the run.
    std::size_t AppendRun(const std::vector<devices::RowChange>& steps, std::size_t step);
    void Replay(const devices::RowChange& change);

    void IndexAddresses();
    void AddAddress(const devices::DeviceRow& row);
    void RemoveAddress(const devices::DeviceRow& row);
    // The rows whose address came to be shared or ceased to be get their marker anew.
    void RemarkSharedAddresses();
    // How many other rows show the row's address.
    std::size_t SameAddressCount(int row) const;
    std::optional<commands::ListedDevice> ReadDevice(int row) const;
    const std::vector<platform::BroadcastInterface>& Cards() const;
    QVariant Marker(int row) const;
    QString DetailText(int row, devices::Column column) const;
    QString ToolTip(int row, const QString& text) const;

    std::vector<devices::DeviceRow> rows_;
    QString titles_[devices::kColumnCount];

    const devices::DeviceStore* devices_ = nullptr;
    // Which rows show each address text: the number of its one row, or, for an address more rows
    // show (rarely), their numbers in sharedAddressRows_.
    QHash<QString, int> rowByAddress_;
    QHash<QString, QList<int>> sharedAddressRows_;
    QSet<QString> remarkedAddresses_; // addresses shared or no longer, since the last remark
    // The cards as they were at most kCardsLifetime ago: they change rarely, and reading them at
    // each refresh would cost more than the refresh.
    static constexpr qint64 kCardsLifetime = 1000; // ms
    mutable std::vector<platform::BroadcastInterface> cards_;
    mutable QElapsedTimer cardsRead_;
    mutable QIcon outsideSubnetMarker_; // taken from the style when first shown
    mutable QIcon sharedAddressMarker_;
};

} // namespace quillon::app
