#include "protocol/DeviceTexts.h"

#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace quillon::protocol {

QString AddressText(const wire::Ipv4& address)
{
    return QString::asprintf("%.3d.%.3d.%.3d.%.3d", int{address[0]}, int{address[1]},
                             int{address[2]}, int{address[3]});
}

QString DottedDecimal(const wire::Ipv4& address)
{
    return QString::asprintf("%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
}

std::optional<wire::Ipv4> ParseIpv4(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    wire::Ipv4 address{};
    for (int i = 0; i < 4; ++i) {
        const int octet = match.captured(i + 1).toInt();
        if (octet > 255)
            return std::nullopt;
        address[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(octet);
    }
    return address;
}

QString MacText(const wire::MacAddress& mac)
{
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

std::optional<wire::MacAddress> ParseMac(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-fA-F]{2}([:-][0-9a-fA-F]{2}){5}$"));
    if (!form.match(text).hasMatch() || text.count(text[2]) != 5)
        return std::nullopt;
    wire::MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i)
        mac[i] = static_cast<std::uint8_t>(text.mid(static_cast<qsizetype>(i) * 3, 2).toUInt(nullptr, 16));
    return mac;
}

NameBytes EncodeDeviceName(const QString& name)
{
    NameBytes bytes{};
    std::size_t used = 0;
    for (const char32_t codePoint : name.toUcs4()) {
        const QByteArray character = QString::fromUcs4(&codePoint, 1).toUtf8();
        if (used + static_cast<std::size_t>(character.size()) > bytes.size())
            break;
        std::copy(character.begin(), character.end(), bytes.begin() + static_cast<std::ptrdiff_t>(used));
        used += static_cast<std::size_t>(character.size());
    }
    return bytes;
}

bool SameName(const NameBytes& a, const NameBytes& b)
{
    const std::size_t length = wire::BoundedTextLength(a);
    return length == wire::BoundedTextLength(b) && std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(length), b.begin());
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
