#include "DeviceList.h"

#include "protocol/DeviceTexts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillon::devsim {

namespace {

template <typename Value>
bool ReadAddress(const QJsonObject& object, const char* key, Value& out,
                 std::optional<Value> (*parse)(const QString&), QString& error)
{
    if (!object.contains(QLatin1String(key)))
        return true;
    const auto parsed = parse(object.value(QLatin1String(key)).toString());
    if (!parsed) {
        error = QStringLiteral("bad %1: %2").arg(QLatin1String(key), object.value(QLatin1String(key)).toString());
        return false;
    }
    out = *parsed;
    return true;
}

std::optional<SimulatedDevice> ReadDevice(const QJsonObject& object, QString& error)
{
    SimulatedDevice device;
    if (!ReadAddress(object, "mac", device.mac, protocol::ParseMac, error) ||
        !ReadAddress(object, "ip", device.ip, protocol::ParseIpv4, error) ||
        !ReadAddress(object, "netmask", device.netmask, protocol::ParseIpv4, error) ||
        !ReadAddress(object, "gateway", device.gateway, protocol::ParseIpv4, error) ||
        !ReadAddress(object, "dns1", device.dns1, protocol::ParseIpv4, error) ||
        !ReadAddress(object, "dns2", device.dns2, protocol::ParseIpv4, error))
        return std::nullopt;
    device.name = object.value(QLatin1String("name")).toString(QString::fromStdString(device.name)).toStdString();
    if (object.contains(QLatin1String("nameHex"))) // a name in any bytes, UTF-8 or not
        device.name = QByteArray::fromHex(object.value(QLatin1String("nameHex")).toString().toLatin1()).toStdString();
    device.interfaceName = object.value(QLatin1String("interface")).toString(QStringLiteral("eth0")).toStdString();
    device.port1 = object.value(QLatin1String("port1")).toInt(device.port1);
    device.port2 = object.value(QLatin1String("port2")).toInt(device.port2);
    device.dhcp = object.value(QLatin1String("dhcp")).toBool(device.dhcp);
    if (object.contains(QLatin1String("protocols"))) {
        const QJsonArray protocols = object.value(QLatin1String("protocols")).toArray();
        device.answersShortForm = protocols.contains(QStringLiteral("short"));
        device.answersLongForm = protocols.contains(QStringLiteral("long"));
    }
    const int length = object.value(QLatin1String("shortLength")).toInt(70);
    const int code = object.value(QLatin1String("longCode")).toInt(1);
    if (length < 0 || length > 2000 || code < 0 || code > 255) {
        error = QStringLiteral("shortLength must be 0 to 2000 and longCode 0 to 255");
        return std::nullopt;
    }
    device.shortReplyLength = static_cast<std::size_t>(length);
    device.longReplyCode = static_cast<std::uint8_t>(code);
    const auto confirmation = ParseConfirmation(object.value(QLatin1String("confirm")).toString(QStringLiteral("notice")));
    if (!confirmation) {
        error = QStringLiteral("confirm must be notice, answer, none or silent");
        return std::nullopt;
    }
    device.confirmation = *confirmation;
    return device;
}

} // namespace

std::optional<Confirmation> ParseConfirmation(const QString& text)
{
    if (text == QLatin1String("notice"))
        return Confirmation::UpdateNotice;
    if (text == QLatin1String("answer"))
        return Confirmation::DeviceAnswer;
    if (text == QLatin1String("none"))
        return Confirmation::None;
    if (text == QLatin1String("silent"))
        return Confirmation::Silent;
    if (text == QLatin1String("stale"))
        return Confirmation::Stale;
    return std::nullopt;
}

std::optional<std::vector<SimulatedDevice>> LoadDevices(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull()) {
        error = parseError.errorString();
        return std::nullopt;
    }
    std::vector<SimulatedDevice> devices;
    for (const QJsonValue& entry : document.object().value(QLatin1String("devices")).toArray()) {
        auto device = ReadDevice(entry.toObject(), error);
        if (!device) {
            error = QStringLiteral("device %1: %2").arg(devices.size() + 1).arg(error);
            return std::nullopt;
        }
        devices.push_back(std::move(*device));
    }
    return devices;
}

std::vector<SimulatedDevice> GenerateDevices(int count)
{
    static constexpr std::size_t kReplyLengths[] = {70, 69, 60, 50};
    std::vector<SimulatedDevice> devices;
    devices.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const auto n = static_cast<unsigned>(i);
        SimulatedDevice device;
        device.mac = {0x02, 0x51, 0x00, static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                      static_cast<std::uint8_t>(n)};
        // 10.x.y.z with z from 1 to 250: never a network or broadcast address.
        device.ip = {10, static_cast<std::uint8_t>(n / 62500), static_cast<std::uint8_t>(n / 250 % 250),
                     static_cast<std::uint8_t>(n % 250 + 1)};
        device.netmask = {255, 0, 0, 0};
        device.gateway = {10, 0, 0, 254};
        device.dns1 = {10, 0, 0, 53};
        device.dns2 = {10, 0, 1, 53};
        char name[19];
        std::snprintf(name, sizeof name, "Camera-%05d", i + 1);
        device.name = name;
        device.dhcp = i % 2 == 1;
        device.shortReplyLength = kReplyLengths[n % 4];
        device.longReplyCode = static_cast<std::uint8_t>(1 + n % 2);
        devices.push_back(device);
    }
    return devices;
}

} // namespace quillon::devsim
