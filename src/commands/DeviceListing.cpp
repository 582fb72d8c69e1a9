#include "commands/DeviceListing.h"

#include "commands/DeviceSettings.h"
#include "protocol/DeviceTexts.h"
#include "protocol/Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <map>

namespace quillon::commands {


namespace {

std::uint32_t AsNumber(const in_addr& address)
{
    return ntohl(address.s_addr);
}

void AddCard(ListedDevice& device, const std::vector<platform::BroadcastInterface>& cards)
{
    if (device.cardIndex == 0)
        return;
    const auto card = std::find_if(cards.begin(), cards.end(),
                                   [&](const platform::BroadcastInterface& c) { return c.index == device.cardIndex; });
    if (card == cards.end()) {
        device.cardName = QString::fromStdString(platform::InterfaceName(device.cardIndex));
        return;
    }
    device.cardName = QString::fromStdString(card->name);
    const std::uint32_t mask = AsNumber(card->netmask);
    const std::uint32_t subnet = AsNumber(card->address) & mask;
    device.cardSubnet = QStringLiteral("%1/%2").arg(protocol::DottedDecimal(wire::Ipv4FromKey(subnet))).arg(std::popcount(mask));
    device.inCardSubnet = (wire::Ipv4Key(device.ipAddress) & mask) == subnet;
}

ListedDevice FromDevice(const devices::Device& known, const std::vector<platform::BroadcastInterface>& cards)
{
    const devices::DeviceState& state = known.believed;
    ListedDevice device;
    device.macAddress = known.mac;
    device.ipAddress = state.ipAddress;
    device.netmask = state.netmask;
    device.gateway = state.gateway;
    // 0.0.0.0 is a device's way of saying it has no DNS server.
    const auto server = [&known](const wire::Ipv4& address) {
        return known.reportedDns && address != wire::Ipv4{} ? std::optional(address) : std::nullopt;
    };
    device.dns1 = server(state.dns.dns1);
    device.dns2 = server(state.dns.dns2);
    const wire::Bytes nameField(state.name);
    device.nameBytes = QByteArray(reinterpret_cast<const char*>(nameField.data()),
                                  static_cast<qsizetype>(wire::BoundedTextLength(nameField)));
    device.name = protocol::NameText(nameField);
    device.nameIsUtf8 = device.name.toUtf8() == device.nameBytes;
    device.webPort = state.ports.port1;
    if (state.hasDhcp)
        device.dhcp = state.dhcpEnabled ? DhcpMode::On : DhcpMode::Off;
    device.protocols = known.protocols;
    device.cardIndex = known.card;
    device.webAddress = DeviceWebAddress({device.ipAddress, state.ports.port1});
    device.rowNumber = known.number;
    device.macSharedBy = known.macSharedBy;
    device.offlineSince = known.offlineSince;
    AddCard(device, cards);
    return device;
}

QString Optional(const std::optional<wire::Ipv4>& address)
{
    return address ? protocol::DottedDecimal(*address) : QString();
}

QString DhcpText(DhcpMode mode)
{
    switch (mode) {
    case DhcpMode::On:
        return QStringLiteral("on");
    case DhcpMode::Off:
        return QStringLiteral("off");
    case DhcpMode::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QStringList ProtocolNames(std::uint8_t protocols)
{
    QStringList names;
    if (protocols & devices::kAnsweredLongForm)
        names << QStringLiteral("long");
    if (protocols & devices::kAnsweredShortForm)
        names << QStringLiteral("short");
    return names;
}

QString YesNo(std::optional<bool> value)
{
    return value ? (*value ? QStringLiteral("yes") : QStringLiteral("no")) : QString();
}

QString PortText(std::int32_t port)
{
    return port != 0 ? QString::number(port) : QString();
}

// The fields of one device as text, in the order of kHeaders.
const QStringList kHeaders = {QStringLiteral("mac"),      QStringLiteral("ip"),        QStringLiteral("netmask"),
                              QStringLiteral("gateway"),  QStringLiteral("dns1"),      QStringLiteral("dns2"),
                              QStringLiteral("name"),     QStringLiteral("web_port"),  QStringLiteral("dhcp"),
                              QStringLiteral("protocols"), QStringLiteral("card"),     QStringLiteral("in_card_subnet"),
                              QStringLiteral("shared_ip"), QStringLiteral("web_address")};

QStringList Fields(const ListedDevice& device)
{
    return {protocol::MacText(device.macAddress),
            protocol::DottedDecimal(device.ipAddress),
            protocol::DottedDecimal(device.netmask),
            protocol::DottedDecimal(device.gateway),
            Optional(device.dns1),
            Optional(device.dns2),
            device.name,
            PortText(device.webPort),
            DhcpText(device.dhcp),
            ProtocolNames(device.protocols).join(QLatin1Char(',')),
            device.cardName,
            YesNo(device.inCardSubnet),
            YesNo(device.sharesAddress),
            device.webAddress};
}

// The fields for a person's eyes: a name or a card's name that holds control or format characters
// can neither break the layout nor turn the terminal's or the window's text around.
QStringList DisplayableFields(const ListedDevice& device)
{
    QStringList fields = Fields(device);
    for (QString& field : fields)
        field = protocol::DisplayableText(field);
    return fields;
}

// The columns a text takes in a terminal: East Asian wide characters two, combining marks none.
qsizetype DisplayWidth(const QString& text)
{
    qsizetype width = 0;
    for (const char32_t c : text.toUcs4()) {
        if (QChar::category(c) == QChar::Mark_NonSpacing || QChar::category(c) == QChar::Mark_Enclosing)
            continue;
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

QJsonValue JsonAddress(const std::optional<wire::Ipv4>& address)
{
    return address ? QJsonValue(protocol::DottedDecimal(*address)) : QJsonValue(QJsonValue::Null);
}

QJsonValue JsonFlag(std::optional<bool> value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

// The devices are copied and read outside the table's lock, so that a listing of the window,
// whose receivers go on, holds them up no longer than a copy takes.
std::vector<ListedDevice> ListDevices(const devices::DeviceStore& store,
                                      const std::vector<platform::BroadcastInterface>& cards)
{
    const std::vector<devices::Device> known = store.All();
    std::vector<ListedDevice> devices;
    devices.reserve(known.size());
    std::map<std::uint32_t, int> answersPerAddress;
    for (const devices::Device& device : known) {
        devices.push_back(FromDevice(device, cards));
        ++answersPerAddress[wire::Ipv4Key(devices.back().ipAddress)];
    }
    for (ListedDevice& device : devices)
        device.sharesAddress = answersPerAddress[wire::Ipv4Key(device.ipAddress)] > 1;
    std::sort(devices.begin(), devices.end(), [](const ListedDevice& a, const ListedDevice& b) {
        return std::pair(wire::Ipv4Key(a.ipAddress), wire::MacKey(a.macAddress)) <
               std::pair(wire::Ipv4Key(b.ipAddress), wire::MacKey(b.macAddress));
    });
    return devices;
}

std::optional<ListedDevice> ListRowDevice(const devices::DeviceStore& store, int rowNumber,
                                          const std::vector<platform::BroadcastInterface>& cards)
{
    const std::optional<devices::Device> device = store.FindByNumber(rowNumber);
    if (!device)
        return std::nullopt;
    return FromDevice(*device, cards);
}

QByteArray FormatTable(const std::vector<ListedDevice>& devices)
{
    std::vector<QStringList> lines{kHeaders};
    for (QString& header : lines.front())
        header = header.toUpper();
    for (const ListedDevice& device : devices)
        lines.push_back(DisplayableFields(device));
    std::vector<qsizetype> widths(static_cast<std::size_t>(kHeaders.size()), 0);
    for (const QStringList& line : lines)
        for (qsizetype i = 0; i < line.size(); ++i)
            widths[static_cast<std::size_t>(i)] = std::max(widths[static_cast<std::size_t>(i)], DisplayWidth(line[i]));
    QString text;
    for (const QStringList& line : lines) {
        QString row;
        for (qsizetype i = 0; i < line.size(); ++i) {
            row += line[i];
            if (i + 1 < line.size())
                row += QString(widths[static_cast<std::size_t>(i)] - DisplayWidth(line[i]) + 2, QLatin1Char(' '));
        }
        text += row + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QJsonObject DeviceJson(const ListedDevice& device)
{
    QJsonObject object{
        {QStringLiteral("mac"), protocol::MacText(device.macAddress)},
        {QStringLiteral("ip"), protocol::DottedDecimal(device.ipAddress)},
        {QStringLiteral("netmask"), protocol::DottedDecimal(device.netmask)},
        {QStringLiteral("gateway"), protocol::DottedDecimal(device.gateway)},
        {QStringLiteral("dns1"), JsonAddress(device.dns1)},
        {QStringLiteral("dns2"), JsonAddress(device.dns2)},
        {QStringLiteral("name"), device.name},
        {QStringLiteral("web_port"), device.webPort != 0 ? QJsonValue(device.webPort) : QJsonValue()},
        {QStringLiteral("dhcp"), DhcpText(device.dhcp)},
        {QStringLiteral("protocols"), QJsonArray::fromStringList(ProtocolNames(device.protocols))},
        {QStringLiteral("card"), device.cardName.isEmpty() ? QJsonValue() : QJsonValue(device.cardName)},
        {QStringLiteral("in_card_subnet"), JsonFlag(device.inCardSubnet)},
        {QStringLiteral("shared_ip"), device.sharesAddress},
        {QStringLiteral("web_address"), device.webAddress},
    };
    if (!device.nameIsUtf8)
        object.insert(QStringLiteral("name_hex"), QString::fromLatin1(device.nameBytes.toHex()));
    return object;
}

QString ReportedSetting(const QJsonObject& deviceJson, const char* setting)
{
    const QJsonValue value = deviceJson.value(QLatin1String(setting));
    return value.isDouble() ? QString::number(value.toInteger()) : value.toString();
}

std::array<QString, kReportedSettingCount> ReportedSettingTexts(const ListedDevice& device)
{
    const auto address = [](const std::optional<wire::Ipv4>& dns) { return dns ? protocol::DottedDecimal(*dns) : QString(); };
    return {protocol::DottedDecimal(device.ipAddress), protocol::DottedDecimal(device.netmask), protocol::DottedDecimal(device.gateway),
            address(device.dns1), address(device.dns2), device.name,
            device.webPort != 0 ? QString::number(device.webPort) : QString(), DhcpText(device.dhcp), device.cardName};
}

QByteArray FormatJson(const std::vector<ListedDevice>& devices, bool pretty)
{
    QJsonArray array;
    for (const ListedDevice& device : devices)
        array.append(DeviceJson(device));
    return QJsonDocument(array).toJson(pretty ? QJsonDocument::Indented : QJsonDocument::Compact) +
           (pretty ? "" : "\n");
}

QString SpreadsheetCell(const QString& text)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r'");
    return !text.isEmpty() && kFormulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
}

QString TextOfSpreadsheetCell(const QString& cell)
{
    return cell.startsWith(QLatin1Char('\'')) ? cell.mid(1) : cell;
}

QString CsvField(const QString& text)
{
    static const QString kNeedsQuotes = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return kNeedsQuotes.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString FormatTabSeparated(const std::vector<ListedDevice>& devices, bool withHeader)
{
    QString text = withHeader ? kHeaders.join(QLatin1Char('\t')) + QLatin1Char('\n') : QString();
    for (const ListedDevice& device : devices) {
        QStringList fields = DisplayableFields(device);
        for (QString& field : fields)
            field = SpreadsheetCell(field);
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

QByteArray FormatCsv(const std::vector<ListedDevice>& devices)
{
    QString text = kHeaders.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (const ListedDevice& device : devices) {
        QStringList fields = Fields(device);
        for (QString& field : fields)
            field = CsvField(SpreadsheetCell(field));
        text += fields.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return text.toUtf8();
}

} // namespace quillon::commands
