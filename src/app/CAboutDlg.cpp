#include "app/CAboutDlg.h"

#include "app/DialogUnits.h"
#include "app/ProductInfo.h"

#include <QIcon>
#include <QLabel>

namespace quillon::app {

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent) : QDialog(parent)
{
    setWindowIcon(icon);
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("About Quillon"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits units(font());
    setFixedSize(units.Size(183, 52));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("aboutIcon"));
    picture->setGeometry(units.Rect(13, 15, 20, 20));
    picture->setPixmap(icon.pixmap(picture->size()));
    picture->setAccessibleName(QStringLiteral("Quillon"));

    auto* product = new QLabel(kProductName, this);
    product->setObjectName(QStringLiteral("aboutProduct"));
    product->setTextFormat(Qt::PlainText);
    product->setGeometry(units.Rect(42, 13, 80, 8));

    auto* notice = new QLabel(kFileDescription, this);
    notice->setObjectName(QStringLiteral("aboutNotice"));
    notice->setTextFormat(Qt::PlainText);
    notice->setGeometry(units.Rect(42, 27, 119, 8));
}

} // namespace quillon::app
