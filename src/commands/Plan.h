#pragma once

#include "commands/DeviceListing.h"
#include "protocol/Wire.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quillon::commands {

// One record of a CSV text and the line it starts on (the first line is 1).
struct CsvRecord {
    int line = 0;
    QStringList fields;
};
// Splits `text` as RFC 4180 says: quoted fields may hold commas, line breaks and doubled
// quotes; lines end in CRLF or LF; blank lines are skipped. The records up to a malformed one; its line in `badLine`
// (0 when there was none).
std::vector<CsvRecord> ReadCsv(const QByteArray& text, int& badLine);

// The MAC addresses of a plan's lines that give one, in their order; nothing is checked.
std::vector<wire::MacAddress> PlanMacs(const QByteArray& text);

// What a plan may hold: a line for each device of a full site, no line longer than any device's
// line could be many times over, and no more bytes than such lines make.
inline constexpr std::size_t kMaximumPlanLines = 65536; // device lines, beside the header
inline constexpr qsizetype kMaximumPlanLineBytes = 4096;
inline constexpr qsizetype kMaximumPlanBytes = 16 * 1024 * 1024;

// Reads a plan from `device`, stopping at the first bound it passes: nothing then, with `error`
// saying which.
std::optional<QByteArray> ReadPlanText(QIODevice& device, QString& error);

// A plan's mode cell: "dhcp", "static", or empty when none is given (or the device told none).
QString ModeCell(std::optional<bool> dhcp);
QString ModeCell(DhcpMode mode);

// The header of a plan, and the columns of its lines in that order.
inline constexpr const char* kPlanHeader = "mac,ip,netmask,gateway,dns1,dns2,name,port,mode";

// The changes asked of one device, checked for form: what is empty the device keeps. A line of
// a plan and the options of `quillonctl set` both ask for them.
struct DeviceChanges {
    wire::MacAddress mac{};
    std::optional<wire::Ipv4> ipAddress;
    std::optional<wire::Ipv4> netmask;
    std::optional<wire::Ipv4> gateway;
    std::optional<wire::Ipv4> dns1;
    std::optional<wire::Ipv4> dns2;
    std::optional<QString> name; // at most 18 bytes of UTF-8
    std::optional<std::uint16_t> port;
    std::optional<bool> dhcp;    // DHCP (true) or a static address (false)
};

// One line of a plan: an empty cell is an empty optional.
struct PlanLine : DeviceChanges {
    int line = 0;
};

struct PlanProblem {
    int line = 0;
    QString message;
};

struct CheckedPlan {
    std::vector<PlanLine> lines;
    std::vector<PlanProblem> problems; // in line order; when there is one, nothing may be sent
    std::vector<PlanLine> missing;     // lines of devices that did not answer, when they may be skipped
};

// What a plan's check lets pass.
struct PlanLeniency {
    bool outsideGateway = false; // a gateway outside the subnet
    bool missingDevices = false; // a line whose device did not answer: set apart, not a problem
};

// Reads a plan and checks all of it against the devices that answered, as Submit would check
// each line and beyond: malformed lines, unknown or repeated MAC addresses, two lines giving one
// address, an address held by a device the plan does not move, an address ending in 0 or 255,
// a name over 18 bytes, a port over 65535 and a gateway outside
// the subnet (each unless `leniency` lets it pass).
CheckedPlan CheckPlan(const QByteArray& text, const std::vector<ListedDevice>& devices, PlanLeniency leniency = {});

// The devices by MAC address (wire::MacKey), pointing into the vector they were indexed from.
using DevicesByMac = std::unordered_map<std::uint64_t, const ListedDevice*>;
DevicesByMac IndexByMac(const std::vector<ListedDevice>& devices);

// Names by MAC address (wire::MacKey), from an installer's list.
using NamesByMac = std::unordered_map<std::uint64_t, QString>;

struct PlanRequest {
    wire::Ipv4 first{};
    wire::Ipv4 last{};
    std::optional<wire::Ipv4> netmask;
    std::optional<wire::Ipv4> gateway;
    QString nameTemplate; // "{n}" or "{n:0W}" count from 1 in plan order; empty: names stay
    QString only;         // shell pattern over the names; empty: every device
    // What every line gives besides, when set.
    std::optional<wire::Ipv4> dns1;
    std::optional<wire::Ipv4> dns2;
    std::optional<std::uint16_t> port;
    std::optional<bool> dhcp;
    NamesByMac names;     // a device listed here gets its name, whatever the template says
};

// A list of names, CSV of two columns mac,name (the header line may be left out), as a drawing
// gives them; nothing, with `error` naming the line, when a line is not a MAC address and a name
// of at most 18 bytes.
std::optional<NamesByMac> ReadNames(const QByteArray& text, QString& error);

// Why `request` can make no plan: a counter wider than a name's 18 bytes, a pattern that is no
// shell pattern. Empty when it can.
QString PlanRequestProblem(const PlanRequest& request);

// A plan giving the devices (all, or those `only` matches), in the order given, consecutive
// addresses from the range, skipping those another device holds and those ending in 0 or 255.
// Nothing, with `error` set, when the range is too short or a name would not fit.
std::optional<QByteArray> MakePlan(const std::vector<ListedDevice>& devices, const PlanRequest& request,
                                   QString& error);

} // namespace quillon::commands
