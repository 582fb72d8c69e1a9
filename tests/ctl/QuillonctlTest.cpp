// quillonctl as a user runs it: a subprocess in the virtual LAN, the simulator answering.

#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"
#include "protocol/Protocol.h"
#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>

using namespace quillon;
using protocol::kLongFormPort;
using protocol::kShortFormPort;

namespace {

using Outcome = test::ProgramOutcome;

Outcome Quillonctl(const QStringList& arguments)
{
    return test::RunProgram(QStringLiteral(QUILLONCTL), arguments);
}

// The first three columns of a report (line, MAC address, outcome), a line each: what a test
// compares; the times and values of the other columns are the report table's own test's.
std::string ReportOutcomes(const QByteArray& report)
{
    std::string outcomes;
    for (const QByteArray& line : report.split('\n'))
        if (!line.isEmpty())
            outcomes += line.trimmed().split(',').mid(0, 3).join(',').toStdString() + "\n";
    return outcomes;
}

// As Quillonctl, with `input` on standard input.
Outcome QuillonctlWithInput(const QStringList& arguments, const QByteArray& input)
{
    return test::RunProgram(QStringLiteral(QUILLONCTL), arguments, input);
}

// Both protocols and each alone; short replies of 50, 60 and 70 bytes; a name that is not UTF-8
// (Latin-1 "Café"), two that need CSV quoting (a comma, a lone quote), one of wide characters; two devices on one
// address; one outside the card's subnet (lan0 is 203.0.113.1/26); addresses that sort
// differently as text and as numbers.
const char* kFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:01", "ip": "203.0.113.20", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "dns1": "203.0.113.1", "dns2": "8.8.8.8", "name": "Lobby", "port1": 80, "dhcp": false, "shortLength": 70},
  {"mac": "00:1a:2b:3c:4d:02", "ip": "203.0.113.9", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Dock, \"east\"", "port1": 8080, "shortLength": 60, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:03", "ip": "203.0.113.22", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "nameHex": "436166e9", "port1": 80, "shortLength": 50, "protocols": ["short"]},
  {"mac": "00:1a:2b:3c:4d:04", "ip": "203.0.113.22", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "dns1": "1.1.1.1", "dns2": "9.9.9.9", "name": "門口", "port1": 8000, "dhcp": true, "protocols": ["long"]},
  {"mac": "00:1a:2b:3c:4d:05", "ip": "192.168.1.9", "netmask": "255.255.255.0", "gateway": "192.168.1.1",
   "dns1": "192.168.1.1", "dns2": "192.168.1.2", "name": "Far \"6\"", "port1": 443, "dhcp": true, "shortLength": 70}
]})";

// What each format shows of kFleet: sorted by address as numbers, "Café" as U+FFFD with its
// bytes beside it in JSON, fields a reply did not carry left empty (null in JSON), the wide
// name taking two columns a character in the table.
const char* kTable =
    "MAC                IP            NETMASK        GATEWAY      DNS1         DNS2         NAME          WEB_PORT  DHCP     PROTOCOLS   CARD  IN_CARD_SUBNET  SHARED_IP  WEB_ADDRESS\n"
    "00:1a:2b:3c:4d:05  192.168.1.9   255.255.255.0  192.168.1.1  192.168.1.1  192.168.1.2  Far \"6\"       443       on       long,short  lan0  no              no         http://192.168.1.9:443\n"
    "00:1a:2b:3c:4d:02  203.0.113.9   255.255.255.0  203.0.113.1                            Dock, \"east\"  8080      unknown  short       lan0  yes             no         http://203.0.113.9:8080\n"
    "00:1a:2b:3c:4d:01  203.0.113.20  255.255.255.0  203.0.113.1  203.0.113.1  8.8.8.8      Lobby         80        off      long,short  lan0  yes             no         http://203.0.113.20\n"
    "00:1a:2b:3c:4d:03  203.0.113.22  255.255.255.0  203.0.113.1                            Caf\xef\xbf\xbd                    unknown  short       lan0  yes             yes        http://203.0.113.22\n"
    "00:1a:2b:3c:4d:04  203.0.113.22  255.255.255.0  203.0.113.1  1.1.1.1      9.9.9.9      \xe9\x96\x80\xe5\x8f\xa3          8000      on       long        lan0  yes             yes        http://203.0.113.22:8000\n";
const char* kJson =
    "[{\"card\":\"lan0\",\"dhcp\":\"on\",\"dns1\":\"192.168.1.1\",\"dns2\":\"192.168.1.2\",\"gateway\":\"192.168.1.1\",\"in_card_subnet\":false,\"ip\":\"192.168.1.9\",\"mac\":\"00:1a:2b:3c:4d:05\",\"name\":\"Far \\\"6\\\"\",\"netmask\":\"255.255.255.0\",\"protocols\":[\"long\",\"short\"],\"shared_ip\":false,\"web_address\":\"http://192.168.1.9:443\",\"web_port\":443},{"
    "\"card\":\"lan0\",\"dhcp\":\"unknown\",\"dns1\":null,\"dns2\":null,\"gateway\":\"203.0.113.1\",\"in_card_subnet\":true,\"ip\":\"203.0.113.9\",\"mac\":\"00:1a:2b:3c:4d:02\",\"name\":\"Dock, \\\"east\\\"\",\"netmask\":\"255.255.255.0\",\"protocols\":[\"short\"],\"shared_ip\":false,\"web_address\":\"http://203.0.113.9:8080\",\"web_port\":8080},{"
    "\"card\":\"lan0\",\"dhcp\":\"off\",\"dns1\":\"203.0.113.1\",\"dns2\":\"8.8.8.8\",\"gateway\":\"203.0.113.1\",\"in_card_subnet\":true,\"ip\":\"203.0.113.20\",\"mac\":\"00:1a:2b:3c:4d:01\",\"name\":\"Lobby\",\"netmask\":\"255.255.255.0\",\"protocols\":[\"long\",\"short\"],\"shared_ip\":false,\"web_address\":\"http://203.0.113.20\",\"web_port\":80},{"
    "\"card\":\"lan0\",\"dhcp\":\"unknown\",\"dns1\":null,\"dns2\":null,\"gateway\":\"203.0.113.1\",\"in_card_subnet\":true,\"ip\":\"203.0.113.22\",\"mac\":\"00:1a:2b:3c:4d:03\",\"name\":\"Caf\xef\xbf\xbd\",\"name_hex\":\"436166e9\",\"netmask\":\"255.255.255.0\",\"protocols\":[\"short\"],\"shared_ip\":true,\"web_address\":\"http://203.0.113.22\",\"web_port\":null},{"
    "\"card\":\"lan0\",\"dhcp\":\"on\",\"dns1\":\"1.1.1.1\",\"dns2\":\"9.9.9.9\",\"gateway\":\"203.0.113.1\",\"in_card_subnet\":true,\"ip\":\"203.0.113.22\",\"mac\":\"00:1a:2b:3c:4d:04\",\"name\":\"\xe9\x96\x80\xe5\x8f\xa3\",\"netmask\":\"255.255.255.0\",\"protocols\":[\"long\"],\"shared_ip\":true,\"web_address\":\"http://203.0.113.22:8000\",\"web_port\":8000}]\n";
const char* kCsv =
    "mac,ip,netmask,gateway,dns1,dns2,name,web_port,dhcp,protocols,card,in_card_subnet,shared_ip,web_address\r\n"
    "00:1a:2b:3c:4d:05,192.168.1.9,255.255.255.0,192.168.1.1,192.168.1.1,192.168.1.2,\"Far \"\"6\"\"\",443,on,\"long,short\",lan0,no,no,http://192.168.1.9:443\r\n"
    "00:1a:2b:3c:4d:02,203.0.113.9,255.255.255.0,203.0.113.1,,,\"Dock, \"\"east\"\"\",8080,unknown,short,lan0,yes,no,http://203.0.113.9:8080\r\n"
    "00:1a:2b:3c:4d:01,203.0.113.20,255.255.255.0,203.0.113.1,203.0.113.1,8.8.8.8,Lobby,80,off,\"long,short\",lan0,yes,no,http://203.0.113.20\r\n"
    "00:1a:2b:3c:4d:03,203.0.113.22,255.255.255.0,203.0.113.1,,,Caf\xef\xbf\xbd,,unknown,short,lan0,yes,yes,http://203.0.113.22\r\n"
    "00:1a:2b:3c:4d:04,203.0.113.22,255.255.255.0,203.0.113.1,1.1.1.1,9.9.9.9,\xe9\x96\x80\xe5\x8f\xa3,8000,on,long,lan0,yes,yes,http://203.0.113.22:8000\r\n";

// Seven characters, nineteen bytes of UTF-8: a name one byte too long.
const char* const kNineteenBytes = "\xe9\x96\x80\xe5\x8f\xa3\xe9\x96\x80\xe5\x8f\xa3\xe9\x96\x80\xe5\x8f\xa3X";

// A socket bound to `port` as long as it lives; `shares` binds it as a copy of the program does.
platform::UniqueFd HoldPort(std::uint16_t port, bool shares)
{
    platform::UniqueFd holder(::socket(AF_INET, SOCK_DGRAM, 0));
    const int enable = 1;
    if (shares)
        ::setsockopt(holder.Get(), SOL_SOCKET, SO_REUSEPORT, &enable, sizeof enable);
    const sockaddr_in address = platform::AnyAddress(port);
    EXPECT_EQ(::bind(holder.Get(), platform::AsSocketAddress(address), sizeof address), 0) << port;
    return holder;
}

struct ListCase {
    QStringList arguments;
    int exitCode;
    QByteArray output;
};

// Answers come back on lan0 (the simulator's broadcasts follow the default route); lan2 is
// the second card. The table is the format when none is named.
TEST(Quillonctl, ListPrintsWhatAnsweredOnTheNamedCardsInEachFormat)
{
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(kFleet)});
    ASSERT_TRUE(simulator.IsReady());
    const ListCase cases[] = {
        {{"-i", "lan0", "list", "--timeout", "1"}, 0, kTable},
        {{"-i", "lan2", "-i", "lan0", "list", "--format", "json", "--timeout", "1"}, 0, kJson},
        {{"list", "--format", "csv", "--timeout", "1"}, 0, kCsv},
        {{"--interface", "lan2", "list", "--timeout", "0.5"}, 1, ""},
    };
    for (const ListCase& c : cases) {
        const Outcome run = Quillonctl(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.output.toStdString(), c.output.toStdString()) << c.arguments.join(' ').toStdString();
    }
}

struct BareRun {
    QStringList arguments;
    int exitCode;
    const char* finding = nullptr; // a line of the output; nullptr: no output at all
    std::uint16_t heldPort = 0;
    bool heldShares = false;
    const char* strictCard = nullptr; // its rp_filter is 1 for the run
    const char* said = "";            // a part of the messages
};

// Runs with no device on the LAN: refusals, a port held by a socket that does not share it
// (another copy of the program shares it), a card dropping answers from other subnets. Whether
// the firewall definitions are installed (where the suite runs they are usually not) leaves
// doctor's exit status alone.
TEST(Quillonctl, ExitStatusAndDoctorSayWhatStandsInTheWay)
{
    const BareRun cases[] = {
        {{"doctor"}, 0, "card lan0: 203.0.113.1/26"},
        {{"doctor"}, 1,
         "strict reverse-path filtering on lan0 (net.ipv4.conf.lan0.rp_filter): answers from other subnets are "
         "dropped; to let them in: sudo sysctl -w net.ipv4.conf.lan0.rp_filter=2",
         0, false, "lan0"},
        {{"doctor"}, 1, "port 4022/udp: held by another program that does not share it; quillon cannot receive on it",
         kShortFormPort},
        {{"doctor"}, 0, "port 4022/udp: quillon can receive on it", kShortFormPort, true},
        {{"list", "--timeout", "5"}, 2, nullptr, kLongFormPort, false, nullptr,
         "quillonctl: cannot receive answers on port 4023/udp: another program holds it without sharing it; "
         "'quillonctl doctor' tells more\n"},
        {{"list", "--bogus"}, 2},
        {{"list", "--format", "xml"}, 2},
        {{"list", "--timeout", "soon"}, 2},
        {{"-i", "nosuchcard", "list"}, 2},
        {{"frobnicate"}, 2},
        {{"help", "frobnicate"}, 2},
        {{}, 2},
    };
    for (const BareRun& c : cases) {
        const std::string row = c.arguments.join(' ').toStdString() + " " + (c.finding ? c.finding : "");
        // The virtual LAN starts without reverse-path filtering.
        const auto setFilter = [&](const char* value) {
            if (c.strictCard)
                std::ofstream(std::string("/proc/sys/net/ipv4/conf/") + c.strictCard + "/rp_filter") << value;
        };
        setFilter("1");
        const platform::UniqueFd holder = c.heldPort != 0 ? HoldPort(c.heldPort, c.heldShares) : platform::UniqueFd();
        const Outcome run = Quillonctl(c.arguments);
        setFilter("0");
        EXPECT_EQ(run.exitCode, c.exitCode) << row << "\n" << run.output.toStdString();
        EXPECT_TRUE(run.errors.contains(c.said)) << row << "\n" << run.errors.toStdString();
        if (c.finding)
            EXPECT_TRUE(run.output.split('\n').contains(c.finding)) << row << "\n" << run.output.toStdString();
        else
            EXPECT_EQ(run.output.toStdString(), "") << row;
    }
}

struct HelpCase {
    const char* command;
    const char* own;     // an option of the command, as its help shows it
    const char* foreign; // an option of another command
};

// A command's help, asked either way, shows its own options and no other command's; the
// program's own shows none of Qt's.
TEST(Quillonctl, HelpOfACommandShowsItsOwnOptions)
{
    const Outcome help = Quillonctl({"--help"});
    EXPECT_TRUE(help.output.contains("--version") && !help.output.contains("help-all")) << help.output.toStdString();
    for (const QStringList& version : {QStringList{"-V"}, QStringList{"list", "-V"}})
        EXPECT_TRUE(Quillonctl(version).output.startsWith("quillonctl ")) << version.join(' ').toStdString();
    const HelpCase cases[] = {
        {"list", "--format <FORMAT>", "--ip"},   {"set", "--ip <A>", "--range"},
        {"plan", "--range <FIRST[-LAST]>", "--dry-run"}, {"apply", "--dry-run", "--range"},
        {"doctor", "--interface <NAME>", "--timeout"},
    };
    for (const HelpCase& c : cases)
        for (const QStringList& arguments : {QStringList{"help", c.command}, QStringList{c.command, "--help"}}) {
            const Outcome run = Quillonctl(arguments);
            const std::string row = arguments.join(' ').toStdString() + "\n" + run.output.toStdString();
            EXPECT_EQ(run.exitCode, 0) << row;
            EXPECT_TRUE(run.output.contains(c.own)) << row;
            EXPECT_FALSE(run.output.contains(c.foreign)) << row;
        }
}

// The groups of every set request the simulator logged from line `from` on, one entry per
// request ("name,port"); `from` moves past them.
QStringList LoggedSetRequests(const std::string& logPath, qsizetype& from)
{
    QFile log(QString::fromStdString(logPath));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = log.readAll().split('\n');
    QStringList requests;
    for (; from < lines.size() && !lines[from].isEmpty(); ++from) {
        const QJsonObject entry = QJsonDocument::fromJson(lines[from]).object();
        if (entry.value(QLatin1String("request")).toString() != QLatin1String("set"))
            continue;
        requests.append(entry.value(QLatin1String("applied")).toVariant().toStringList().join(','));
    }
    return requests;
}

// One device for each way of confirming; "none" confirms only through the answers to the
// search quillonctl sends again, "silent" not at all, "stale" with a notice of its old settings.
const char* kSetFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:11", "ip": "203.0.113.20", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Lobby", "port1": 80, "dhcp": false, "confirm": "notice"},
  {"mac": "00:1a:2b:3c:4d:12", "ip": "203.0.113.21", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "dns1": "203.0.113.1", "dns2": "8.8.8.8", "name": "Dock", "port1": 80, "dhcp": false, "confirm": "answer"},
  {"mac": "00:1a:2b:3c:4d:13", "ip": "203.0.113.22", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Yard", "port1": 80, "dhcp": false, "confirm": "none"},
  {"mac": "00:1a:2b:3c:4d:14", "ip": "203.0.113.23", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Gate", "port1": 80, "dhcp": false, "confirm": "silent"},
  {"mac": "00:1a:2b:3c:4d:15", "ip": "203.0.113.24", "netmask": "255.255.255.0", "gateway": "203.0.113.1",
   "name": "Shed", "port1": 80, "dhcp": false, "confirm": "stale"}
]})";

struct SetCase {
    QStringList arguments;
    int exitCode;
    QByteArray output;
    QString groupsSent; // the groups of the set request the device received; empty: none sent
    QByteArray said = {}; // a line that standard error must hold
};

// The rows run in order against one simulator, so a row sees the settings earlier rows made.
// Each run sends through both cards, so a device hears each request once per card.
TEST(Quillonctl, SetSendsOnlyWhatPassesSubmitAndWaitsForTheDevice)
{
    const std::string logPath = test::WriteTemporaryFile("");
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(kSetFleet), "--log", logPath});
    ASSERT_TRUE(simulator.IsReady());
    const QString notice = QStringLiteral("00:1a:2b:3c:4d:11");
    const QString answer = QStringLiteral("00:1A:2B:3C:4D:12");
    const QString none = QStringLiteral("00-1a-2b-3c-4d-13");
    const QString silent = QStringLiteral("00:1a:2b:3c:4d:14");
    const QString stale = QStringLiteral("00:1a:2b:3c:4d:15");
    const auto set = [](const QString& mac, QStringList options) {
        return QStringList{QStringLiteral("set"), mac} + options;
    };
    const SetCase cases[] = {
        // Confirmed: by the update notice, by the device's answer (at its new address), by the
        // answers to a second search (DHCP on, whatever address the device then has).
        {set(notice, {"--name", "Hall", "--port", "8080"}), 0, "name: Lobby -> Hall\nport: 80 -> 8080\nconfirmed\n",
         "name,port"},
        {set(answer, {"--ip", "203.0.113.50", "--dns2", "9.9.9.9"}), 0,
         "ip: 203.0.113.21 -> 203.0.113.50\ndns2: 8.8.8.8 -> 9.9.9.9\nconfirmed\n", "address,dns"},
        {set(answer, {"--netmask", "255.0.0.0", "--gateway", "10.0.0.1", "--yes"}), 0,
         "netmask: 255.255.255.0 -> 255.0.0.0\ngateway: 203.0.113.1 -> 10.0.0.1\nconfirmed\n", "address,gateway"},
        {set(none, {"--dhcp", "--timeout", "2"}), 0, "dhcp: off -> on\nconfirmed\n", "dhcp"},
        {set(notice, {"--name", "Hall", "--static"}), 0, "unchanged\n", ""},
        // Refused: nothing reaches the device.
        {set(notice, {"--ip", "203.0.113.0"}), 2, "", ""},
        {set(notice, {"--ip", "203.0.113.255"}), 2, "", ""},
        {set(notice, {"--gateway", "10.0.0.1"}), 2, "", ""},
        {set(notice, {"--name", kNineteenBytes}), 2, "", ""},
        {set(notice, {"--port", "70000"}), 2, "", ""},
        {set(notice, {"--ip", "203.0.113.300"}), 2, "", ""},
        {set(notice, {"--dhcp", "--static"}), 2, "", ""},
        {set(QStringLiteral("00:1a:2b:3c:4d"), {"--port", "81"}), 2, "", ""},
        {set(notice, {"--timeout", "1"}), 2, "", "", "quillonctl: set needs a setting to send"},
        {set(notice, {"--ip", "203.0.113.23"}), 2, "", "",
         "quillonctl: Gate (00:1A:2B:3C:4D:14) already has the IP address 203.0.113.23; give --force"},
        {set(notice, {"--ip", "203.0.113.23", "--force"}), 0, "ip: 203.0.113.20 -> 203.0.113.23\nconfirmed\n",
         "address"},
        // Sent, never confirmed; a device whose notice shows its old settings; a device that is
        // not there.
        {set(silent, {"--port", "81", "--timeout", "1"}), 3, "port: 80 -> 81\n", "port"},
        {set(stale, {"--port", "81", "--timeout", "1"}), 3, "port: 80 -> 81\n", "port",
         "quillonctl: not applied: the device 00:1a:2b:3c:4d:15 reports port 80\n"},
        {set(QStringLiteral("00:1a:2b:3c:4d:99"), {"--port", "81", "--timeout", "0.5"}), 4, "", ""},
    };
    qsizetype logLine = 0;
    for (const SetCase& c : cases) {
        const std::string row = c.arguments.join(' ').toStdString();
        const Outcome run = Quillonctl(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << row;
        EXPECT_EQ(run.output.toStdString(), c.output.toStdString()) << row;
        EXPECT_TRUE(run.errors.contains(c.said)) << row << '\n' << run.errors.toStdString();
        const QStringList requests = LoggedSetRequests(logPath, logLine);
        const QStringList expected = c.groupsSent.isEmpty() ? QStringList() : QStringList{c.groupsSent, c.groupsSent};
        EXPECT_EQ(requests.join(';').toStdString(), expected.join(';').toStdString()) << row;
    }
}

// Twelve new devices on one subnet, their addresses sorting differently as text and as numbers,
// and one old device ("Gate") that the plan leaves alone but whose address lies in the range.
std::string CommissioningFleet()
{
    std::string devices = R"({"mac": "00:1a:2b:3c:4e:ff", "ip": "203.0.113.160", "netmask": "255.255.255.0",
        "gateway": "203.0.113.1", "name": "Gate", "port1": 80, "dhcp": false})";
    for (int i = 0; i < 12; ++i)
        devices += QStringLiteral(R"(, {"mac": "00:1a:2b:3c:4e:%1", "ip": "203.0.113.%2", "netmask": "255.255.255.0",
            "gateway": "203.0.113.1", "name": "new", "port1": 80, "dhcp": false})")
                       .arg(i, 2, 16, QLatin1Char('0'))
                       .arg(95 + i)
                       .toStdString();
    return R"({"devices": [)" + devices + "]}";
}

// A plan with bad lines sends nothing at all, not even for its good second line; each bad line
// is named. A range too small for the fleet makes no plan; a wide one gives the new devices .150
// onwards, in the order of their addresses, skipping Gate's .160; applying it twice changes them
// once.
TEST(Quillonctl, ApplyRefusesABadPlanAndCommissionsTheFleetOncePlanned)
{
    const std::string logPath = test::WriteTemporaryFile("");
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(CommissioningFleet()), "--log", logPath});
    ASSERT_TRUE(simulator.IsReady());
    const std::pair<int, std::string> badLines[] = {
        {3, "00:1a:2b:3c:4e:99,203.0.113.71,,,,,,,"},   // unknown MAC
        {4, "00:1a:2b:3c:4e:01,203.0.113.70,,,,,,,"},   // the second line's address
        {5, "00:1a:2b:3c:4e:02,203.0.113.160,,,,,,,"},  // Gate's, which the plan does not move
        {6, "00:1a:2b:3c:4e:03,203.0.113.255,,,,,,,"},  // last octet 255
        {7, std::string("00:1a:2b:3c:4e:04,,,,,,") + kNineteenBytes + ",,"}, // a name too long
        {8, "00:1a:2b:3c:4e:00,,,,,,,,"},                // the second line's MAC
        {9, "00:1a:2b:3c:4e:05,,,203.0.112.1,,,,,"},     // a gateway outside the subnet
        {10, "00:1a:2b:3c:4e:06,,,,,,,65536,"},          // no port
        {11, "00:1a:2b:3c:4e:07,,,,,,,,auto"},           // no mode
        {12, "00:1a:2b:3c:4e:08,203.0.113.300,,,,,,,"},  // no address
        {13, "00:1a:2b:3c:4e:09,,,,,,,"},                // a field short
        {14, "00:1a:2b:3c:4e:0b,127.0.0.9,1.2.3.4,,,,,,"}, // loopback; no prefix
        {15, "00:1a:2b:3c:4e:0a,203.0.113.7\"1,,,,,,,"}, // malformed, so the last to be read
    };
    std::string badPlan = "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\r\n"
                          "00:1a:2b:3c:4e:00,203.0.113.70,,,,,\"Hall, north\",,Static\r\n"; // any case
    for (const auto& [line, text] : badLines)
        badPlan += text + "\r\n";
    const Outcome refused = Quillonctl({"apply", QString::fromStdString(test::WriteTemporaryFile(badPlan))});
    EXPECT_EQ(refused.exitCode, 2);
    for (const auto& [line, text] : badLines)
        EXPECT_TRUE(refused.errors.contains(":" + QByteArray::number(line) + ": "))
            << text << "\n" << refused.errors.toStdString();
    EXPECT_FALSE(refused.errors.contains(":2: ")) << refused.errors.toStdString();
    for (const char* said : {"IP address 127.0.0.9 (this computer's", "1.2.3.4 is no netmask"})
        EXPECT_TRUE(refused.errors.contains(said)) << said << "\n" << refused.errors.toStdString();
    qsizetype logLine = 0;
    EXPECT_TRUE(LoggedSetRequests(logPath, logLine).isEmpty());

    const Outcome tooFew =
        Quillonctl({"plan", "--range", "203.0.113.150-203.0.113.160", "--only", "n?w", "--timeout", "1"});
    EXPECT_EQ(tooFew.exitCode, 2);
    EXPECT_TRUE(tooFew.errors.contains("no free address left for the device")) << tooFew.errors.toStdString();
    const Outcome noneMatch = Quillonctl({"plan", "--range", "203.0.113.150", "--only", "old-*", "--timeout", "1"});
    EXPECT_EQ(noneMatch.exitCode, 2);
    EXPECT_TRUE(noneMatch.errors.contains("--only 'old-*' matches the name of no device")) << noneMatch.errors.toStdString();
    const Outcome plan = Quillonctl({"plan", "--range", "203.0.113.150-203.0.113.220", "--only", "n?w",
                                     "--name-template", "cam-{n:02}", "--netmask", "255.255.255.0", "--timeout", "1"});
    ASSERT_EQ(plan.exitCode, 0) << plan.errors.toStdString();
    const QList<QByteArray> lines = plan.output.split('\n');
    ASSERT_EQ(lines.size(), 14); // header, 12 lines, nothing after the last line break
    EXPECT_EQ(lines[1].toStdString(), "00:1a:2b:3c:4e:00,203.0.113.150,255.255.255.0,,,,cam-01,,\r");
    EXPECT_EQ(lines[10].toStdString(), "00:1a:2b:3c:4e:09,203.0.113.159,255.255.255.0,,,,cam-10,,\r");
    EXPECT_EQ(lines[11].toStdString(), "00:1a:2b:3c:4e:0a,203.0.113.161,255.255.255.0,,,,cam-11,,\r");
    const QString planPath = QString::fromStdString(test::WriteTemporaryFile(plan.output.toStdString()));
    const QString reportPath = QString::fromStdString(test::WriteTemporaryFile(""));

    const char* const statuses[] = {"applied", "unchanged"};
    for (const char* status : statuses) {
        const Outcome apply = Quillonctl({"apply", planPath, "--report", reportPath});
        EXPECT_EQ(apply.exitCode, 0) << status << apply.errors.toStdString();
        EXPECT_EQ(apply.output.count(QByteArray(" ") + status + "\n"), 12) << apply.output.toStdString();
        QFile report(reportPath);
        ASSERT_TRUE(report.open(QIODevice::ReadOnly));
        EXPECT_EQ(report.readAll().count(QByteArray(",") + status + ","), 12) << status;
        // Each request goes out through both cards.
        const QStringList requests = LoggedSetRequests(logPath, logLine);
        EXPECT_EQ(requests.size(), status == statuses[0] ? 24 : 0) << status;
    }
}

// One device that confirms and two silent ones, each answering searches until it takes a request.
const char* kStopFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:21", "ip": "203.0.113.30", "gateway": "203.0.113.1"},
  {"mac": "00:1a:2b:3c:4d:22", "ip": "203.0.113.31", "gateway": "203.0.113.1", "confirm": "silent"},
  {"mac": "00:1a:2b:3c:4d:23", "ip": "203.0.113.32", "gateway": "203.0.113.1", "confirm": "silent"}
]})";
const char* kStopPlan = "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\r\n00:1a:2b:3c:4d:21,,,,,,Hall,,\r\n"
                        "00:1a:2b:3c:4d:22,,,,,,,81,\r\n00:1a:2b:3c:4d:23,,,,,,,81,\r\n";
const char* kOldReport = "line,mac,status\r\n9,00:1a:2b:3c:4d:99,applied\r\n";

enum class Sink { Pipe, Full, Closed };

struct StopCase {
    QStringList arguments; // PLAN and REPORT stand for the files, PLANLINK for a link to the plan
    const char* plan;      // which no run changes
    Sink output;
    int exitCode;
    const char* said;      // a part of the messages
    const char* report = kOldReport; // what REPORT, at first kOldReport, holds afterwards
    const char* stopOnceSentTo = nullptr; // SIGTERM once the simulator got a request for this MAC
};

// The rows run in order against one simulator. A device changed keeps its exit status when the
// output fails; an apply stopped midway leaves the report of what it did, which replaces the old
// one only then; a plan with a problem, or a report that is the plan, changes no file.
TEST(Quillonctl, ExitStatusAndReportTellWhatWasDoneWhenTheOutputFailsOrTheRunIsStopped)
{
    const std::string logPath = test::WriteTemporaryFile("");
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(kStopFleet), "--log", logPath});
    ASSERT_TRUE(simulator.IsReady());
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const StopCase cases[] = {
        {{"apply", "PLAN", "--report", "REPORT"}, "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\r\n"
         "00:1a:2b:3c:4d:99,,,,,,Hall,,\r\n", Sink::Pipe, 2, "nothing sent"},
        {{"apply", "PLAN", "--report", "PLANLINK"}, kStopPlan, Sink::Pipe, 2, "is the plan itself; nothing sent"},
        // One device at a time, so that one is in flight and one not reached when the signal comes.
        {{"apply", "PLAN", "--report", "REPORT", "--timeout", "60", "--jobs", "1"}, kStopPlan, Sink::Pipe, 143,
         "stopped by SIGTERM: 1 applied, 0 unchanged, 1 not confirmed, 0 not found; not reached: 00:1a:2b:3c:4d:23 "
         "(line 4)", "line,mac,outcome\n2,00:1a:2b:3c:4d:21,applied\n3,00:1a:2b:3c:4d:22,not confirmed\n",
         "00:1a:2b:3c:4d:22"},
        {{"set", "00:1a:2b:3c:4d:21", "--name", "Yard"}, kStopPlan, Sink::Full, 0, "writing the output failed"},
        {{"set", "00:1a:2b:3c:4d:23", "--port", "82", "--timeout", "1"}, kStopPlan, Sink::Closed, 3,
         "writing the output failed"},
    };
    for (const StopCase& c : cases) {
        const QString plan = QString::fromStdString(test::WriteTemporaryFile(c.plan));
        const QString report = QString::fromStdString(test::WriteTemporaryFile(kOldReport));
        QFile::link(plan, plan + "-link");
        QStringList arguments = c.arguments;
        arguments.replaceInStrings(QStringLiteral("PLANLINK"), plan + "-link")
            .replaceInStrings(QStringLiteral("PLAN"), plan)
            .replaceInStrings(QStringLiteral("REPORT"), report);
        const std::string row = c.arguments.join(' ').toStdString();
        QProcess process;
        if (c.output == Sink::Full)
            process.setStandardOutputFile(QStringLiteral("/dev/full"));
        if (c.output == Sink::Closed) // a pipe nobody reads any more
            process.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], STDOUT_FILENO);
            });
        process.start(QStringLiteral(QUILLONCTL), arguments);
        if (c.stopOnceSentTo) {
            const QByteArray sent = QByteArray("\"target\":\"") + c.stopOnceSentTo + '"';
            for (int wait = 0; wait < 400 && !contents(QString::fromStdString(logPath)).contains(sent); ++wait)
                process.waitForFinished(50);
            EXPECT_EQ(contents(report).toStdString(), kOldReport) << row;
            process.terminate();
        }
        process.waitForFinished(30000);
        EXPECT_EQ(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, c.exitCode) << row;
        EXPECT_TRUE(process.readAllStandardError().contains(c.said)) << row;
        EXPECT_EQ(ReportOutcomes(contents(report)), ReportOutcomes(c.report)) << row;
        EXPECT_EQ(contents(plan).toStdString(), c.plan) << row;
    }
}

} // namespace

namespace {

// Names that would write a line "confirmed" of their own, retitle the terminal, or ring its bell.
const char* kHostileFleet = R"({"devices": [
  {"mac": "00:1a:2b:3c:4d:31", "ip": "203.0.113.40", "gateway": "203.0.113.1", "nameHex": "780a636f6e6669726d65640a",
   "confirm": "silent"},
  {"mac": "00:1a:2b:3c:4d:32", "ip": "203.0.113.41", "gateway": "203.0.113.1", "nameHex": "1b5d303b70776e07"}
]})";

bool HasControlCharacter(const QByteArray& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\n') || byte == 0x7F;
    });
}

} // namespace

// What set, apply, plan and their errors print for a person shows a device's or a file's text
// with its control characters neutralised: no line of a name's own, no escape sequence.
TEST(Quillonctl, NamesAndFileTextReachTheTerminalOnlyAsText)
{
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(kHostileFleet)});
    ASSERT_TRUE(simulator.IsReady());
    const QString renames = QString::fromStdString(test::WriteTemporaryFile(
        "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\r\n00:1a:2b:3c:4d:31,,,,,,A,,\r\n00:1a:2b:3c:4d:32,,,,,,B,,\r\n"));
    const QString escapes = QString::fromStdString(test::WriteTemporaryFile(
        "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\r\n\x1b]0;pwn\x07,,,,,,,,\r\n"));
    const std::pair<QStringList, int> cases[] = {
        {{"set", "00:1a:2b:3c:4d:32", "--ip", "203.0.113.40"}, 2}, // the first device has that address
        {{"apply", renames, "--dry-run"}, 0},
        {{"apply", escapes}, 2},
        {{"plan", "--range", "203.0.113.50", "--name-template", "\x1b]0;x\x07{n:019}"}, 2},
        {{"list"}, 0},
        {{"set", "00:1a:2b:3c:4d:31", "--name", "Hall", "--timeout", "1"}, 3}, // last: the device falls silent
    };
    for (const auto& [arguments, exitCode] : cases) {
        const Outcome run = Quillonctl(arguments);
        const std::string row = arguments.join(' ').toStdString() + "\n" + run.output.toStdString() + run.errors.toStdString();
        EXPECT_EQ(run.exitCode, exitCode) << row;
        EXPECT_FALSE(HasControlCharacter(run.output)) << row;
        EXPECT_FALSE(HasControlCharacter(run.errors)) << row;
        EXPECT_FALSE(run.output.split('\n').contains("confirmed")) << row;
    }
}

// What is read is bounded before anything is sent: a plan beyond a site's size, a line or a
// file no plan has, a counter wider than a name and a pattern that is none are refused at once.
TEST(Quillonctl, InputBeyondItsBoundsIsRefusedBeforeAnythingIsSent)
{
    std::string manyLines = "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\n";
    for (int i = 0; i <= 65536; ++i)
        manyLines += "00:1a:2b:3c:4d:5e,,,,,,,,\n";
    std::string large(17 << 20, 'x');
    for (std::size_t at = 4000; at < large.size(); at += 4000)
        large[at] = '\n';
    const std::pair<QStringList, const char*> cases[] = {
        {{"apply", "/dev/zero"}, "line 1 holds a zero byte"},
        {{"apply", QString::fromStdString(test::WriteTemporaryFile("mac," + std::string(5000, 'x') + "\n"))},
         "line 1 is longer than 4096 bytes"},
        {{"apply", "/dev/urandom"}, "nothing sent"},
        {{"apply", QString::fromStdString(test::WriteTemporaryFile(manyLines))}, "more than 65536 device lines"},
        {{"apply", QString::fromStdString(test::WriteTemporaryFile(large))}, "larger than 16 MiB"},
        {{"plan", "--range", "203.0.113.50", "--name-template", "cam{n:0999999999}"}, "wider than the 18 bytes"},
        {{"plan", "--range", "203.0.113.50", "--name-template", "{n:050000000}"}, "wider than the 18 bytes"},
        {{"plan", "--range", "203.0.113.50", "--name-template", "{n:099999999999999999999}"}, "wider than the 18 bytes"},
        {{"plan", "--range", "203.0.113.50", "--only", "["}, "--only '[' is no pattern"},
    };
    for (const auto& [arguments, said] : cases) {
        const Outcome run = Quillonctl(arguments);
        const std::string row = arguments.join(' ').toStdString().substr(0, 120) + "\n" + run.errors.left(2000).toStdString();
        EXPECT_EQ(run.exitCode, 2) << row;
        EXPECT_TRUE(run.errors.contains(said)) << row;
        EXPECT_LT(run.errors.size(), 4096) << row;
        EXPECT_FALSE(run.errors.contains("QRegularExpression")) << row;
        EXPECT_TRUE(run.output.isEmpty()) << row;
    }
}

namespace {

// The simulator's first set request for each MAC address: when it came, in ms since it started.
std::map<QString, qint64> FirstSetRequests(const std::string& logPath)
{
    QFile log(QString::fromStdString(logPath));
    std::map<QString, qint64> first;
    if (!log.open(QIODevice::ReadOnly))
        return first;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.value(QLatin1String("request")).toString() == QLatin1String("set"))
            first.try_emplace(entry.value(QLatin1String("target")).toString(),
                              entry.value(QLatin1String("ms")).toInteger());
    }
    return first;
}

} // namespace

// Several devices are set at once, each confirming 400 ms after its request. The two halves of a
// swap keep the plan's order, as does a line giving an address the line before it frees; a line
// touching no address of another starts at once.
TEST(Quillonctl, ApplyRunsDevicesSideBySideAndKeepsTheOrderOfLinesThatShareAnAddress)
{
    const std::string logPath = test::WriteTemporaryFile("");
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(R"({"devices": [
        {"mac": "00:1a:2b:3c:4d:41", "ip": "203.0.113.40", "gateway": "203.0.113.1"},
        {"mac": "00:1a:2b:3c:4d:42", "ip": "203.0.113.41", "gateway": "203.0.113.1"},
        {"mac": "00:1a:2b:3c:4d:43", "ip": "203.0.113.42", "gateway": "203.0.113.1"},
        {"mac": "00:1a:2b:3c:4d:44", "ip": "203.0.113.43", "gateway": "203.0.113.1"}]})"),
                                      "--confirm-after", "400", "--log", logPath});
    ASSERT_TRUE(simulator.IsReady());
    const QString plan = QString::fromStdString(test::WriteTemporaryFile(
        "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\n"
        "00:1a:2b:3c:4d:41,203.0.113.41,,,,,,,\n"   // A takes B's address,
        "00:1a:2b:3c:4d:42,203.0.113.40,,,,,,,\n"   // B then A's: a swap
        "00:1a:2b:3c:4d:43,203.0.113.44,,,,,,,\n"   // C moves to a free address,
        "00:1a:2b:3c:4d:44,203.0.113.42,,,,,,,\n")); // D then takes C's
    const Outcome run = Quillonctl({"apply", plan, "--jobs", "8"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.output.count(" applied\n"), 4) << run.output.toStdString();
    const std::map<QString, qint64> sent = FirstSetRequests(logPath);
    ASSERT_EQ(sent.size(), 4u);
    const qint64 a = sent.at("00:1a:2b:3c:4d:41"), b = sent.at("00:1a:2b:3c:4d:42");
    const qint64 c = sent.at("00:1a:2b:3c:4d:43"), d = sent.at("00:1a:2b:3c:4d:44");
    EXPECT_GE(b - a, 350) << "B waits for A's word";
    EXPECT_GE(d - c, 350) << "D waits for C's word";
    EXPECT_LT(c - a, 200) << "C runs beside A";
}

// A plan naming a device that did not answer is refused whole; with --skip-missing the devices
// that answered are set and the other is reported not found, in the output and the report.
TEST(Quillonctl, SkipMissingSetsWhatAnsweredAndReportsTheRestNotFound)
{
    const std::string logPath = test::WriteTemporaryFile("");
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(R"({"devices": [
        {"mac": "00:1a:2b:3c:4d:51", "ip": "203.0.113.50", "gateway": "203.0.113.1"}]})"), "--log", logPath});
    ASSERT_TRUE(simulator.IsReady());
    const QString plan = QString::fromStdString(test::WriteTemporaryFile(
        "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\n00:1a:2b:3c:4d:59,,,,,,Gone,,\n00:1a:2b:3c:4d:51,,,,,,Here,,\n"));
    const QString report = QString::fromStdString(test::WriteTemporaryFile(""));
    struct Case {
        QStringList options;
        int exitCode;
        const char* output;
        const char* report;
        qsizetype requests;
    };
    const Case cases[] = {
        {{}, 2, "", "", 0},
        {{"--skip-missing", "--dry-run"}, 0, "00:1a:2b:3c:4d:51\n  name: Camera -> Here\n00:1a:2b:3c:4d:59 not found\n", "", 0},
        {{"--skip-missing"}, 3, "00:1a:2b:3c:4d:59 not found\n00:1a:2b:3c:4d:51 applied\n",
         "line,mac,outcome\n2,00:1a:2b:3c:4d:59,not found\n3,00:1a:2b:3c:4d:51,applied\n", 1},
    };
    qsizetype logLine = 0;
    for (const Case& c : cases) {
        const Outcome run = Quillonctl(QStringList{"apply", plan, "--report", report} + c.options);
        const std::string row = c.options.join(' ').toStdString() + "\n" + run.errors.toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << row;
        EXPECT_EQ(run.output.toStdString(), c.output) << row;
        QFile written(report);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(ReportOutcomes(written.readAll()), c.report) << row;
        EXPECT_EQ(LoggedSetRequests(logPath, logLine).size(), c.requests * 2) << row; // through both cards
    }
}

// On a lossy LAN one lost broadcast must not hide a whole site: every search request goes out
// five times unless --repeat says otherwise.
TEST(Quillonctl, EachSearchRequestGoesOutAsOftenAsRepeatSays)
{
    const std::string logPath = test::WriteTemporaryFile("");
    test::SimulatorProcess simulator({"--count", "1", "--log", logPath});
    ASSERT_TRUE(simulator.IsReady());
    const auto searches = [&logPath] {
        QFile log(QString::fromStdString(logPath));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count("\"request\":\"search\"") : -1;
    };
    qsizetype before = searches();
    const std::pair<QStringList, qsizetype> cases[] = { // the run, its searches as multiples of --repeat 1's
        {{"list", "--repeat", "1"}, 1},
        {{"list"}, 5},
        {{"plan", "--range", "203.0.113.100", "--repeat", "3"}, 3},
    };
    qsizetype once = 0;
    for (const auto& [arguments, multiple] : cases) {
        EXPECT_EQ(Quillonctl(arguments + QStringList{"--timeout", "1"}).exitCode, 0) << arguments.join(' ').toStdString();
        const qsizetype sent = searches() - before;
        before += sent;
        once = once == 0 ? sent : once;
        EXPECT_EQ(sent, multiple * once) << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(Quillonctl({"list", "--repeat", "0"}).exitCode, 2);
}

// A plan and an installer's list of names may come on standard input ("-"); a plan gives every
// line the DNS servers, port and mode asked, and the names the list gives.
TEST(Quillonctl, PlansAndNamesComeFromFilesOrStandardInput)
{
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(R"({"devices": [
        {"mac": "00:1a:2b:3c:4d:61", "ip": "203.0.113.60", "gateway": "203.0.113.1", "name": "Cam"},
        {"mac": "00:1a:2b:3c:4d:62", "ip": "203.0.113.61", "gateway": "203.0.113.1", "name": "Cam"}]})")});
    ASSERT_TRUE(simulator.IsReady());
    const QByteArray names = "mac,name\n00:1a:2b:3c:4d:62,=Gate west\n";
    struct Case {
        QStringList arguments;
        QByteArray input;
        int exitCode;
        const char* output;
    };
    const Case cases[] = {
        {{"plan", "--range", "203.0.113.70", "--names", "-", "--name-template", "cam-{n}", "--dns1", "1.1.1.1",
          "--port", "8080", "--static"},
         names, 0,
         "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\r\n"
         "00:1a:2b:3c:4d:61,203.0.113.70,,,1.1.1.1,,cam-1,8080,static\r\n"
         "00:1a:2b:3c:4d:62,203.0.113.71,,,1.1.1.1,,'=Gate west,8080,static\r\n"},
        {{"plan", "--range", "203.0.113.70", "--names", "-"}, "00:1a:2b:3c:4d:62\n", 2, ""},
        {{"apply", "-", "--dry-run"}, "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\n00:1a:2b:3c:4d:61,,,,,,Hall,,\n", 0,
         "00:1a:2b:3c:4d:61\n  name: Cam -> Hall\n"},
    };
    for (const Case& c : cases) {
        const Outcome run = QuillonctlWithInput(c.arguments + QStringList{"--timeout", "1"}, c.input);
        const std::string row = c.arguments.join(' ').toStdString() + "\n" + run.errors.toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << row;
        EXPECT_EQ(run.output.toStdString(), c.output) << row;
    }
}

// The report to hand over says of every device how it ended, in CSV or JSON, with its settings
// before and as the plan gave them and its web address.
TEST(Quillonctl, TheReportSaysHowEachDeviceEndedAndWhatItHasNow)
{
    const std::string fleet = R"({"devices": [
        {"mac": "00:1a:2b:3c:4d:71", "ip": "203.0.113.70", "gateway": "203.0.113.1", "name": "Lobby", "port1": 80},
        {"mac": "00:1a:2b:3c:4d:72", "ip": "203.0.113.71", "gateway": "203.0.113.1", "name": "Dock", "port1": 80},
        {"mac": "00:1a:2b:3c:4d:73", "ip": "203.0.113.72", "gateway": "203.0.113.1", "port1": 80, "confirm": "stale"},
        {"mac": "00:1a:2b:3c:4d:74", "ip": "203.0.113.73", "gateway": "203.0.113.1", "port1": 80, "confirm": "silent"},
        {"mac": "00:1a:2b:3c:4d:76", "ip": "203.0.113.75", "gateway": "203.0.113.1", "port1": 70000}]})";
    const QString plan = QString::fromStdString(test::WriteTemporaryFile(
        "mac,ip,netmask,gateway,dns1,dns2,name,port,mode\n00:1a:2b:3c:4d:71,203.0.113.80,,,,,Hall,8080,\n"
        "00:1a:2b:3c:4d:72,,,,,,Dock,,\n00:1a:2b:3c:4d:73,,,,,,,81,\n00:1a:2b:3c:4d:74,,,,,,,81,\n"
        "00:1a:2b:3c:4d:75,,,,,,,81,\n00:1a:2b:3c:4d:76,,,,,,Roof,,\n"));
    const std::map<QString, QString> outcomes = {
        {"00:1a:2b:3c:4d:71", "applied"},
        {"00:1a:2b:3c:4d:72", "unchanged"},
        {"00:1a:2b:3c:4d:73", "not applied: port reports 80"},
        {"00:1a:2b:3c:4d:74", "not confirmed"},
        {"00:1a:2b:3c:4d:75", "not found"},
        {"00:1a:2b:3c:4d:76", "refused: the device's web port 70000 is not one of 0 to 65535; give --port"},
    };
    for (const char* format : {"csv", "json"}) {
        test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(fleet)});
        ASSERT_TRUE(simulator.IsReady());
        const QString report = QString::fromStdString(test::WriteTemporaryFile(""));
        const Outcome run = Quillonctl({"apply", plan, "--skip-missing", "--timeout", "1", "--report", report,
                                        "--report-format", format});
        EXPECT_EQ(run.exitCode, 3) << format << run.errors.toStdString();
        QFile file(report);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        std::vector<QJsonObject> rows;
        if (QLatin1String(format) == QLatin1String("json")) {
            for (const QJsonValue& row : QJsonDocument::fromJson(file.readAll()).array())
                rows.push_back(row.toObject());
        } else {
            const QList<QByteArray> lines = file.readAll().split('\n');
            const QList<QByteArray> header = lines.first().trimmed().split(',');
            for (const QByteArray& line : lines.mid(1, lines.size() - 2)) {
                QJsonObject row;
                const QList<QByteArray> cells = line.trimmed().split(',');
                for (qsizetype i = 0; i < header.size(); ++i)
                    row.insert(QString::fromUtf8(header[i]), QString::fromUtf8(cells.value(i)));
                rows.push_back(row);
            }
        }
        ASSERT_EQ(rows.size(), outcomes.size()) << format;
        for (const QJsonObject& row : rows) {
            const QString mac = row.value("mac").toString();
            EXPECT_EQ(row.value("outcome").toString(), outcomes.at(mac)) << format << ' ' << mac.toStdString();
            EXPECT_TRUE(QDateTime::fromString(row.value("ended").toString(), Qt::ISODateWithMs).isValid()) << format;
            if (mac != QLatin1String("00:1a:2b:3c:4d:71"))
                continue;
            const std::pair<const char*, const char*> cells[] = {
                {"old_ip", "203.0.113.70"}, {"ip", "203.0.113.80"}, {"old_name", "Lobby"}, {"name", "Hall"},
                {"old_port", "80"}, {"port", "8080"}, {"gateway", "203.0.113.1"},
                {"web_address", "http://203.0.113.80:8080"}};
            for (const auto& [column, value] : cells)
                EXPECT_EQ(row.value(column).toString(), QLatin1String(value)) << format << ' ' << column;
        }
    }
}

// --format json gives scripts one object per device or finding, with the field names of list.
TEST(Quillonctl, SetApplyAndDoctorSpeakJsonWithTheFieldNamesOfList)
{
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(R"({"devices": [
        {"mac": "00:1a:2b:3c:4d:81", "ip": "203.0.113.81", "gateway": "203.0.113.1", "name": "Lobby", "port1": 80}]})")});
    ASSERT_TRUE(simulator.IsReady());
    const QString plan = QString::fromStdString(
        test::WriteTemporaryFile("mac,ip,netmask,gateway,dns1,dns2,name,port,mode\n00:1a:2b:3c:4d:81,,,,,,Hall,,\n"));
    struct Case {
        QStringList arguments;
        const char* key;   // of the first object
        const char* value; // its value there
    };
    const Case cases[] = {
        {{"set", "00:1a:2b:3c:4d:81", "--port", "8080", "--format", "json"}, "web_port", "8080"},
        {{"set", "00:1a:2b:3c:4d:81", "--port", "8080", "--format", "json"}, "outcome", "unchanged"},
        {{"apply", plan, "--format", "json"}, "outcome", "applied"},
        {{"apply", plan, "--format", "json"}, "name", "Hall"},
        {{"doctor", "--format", "json"}, "subject", "card lan0"},
    };
    for (const Case& c : cases) {
        const Outcome run = Quillonctl(c.arguments);
        const std::string row = c.arguments.join(' ').toStdString() + "\n" + run.output.toStdString();
        const QJsonDocument document = QJsonDocument::fromJson(run.output.split('\n').first());
        const QJsonObject first = document.isArray() ? document.array().first().toObject() : document.object();
        EXPECT_EQ(first.value(QLatin1String(c.key)).toVariant().toString(), QLatin1String(c.value)) << row;
    }
    EXPECT_EQ(Quillonctl({"doctor", "--format", "xml"}).exitCode, 2);
}

// -q leaves standard error to errors: what the exit status tells is not said again.
TEST(Quillonctl, QuietLeavesOnlyErrorsOnStandardError)
{
    const Outcome none = Quillonctl({"list", "-q", "--timeout", "0.5"}); // no device answers
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.errors.toStdString(), "");

    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(R"({"devices": [
        {"mac": "00:1a:2b:3c:4d:91", "ip": "203.0.113.91", "gateway": "203.0.113.1", "confirm": "silent"}]})")});
    ASSERT_TRUE(simulator.IsReady());
    const std::tuple<QStringList, int, bool> cases[] = { // the run, its exit status, whether it says anything
        {{"-q", "set", "00:1a:2b:3c:4d:91", "--ip", "203.0.113.0"}, 2, true}, // a refusal is an error
        {{"set", "00:1a:2b:3c:4d:91", "--port", "81", "--timeout", "1", "--quiet"}, 3, false},
    };
    for (const auto& [arguments, exitCode, says] : cases) {
        const Outcome run = Quillonctl(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << arguments.join(' ').toStdString();
        EXPECT_EQ(!run.errors.isEmpty(), says) << arguments.join(' ').toStdString() << "\n" << run.errors.toStdString();
    }
}

// watch searches every second here; the device falls silent, then answers again.
TEST(Quillonctl, WatchSaysEachDeviceNewThenOfflineAndOnlineAndEndsCleanlyWhenStopped)
{
    const char* fleet = R"({"devices": [{"mac": "00:1a:2b:3c:4d:31", "ip": "203.0.113.31", "netmask": "255.255.255.0",
                             "name": "Yard", "port1": 80}]})";
    const std::string fleetPath = test::WriteTemporaryFile(fleet);
    auto simulator = std::make_unique<test::SimulatorProcess>(std::vector<std::string>{"--devices", fleetPath});
    ASSERT_TRUE(simulator->IsReady());
    QProcess watch;
    watch.setProcessChannelMode(QProcess::SeparateChannels);
    watch.start(QStringLiteral(QUILLONCTL), {"watch", "--interval", "1", "--format", "json", "--repeat", "1"});
    QByteArray lines;
    const auto waitFor = [&](const char* event) {
        for (int wait = 0; wait < 200 && !lines.contains(QByteArray("\"event\":\"") + event + '"'); ++wait) {
            watch.waitForReadyRead(50);
            lines += watch.readAllStandardOutput();
        }
        return lines.contains(QByteArray("\"event\":\"") + event + '"');
    };
    ASSERT_TRUE(waitFor("new")) << lines.toStdString();
    simulator.reset();
    ASSERT_TRUE(waitFor("offline")) << lines.toStdString();
    simulator = std::make_unique<test::SimulatorProcess>(std::vector<std::string>{"--devices", fleetPath});
    ASSERT_TRUE(waitFor("online")) << lines.toStdString();
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
    QStringList events;
    for (const QByteArray& line : (lines + watch.readAllStandardOutput()).split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (!line.isEmpty())
            events << event.value("event").toString() + ' ' + event.value("mac").toString() + ' ' + event.value("name").toString();
    }
    EXPECT_EQ(events, (QStringList{"new 00:1a:2b:3c:4d:31 Yard", "offline 00:1a:2b:3c:4d:31 Yard", "online 00:1a:2b:3c:4d:31 Yard"}));
}

// Three devices that end a set request each its own way; the site's memory in a file of the test's.
TEST(Quillonctl, TheJournalKeepsEverySetRequestSentWithItsOutcomeAndHistoryTellsThem)
{
    const char* fleet = R"({"devices": [
      {"mac": "00:1a:2b:3c:4d:41", "ip": "203.0.113.41", "netmask": "255.255.255.0", "gateway": "203.0.113.1", "name": "Hall", "port1": 80},
      {"mac": "00:1a:2b:3c:4d:42", "ip": "203.0.113.42", "netmask": "255.255.255.0", "gateway": "203.0.113.1", "name": "Shed",
       "port1": 80, "confirm": "silent"},
      {"mac": "00:1a:2b:3c:4d:43", "ip": "203.0.113.43", "netmask": "255.255.255.0", "gateway": "203.0.113.1", "name": "Gate",
       "port1": 80, "confirm": "stale"}]})";
    test::SimulatorProcess simulator({"--devices", test::WriteTemporaryFile(fleet)});
    ASSERT_TRUE(simulator.IsReady());
    const QString database = QString::fromStdString(test::WriteTemporaryFile("")) + ".sqlite";
    const QStringList memory{"--database", database};
    const Outcome list = Quillonctl(QStringList{"list", "--timeout", "1"} + memory);
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.errors, QByteArray());
    const Outcome firstVisit = Quillonctl(QStringList{"diff", "--format", "json"} + memory);
    EXPECT_EQ(firstVisit.output.count("\"event\":\"new\""), 3) << "a first visit finds every device new";
    const std::tuple<const char*, const char*, int, QStringList> sets[] = {
        {"00:1a:2b:3c:4d:41", "81", 0, {"--site", "Depot"}},
        {"00:1a:2b:3c:4d:42", "81", 3, {"--timeout", "1"}},
        {"00:1a:2b:3c:4d:43", "81", 3, {"--timeout", "1"}},
        {"00:1a:2b:3c:4d:41", "84", 0, {"--no-database"}},
    };
    for (const auto& [mac, port, status, options] : sets) {
        const Outcome set = Quillonctl(QStringList{"set", mac, "--port", port} + memory + options);
        EXPECT_EQ(set.exitCode, status) << mac << set.errors.toStdString();
    }
    const Outcome unusable = Quillonctl({"set", "00:1a:2b:3c:4d:41", "--port", "85", "--database", "/proc/self/no/such.sqlite"});
    EXPECT_EQ(unusable.exitCode, 0) << "a memory that cannot be used stops nothing";
    EXPECT_TRUE(unusable.errors.contains("quillonctl: the site's memory (/proc/self/no/such.sqlite) is off: ")) << unusable.errors.toStdString();

    const Outcome history = Quillonctl(QStringList{"history", "--format", "json"} + memory);
    ASSERT_EQ(history.exitCode, 0) << history.errors.toStdString();
    QStringList entries;
    for (const QJsonValue entry : QJsonDocument::fromJson(history.output).array()) {
        const QJsonObject e = entry.toObject();
        entries << QStringList{e.value("mac").toString(), e.value("site").toString(), e.value("source").toString(),
                               e.value("before").toObject().value("port").toString() + "->" +
                                   e.value("after").toObject().value("port").toString(),
                               e.value("outcome").toString()}
                       .join(' ');
    }
    EXPECT_EQ(entries.join('|').toStdString(), QStringList({"00:1a:2b:3c:4d:41 Depot set 80->81 applied",
                                    "00:1a:2b:3c:4d:42 lan0 203.0.113.0/26 set 80->81 not confirmed",
                                    "00:1a:2b:3c:4d:43 lan0 203.0.113.0/26 set 80->81 not applied: port reports 80"}).join('|').toStdString());
    const Outcome one = Quillonctl(QStringList{"history", "00:1a:2b:3c:4d:43"} + memory);
    EXPECT_TRUE(one.output.endsWith("set 00:1a:2b:3c:4d:43 (lan0 203.0.113.0/26): port 80 \xe2\x86\x92 81: not applied: port reports 80\n"))
        << one.output.toStdString();
    EXPECT_EQ(one.output.count('\n'), 1);

    // A site named for what is found next, its report with the journal sent there, and a site
    // forgotten once.
    const std::tuple<QStringList, int, QByteArray> commands[] = {
        {{"site", "Depot"}, 0, {}},
        {{"site"}, 0, "Depot\n"},
        {{"report", "--site", "Nowhere"}, 1, {}},
        {{"forget", "--site", "lan0 203.0.113.0/26"}, 0, {}},
        {{"forget", "--site", "lan0 203.0.113.0/26"}, 1, {}},
        {{"forget"}, 2, {}},
    };
    for (const auto& [arguments, status, output] : commands) {
        const Outcome run = Quillonctl(arguments + memory);
        EXPECT_EQ(run.exitCode, status) << arguments.join(' ').toStdString() << run.errors.toStdString();
        if (!output.isEmpty()) {
            EXPECT_EQ(run.output, output);
        }
    }
    EXPECT_EQ(Quillonctl(QStringList{"list", "--timeout", "1"} + memory).exitCode, 0);
    const Outcome report = Quillonctl(QStringList{"report", "--format", "json"} + memory);
    const QJsonObject reported = QJsonDocument::fromJson(report.output).object();
    ASSERT_EQ(reported.value("sites").toArray().size(), 1) << "list remembered at the site named: " << report.output.toStdString();
    EXPECT_EQ(reported.value("sites").toArray().at(0).toObject().value("name").toString(), QStringLiteral("Depot"));
    EXPECT_EQ(reported.value("sites").toArray().at(0).toObject().value("devices").toArray().size(), 3)
        << "set --site Depot remembered what its search found there";
    EXPECT_EQ(reported.value("journal").toArray().size(), 3) << "forgetting a site keeps the journal";
}
