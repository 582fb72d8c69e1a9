#pragma once

#include "devices/DeviceTable.h"
#include "protocol/ShortForm.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quillon::commands {

// A changed field that a report of the device shows with another value than was asked.
struct ReportedOtherwise {
    QString field;    // "ip", "netmask", "gateway", "name", "port", "dns1", "dns2", "dhcp"
    QString reported; // the value the device reports
};

// How one report of the device answers a set request, field by field, from the values its own
// datagram carried: every changed field shown as asked, some shown otherwise, or some not
// carried at all (a datagram too short for the ports, the DNS servers or the mode). A device
// asked to take its address by DHCP gets its address, netmask, gateway and DNS servers from the
// DHCP server, so then only the mode (with the name and port, if asked) is compared.
struct ReportCheck {
    std::vector<ReportedOtherwise> otherwise;
    QStringList untold;
    bool ShowsEverything() const { return otherwise.empty() && untold.empty(); }
};
ReportCheck CheckReport(const protocol::ShortFormSetRequest& request, const devices::DeviceReport& report);

// "port 80, ip 192.168.1.20": what the device reports instead.
QString DescribeOtherwise(const std::vector<ReportedOtherwise>& otherwise);
// The same for a report or a journal: "port reports 80; name reports Hall"; empty for nothing.
QString NotApplied(const ReportCheck& check);

enum class ConfirmationState {
    Waiting,   // no report yet shows the change
    Confirmed, // a report of the device shows every change
};

// Waits, by polling, for the device's own word on a set request: its update notice or its next
// answer. It is armed before the request leaves, so that a device however quick is heard, and it
// judges only the device's reports from then on, each by what its datagram carried, never by
// what the table holds (which took the sent values as Submit sent them). Only reports arriving
// on the card the device was found on count, and, while the request keeps the device's address,
// only those from the address its reports came from: anybody on the LAN can send a notice.
class ConfirmationWatch {
public:
    // Right before `request` goes out. `askAgain` sends a search request, at most once, when a
    // report does not show the change: it may leave a field untold, or be an answer to a search
    // sent before the request that came in after it; the answers to a search sent now tell.
    ConfirmationWatch(const devices::DeviceStore& devices, const protocol::ShortFormSetRequest& request,
                      std::function<void()> askAgain);

    // After a Search: every device is new, so any report in the table counts.
    void TableWasEmptied() { reportsSeen_ = 0; }

    // Judges the device's reports entered since the last call (the latest of them).
    ConfirmationState Check();

    // What the latest report that counted showed otherwise, or left untold; empty when none did.
    const ReportCheck& LastCheck() const { return lastCheck_; }
    // Whether any report of the device has counted since the request.
    bool Heard() const { return heard_; }
    const wire::MacAddress& Device() const { return request_.macAddress; }

private:
    bool Counts(const devices::DeviceReport& report) const;

    const devices::DeviceStore& devices_;
    protocol::ShortFormSetRequest request_;
    std::function<void()> askAgain_;
    std::uint32_t reportsSeen_ = 0;
    unsigned card_ = 0;
    wire::Ipv4 source_{};
    ReportCheck lastCheck_;
    bool heard_ = false;
    bool askedAgain_ = false;
};

} // namespace quillon::commands
