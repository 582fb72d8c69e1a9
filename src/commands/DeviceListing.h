#pragma once

#include "devices/DeviceTable.h"
#include "platform/Interfaces.h"
#include "protocol/Wire.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

namespace quillon::commands {

enum class DhcpMode { Unknown, On, Off };

// Everything known of one device that answered, copied from the table in one consistent step,
// with what follows from it: the card it answered on, whether its address lies in that card's
// subnet, whether another device answered with the same address.
struct ListedDevice {
    wire::MacAddress macAddress{};
    wire::Ipv4 ipAddress{};
    wire::Ipv4 netmask{};
    wire::Ipv4 gateway{};
    std::optional<wire::Ipv4> dns1; // empty when no answer carried one (0.0.0.0 is none)
    std::optional<wire::Ipv4> dns2;
    QByteArray nameBytes;           // exactly as the device sent it
    QString name;                   // decoded; invalid UTF-8 shows as U+FFFD
    bool nameIsUtf8 = true;
    std::int32_t webPort = 0;       // 0 when the replies carried none
    DhcpMode dhcp = DhcpMode::Unknown;
    std::uint8_t protocols = 0;     // devices::kAnsweredLongForm | kAnsweredShortForm
    unsigned cardIndex = 0;         // 0 when unknown
    QString cardName;               // empty when unknown
    QString cardSubnet;             // "10.0.0.0/24"; empty when the card or its address is unknown
    std::optional<bool> inCardSubnet; // empty when the card or its address is unknown
    bool sharesAddress = false;
    std::optional<std::array<wire::Ipv4, 2>> macSharedBy; // two addresses answering with its MAC
    QString webAddress;
    int rowNumber = 0;              // its number in the list
    // Since when it is taken for offline by a list that keeps searching; empty while it answers.
    std::optional<std::chrono::system_clock::time_point> offlineSince;
};

// Every device in the table, sorted by address numerically (then MAC). `cards` are the
// interfaces as they are now, for the cards' names, addresses and netmasks.
std::vector<ListedDevice> ListDevices(const devices::DeviceStore& store,
                                      const std::vector<platform::BroadcastInterface>& cards);

// The device of the row numbered `rowNumber`, read in constant time whatever the size of the
// table: as ListDevices lists it, except that it is not compared with the other devices, so
// sharesAddress is false. Nothing when no device has that number.
std::optional<ListedDevice> ListRowDevice(const devices::DeviceStore& store, int rowNumber,
                                          const std::vector<platform::BroadcastInterface>& cards);

// The listing for people: a header and one line per device, in aligned columns.
QByteArray FormatTable(const std::vector<ListedDevice>& devices);
// One device as a JSON object; a name that is not UTF-8 also gets "name_hex".
QJsonObject DeviceJson(const ListedDevice& device);
// The settings a device reports, as list's JSON names them, each with its value as text (empty
// for none): what a watch compares and a site's memory keeps.
inline constexpr const char* kReportedSettings[] = {"ip",   "netmask",  "gateway", "dns1", "dns2",
                                                    "name", "web_port", "dhcp",    "card"};
QString ReportedSetting(const QJsonObject& deviceJson, const char* setting);
inline constexpr std::size_t kReportedSettingCount = std::size(kReportedSettings);
// The same texts, in kReportedSettings' order, read from the device without a JSON object between:
// a site's memory writes tens of thousands of them a second.
std::array<QString, kReportedSettingCount> ReportedSettingTexts(const ListedDevice& device);
// One JSON array, an object per device.
QByteArray FormatJson(const std::vector<ListedDevice>& devices, bool pretty);
// A cell a spreadsheet would read as a formula (one starting with =, +, -, @, a tab or a
// carriage return) begins with an apostrophe, and so does one that begins with an apostrophe
// itself, so that TextOfSpreadsheetCell gives back every text exactly.
QString SpreadsheetCell(const QString& text);
QString TextOfSpreadsheetCell(const QString& cell);
// One CSV field, quoted as RFC 4180 says when it holds a comma, a quote or a line break.
QString CsvField(const QString& text);
// A header row and one row per device, quoted as RFC 4180 says, lines ending in CRLF; each
// field as SpreadsheetCell writes it.
QByteArray FormatCsv(const std::vector<ListedDevice>& devices);
// The CSV's columns separated by tabs, a line per device, optionally under the header line;
// names as the table shows them, so that no field holds a tab or a line break, each field as
// SpreadsheetCell writes it.
QString FormatTabSeparated(const std::vector<ListedDevice>& devices, bool withHeader);

} // namespace quillon::commands
