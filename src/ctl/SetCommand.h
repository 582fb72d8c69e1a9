#pragma once

#include "commands/Confirmation.h"
#include "commands/Plan.h"
#include "ctl/Common.h"
#include "discovery/Discovery.h"
#include "protocol/Wire.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillon::ctl {

// What `quillonctl set` was asked, checked for form already: only what is given changes.
struct SetOptions : commands::DeviceChanges {
    bool yes = false;            // send a gateway outside the subnet without asking
    bool force = false;          // send an address another listed device has
    bool json = false;           // the outcome as one JSON object, the device as `list` shows it
    std::chrono::milliseconds timeout{5000};
    std::vector<std::string> interfaces; // empty: every card
    MemoryOptions memory;
};

// How long `set` waits for the device to answer the search, at most.
inline constexpr std::chrono::milliseconds kFindTimeout{2000};

// Exit statuses of `set`, as the manual page gives them (2 is kExitError: nothing was sent).
inline constexpr int kExitConfirmed = 0;
inline constexpr int kExitUnconfirmed = 3;
inline constexpr int kExitNotFound = 4;

// Stopped: an interruption came before anything was sent.
enum class SetResult { Confirmed, Unchanged, Unconfirmed, NotFound, Refused, Failed, Stopped };

// A device's settings on their way: the request that went out, each field it changes as the
// device had it and as sent (named as set's lines name them), and the watch for its word.
struct SentSettings {
    protocol::ShortFormSetRequest request;
    QJsonObject before;
    QJsonObject after;
    std::unique_ptr<commands::ConfirmationWatch> watch;
};

// How a device's line ended, in words: "applied", "not confirmed", "not applied: port reports
// 80", "refused: …", "unchanged", "not found". `why` is a refusal's reason or what the device
// reports otherwise.
QString OutcomeText(SetResult result, const QString& why);

// Enters a request that went out, and how it ended, in the journal; says on standard error when
// it cannot.
void Journal(store::SiteMemory* memory, const char* source, const QString& site, const wire::MacAddress& mac,
             const SentSettings& sent, const QString& outcome);

// With a discovery already started: finds the device and sends its changed settings through the
// window's Submit, the watch armed before the request leaves and asking the devices again through
// `askAgain`. Writes one line per changed field to `output`; messages go to standard error. The
// result when nothing was sent, and for a refusal its reason in `refusal` when one is given.
std::variant<SetResult, SentSettings> SendSettings(discovery::Discovery& discovery, Failure& failure,
                                                   const SetOptions& options, DataOutput& output,
                                                   const std::function<void()>& askAgain, QString* refusal = nullptr);

// Says on standard error why the device's word did not come within `timeout`: what it reports
// otherwise, what its reports left untold, or that it said nothing.
void SayUnconfirmed(const commands::ConfirmationWatch& watch, std::chrono::milliseconds timeout);

// Finds the device, sends its changed settings through the window's Submit and waits for the
// device to confirm them. Writes one line per changed field and "confirmed" (or "unchanged")
// to `dataFd`; messages go to standard error. Returns the exit status, the device's own when
// only writing the output failed.
int RunSet(const SetOptions& options, int dataFd);

// `set` from the program's arguments.
ParsedCommand ParseSet(const QStringList& arguments);

} // namespace quillon::ctl
