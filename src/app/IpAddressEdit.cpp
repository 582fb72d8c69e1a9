#include "app/IpAddressEdit.h"

#include "app/FrameOnTop.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>

namespace quillon::app {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->setSpacing(0);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        auto* octet = new QLineEdit(this);
        octet->setFrame(false);
        octet->setAlignment(Qt::AlignCenter);
        octet->setMaxLength(3);
        octet->setValidator(validator);
        octet->installEventFilter(this);
        // Tab enters the field at its first octet and leaves it from any octet.
        octet->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        connect(octet, &QLineEdit::textEdited, this, [this, i] { OnOctetEdited(i); });
        octets_[static_cast<std::size_t>(i)] = octet;
        layout->addWidget(octet, 1);
        if (i < 3) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
    }
    setFocusProxy(octets_[0]);
    setFocusPolicy(Qt::StrongFocus);
    KeepFrameOnTop(*this);
}

IpAddressEdit::Octets IpAddressEdit::Address() const
{
    Octets address{};
    for (std::size_t i = 0; i < 4; ++i)
        address[i] = static_cast<std::uint8_t>(std::min(octets_[i]->text().toInt(), 255));
    return address;
}

void IpAddressEdit::SetAddress(const Octets& octets)
{
    for (std::size_t i = 0; i < 4; ++i)
        octets_[i]->setText(QString::number(octets[i]));
}

void IpAddressEdit::SetAddress(std::uint32_t value)
{
    SetAddress(Octets{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                      static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

void IpAddressEdit::Clear()
{
    for (QLineEdit* octet : octets_)
        octet->clear();
}

bool IpAddressEdit::IsBlank() const
{
    return std::all_of(octets_.begin(), octets_.end(), [](const QLineEdit* octet) { return octet->text().isEmpty(); });
}

void IpAddressEdit::SetAccessibleName(const QString& name)
{
    setAccessibleName(name);
    for (std::size_t i = 0; i < 4; ++i)
        octets_[i]->setAccessibleName(tr("%1, octet %2 of 4").arg(name).arg(i + 1));
}

void IpAddressEdit::setFont(const QFont& font)
{
    QFrame::setFont(font);
    for (QLineEdit* octet : octets_)
        octet->setFont(font);
}

// The style draws the border along the last logical row and column with a pen one device pixel
// wide; a fill of the whole rectangle would show through beside it when the window is scaled.
// Scaled, the border is KeepFrameOnTop's alone: the style's own, a device pixel off, would show
// beside it wherever no octet covers it.
void IpAddressEdit::paintEvent(QPaintEvent* event)
{
    if (devicePixelRatioF() != 1) {
        QPainter(this).fillRect(rect(), palette().base());
        return;
    }
    QPainter(this).fillRect(rect().adjusted(0, 0, -1, -1), palette().base());
    QFrame::paintEvent(event);
}

void IpAddressEdit::FocusOctet(int index, bool atEnd)
{
    if (index < 0 || index > 3)
        return;
    QLineEdit* octet = octets_[static_cast<std::size_t>(index)];
    octet->setFocus(Qt::OtherFocusReason);
    if (atEnd)
        octet->end(false);
    else
        octet->selectAll();
}

void IpAddressEdit::OnOctetEdited(int index)
{
    QLineEdit* octet = octets_[static_cast<std::size_t>(index)];
    if (octet->text().toInt() > 255)
        octet->setText(QStringLiteral("255"));
    if (octet->text().size() == 3 && octet->cursorPosition() == 3)
        FocusOctet(index + 1, false);
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto found = std::find(octets_.begin(), octets_.end(), watched);
    if (found == octets_.end())
        return false;
    const int index = static_cast<int>(found - octets_.begin());
    QLineEdit* octet = *found;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool atStart = octet->cursorPosition() == 0 && !octet->hasSelectedText();
    const bool atEnd = octet->cursorPosition() == octet->text().size() && !octet->hasSelectedText();
    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        if (!octet->text().isEmpty())
            FocusOctet(index + 1, false);
        return true;
    case Qt::Key_Backspace:
        if (atStart && index > 0) {
            FocusOctet(index - 1, true);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (atStart && index > 0) {
            FocusOctet(index - 1, true);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (atEnd && index < 3) {
            FocusOctet(index + 1, false);
            octets_[static_cast<std::size_t>(index + 1)]->home(false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace quillon::app
