#include "protocol/DeviceTexts.h"

namespace quillon::protocol {

QString AddressText(const wire::Ipv4& address)
{
    return QString::asprintf("%.3d.%.3d.%.3d.%.3d", int{address[0]}, int{address[1]},
                             int{address[2]}, int{address[3]});
}

QString NameText(wire::Bytes nameField)
{
    const QString decoded = QString::fromUtf8(reinterpret_cast<const char*>(nameField.data()),
                                              static_cast<qsizetype>(nameField.size()));
    const qsizetype end = decoded.indexOf(QChar(u'\0'));
    return end < 0 ? decoded : decoded.left(end);
}

} // namespace quillon::protocol
