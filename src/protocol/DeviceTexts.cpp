#include "protocol/DeviceTexts.h"

#include <QList>
#include <QStringDecoder>

namespace quillon::protocol {

QString AddressText(const wire::Ipv4& address)
{
    return QString::asprintf("%.3d.%.3d.%.3d.%.3d", int{address[0]}, int{address[1]},
                             int{address[2]}, int{address[3]});
}

QString NameText(wire::Bytes nameField)
{
    // A leading byte order mark stays a character: dropped, it would hide what the name holds.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString decoded = utf8(QByteArrayView(nameField.data(), static_cast<qsizetype>(nameField.size())));
    const qsizetype end = decoded.indexOf(QChar(u'\0'));
    return end < 0 ? decoded : decoded.left(end);
}

QString DisplayableText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const char32_t codePoint : text.toUcs4()) {
        switch (QChar::category(codePoint)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            shown += QChar(QChar::ReplacementCharacter);
            break;
        default:
            shown += QString::fromUcs4(&codePoint, 1);
        }
    }
    return shown;
}

} // namespace quillon::protocol
