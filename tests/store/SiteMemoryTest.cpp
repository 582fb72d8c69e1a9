// The site's memory on disk: what it keeps of the devices and the set requests, two writers at
// once, and the faults that turn it off without stopping anybody.

#include "store/SiteMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

using namespace quillon;
using store::SiteMemory;

namespace {

commands::ListedDevice Camera(int number, const char* name = "cam", std::uint8_t host = 20)
{
    commands::ListedDevice device;
    device.macAddress = {0x02, 0, 0, 0, static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
    device.ipAddress = {203, 0, 113, host};
    device.netmask = {255, 255, 255, 0};
    device.name = QLatin1String(name);
    device.webPort = 80;
    device.cardName = QStringLiteral("lan0");
    device.cardSubnet = QStringLiteral("203.0.113.0/24");
    return device;
}

// The rows a query gives, each row's columns joined by '|'.
QStringList Rows(const QString& path, const char* sql)
{
    sqlite3* database = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            database, sql,
            [](void* into, int columns, char** values, char**) {
                QStringList row;
                for (int i = 0; i < columns; ++i)
                    row << QString::fromUtf8(values[i] != nullptr ? values[i] : "NULL");
                static_cast<QStringList*>(into)->append(row.join(u'|'));
                return 0;
            },
            &rows, nullptr);
    }
    sqlite3_close(database);
    return rows;
}

class SiteMemoryTest : public testing::Test {
protected:
    QString Path() const { return directory.filePath(QStringLiteral("memory/quillon.sqlite")); }
    std::unique_ptr<SiteMemory> Open()
    {
        QString why;
        auto memory = SiteMemory::Open(Path(), why, std::chrono::milliseconds(200));
        EXPECT_NE(memory, nullptr) << why.toStdString();
        return memory;
    }
    QTemporaryDir directory;
};

const QDateTime kMonday(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC);

} // namespace

TEST_F(SiteMemoryTest, EachDeviceIsKeptPerSiteWithEveryChangeOfWhatItReports)
{
    auto memory = Open();
    ASSERT_NE(memory, nullptr);
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Lobby"), Camera(2, "Dock", 22)}, {}, kMonday));
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Hall", 40)}, {}, kMonday.addDays(1)));
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Hall", 40)}, QStringLiteral("Depot"), kMonday.addDays(2)));
    EXPECT_EQ(Rows(Path(), "SELECT s.name, d.mac, d.ip, d.name, d.first_seen, d.last_seen FROM device d JOIN site s ON s.id = d.site "
                           "ORDER BY s.name, d.mac"),
              (QStringList{"Depot|02:00:00:00:00:01|203.0.113.40|Hall|2026-12-09T09:00:00Z|2026-12-09T09:00:00Z",
                           "lan0 203.0.113.0/24|02:00:00:00:00:01|203.0.113.40|Hall|2026-12-07T09:00:00Z|2026-12-08T09:00:00Z",
                           "lan0 203.0.113.0/24|02:00:00:00:00:02|203.0.113.22|Dock|2026-12-07T09:00:00Z|2026-12-07T09:00:00Z"}));
    EXPECT_EQ(Rows(Path(), "SELECT mac, field, old, new, time FROM device_change ORDER BY id"),
              (QStringList{"02:00:00:00:00:01|ip|203.0.113.20|203.0.113.40|2026-12-08T09:00:00Z",
                           "02:00:00:00:00:01|name|Lobby|Hall|2026-12-08T09:00:00Z"}));
    EXPECT_EQ(Rows(Path(), "PRAGMA user_version"), QStringList{QString::number(SiteMemory::kSchemaVersion)});
    EXPECT_EQ(Rows(Path(), "PRAGMA journal_mode"), QStringList{"wal"});
}

TEST_F(SiteMemoryTest, TheJournalKeepsEverySetRequestAndHistoryFindsThemByDeviceSiteAndTime)
{
    auto memory = Open();
    ASSERT_NE(memory, nullptr);
    const auto entry = [](int camera, const char* site, int day, const char* outcome) {
        store::JournalEntry journal{kMonday.addDays(day), "alice", "laptop", QLatin1String(site), "set", Camera(camera).macAddress,
                                    QJsonObject{{"ip", "203.0.113.20"}}, QJsonObject{{"ip", "203.0.113.40"}}, QLatin1String(outcome)};
        return journal;
    };
    for (const store::JournalEntry& written : {entry(1, "Depot", 0, "applied"), entry(2, "Depot", 1, "not confirmed"),
                                               entry(1, "Yard", 2, "not applied: ip reports 203.0.113.20")})
        ASSERT_TRUE(memory->RecordJournal(written));
    const std::tuple<const char*, store::HistoryQuery, QStringList> cases[] = {
        {"all", {}, {"applied", "not confirmed", "not applied: ip reports 203.0.113.20"}},
        {"one device", {Camera(1).macAddress, {}, {}}, {"applied", "not applied: ip reports 203.0.113.20"}},
        {"one site", {{}, "Depot", {}}, {"applied", "not confirmed"}},
        {"since Tuesday", {{}, {}, kMonday.addDays(1)}, {"not confirmed", "not applied: ip reports 203.0.113.20"}},
        {"nothing", {Camera(3).macAddress, {}, {}}, {}},
    };
    for (const auto& [what, query, outcomes] : cases) {
        const std::optional<std::vector<store::JournalEntry>> found = memory->History(query);
        ASSERT_TRUE(found) << what;
        QStringList got;
        for (const store::JournalEntry& e : *found)
            got << e.outcome;
        EXPECT_EQ(got, outcomes) << what;
    }
    const store::JournalEntry first = memory->History({})->front();
    EXPECT_EQ(first.user + "@" + first.host + " " + first.source, QStringLiteral("alice@laptop set"));
    EXPECT_EQ(first.after.value("ip").toString(), QStringLiteral("203.0.113.40"));
    EXPECT_EQ(first.time, kMonday);
}

TEST_F(SiteMemoryTest, TwoWritersAtOnceBothGetEverythingIn)
{
    constexpr int kDevicesEach = 500;
    constexpr int kRounds = 10;
    ASSERT_NE(Open(), nullptr); // the schema first, as the second writer would find it
    std::atomic<int> failures{0};
    const auto writer = [&](int first) {
        QString why;
        auto memory = SiteMemory::Open(Path(), why);
        if (memory == nullptr) {
            ++failures;
            return;
        }
        std::vector<commands::ListedDevice> devices;
        for (int i = 0; i < kDevicesEach; ++i)
            devices.push_back(Camera(first + i));
        for (int round = 0; round < kRounds; ++round)
            failures += memory->RecordDevices(devices, {}, kMonday.addSecs(round)) ? 0 : 1;
    };
    std::thread window(writer, 0);
    std::thread commandLine(writer, kDevicesEach);
    window.join();
    commandLine.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Rows(Path(), "SELECT count(*), min(last_seen), max(last_seen) FROM device"),
              QStringList{QStringLiteral("%1|2026-12-07T09:00:09Z|2026-12-07T09:00:09Z").arg(2 * kDevicesEach)});
}

// Two visits of one site, Monday and Tuesday: Dock went missing, Roof is new, Lobby moved.
TEST_F(SiteMemoryTest, ADiffTellsTheDevicesNewMissingAndChangedSinceTheVisitBeforeOrADate)
{
    auto memory = Open();
    ASSERT_NE(memory, nullptr);
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Lobby", 20), Camera(2, "Dock", 22)}, "Depot", kMonday));
    ASSERT_TRUE(memory->RecordDevices({Camera(9, "Elsewhere", 90)}, "Yard", kMonday));
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Lobby", 40), Camera(3, "Roof", 23)}, "Depot", kMonday.addDays(1)));
    const std::tuple<const char*, QString, std::optional<QDateTime>, QStringList> cases[] = {
        {"since the visit before", "Depot", std::nullopt,
         {"new Depot 02:00:00:00:00:03 203.0.113.23 Roof 2026-12-08T09:00:00Z",
          "missing Depot 02:00:00:00:00:02 203.0.113.22 Dock 2026-12-07T09:00:00Z",
          "changed Depot 02:00:00:00:00:01 203.0.113.40 Lobby 2026-12-08T09:00:00Z ip 203.0.113.20 203.0.113.40"}},
        {"since a date before both", "Depot", kMonday.addDays(-1),
         {"new Depot 02:00:00:00:00:01 203.0.113.40 Lobby 2026-12-07T09:00:00Z",
          "new Depot 02:00:00:00:00:02 203.0.113.22 Dock 2026-12-07T09:00:00Z",
          "new Depot 02:00:00:00:00:03 203.0.113.23 Roof 2026-12-08T09:00:00Z",
          "missing Depot 02:00:00:00:00:02 203.0.113.22 Dock 2026-12-07T09:00:00Z",
          "changed Depot 02:00:00:00:00:01 203.0.113.40 Lobby 2026-12-08T09:00:00Z ip 203.0.113.20 203.0.113.40"}},
        {"a site of one visit: all new", "Yard", std::nullopt, {"new Yard 02:00:00:00:00:09 203.0.113.90 Elsewhere 2026-12-07T09:00:00Z"}},
        {"no such site", "Nowhere", std::nullopt, {}},
    };
    const char* kinds[] = {"new", "missing", "changed"};
    for (const auto& [what, site, since, expected] : cases) {
        const std::optional<std::vector<store::SiteDifference>> differences = memory->Diff(site, since);
        ASSERT_TRUE(differences) << what;
        QStringList got;
        for (const store::SiteDifference& d : *differences)
            got << QStringList{kinds[static_cast<int>(d.kind)], d.site, d.mac, d.ip, d.name, d.time, d.field, d.old, d.now}.join(u' ').trimmed();
        EXPECT_EQ(got.join('\n').toStdString(), expected.join('\n').toStdString()) << what;
    }
    // A window writes what reports as it comes, all of it one visit: a device written only at
    // the start of it is not missing.
    ASSERT_TRUE(memory->RecordDevices({Camera(5), Camera(6)}, "Window", kMonday, kMonday));
    ASSERT_TRUE(memory->RecordDevices({Camera(6)}, "Window", kMonday.addSecs(5), kMonday));
    const std::optional<std::vector<store::SiteDifference>> window = memory->Diff("Window", std::nullopt);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->size(), 2u);
    EXPECT_TRUE(std::all_of(window->begin(), window->end(), [](const store::SiteDifference& d) { return d.kind == store::SiteDifference::Kind::New; }));
}

// The site named once holds whatever any program then finds, until named otherwise; a site forgotten
// takes its devices, their changes and visits along, never the journal of what was sent there.
TEST_F(SiteMemoryTest, ANamedSiteHoldsWhatIsFoundAndAForgottenOneLeavesItsJournal)
{
    auto window = Open();
    auto command = Open();
    ASSERT_TRUE(window && command);
    EXPECT_EQ(window->NamedSite(), QString());
    ASSERT_TRUE(command->NameSite("Depot"));
    ASSERT_TRUE(window->RecordDevices({Camera(1), Camera(2, "Dock", 22)}, {}, kMonday));
    EXPECT_EQ(window->SiteOf(Camera(3), {}), QStringLiteral("Depot")) << "read again as the window writes";
    EXPECT_EQ(window->SiteOf(Camera(3), "Yard"), QStringLiteral("Yard")) << "a name given on the command line wins";
    ASSERT_TRUE(window->NameSite({}));
    EXPECT_EQ(window->SiteOf(Camera(3), {}), QStringLiteral("lan0 203.0.113.0/24"));
    ASSERT_TRUE(window->RecordDevices({Camera(1)}, {}, kMonday.addDays(1)));
    ASSERT_TRUE(window->RecordDevices({Camera(1, "Lobby", 40)}, {}, kMonday.addDays(2)));
    ASSERT_TRUE(window->RecordJournal({kMonday, "alice", "laptop", "Depot", "window", Camera(1).macAddress, {}, {}, "applied"}));
    EXPECT_EQ(Rows(Path(), "SELECT site.name, count(*) FROM device JOIN site ON site.id = device.site GROUP BY site.name ORDER BY 1"),
              (QStringList{"Depot|2", "lan0 203.0.113.0/24|1"}));

    bool found = false;
    EXPECT_EQ(command->Forget("lan0 203.0.113.0/24", found), 1);
    EXPECT_TRUE(found);
    EXPECT_EQ(command->Forget("Nowhere", found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(Rows(Path(), "SELECT name FROM site"), QStringList{"Depot"});
    EXPECT_EQ(Rows(Path(), "SELECT count(*) FROM device_change UNION ALL SELECT count(*) FROM visit"), (QStringList{"0", "1"}));
    EXPECT_EQ(Rows(Path(), "SELECT site, outcome FROM journal"), QStringList{"Depot|applied"});
    const std::optional<std::vector<store::RememberedSite>> sites = command->Sites({});
    ASSERT_TRUE(sites && sites->size() == 1);
    EXPECT_EQ(sites->front().devices.size(), 2u);
    EXPECT_EQ(sites->front().devices.front().settings.value("name").toString(), QStringLiteral("cam"));
}

// A device that reports the same again is only seen again, yet what another program or a
// forgotten site changed meanwhile is never taken for what this writer wrote last.
TEST_F(SiteMemoryTest, ADeviceReportingTheSameIsSeenAgainAndAnotherWritersChangeIsNotMissed)
{
    auto window = Open();
    auto command = Open();
    ASSERT_TRUE(window && command);
    commands::ListedDevice moved = Camera(1);
    moved.webPort = 81;
    const std::tuple<SiteMemory*, commands::ListedDevice, int, const char*> writes[] = {
        {window.get(), Camera(1), 0, "80|2026-12-07T09:00:00Z"},
        {window.get(), Camera(1), 1, "80|2026-12-07T09:00:01Z"},
        {command.get(), moved, 2, "81|2026-12-07T09:00:02Z"},
        {window.get(), Camera(1), 3, "80|2026-12-07T09:00:03Z"},
    };
    for (const auto& [writer, device, second, expected] : writes) {
        ASSERT_TRUE(writer->RecordDevices({device}, "Depot", kMonday.addSecs(second)));
        EXPECT_EQ(Rows(Path(), "SELECT web_port, last_seen FROM device"), QStringList{expected}) << second;
    }
    EXPECT_EQ(Rows(Path(), "SELECT old, new FROM device_change ORDER BY id"), (QStringList{"80|81", "81|80"}));
    bool found = false;
    ASSERT_TRUE(window->Forget("Depot", found) && found);
    ASSERT_TRUE(window->RecordDevices({Camera(1)}, "Depot", kMonday.addSecs(4)));
    EXPECT_EQ(Rows(Path(), "SELECT web_port, first_seen FROM device"), QStringList{"80|2026-12-07T09:00:04Z"});
}

// A file as the first version wrote it: its devices stay, its sites' visits are derived.
TEST_F(SiteMemoryTest, AVersionOneFileIsBroughtUpToDateKeepingWhatItHolds)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Path()).absolutePath()));
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(Path().toUtf8().constData(), &old), SQLITE_OK);
    const char* versionOne = R"(
        CREATE TABLE site (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, first_visit TEXT NOT NULL, last_visit TEXT NOT NULL);
        CREATE TABLE device (site INTEGER NOT NULL REFERENCES site(id) ON DELETE CASCADE, mac TEXT NOT NULL,
            ip TEXT NOT NULL, netmask TEXT NOT NULL, gateway TEXT NOT NULL, dns1 TEXT NOT NULL, dns2 TEXT NOT NULL,
            name TEXT NOT NULL, web_port TEXT NOT NULL, dhcp TEXT NOT NULL, card TEXT NOT NULL, first_seen TEXT NOT NULL,
            last_seen TEXT NOT NULL, PRIMARY KEY (site, mac)) WITHOUT ROWID;
        CREATE TABLE device_change (id INTEGER PRIMARY KEY, site INTEGER NOT NULL REFERENCES site(id) ON DELETE CASCADE,
            mac TEXT NOT NULL, field TEXT NOT NULL, old TEXT NOT NULL, new TEXT NOT NULL, time TEXT NOT NULL);
        CREATE INDEX device_change_by_device ON device_change(site, mac);
        CREATE TABLE journal (id INTEGER PRIMARY KEY, time TEXT NOT NULL, user TEXT NOT NULL, host TEXT NOT NULL,
            site TEXT NOT NULL, source TEXT NOT NULL, mac TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL,
            outcome TEXT NOT NULL);
        CREATE INDEX journal_by_device ON journal(mac);
        INSERT INTO site VALUES (1, 'Depot', '2026-12-01T09:00:00Z', '2026-12-05T09:00:00Z');
        INSERT INTO device VALUES (1, '02:00:00:00:00:01', '203.0.113.20', '255.255.255.0', '0.0.0.0', '', '', 'Lobby',
            '80', 'unknown', 'lan0', '2026-12-01T09:00:00Z', '2026-12-05T09:00:00Z');
        INSERT INTO journal VALUES (1, '2026-12-05T09:01:00Z', 'alice', 'laptop', 'Depot', 'set', '02:00:00:00:00:01',
            '{"port":"81"}', '{"port":"80"}', 'applied');
        PRAGMA user_version = 1;)";
    ASSERT_EQ(sqlite3_exec(old, versionOne, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(old);

    auto memory = Open();
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(Rows(Path(), "PRAGMA user_version"), QStringList{QString::number(SiteMemory::kSchemaVersion)});
    EXPECT_EQ(Rows(Path(), "SELECT site, time FROM visit ORDER BY time"),
              (QStringList{"1|2026-12-01T09:00:00Z", "1|2026-12-05T09:00:00Z"}));
    EXPECT_EQ(memory->History({})->size(), 1u);
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Lobby", 20)}, "Depot", kMonday));
    const std::optional<std::vector<store::SiteDifference>> differences = memory->Diff("Depot", std::nullopt);
    ASSERT_TRUE(differences);
    EXPECT_TRUE(differences->empty()) << "seen on the visit before and now, unchanged";
}

// Each fault: how the file is spoiled, what Open and a write say, and what is left on disk.
TEST_F(SiteMemoryTest, AFaultTurnsTheMemoryOffWithItsReasonAndACorruptFileIsMovedAsideNeverOverwritten)
{
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(Path()).absolutePath()));
        QFile garbage(Path());
        ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, 'x'));
    }
    auto memory = Open();
    ASSERT_NE(memory, nullptr);
    EXPECT_TRUE(memory->Notice().contains(QStringLiteral("was not a readable database: it was moved to"))) << memory->Notice().toStdString();
    const QStringList aside = QDir(QFileInfo(Path()).absolutePath()).entryList({"quillon.sqlite.corrupt-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QFileInfo(Path()).absolutePath() + u'/' + aside.front());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(8192, 'x')) << "the corrupt file is kept as it was";
    EXPECT_TRUE(memory->RecordDevices({Camera(1)}, {}, kMonday));

    // Locked by another writer for longer than the busy timeout.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(Path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(memory->RecordDevices({Camera(2)}, {}, kMonday));
    EXPECT_TRUE(memory->Error().endsWith(QStringLiteral("another program kept it locked too long"))) << memory->Error().toStdString();
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    EXPECT_TRUE(memory->RecordDevices({Camera(2)}, {}, kMonday)) << "and back once it is let go";

    // Made by a newer program: left alone.
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    memory.reset();
    QString why;
    EXPECT_EQ(SiteMemory::Open(Path(), why), nullptr);
    EXPECT_EQ(why, QStringLiteral("its schema (version 99) is newer than this program's (%1)").arg(SiteMemory::kSchemaVersion));
    EXPECT_EQ(Rows(Path(), "SELECT count(*) FROM device"), QStringList{"2"});
}

// A file size limit stands for a full disk: writes fail with EFBIG, in a child process of its own.
TEST_F(SiteMemoryTest, AFullDiskFailsTheWriteAndSaysSo)
{
    ASSERT_NE(Open(), nullptr);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString why;
        auto memory = SiteMemory::Open(Path(), why);
        std::vector<commands::ListedDevice> devices;
        for (int i = 0; i < 5000; ++i)
            devices.push_back(Camera(i, "a camera with a long name"));
        const bool written = memory != nullptr && memory->RecordDevices(devices, {}, kMonday);
        const QByteArray said = written ? QByteArray("written") : (memory ? memory->Error() : why).toUtf8();
        (void)!::write(pipeEnds[1], said.constData(), static_cast<std::size_t>(said.size()));
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    char said[512] = {};
    std::size_t length = 0;
    for (ssize_t got = 0; (got = ::read(pipeEnds[0], said + length, sizeof said - 1 - length)) > 0;)
        length += static_cast<std::size_t>(got);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(QByteArray(said).endsWith("no room is left on the disk") ||
                QByteArray(said).endsWith("it could not be written (a full disk or a failing one)"))
        << said;
    EXPECT_EQ(Rows(Path(), "SELECT count(*) FROM device"), QStringList{"0"}) << "nothing half written";
}
