#include "commands/Plan.h"

#include "commands/Submit.h"
#include "protocol/DeviceTexts.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace quillon::commands {

namespace {

enum Column { kMac, kIp, kNetmask, kGateway, kDns1, kDns2, kName, kPort, kMode, kColumns };

// The cells of one record, checked for form; problems are added to `problems`.
std::optional<PlanLine> ReadLine(const CsvRecord& record, std::vector<PlanProblem>& problems)
{
    const auto problem = [&](const QString& message) {
        problems.push_back({record.line, message});
        return std::nullopt;
    };
    const QStringList& cells = record.fields;
    if (cells.size() != kColumns)
        return problem(QStringLiteral("has %1 fields, not %2").arg(cells.size()).arg(kColumns));
    PlanLine line;
    line.line = record.line;
    const std::optional<wire::MacAddress> mac = protocol::ParseMac(cells[kMac]);
    if (!mac)
        return problem(QStringLiteral("'%1' is not a MAC address").arg(cells[kMac]));
    line.mac = *mac;
    const std::pair<int, std::optional<wire::Ipv4>*> addresses[] = {{kIp, &line.ipAddress},
                                                                     {kNetmask, &line.netmask},
                                                                     {kGateway, &line.gateway},
                                                                     {kDns1, &line.dns1},
                                                                     {kDns2, &line.dns2}};
    static const QStringList kNames = QString::fromLatin1(kPlanHeader).split(QLatin1Char(','));
    for (const auto& [column, field] : addresses) {
        if (cells[column].isEmpty())
            continue;
        *field = protocol::ParseIpv4(cells[column]);
        if (!*field)
            return problem(QStringLiteral("%1 '%2' is not an address like 192.168.1.20").arg(kNames[column], cells[column]));
    }
    if (!cells[kName].isEmpty()) {
        const QString name = TextOfSpreadsheetCell(cells[kName]);
        if (!NameFits(name))
            return problem(QStringLiteral("the name '%1' is over 18 bytes of UTF-8").arg(name));
        line.name = name;
    }
    if (!cells[kPort].isEmpty()) {
        bool isNumber = false;
        const uint port = cells[kPort].toUInt(&isNumber);
        if (!isNumber || port > 65535)
            return problem(QStringLiteral("the port '%1' is not one of 0 to 65535").arg(cells[kPort]));
        line.port = static_cast<std::uint16_t>(port);
    }
    const QString mode = cells[kMode].toLower();
    if (mode == QLatin1String("dhcp") || mode == QLatin1String("static"))
        line.dhcp = mode == QLatin1String("dhcp");
    else if (!mode.isEmpty())
        return problem(QStringLiteral("the mode '%1' is neither dhcp nor static").arg(cells[kMode]));
    return line;
}

// "{n}" or "{n:0W}" in a name template; W is the first capture.
const QRegularExpression& NameCounter()
{
    static const QRegularExpression counter(QStringLiteral("\\{n(?::0(\\d+))?\\}"));
    return counter;
}

QRegularExpression OnlyPattern(const QString& only)
{
    return QRegularExpression(only.isEmpty() ? QStringLiteral(".*") : QRegularExpression::wildcardToRegularExpression(only));
}

} // namespace

namespace {

// Follows a plan's text byte by byte and says which bound it passed first, if any.
class PlanTextBounds {
public:
    QString Take(char byte)
    {
        if (byte == '\n')
            return EndLine();
        if (byte == '\0')
            return QStringLiteral("line %1 holds a zero byte, which no plan's text does").arg(line_);
        if (++lineBytes_ > kMaximumPlanLineBytes)
            return QStringLiteral("line %1 is longer than %2 bytes, which no plan's line is").arg(line_).arg(kMaximumPlanLineBytes);
        lineHasText_ = lineHasText_ || std::isspace(static_cast<unsigned char>(byte)) == 0;
        return {};
    }
    QString EndLine()
    {
        // The header is no device's line; blank lines are none.
        if (lineHasText_ && ++linesWithText_ > kMaximumPlanLines + 1)
            return QStringLiteral("the plan has more than %1 device lines").arg(kMaximumPlanLines);
        ++line_;
        lineBytes_ = 0;
        lineHasText_ = false;
        return {};
    }

private:
    int line_ = 1;
    qsizetype lineBytes_ = 0;
    bool lineHasText_ = false;
    std::size_t linesWithText_ = 0;
};

} // namespace

std::optional<QByteArray> ReadPlanText(QIODevice& device, QString& error)
{
    QByteArray text;
    PlanTextBounds bounds;
    std::array<char, 65536> chunk{};
    for (;;) {
        const qint64 read = device.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (read < 0) {
            error = device.errorString();
            return std::nullopt;
        }
        if (read == 0)
            error = bounds.EndLine();
        if (text.size() + read > kMaximumPlanBytes)
            error = QStringLiteral("the plan is larger than %1 MiB, which a plan for %2 devices is not")
                        .arg(kMaximumPlanBytes >> 20)
                        .arg(kMaximumPlanLines);
        for (qint64 i = 0; i < read && error.isEmpty(); ++i)
            error = bounds.Take(chunk[static_cast<std::size_t>(i)]);
        if (!error.isEmpty())
            return std::nullopt;
        if (read == 0)
            return text;
        text.append(chunk.data(), static_cast<qsizetype>(read));
    }
}

std::vector<CsvRecord> ReadCsv(const QByteArray& bytes, int& badLine)
{
    const QString text = QString::fromUtf8(bytes);
    std::vector<CsvRecord> records;
    badLine = 0;
    int line = 1;
    qsizetype i = 0;
    while (i < text.size()) {
        CsvRecord record{line, {}};
        QString field;
        bool quoted = false;   // inside quotes
        bool wasQuoted = false; // the field began with a quote
        bool ended = false;
        for (; i < text.size() && !ended; ++i) {
            const QChar c = text[i];
            if (quoted) {
                if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else if (c == QLatin1Char('"')) {
                    quoted = false;
                } else {
                    if (c == QLatin1Char('\n'))
                        ++line;
                    field += c;
                }
            } else if (c == QLatin1Char(',')) {
                record.fields.append(field);
                field.clear();
                wasQuoted = false;
            } else if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))) {
                if (c == QLatin1Char('\r'))
                    ++i;
                ++line;
                ended = true;
            } else if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
                quoted = wasQuoted = true;
            } else if (c == QLatin1Char('"') || wasQuoted) {
                badLine = record.line; // a quote inside a field, or text after its closing quote
                return records;
            } else {
                field += c;
            }
        }
        if (quoted) {
            badLine = record.line; // the quote never closes
            return records;
        }
        record.fields.append(field);
        if (record.fields.size() > 1 || !record.fields.front().isEmpty() || wasQuoted) // blank lines are skipped
            records.push_back(std::move(record));
    }
    return records;
}

std::vector<wire::MacAddress> PlanMacs(const QByteArray& text)
{
    int badLine = 0;
    std::vector<wire::MacAddress> macs;
    for (const CsvRecord& record : ReadCsv(text, badLine))
        if (const std::optional<wire::MacAddress> mac = protocol::ParseMac(record.fields.value(0)))
            macs.push_back(*mac);
    return macs;
}

CheckedPlan CheckPlan(const QByteArray& text, const std::vector<ListedDevice>& devices, PlanLeniency leniency)
{
    CheckedPlan plan;
    int badLine = 0;
    const std::vector<CsvRecord> records = ReadCsv(text, badLine);
    if (records.empty() || records.front().fields.join(QLatin1Char(',')) != QLatin1String(kPlanHeader))
        plan.problems.push_back({1, QStringLiteral("the header is not %1").arg(QLatin1String(kPlanHeader))});
    for (std::size_t r = 1; r < records.size(); ++r)
        if (std::optional<PlanLine> line = ReadLine(records[r], plan.problems))
            plan.lines.push_back(std::move(*line));
    if (badLine != 0)
        plan.problems.push_back({badLine, QStringLiteral("is not CSV: a quote out of place or never closed")});

    // Every lookup below is a hash lookup: a plan for a whole site is checked in linear time.
    const DevicesByMac byMac = IndexByMac(devices);
    std::unordered_multimap<std::uint32_t, const ListedDevice*> holders; // address, device
    for (const ListedDevice& device : devices)
        holders.emplace(wire::Ipv4Key(device.ipAddress), &device);
    std::unordered_set<std::uint64_t> planned;
    for (const PlanLine& line : plan.lines)
        planned.insert(wire::MacKey(line.mac));
    std::unordered_set<std::uint64_t> seen;
    std::unordered_map<std::uint32_t, int> given; // address, the line giving it
    for (const PlanLine& line : plan.lines) {
        const QString mac = protocol::MacText(line.mac);
        const auto problem = [&](const QString& message) { plan.problems.push_back({line.line, message}); };
        if (!seen.insert(wire::MacKey(line.mac)).second) {
            problem(QStringLiteral("%1 is on an earlier line too").arg(mac));
            continue;
        }
        const auto found = byMac.find(wire::MacKey(line.mac));
        if (found == byMac.end() && leniency.missingDevices) {
            plan.missing.push_back(line);
            continue;
        }
        if (found == byMac.end()) {
            problem(QStringLiteral("no device with MAC address %1 answered").arg(mac));
            continue;
        }
        const ListedDevice& device = *found->second;
        if (device.macSharedBy)
            problem(QStringLiteral("%1: %2").arg(mac, SharedMacMessage(*device.macSharedBy)));
        NewSettings settings;
        settings.ipAddress = line.ipAddress.value_or(device.ipAddress);
        settings.netmask = line.netmask.value_or(device.netmask);
        settings.gateway = line.gateway.value_or(device.gateway);
        if (!UsableDeviceAddress(settings.ipAddress))
            problem(AddressRefusalMessage(settings.ipAddress));
        if (!UsableNetmask(settings.netmask))
            problem(NetmaskRefusalMessage(settings.netmask));
        if (!leniency.outsideGateway && NeedsSubnetConfirmation(settings))
            problem(QStringLiteral("the gateway %1 is outside the subnet of %2/%3; give --yes to send it anyway")
                        .arg(protocol::DottedDecimal(settings.gateway), protocol::DottedDecimal(settings.ipAddress),
                             protocol::DottedDecimal(settings.netmask)));
        if (!line.ipAddress)
            continue;
        const std::uint32_t address = wire::Ipv4Key(*line.ipAddress);
        if (const auto [earlier, first] = given.emplace(address, line.line); !first)
            problem(QStringLiteral("%1 is given on line %2 too").arg(protocol::DottedDecimal(*line.ipAddress)).arg(earlier->second));
        const auto [holder, last] = holders.equal_range(address);
        for (auto other = holder; other != last; ++other)
            if (!planned.contains(wire::MacKey(other->second->macAddress)))
                problem(QStringLiteral("%1 is held by %2, which the plan does not move")
                            .arg(protocol::DottedDecimal(*line.ipAddress), protocol::MacText(other->second->macAddress)));
    }
    std::stable_sort(plan.problems.begin(), plan.problems.end(),
                     [](const PlanProblem& a, const PlanProblem& b) { return a.line < b.line; });
    std::erase_if(plan.lines, [&byMac](const PlanLine& line) { return !byMac.contains(wire::MacKey(line.mac)); });
    return plan;
}

DevicesByMac IndexByMac(const std::vector<ListedDevice>& devices)
{
    DevicesByMac index;
    index.reserve(devices.size());
    for (const ListedDevice& device : devices)
        index.emplace(wire::MacKey(device.macAddress), &device);
    return index;
}

std::optional<NamesByMac> ReadNames(const QByteArray& text, QString& error)
{
    int badLine = 0;
    const std::vector<CsvRecord> records = ReadCsv(text, badLine);
    NamesByMac names;
    for (const CsvRecord& record : records) {
        if (record.line == records.front().line && record.fields == QStringList{QStringLiteral("mac"), QStringLiteral("name")})
            continue;
        const std::optional<wire::MacAddress> mac = protocol::ParseMac(record.fields.value(0));
        const QString name = TextOfSpreadsheetCell(record.fields.value(1));
        if (record.fields.size() != 2 || !mac || !NameFits(name)) {
            error = QStringLiteral("line %1 is not a MAC address and a name of at most %2 bytes")
                        .arg(record.line)
                        .arg(protocol::kNameSize);
            return std::nullopt;
        }
        names[wire::MacKey(*mac)] = name;
    }
    if (badLine != 0) {
        error = QStringLiteral("line %1 is not CSV: a quote out of place or never closed").arg(badLine);
        return std::nullopt;
    }
    return names;
}

QString ModeCell(std::optional<bool> dhcp)
{
    return dhcp ? (*dhcp ? QStringLiteral("dhcp") : QStringLiteral("static")) : QString();
}

QString ModeCell(DhcpMode mode)
{
    return ModeCell(mode == DhcpMode::Unknown ? std::nullopt : std::optional(mode == DhcpMode::On));
}

QString PlanRequestProblem(const PlanRequest& request)
{
    for (QRegularExpressionMatchIterator counters = NameCounter().globalMatch(request.nameTemplate); counters.hasNext();) {
        const QRegularExpressionMatch counter = counters.next();
        if (counter.captured(1).size() > 2 || counter.captured(1).toInt() > static_cast<int>(protocol::kNameSize))
            return QStringLiteral("the counter %1 is wider than the %2 bytes of a name")
                .arg(counter.captured(0))
                .arg(protocol::kNameSize);
    }
    if (!OnlyPattern(request.only).isValid())
        return QStringLiteral("--only '%1' is no pattern like 'cam-*' or 'Gate-[EW]*'").arg(request.only);
    return {};
}

std::optional<QByteArray> MakePlan(const std::vector<ListedDevice>& devices, const PlanRequest& request, QString& error)
{
    error = PlanRequestProblem(request);
    if (!error.isEmpty())
        return std::nullopt;
    const QRegularExpression only = OnlyPattern(request.only);
    std::unordered_map<std::uint32_t, int> holders; // address, how many devices have it
    for (const ListedDevice& device : devices)
        ++holders[wire::Ipv4Key(device.ipAddress)];
    QByteArray plan = QByteArray(kPlanHeader) + "\r\n";
    std::uint32_t next = wire::Ipv4Key(request.first);
    const std::uint32_t last = wire::Ipv4Key(request.last);
    int n = 0;
    for (const ListedDevice& device : devices) {
        if (!only.match(device.name).hasMatch())
            continue;
        if (device.macSharedBy) {
            error = QStringLiteral("the device %1 cannot be planned: %2")
                        .arg(protocol::MacText(device.macAddress), SharedMacMessage(*device.macSharedBy));
            return std::nullopt;
        }
        ++n;
        const auto heldByAnother = [&](std::uint32_t address) {
            const auto held = holders.find(address);
            const int own = wire::Ipv4Key(device.ipAddress) == address ? 1 : 0;
            return held != holders.end() && held->second > own;
        };
        while (next <= last && next != 0 && (!UsableDeviceAddress(wire::Ipv4FromKey(next)) || heldByAnother(next)))
            ++next;
        if (next > last || next == 0) {
            error = QStringLiteral("the range has no free address left for the device %1 (number %2)")
                        .arg(protocol::MacText(device.macAddress))
                        .arg(n);
            return std::nullopt;
        }
        QString name;
        if (const auto listed = request.names.find(wire::MacKey(device.macAddress)); listed != request.names.end()) {
            name = listed->second;
        } else if (!request.nameTemplate.isEmpty()) {
            name = request.nameTemplate;
            QRegularExpressionMatch match;
            while ((match = NameCounter().match(name)).hasMatch())
                name.replace(match.capturedStart(), match.capturedLength(),
                             QStringLiteral("%1").arg(n, match.captured(1).toInt(), 10, QLatin1Char('0')));
            if (!NameFits(name)) {
                error = QStringLiteral("the name '%1' is over 18 bytes of UTF-8").arg(name);
                return std::nullopt;
            }
        }
        const auto address = [](const std::optional<wire::Ipv4>& given) {
            return given ? protocol::DottedDecimal(*given) : QString();
        };
        const QStringList cells{protocol::MacText(device.macAddress),
                                protocol::DottedDecimal(wire::Ipv4FromKey(next)),
                                address(request.netmask),
                                address(request.gateway),
                                address(request.dns1),
                                address(request.dns2),
                                CsvField(SpreadsheetCell(name)),
                                request.port ? QString::number(*request.port) : QString(),
                                ModeCell(request.dhcp)};
        plan += cells.join(QLatin1Char(',')).toUtf8() + "\r\n";
        ++next;
    }
    if (n == 0 && !request.only.isEmpty()) {
        error = QStringLiteral("--only '%1' matches the name of no device that answered").arg(request.only);
        return std::nullopt;
    }
    return plan;
}

} // namespace quillon::commands
