#include "store/SiteMemory.h"

#include "protocol/DeviceTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QStringList>

#include <sqlite3.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <tuple>
#include <unordered_map>

namespace quillon::store {

namespace {

// Version 1: sites, the devices seen at each with the settings they last reported, each change
// of those, and the journal of set requests (which names its site by name, so that forgetting a
// site leaves it whole).
constexpr const char* kSchemaVersion1 = R"(
CREATE TABLE site (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    first_visit TEXT NOT NULL,
    last_visit TEXT NOT NULL);
CREATE TABLE device (
    site INTEGER NOT NULL REFERENCES site(id) ON DELETE CASCADE,
    mac TEXT NOT NULL,
    ip TEXT NOT NULL, netmask TEXT NOT NULL, gateway TEXT NOT NULL, dns1 TEXT NOT NULL,
    dns2 TEXT NOT NULL, name TEXT NOT NULL, web_port TEXT NOT NULL, dhcp TEXT NOT NULL,
    card TEXT NOT NULL,
    first_seen TEXT NOT NULL,
    last_seen TEXT NOT NULL,
    PRIMARY KEY (site, mac)) WITHOUT ROWID;
CREATE TABLE device_change (
    id INTEGER PRIMARY KEY,
    site INTEGER NOT NULL REFERENCES site(id) ON DELETE CASCADE,
    mac TEXT NOT NULL,
    field TEXT NOT NULL,
    old TEXT NOT NULL,
    new TEXT NOT NULL,
    time TEXT NOT NULL);
CREATE INDEX device_change_by_device ON device_change(site, mac);
CREATE TABLE journal (
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    user TEXT NOT NULL,
    host TEXT NOT NULL,
    site TEXT NOT NULL,
    source TEXT NOT NULL,
    mac TEXT NOT NULL,
    before TEXT NOT NULL,
    after TEXT NOT NULL,
    outcome TEXT NOT NULL);
CREATE INDEX journal_by_device ON journal(mac);
)";

// Version 2: each listing is a visit of its sites, so that a visit can be compared with the one
// before. A site of version 1 had its first and its last visit.
constexpr const char* kSchemaVersion2 = R"(
CREATE TABLE visit (
    id INTEGER PRIMARY KEY,
    site INTEGER NOT NULL REFERENCES site(id) ON DELETE CASCADE,
    time TEXT NOT NULL);
CREATE INDEX visit_by_site ON visit(site, time);
INSERT INTO visit(site, time) SELECT id, first_visit FROM site;
INSERT INTO visit(site, time) SELECT id, last_visit FROM site WHERE last_visit <> first_visit;
)";

// Version 3: settings of the memory itself, the site the user named for one; and each change of
// a device's settings noted by the database as the device is written, one statement a device.
constexpr const char* kSchemaVersion3 = R"(
CREATE TABLE setting (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL) WITHOUT ROWID;
CREATE TRIGGER device_changes AFTER UPDATE ON device
WHEN old.ip <> new.ip OR old.netmask <> new.netmask OR old.gateway <> new.gateway OR old.dns1 <> new.dns1
    OR old.dns2 <> new.dns2 OR old.name <> new.name OR old.web_port <> new.web_port OR old.dhcp <> new.dhcp
    OR old.card <> new.card
BEGIN
    INSERT INTO device_change(site, mac, field, old, new, time)
    SELECT new.site, new.mac, field, was, now, new.last_seen FROM (
        SELECT 'ip' AS field, old.ip AS was, new.ip AS now UNION ALL
        SELECT 'netmask', old.netmask, new.netmask UNION ALL SELECT 'gateway', old.gateway, new.gateway UNION ALL
        SELECT 'dns1', old.dns1, new.dns1 UNION ALL SELECT 'dns2', old.dns2, new.dns2 UNION ALL
        SELECT 'name', old.name, new.name UNION ALL SELECT 'web_port', old.web_port, new.web_port UNION ALL
        SELECT 'dhcp', old.dhcp, new.dhcp UNION ALL SELECT 'card', old.card, new.card)
    WHERE was <> now;
END;
)";

// Each step takes the schema from the version before it to its own; the list only grows.
constexpr const char* kMigrations[] = {kSchemaVersion1, kSchemaVersion2, kSchemaVersion3};
static_assert(std::size(kMigrations) == SiteMemory::kSchemaVersion);

constexpr std::size_t kSettingCount = commands::kReportedSettingCount;

QString TimeText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODate);
}

// A prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* database, const QString& sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        ok_ = sqlite3_prepare_v2(database, utf8.constData(), static_cast<int>(utf8.size()), &statement_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return ok_; }
    Statement& Bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(statement_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int index, qint64 value)
    {
        sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return sqlite3_step(statement_); }
    void Reset()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    QString Text(int column) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(statement_, column));
    }
    qint64 Integer(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    sqlite3_stmt* statement_ = nullptr;
    bool ok_ = false;
};

// "ip, netmask, …" or "?3, ?4, …": the settings' columns in their order, or their parameters
// numbered from `first`.
QString SettingColumns(int first = 0)
{
    QStringList columns;
    for (std::size_t i = 0; i < kSettingCount; ++i)
        columns << (first > 0 ? QStringLiteral("?%1").arg(first + static_cast<int>(i)) : QLatin1String(commands::kReportedSettings[i]));
    return columns.join(QLatin1String(", "));
}

// "excluded.ip, excluded.netmask, …": an upsert's new values of the settings.
QString ExcludedColumns()
{
    QStringList columns;
    for (const char* setting : commands::kReportedSettings)
        columns << QStringLiteral("excluded.") + QLatin1String(setting);
    return columns.join(QLatin1String(", "));
}

// What the user is told of a failed SQLite call: the common faults in plain words.
QString Reason(sqlite3* database)
{
    const int code = sqlite3_extended_errcode(database) & 0xFF;
    const int error = sqlite3_system_errno(database);
    if (code == SQLITE_FULL || (code == SQLITE_IOERR && (error == ENOSPC || error == EFBIG || error == EDQUOT)))
        return QStringLiteral("no room is left on the disk");
    // SQLite keeps the errno of a failed write only until the next call of the system fails or not.
    if (code == SQLITE_IOERR)
        return QStringLiteral("it could not be written (a full disk or a failing one)");
    if (code == SQLITE_READONLY)
        return QStringLiteral("it is read-only");
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return QStringLiteral("another program kept it locked too long");
    if (code == SQLITE_CANTOPEN)
        return QStringLiteral("it cannot be opened (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
    return QString::fromUtf8(sqlite3_errmsg(database));
}

enum class Health { Sound, Corrupt, Unreadable };

Health CheckHealth(sqlite3* database)
{
    sqlite3_stmt* check = nullptr;
    int result = sqlite3_prepare_v2(database, "PRAGMA quick_check", -1, &check, nullptr);
    bool sound = result == SQLITE_OK;
    while (sound && (result = sqlite3_step(check)) == SQLITE_ROW)
        sound = std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok") == 0;
    sqlite3_finalize(check);
    const int code = result & 0xFF;
    if (!sound || code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
        return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || result == SQLITE_ROW ? Health::Corrupt : Health::Unreadable;
    return Health::Sound;
}

// PATH.corrupt-20261207T140233, with its write-ahead log beside it; the shared-memory index is
// only a cache.
QString MoveAside(const QString& path)
{
    const QString aside = path + QStringLiteral(".corrupt-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
    QFile::rename(path, aside);
    QFile::rename(path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return aside;
}

} // namespace

QString DefaultDatabasePath()
{
    const QString named = qEnvironmentVariable("QUILLON_DATABASE");
    if (!named.isEmpty())
        return named;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/quillon/quillon.sqlite");
}

QString DefaultSiteName(const commands::ListedDevice& device)
{
    if (device.cardName.isEmpty())
        return QStringLiteral("unknown card");
    return device.cardSubnet.isEmpty() ? device.cardName : device.cardName + u' ' + device.cardSubnet;
}

std::pair<QString, QString> CurrentUserAndHost()
{
    const passwd* account = ::getpwuid(::getuid());
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return {account != nullptr ? QString::fromLocal8Bit(account->pw_name) : QString::number(::getuid()),
            QString::fromLocal8Bit(host)};
}

std::unique_ptr<SiteMemory> SiteMemory::Open(const QString& path, QString& why, std::chrono::milliseconds busyTimeout)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString notice;
    for (int attempt = 0; attempt < 2; ++attempt) {
        sqlite3* database = nullptr;
        const int opened = sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        std::unique_ptr<SiteMemory> memory(new SiteMemory(database, path));
        if (opened != SQLITE_OK) {
            why = Reason(database);
            return nullptr;
        }
        sqlite3_extended_result_codes(database, 1);
        sqlite3_busy_timeout(database, static_cast<int>(busyTimeout.count()));
        const Health health = CheckHealth(database);
        if (health == Health::Corrupt && attempt == 0) {
            memory.reset();
            notice = QStringLiteral("%1 was not a readable database: it was moved to %2 and a new one begun")
                         .arg(path, MoveAside(path));
            continue;
        }
        if (health != Health::Sound) {
            why = Reason(database);
            return nullptr;
        }
        if (!memory->Execute("PRAGMA journal_mode=WAL") || !memory->Execute("PRAGMA foreign_keys=ON") || !memory->Migrate()) {
            why = memory->error_;
            return nullptr;
        }
        if (!memory->NamedSite()) {
            why = memory->error_;
            return nullptr;
        }
        memory->notice_ = notice;
        return memory;
    }
    why = QStringLiteral("it could not be begun anew");
    return nullptr;
}

SiteMemory::~SiteMemory()
{
    sqlite3_close_v2(database_);
}

bool SiteMemory::Execute(const char* sql)
{
    return sqlite3_exec(database_, sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail(QString::fromLatin1(sql));
}

bool SiteMemory::Fail(const QString& doing)
{
    written_.clear(); // what a transaction rolled back wrote is not there
    error_ = QStringLiteral("%1: %2").arg(doing, Reason(database_));
    if (!sqlite3_get_autocommit(database_))
        sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool SiteMemory::Migrate()
{
    if (!Execute("BEGIN IMMEDIATE"))
        return false;
    Statement version(database_, QStringLiteral("PRAGMA user_version"));
    if (!version.Ok() || version.Step() != SQLITE_ROW)
        return Fail(QStringLiteral("reading the schema's version"));
    const qint64 found = version.Integer(0);
    if (found > kSchemaVersion) {
        Execute("ROLLBACK");
        error_ = QStringLiteral("its schema (version %1) is newer than this program's (%2)").arg(found).arg(kSchemaVersion);
        return false;
    }
    for (qint64 step = found; step < kSchemaVersion; ++step)
        if (sqlite3_exec(database_, kMigrations[step], nullptr, nullptr, nullptr) != SQLITE_OK)
            return Fail(QStringLiteral("bringing the schema to version %1").arg(step + 1));
    const QByteArray setVersion = QByteArray("PRAGMA user_version=") + QByteArray::number(kSchemaVersion);
    return Execute(setVersion.constData()) && Execute("COMMIT");
}

std::optional<QString> SiteMemory::NamedSite()
{
    Statement read(database_, QStringLiteral("SELECT value FROM setting WHERE key = 'site'"));
    const int step = read.Ok() ? read.Step() : SQLITE_ERROR;
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        Fail(QStringLiteral("reading the site's name"));
        return std::nullopt;
    }
    named_ = step == SQLITE_ROW ? read.Text(0) : QString();
    return named_;
}

bool SiteMemory::NameSite(const QString& name)
{
    Statement write(database_, name.isEmpty() ? QStringLiteral("DELETE FROM setting WHERE key = 'site'")
                                              : QStringLiteral("INSERT OR REPLACE INTO setting(key, value) VALUES('site', ?1)"));
    if (!name.isEmpty())
        write.Bind(1, name);
    if (!write.Ok() || write.Step() != SQLITE_DONE)
        return Fail(QStringLiteral("naming the site"));
    named_ = name;
    return true;
}

QString SiteMemory::SiteOf(const commands::ListedDevice& device, const QString& named)
{
    return !named.isEmpty() ? named : !named_.isEmpty() ? named_ : DefaultSiteName(device);
}

std::optional<std::vector<RememberedSite>> SiteMemory::Sites(const QString& site)
{
    Statement sites(database_, QStringLiteral("SELECT id, name, first_visit, last_visit, (SELECT count(*) FROM visit WHERE site = s.id) "
                                              "FROM site s WHERE ?1 IS NULL OR name = ?1 ORDER BY name"));
    Statement devices(database_, QStringLiteral("SELECT mac, %1, first_seen, last_seen FROM device WHERE site = ?1 ORDER BY mac")
                                     .arg(SettingColumns()));
    if (!sites.Ok() || !devices.Ok()) {
        Fail(QStringLiteral("reading the sites"));
        return std::nullopt;
    }
    if (!site.isEmpty())
        sites.Bind(1, site);
    std::vector<RememberedSite> found;
    const auto time = [](const Statement& row, int column) { return QDateTime::fromString(row.Text(column), Qt::ISODate); };
    while (sites.Step() == SQLITE_ROW) {
        RememberedSite& record = found.emplace_back();
        record = {sites.Text(1), time(sites, 2), time(sites, 3), sites.Integer(4), {}};
        devices.Reset();
        devices.Bind(1, sites.Integer(0));
        while (devices.Step() == SQLITE_ROW) {
            RememberedDevice& device = record.devices.emplace_back();
            device.mac = devices.Text(0);
            for (std::size_t i = 0; i < kSettingCount; ++i)
                device.settings.insert(QLatin1String(commands::kReportedSettings[i]), devices.Text(1 + static_cast<int>(i)));
            device.firstSeen = time(devices, 1 + static_cast<int>(kSettingCount));
            device.lastSeen = time(devices, 2 + static_cast<int>(kSettingCount));
        }
    }
    return found;
}

std::optional<qint64> SiteMemory::Forget(const QString& site, bool& found)
{
    Statement count(database_, QStringLiteral("SELECT count(*) FROM device d JOIN site s ON s.id = d.site WHERE s.name = ?1"));
    Statement remove(database_, QStringLiteral("DELETE FROM site WHERE name = ?1"));
    if (!Execute("BEGIN IMMEDIATE"))
        return std::nullopt;
    if (!count.Ok() || !remove.Ok() || count.Bind(1, site).Step() != SQLITE_ROW) {
        Fail(QStringLiteral("forgetting the site %1").arg(site));
        return std::nullopt;
    }
    const qint64 devices = count.Integer(0);
    count.Reset();
    if (remove.Bind(1, site).Step() != SQLITE_DONE) {
        Fail(QStringLiteral("forgetting the site %1").arg(site));
        return std::nullopt;
    }
    found = sqlite3_changes(database_) > 0;
    written_.clear();
    if (!Execute("COMMIT"))
        return std::nullopt;
    return devices;
}

// The site's id, its visit that began at `visitBegan` noted.
std::optional<qint64> SiteMemory::SiteId(const QString& name, const QString& when, const QString& visitBegan)
{
    Statement site(database_, QStringLiteral("INSERT INTO site(name, first_visit, last_visit) VALUES(?1, ?2, ?2) "
                                             "ON CONFLICT(name) DO UPDATE SET last_visit = excluded.last_visit RETURNING id"));
    if (!site.Ok() || site.Bind(1, name).Bind(2, when).Step() != SQLITE_ROW)
        return std::nullopt;
    const qint64 id = site.Integer(0);
    Statement visit(database_, QStringLiteral("INSERT INTO visit(site, time) SELECT ?1, ?2 "
                                              "WHERE NOT EXISTS (SELECT 1 FROM visit WHERE site = ?1 AND time = ?2)"));
    if (!visit.Ok() || visit.Bind(1, id).Bind(2, visitBegan).Step() != SQLITE_DONE)
        return std::nullopt;
    return id;
}

std::optional<std::vector<SiteDifference>> SiteMemory::Diff(const QString& site, const std::optional<QDateTime>& since)
{
    Statement sites(database_, QStringLiteral("SELECT id, name, (SELECT max(time) FROM visit WHERE site = s.id), "
                                              "(SELECT max(time) FROM visit WHERE site = s.id AND time < "
                                              "(SELECT max(time) FROM visit WHERE site = s.id)) "
                                              "FROM site s WHERE ?1 IS NULL OR name = ?1 ORDER BY name"));
    Statement added(database_, QStringLiteral("SELECT mac, ip, name, first_seen FROM device WHERE site = ?1 AND first_seen > ?2 ORDER BY mac"));
    Statement missing(database_, QStringLiteral("SELECT mac, ip, name, last_seen FROM device WHERE site = ?1 AND last_seen < ?2 ORDER BY mac"));
    Statement changed(database_, QStringLiteral("SELECT c.mac, d.ip, d.name, c.time, c.field, c.old, c.new FROM device_change c "
                                                "JOIN device d ON d.site = c.site AND d.mac = c.mac "
                                                "WHERE c.site = ?1 AND c.time > ?2 ORDER BY c.id"));
    if (!sites.Ok() || !added.Ok() || !missing.Ok() || !changed.Ok()) {
        Fail(QStringLiteral("comparing the visits"));
        return std::nullopt;
    }
    if (!site.isEmpty())
        sites.Bind(1, site);
    std::vector<SiteDifference> differences;
    const auto collect = [&](Statement& query, SiteDifference::Kind kind, const QString& siteName) {
        while (query.Step() == SQLITE_ROW) {
            SiteDifference& difference = differences.emplace_back();
            difference = {kind, siteName, query.Text(0), query.Text(1), query.Text(2), query.Text(3), {}, {}, {}};
            if (kind == SiteDifference::Kind::Changed)
                std::tie(difference.field, difference.old, difference.now) = std::tuple(query.Text(4), query.Text(5), query.Text(6));
        }
    };
    while (sites.Step() == SQLITE_ROW) {
        const qint64 id = sites.Integer(0);
        const QString name = sites.Text(1);
        const QString latest = sites.Text(2);
        const QString from = since ? TimeText(*since) : sites.Text(3); // empty: every device is new
        added.Reset();
        added.Bind(1, id).Bind(2, from);
        collect(added, SiteDifference::Kind::New, name);
        missing.Reset();
        missing.Bind(1, id).Bind(2, latest);
        collect(missing, SiteDifference::Kind::Missing, name);
        changed.Reset();
        changed.Bind(1, id).Bind(2, from);
        collect(changed, SiteDifference::Kind::Changed, name);
    }
    return differences;
}

bool SiteMemory::RecordDevices(const std::vector<commands::ListedDevice>& devices, const QString& site, const QDateTime& when,
                               const QDateTime& visitBegan)
{
    const QString whenText = TimeText(when);
    const qint64 whenSecond = when.toSecsSinceEpoch();
    const QString visitText = visitBegan.isValid() ? TimeText(visitBegan) : whenText;
    if (!Execute("BEGIN IMMEDIATE") || !NamedSite())
        return false;
    const std::optional<qint64> version = DataVersion();
    if (!version)
        return Fail(QStringLiteral("reading the database's version"));
    if (*version != dataVersion_)
        written_.clear(); // another program wrote meanwhile: what it wrote is not known here
    dataVersion_ = *version;
    // A device known at its site keeps its first-seen time; the trigger notes what changed.
    Statement write(database_, QStringLiteral("INSERT INTO device(site, mac, %1, first_seen, last_seen) VALUES(?1, ?2, %2, ?%3, ?%3) "
                                              "ON CONFLICT(site, mac) DO UPDATE SET (%1, last_seen) = (%4, excluded.last_seen)")
                                   .arg(SettingColumns(), SettingColumns(3))
                                   .arg(3 + kSettingCount)
                                   .arg(ExcludedColumns()));
    Statement touch(database_, QStringLiteral("UPDATE device SET last_seen = ?1 WHERE site = ?2 AND mac IN (SELECT value FROM json_each(?3))"));
    if (!write.Ok() || !touch.Ok())
        return Fail(QStringLiteral("preparing to write the devices"));
    QHash<QString, qint64> sites;
    std::unordered_map<qint64, std::vector<std::size_t>> unchanged; // by site: devices that report as written last
    for (std::size_t at = 0; at < devices.size(); ++at) {
        const commands::ListedDevice& device = devices[at];
        const QString siteName = SiteOf(device, site);
        if (!sites.contains(siteName)) {
            const std::optional<qint64> id = SiteId(siteName, whenText, visitText);
            if (!id)
                return Fail(QStringLiteral("writing the site %1").arg(siteName));
            sites.insert(siteName, *id);
        }
        const qint64 siteId = sites.value(siteName);
        const std::array<QString, kSettingCount> settings = commands::ReportedSettingTexts(device);
        const Written written{siteId, qHashRange(settings.begin(), settings.end()), whenSecond};
        Written& known = written_[wire::MacKey(device.macAddress)];
        if (known.site == written.site && known.settings == written.settings) {
            if (known.seen != whenSecond) // the memory keeps whole seconds
                unchanged[siteId].push_back(at);
            known.seen = whenSecond;
            continue;
        }
        write.Reset();
        write.Bind(1, siteId).Bind(2, protocol::MacText(device.macAddress)).Bind(3 + static_cast<int>(kSettingCount), whenText);
        for (std::size_t i = 0; i < kSettingCount; ++i)
            write.Bind(3 + static_cast<int>(i), settings[i]);
        if (write.Step() != SQLITE_DONE)
            return Fail(QStringLiteral("writing the device %1").arg(protocol::MacText(device.macAddress)));
        known = written;
    }
    // Their last-seen time, one statement a site.
    for (const auto& [siteId, indexes] : unchanged) {
        QStringList macs;
        for (const std::size_t at : indexes)
            macs << QLatin1Char('"') + protocol::MacText(devices[at].macAddress) + QLatin1Char('"');
        touch.Reset();
        touch.Bind(1, whenText).Bind(2, siteId).Bind(3, QLatin1Char('[') + macs.join(u',') + QLatin1Char(']'));
        if (touch.Step() != SQLITE_DONE)
            return Fail(QStringLiteral("writing when the devices were seen"));
    }
    return Execute("COMMIT");
}

std::optional<qint64> SiteMemory::DataVersion()
{
    Statement version(database_, QStringLiteral("PRAGMA data_version"));
    if (!version.Ok() || version.Step() != SQLITE_ROW)
        return std::nullopt;
    return version.Integer(0);
}

bool SiteMemory::RecordJournal(const JournalEntry& entry)
{
    Statement add(database_, QStringLiteral("INSERT INTO journal(time, user, host, site, source, mac, before, after, outcome) "
                                            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"));
    if (!add.Ok())
        return Fail(QStringLiteral("preparing the journal"));
    add.Bind(1, TimeText(entry.time)).Bind(2, entry.user).Bind(3, entry.host).Bind(4, entry.site).Bind(5, entry.source);
    add.Bind(6, protocol::MacText(entry.mac));
    add.Bind(7, QString::fromUtf8(QJsonDocument(entry.before).toJson(QJsonDocument::Compact)));
    add.Bind(8, QString::fromUtf8(QJsonDocument(entry.after).toJson(QJsonDocument::Compact)));
    add.Bind(9, entry.outcome);
    return add.Step() == SQLITE_DONE || Fail(QStringLiteral("writing the journal entry of %1").arg(protocol::MacText(entry.mac)));
}

std::optional<std::vector<JournalEntry>> SiteMemory::History(const HistoryQuery& query)
{
    Statement read(database_, QStringLiteral("SELECT time, user, host, site, source, mac, before, after, outcome FROM journal "
                                             "WHERE (?1 IS NULL OR mac = ?1) AND (?2 IS NULL OR site = ?2) "
                                             "AND (?3 IS NULL OR time >= ?3) ORDER BY id"));
    if (!read.Ok()) {
        Fail(QStringLiteral("reading the journal"));
        return std::nullopt;
    }
    if (query.mac)
        read.Bind(1, protocol::MacText(*query.mac));
    if (!query.site.isEmpty())
        read.Bind(2, query.site);
    if (query.since)
        read.Bind(3, TimeText(*query.since));
    std::vector<JournalEntry> entries;
    int step = SQLITE_ROW;
    while ((step = read.Step()) == SQLITE_ROW) {
        JournalEntry& entry = entries.emplace_back();
        entry.time = QDateTime::fromString(read.Text(0), Qt::ISODate);
        entry.user = read.Text(1);
        entry.host = read.Text(2);
        entry.site = read.Text(3);
        entry.source = read.Text(4);
        entry.mac = protocol::ParseMac(read.Text(5)).value_or(wire::MacAddress{});
        entry.before = QJsonDocument::fromJson(read.Text(6).toUtf8()).object();
        entry.after = QJsonDocument::fromJson(read.Text(7).toUtf8()).object();
        entry.outcome = read.Text(8);
    }
    if (step != SQLITE_DONE) {
        Fail(QStringLiteral("reading the journal"));
        return std::nullopt;
    }
    return entries;
}

} // namespace quillon::store
