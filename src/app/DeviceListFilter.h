#pragma once

#include "devices/Device.h"

#include <QSortFilterProxyModel>
#include <QString>

#include <vector>

namespace quillon::app {

class DeviceListModel;

// The rows whose name, address or MAC address contain a text, case aside (an address as the list
// shows it or as it is written, a MAC address with or without its colons). The rows keep the list's order: the proxy never sorts. The MAC addresses
// are read once per text for the rows listed then; a row listed later reads its own.
class DeviceListFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    DeviceListFilter(DeviceListModel& rows, QObject* parent);

    void SetText(const QString& text);
    const QString& Text() const { return text_; }
    // Whether the row of the list model shows under the text.
    bool Shows(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString MacOf(int row) const;

    DeviceListModel& rows_;
    QString text_;
    std::vector<devices::RowDetails> details_; // by number, as they were when the text was set
};

} // namespace quillon::app
