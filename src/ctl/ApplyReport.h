#pragma once

#include "commands/DeviceListing.h"
#include "commands/Plan.h"
#include "ctl/ReportFile.h"

#include <QDateTime>
#include <QString>

namespace quillon::ctl {

enum class ReportFormat { Csv, Json };

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
    ApplyReport(ReportFile& file, ReportFormat format) : file_(file), format_(format) {}

    bool Begin();
    bool Add(const ReportRow& row);
    bool End();

private:
    ReportFile& file_;
    ReportFormat format_;
    bool empty_ = true;
};

} // namespace quillon::ctl
