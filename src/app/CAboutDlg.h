#pragma once

#include <QDialog>

namespace quillon::app {

// The About box: icon, product name and a one-line notice; no buttons. Escape or the close box
// closes it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(const QIcon& icon, QWidget* parent = nullptr);
};

} // namespace quillon::app
