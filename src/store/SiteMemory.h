#pragma once

#include "commands/DeviceListing.h"
#include "protocol/Wire.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace quillon::store {

// $QUILLON_DATABASE, else quillon/quillon.sqlite under $XDG_DATA_HOME (~/.local/share).
QString DefaultDatabasePath();

// A device's site when the user named none: the card it answered on and that card's subnet,
// "lan0 203.0.113.0/24".
QString DefaultSiteName(const commands::ListedDevice& device);

// One set request this program sent, and how it ended.
struct JournalEntry {
    QDateTime time; // UTC
    QString user;
    QString host;
    QString site;
    QString source; // "window", "set" or "apply"
    wire::MacAddress mac{};
    QJsonObject before; // each setting sent, as the device had it
    QJsonObject after;  // and as it was sent
    QString outcome;    // "applied", "not confirmed", "not applied: port reports 80", …
};

// "alice" and "laptop": who sends, from where.
std::pair<QString, QString> CurrentUserAndHost();

struct HistoryQuery {
    std::optional<wire::MacAddress> mac;
    QString site; // empty: every site
    std::optional<QDateTime> since;
};

// A device as the site's memory keeps it: the settings it last reported, as list's JSON names
// them (each as text, empty for none), and when it was first and last seen at its site.
struct RememberedDevice {
    QString mac;
    QJsonObject settings;
    QDateTime firstSeen; // UTC
    QDateTime lastSeen;
};

// A site and every device seen at it, in the order of their MAC addresses.
struct RememberedSite {
    QString name;
    QDateTime firstVisit; // UTC
    QDateTime lastVisit;
    qint64 visits = 0;
    std::vector<RememberedDevice> devices;
};

// What changed at a site between two visits (two listings).
struct SiteDifference {
    enum class Kind { New, Missing, Changed };
    Kind kind = Kind::New;
    QString site;
    QString mac;
    QString ip;   // as the device last reported it
    QString name;
    QString time; // first seen (new), last seen (missing), when it changed (changed); ISO 8601, UTC
    QString field; // Changed: the setting, as list's JSON names it
    QString old;
    QString now;
};

// A site's memory: every device seen, per site, with each change of the settings it reports, and
// the journal of every set request sent, in one SQLite database. WAL and a busy timeout let the
// window and quillonctl runs write side by side. A failure never throws and never stops the
// caller: the member returns false or nothing and Error() says why, in words for the user.
class SiteMemory {
public:
    static constexpr int kSchemaVersion = 3;
    static constexpr std::chrono::milliseconds kBusyTimeout{5000};

    // Opens the database at `path`, creating it and its folder, and brings its schema up to date.
    // A file that is not a readable database is never overwritten: it is moved aside
    // (PATH.corrupt-TIME) and a new one begun, which Notice() then tells. Nothing when the
    // database cannot be used, and `why` says why.
    static std::unique_ptr<SiteMemory> Open(const QString& path, QString& why,
                                            std::chrono::milliseconds busyTimeout = kBusyTimeout);
    ~SiteMemory();
    SiteMemory(const SiteMemory&) = delete;
    SiteMemory& operator=(const SiteMemory&) = delete;

    // Enters the devices seen at `when`, each at SiteOf(device, site), in one
    // transaction: a device new to its site is added, a known one gets its last-seen time and a
    // change row for each setting it now reports otherwise. They belong to the visit of their
    // site that began at `visitBegan` (`when` when not given): a window that keeps writing what it
    // finds makes one visit of it.
    bool RecordDevices(const std::vector<commands::ListedDevice>& devices, const QString& site, const QDateTime& when,
                       const QDateTime& visitBegan = {});
    bool RecordJournal(const JournalEntry& entry);
    // The journal's entries that match, oldest first.
    std::optional<std::vector<JournalEntry>> History(const HistoryQuery& query);
    // For `site` (every site when empty), by site: the devices first seen after `since`, those
    // the latest visit did not see, and each change of a setting after `since`. Without `since`,
    // since the visit before the latest.
    std::optional<std::vector<SiteDifference>> Diff(const QString& site, const std::optional<QDateTime>& since);

    // The sites named `site` (every site when empty), by name, each with its devices.
    std::optional<std::vector<RememberedSite>> Sites(const QString& site);
    // Removes a site, its devices and their changes; the journal keeps what was sent there. How
    // many devices it held; nothing on failure, and no site of that name is 0 sites (`found`).
    std::optional<qint64> Forget(const QString& site, bool& found);

    // The site the user named for whatever is found from now on, in every program that uses this
    // memory; empty when none is, and each device's site is its card's. Nothing on failure.
    std::optional<QString> NamedSite();
    // Names it; an empty name returns to each card's site.
    bool NameSite(const QString& name);
    // `named` when given, else the site named in this memory, else the device's card's.
    QString SiteOf(const commands::ListedDevice& device, const QString& named);

    const QString& Error() const { return error_; }
    const QString& Notice() const { return notice_; }
    const QString& Path() const { return path_; }

private:
    SiteMemory(sqlite3* database, QString path) : database_(database), path_(std::move(path)) {}
    bool Execute(const char* sql);
    bool Fail(const QString& doing);
    bool Migrate();
    std::optional<qint64> SiteId(const QString& name, const QString& when, const QString& visitBegan);
    // Changes whenever another connection has written since it was last read.
    std::optional<qint64> DataVersion();

    sqlite3* database_;
    QString path_;
    QString error_;
    QString notice_;
    QString named_; // as NamedSite() last read it
    // What this connection wrote of each device, by MAC key. A device that reports the same
    // again only needs its last-seen time, which one statement a site gives them all, and nothing
    // within the same second. Forgotten whenever another program wrote (dataVersion_).
    struct Written {
        qint64 site = 0;
        std::size_t settings = 0; // their hash
        qint64 seen = 0;          // seconds since the epoch
    };
    std::unordered_map<std::uint64_t, Written> written_;
    qint64 dataVersion_ = -1;
};

} // namespace quillon::store
