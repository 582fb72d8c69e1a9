#pragma once

#include "commands/DeviceListing.h"
#include "commands/Plan.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace quillon::ctl {

// Csv: a header line and a row each; Json: one array; JsonLines: an object a line (standard
// output's --format json).
enum class ReportFormat { Csv, Json, JsonLines };

// What the report tells of one line of a plan, once its device is done.
struct ReportRow {
    const commands::PlanLine& line;
    const commands::ListedDevice* before; // null when the device did not answer
    QString outcome;                       // "applied", "not applied: port reports 80", "refused: …"
    QDateTime ended;
};

// The report `apply` leaves to hand over: per device the line, its MAC address, how it ended and
// when, the address, netmask, gateway, name, port and mode before and as the plan gives them, and
// the web address. A row is written as each device ends; CSV has a header line, JSON is one array.
class ApplyReport {
public:
    using Writer = std::function<bool(const QByteArray&)>;
    ApplyReport(Writer write, ReportFormat format) : write_(std::move(write)), format_(format) {}

    bool Begin();
    bool Add(const ReportRow& row);
    bool End();

private:
    Writer write_;
    ReportFormat format_;
    bool empty_ = true;
};

} // namespace quillon::ctl
