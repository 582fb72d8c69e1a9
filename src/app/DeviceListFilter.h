#pragma once

#include "devices/Device.h"

#include <QSortFilterProxyModel>
#include <QString>

#include <optional>
#include <vector>

namespace quillon::app {

class DeviceListModel;

// The rows whose name, address or MAC address contain a text, case aside (an address as the list
// shows it or as it is written; a MAC address with its colons when the text has one, without
// them otherwise). The rows keep the list's order: the proxy never sorts.
class DeviceListFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    DeviceListFilter(DeviceListModel& rows, QObject* parent);

    void SetText(const QString& text);
    // Hides the devices listed from the site's memory as missing, or shows them again.
    void SetHideMissing(bool hide);
    const QString& Text() const { return text_; }
    // Whether the row of the list model shows under the text.
    bool Shows(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    // A row matched from the copy, by number; good while the row still shows these texts.
    struct Decision {
        QString nameText;
        QString addressText;
        bool shown = false;
        bool known = false;
    };

    DeviceListModel& rows_;
    QString text_;
    bool macWithColons_ = false;     // the text is matched with the MAC address's colons
    bool hideMissing_ = false;
    std::vector<Decision> decided_;  // while the view takes a new text
};

} // namespace quillon::app
