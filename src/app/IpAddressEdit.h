#pragma once

#include <QFrame>

#include <array>
#include <cstdint>

class QLineEdit;

namespace quillon::app {

// An IPv4 address field: four octet boxes of 0 to 255 that behave as one field. Typing "." or a
// third digit moves on to the next octet, Backspace in an empty octet moves back, the arrow keys
// cross octet borders, and Tab leaves the whole field. An empty octet reads as 0.
class IpAddressEdit : public QFrame {
    Q_OBJECT
public:
    using Octets = std::array<std::uint8_t, 4>;

    explicit IpAddressEdit(QWidget* parent = nullptr);

    Octets Address() const;
    void SetAddress(const Octets& octets);
    // The address as one 32-bit value, first octet in the most significant byte.
    void SetAddress(std::uint32_t value);
    void Clear();
    bool IsBlank() const;

    void SetAccessibleName(const QString& name);
    void setFont(const QFont& font);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FocusOctet(int index, bool atEnd);
    void OnOctetEdited(int index);

    std::array<QLineEdit*, 4> octets_{};
};

} // namespace quillon::app
