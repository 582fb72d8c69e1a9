// A site behind a router, reached over ssh: quillonctl --via runs the relay there, and whatever
// goes wrong with the relay or ssh is said and ends the run with an error.

#include "support/ProgramRun.h"
#include "support/RemoteSite.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <string>

using namespace quillon;

namespace {

using Outcome = test::ProgramOutcome;

Outcome Quillonctl(const QStringList& arguments, const QString& ssh = {}, const QByteArray& input = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!ssh.isEmpty())
        environment.insert(QStringLiteral("QUILLON_SSH"), ssh);
    return test::RunProgram(QStringLiteral(QUILLONCTL), arguments, input, environment);
}

// The site's three cameras, on its own LAN (203.0.113.224/28).
const char* kSiteDevices = R"({"devices": [
  {"mac": "02:5e:00:00:00:01", "ip": "203.0.113.231", "netmask": "255.255.255.240", "gateway": "203.0.113.225", "name": "yard"},
  {"mac": "02:5e:00:00:00:02", "ip": "203.0.113.232", "netmask": "255.255.255.240", "gateway": "203.0.113.225", "name": "gate"},
  {"mac": "02:5e:00:00:00:03", "ip": "203.0.113.233", "netmask": "255.255.255.240", "gateway": "203.0.113.225", "name": "dock",
   "protocols": ["short"]}
]})";

QStringList Names(const QByteArray& json)
{
    QStringList names;
    for (const QJsonValue& device : QJsonDocument::fromJson(json).array())
        names << device[QStringLiteral("name")].toString() + QLatin1Char('@') + device[QStringLiteral("card")].toString();
    return names;
}

// An executable script in `dir` standing in for ssh.
QString Script(const QTemporaryDir& dir, const char* name, const QByteArray& body)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

} // namespace

TEST(RemoteSite, IsListedSetAndPlannedThroughItsRelayWhileTheLocalSearchFindsNothingThere)
{
    const test::RemoteSite site;
    ASSERT_TRUE(site.IsReady());
    const QString log = QString::fromStdString(test::WriteTemporaryFile(""));
    test::SimulatorProcess devices(std::string("site-lan"), {"--devices", test::WriteTemporaryFile(kSiteDevices), "--log", log.toStdString()});
    ASSERT_TRUE(devices.IsReady());

    EXPECT_EQ(Quillonctl({"list", "--no-database"}).exitCode, 1) << "broadcasts stop at the site's router";
    const Outcome listed = Quillonctl({"--via", "site", "list", "--format", "json", "--no-database"});
    ASSERT_EQ(listed.exitCode, 0) << listed.errors.toStdString();
    EXPECT_EQ(Names(listed.output), (QStringList{"yard@site:lan10", "gate@site:lan10", "dock@site:lan10"}));

    const Outcome set = Quillonctl({"set", "02:5e:00:00:00:02", "--name", "gate-2", "--via", "site", "--no-database"});
    EXPECT_EQ(set.exitCode, 0) << set.output.toStdString() << set.errors.toStdString();
    EXPECT_TRUE(set.output.endsWith("confirmed\n")) << set.output.toStdString();

    QTemporaryDir work;
    const Outcome plan = Quillonctl({"--via", "site", "plan", "--range", "203.0.113.236", "--netmask", "255.255.255.240"});
    ASSERT_EQ(plan.exitCode, 0) << plan.errors.toStdString();
    QFile planFile(work.filePath(QStringLiteral("plan.csv")));
    ASSERT_TRUE(planFile.open(QIODevice::WriteOnly));
    planFile.write(plan.output);
    planFile.close();
    const Outcome applied = Quillonctl({"--via", "site", "apply", planFile.fileName(), "--yes", "--no-database"});
    EXPECT_EQ(applied.exitCode, 0) << applied.output.toStdString() << applied.errors.toStdString();
    EXPECT_EQ(applied.output.count("applied"), 3) << applied.output.toStdString();

    const Outcome after = Quillonctl({"--via", "site", "list", "--format", "json", "--no-database"});
    EXPECT_EQ(QJsonDocument::fromJson(after.output).array().at(0)[QStringLiteral("ip")].toString(), QStringLiteral("203.0.113.236"));
    EXPECT_EQ(Names(after.output).join(','), QStringLiteral("yard@site:lan10,gate-2@site:lan10,dock@site:lan10"));
}

// Whatever stands between us and the site's devices fails, the run says which site and why on
// standard error and ends with status 2, within the search's time.
TEST(RemoteSite, ARelayThatCannotBeReachedDiesHangsOrMisbehavesIsSaidAndFailsTheRun)
{
    const test::RemoteSite site;
    ASSERT_TRUE(site.IsReady());
    test::SimulatorProcess devices(std::string("site-lan"), {"--devices", test::WriteTemporaryFile(kSiteDevices)});
    ASSERT_TRUE(devices.IsReady());
    const QTemporaryDir dir;
    const QByteArray ssh = QByteArray::fromStdString(site.Dir()) + "/ssh";
    struct Case {
        const char* what;
        QString ssh;
        const char* said;
    };
    const Case cases[] = {
        {"no such host", {}, "site nowhere.invalid:"},
        {"the relay dies", Script(dir, "dies", ssh + " \"$@\" & sleep 0.5; pkill -f '^quillonctl relay'; wait"), "site site: the relay ended"},
        {"the relay never says hello", Script(dir, "silent", "exec sleep 30"), "site site: no answer from its relay"},
        {"the relay stops answering", Script(dir, "hangs", "printf '\\000\\017\\001quillon-relay\\001'; exec sleep 30"),
         "site site: the relay stopped answering"},
        {"a frame of no length", Script(dir, "garbage", "printf '\\000\\017\\001quillon-relay\\001\\000\\000\\001'; sleep 1"),
         "site site: the relay sent a frame of 0 bytes"},
        {"another version", Script(dir, "version", "printf '\\000\\017\\001quillon-relay\\002'; sleep 1"),
         "site site: the relay speaks version 2, this program 1"},
        {"no quillonctl there", Script(dir, "missing", ssh + " site 'exec quillonctl-missing relay'"), "site site: "},
    };
    for (const Case& c : cases) {
        const char* host = c.ssh.isEmpty() ? "nowhere.invalid" : "site";
        const Outcome outcome = Quillonctl({"--via", host, "list", "--timeout", "3", "--no-database"}, c.ssh);
        EXPECT_EQ(outcome.exitCode, 2) << c.what;
        EXPECT_TRUE(outcome.errors.contains(c.said)) << c.what << ": " << outcome.errors.toStdString();
    }

    site.RefuseOurKey(true);
    const Outcome refused = Quillonctl({"--via", "site", "set", "02:5e:00:00:00:01", "--name", "x", "--no-database"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.errors.contains("site site: root@203.0.113.254: Permission denied (publickey).")) << refused.errors.toStdString();
    site.RefuseOurKey(false);
    EXPECT_EQ(Quillonctl({"--via", "site", "list", "--no-database"}).exitCode, 0);
}

// The relay broadcasts nothing but this program's own requests: anything else ends it with an
// error frame naming why, and nothing goes out.
TEST(RemoteSite, TheRelayRefusesWhatIsNotASearchOrSetRequest)
{
    const QByteArray hello("\x00\x0f\x01quillon-relay\x01", 17);
    struct Case {
        const char* what;
        QByteArray input;
        int exitCode;
        const char* answer;
    };
    const Case cases[] = {
        {"input closed at once", {}, 0, "quillon-relay"},
        {"no hello first", QByteArray("\x00\x02\x03\x01", 4), 1, "refused: the first frame is not a hello"},
        {"another version", QByteArray("\x00\x0f\x01quillon-relay\x07", 17), 1, "refused: version 7"},
        {"a datagram to port 22", hello + QByteArray("\x00\x05\x02\x00\x16hi", 7), 1,
         "refused: a datagram that is not a search or set request of its port"},
        {"a reply sent to be broadcast", hello + QByteArray("\x00\x08\x02\x0f\xb6IPCam", 10), 1,
         "refused: a datagram that is not a search or set request of its port"},
        {"a frame too long", hello + QByteArray("\xff\xff\x02", 3), 1, "refused: a frame of 65535 bytes"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Quillonctl({"relay"}, {}, c.input);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.what << ": " << outcome.errors.toStdString();
        EXPECT_TRUE(outcome.output.startsWith(hello)) << c.what;
        EXPECT_TRUE(outcome.output.contains(c.answer)) << c.what << ": " << outcome.output.toStdString();
    }
}
