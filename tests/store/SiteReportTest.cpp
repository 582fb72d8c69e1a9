// The as-built report: each format holds every device of the site with what it reported, its web
// address and when it was seen, then the journal; a name from the network stays text in each.

#include "store/SiteReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

commands::ListedDevice Camera(std::uint8_t number, const QString& name, int port)
{
    commands::ListedDevice device;
    device.macAddress = {0x02, 0, 0, 0, 0, number};
    device.ipAddress = {203, 0, 113, static_cast<std::uint8_t>(20 + number)};
    device.netmask = {255, 255, 255, 0};
    device.name = name;
    device.webPort = port;
    device.cardName = QStringLiteral("lan0");
    return device;
}

} // namespace

TEST(SiteReport, EachFormatHoldsTheSitesDevicesThenItsJournalWithNamesKeptAsText)
{
    QTemporaryDir directory;
    QString why;
    const auto memory = store::SiteMemory::Open(directory.filePath("quillon.sqlite"), why);
    ASSERT_NE(memory, nullptr) << why.toStdString();
    const QDateTime monday(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC);
    const QString hostile = QStringLiteral("<script>x</script>");
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Lobby", 8080), Camera(2, hostile, 80)}, "Depot", monday));
    ASSERT_TRUE(memory->RecordDevices({Camera(3, "=HYPERLINK(1)", 80)}, "Yard", monday));
    ASSERT_TRUE(memory->RecordDevices({Camera(1, "Lobby", 8080)}, "Depot", monday.addDays(1)));
    ASSERT_TRUE(memory->RecordJournal({monday, "alice", "laptop", "Depot", "set", Camera(1, {}, 0).macAddress,
                                       QJsonObject{{"port", "80"}}, QJsonObject{{"port", "8080"}}, "applied"}));
    ASSERT_TRUE(memory->RecordJournal({monday, "bob", "van", "Yard", "set", Camera(3, {}, 0).macAddress, {}, {}, "not confirmed"}));

    const std::optional<store::SiteReport> depot = store::ReadSiteReport(*memory, {"Depot"});
    ASSERT_TRUE(depot);
    const std::optional<store::SiteReport> every = store::ReadSiteReport(*memory, {});
    ASSERT_TRUE(every);
    EXPECT_EQ(every->sites.size(), 2u);
    EXPECT_EQ(every->journal.size(), 2u);

    struct Case {
        store::ReportFormat format;
        const store::SiteReport* report;
        QStringList holds;
        QStringList lacks;
    };
    const Case cases[] = {
        {store::ReportFormat::Html, &*depot,
         {"<title>Site report: Depot</title>", "<a href=\"http://203.0.113.21:8080\">", "&lt;script&gt;x&lt;/script&gt;",
          "2 devices \u00b7 first visit", "visits: 2", "<h2>Journal</h2>", "port 80 \u2192 8080", "alice@laptop"},
         {"<script>", "src=", "<link", "@import", "not confirmed", "Yard"}},
        {store::ReportFormat::Csv, &*every,
         {"site,name,ip,mac,", "Depot,Lobby,203.0.113.21,02:00:00:00:00:01,", ",http://203.0.113.21:8080,2026-12-07T09:00:00Z,2026-12-08T09:00:00Z\r\n",
          "Yard,'=HYPERLINK(1)", "\r\n\r\ntime,user,host,site,", "2026-12-07T09:00:00Z,alice,laptop,Depot,set,02:00:00:00:00:01,port,80,8080,applied"},
         {"Yard,=HYPERLINK"}},
        {store::ReportFormat::Json, &*depot, {"\"site\": \"Depot\"", "\"name\": \"<script>x</script>\"", "\"visits\": 2",
                                              "\"web_address\": \"http://203.0.113.21:8080\"", "\"outcome\": \"applied\""},
         {"Yard"}},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(store::FormatSiteReport(*c.report, c.format));
        for (const QString& part : c.holds)
            EXPECT_TRUE(text.contains(part)) << static_cast<int>(c.format) << " lacks " << part.toStdString();
        for (const QString& part : c.lacks)
            EXPECT_FALSE(text.contains(part)) << static_cast<int>(c.format) << " holds " << part.toStdString();
    }
    const QJsonObject json = QJsonDocument::fromJson(store::FormatSiteReport(*every, store::ReportFormat::Json)).object();
    EXPECT_EQ(json.value("sites").toArray().size(), 2);
    EXPECT_EQ(json.value("sites").toArray().at(0).toObject().value("devices").toArray().size(), 2);
    EXPECT_EQ(json.value("journal").toArray().size(), 2);
}
