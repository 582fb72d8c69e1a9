#pragma once

#include "store/SiteMemory.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>
#include <vector>

namespace quillon::store {

// An as-built report: every device of a site (or of every site) with its settings, web address
// and first and last seen, then the journal of what was sent there.
struct SiteReport {
    QDateTime made; // UTC
    QString title;  // the sites' names; empty: every site
    std::vector<RememberedSite> sites;
    std::vector<JournalEntry> journal;
};

enum class ReportFormat { Html, Csv, Json };

// The report of `sites` (every site when none) as the memory holds it now, the journal oldest
// first; nothing when it cannot be read (memory.Error() says why).
std::optional<SiteReport> ReadSiteReport(SiteMemory& memory, const QStringList& sites);

// HTML: one file that needs nothing else (no script, no font, nothing fetched) and prints on
// A4 or Letter. CSV: the devices, an empty line, then the journal as FormatJournalCsv writes it.
// JSON: one object, {"site", "made", "sites": [{…, "devices": […]}], "journal": […]}.
QByteArray FormatSiteReport(const SiteReport& report, ReportFormat format);

// The format a file's name asks for: .csv, .json, else HTML.
ReportFormat ReportFormatOfFile(const QString& fileName);

// The journal as a JSON array, an object per entry, and as CSV, a row per setting sent.
QByteArray FormatJournalJson(const std::vector<JournalEntry>& entries);
QByteArray FormatJournalCsv(const std::vector<JournalEntry>& entries);

// "ip 203.0.113.20 → 203.0.113.40, name Lobby → Hall"
QString JournalChangesText(const JournalEntry& entry);

} // namespace quillon::store
