#pragma once

#include "commands/Plan.h"
#include "ctl/ApplyReport.h"
#include "ctl/Common.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <string>
#include <vector>

namespace quillon::ctl {

struct PlanOptions {
    commands::PlanRequest request;
    std::chrono::milliseconds timeout{2000}; // how long to collect answers
    int repeats = kSearchRepeats;            // how many times each search request goes out
    std::vector<std::string> interfaces;     // empty: every card
};

struct ApplyOptions {
    QString planPath;
    bool dryRun = false;
    bool yes = false;             // send gateways outside the subnet without refusing
    QString reportPath;           // empty: no report
    ReportFormat reportFormat = ReportFormat::Csv;
    std::size_t jobs = 8;         // devices in flight at once
    bool skipMissing = false;     // report lines of devices that did not answer, instead of refusing
    bool json = false;            // each device's line on standard output as a JSON object
    int repeats = kSearchRepeats; // how many times each search request goes out
    std::chrono::milliseconds timeout{5000}; // for each device to confirm
    std::vector<std::string> interfaces;
    MemoryOptions memory;
};

// The most devices `apply --jobs` keeps in flight.
inline constexpr unsigned kMostJobs = 64;

// Exit status of `apply` when a line was not applied (not found or not confirmed).
inline constexpr int kExitNotAllApplied = 3;

// Searches, then writes a plan for the devices that answered to `dataFd`; sends nothing.
int RunPlan(const PlanOptions& options, int dataFd);

// Searches once, checks the whole plan against the answers and then, only when it has no
// problem, changes the devices as `set` does, up to `jobs` at once. Writes one status line per
// device to `dataFd` (and to the report) as it ends; messages go to standard error. Returns the
// exit status.
int RunApply(const ApplyOptions& options, int dataFd);

// `plan` and `apply` from the program's arguments.
ParsedCommand ParsePlan(const QStringList& arguments);
ParsedCommand ParseApply(const QStringList& arguments);

} // namespace quillon::ctl
