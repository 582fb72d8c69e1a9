#pragma once

#include "commands/DeviceListing.h"
#include "devices/ListLock.h"
#include "discovery/Discovery.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"
#include "platform/Interfaces.h"
#include "protocol/Wire.h"
#include "store/SiteMemory.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace quillon::ctl {

// The indexes of the named cards; nothing, with a message, when a name is not a card that can
// carry a search.
std::optional<std::vector<unsigned>> NamedCards(const std::vector<std::string>& names,
                                                const std::vector<platform::BroadcastInterface>& cards);

// NamedCards, and then searches through those cards only (through every card when `names` is
// empty); nothing, with a message, when a name is not a card that can carry a search.
std::optional<std::vector<unsigned>> SearchOnlyThrough(const std::vector<std::string>& names,
                                                       const std::vector<platform::BroadcastInterface>& cards);

// Drops the devices that answered on a card not in `named`; an empty `named` keeps them all.
void KeepNamedCards(std::vector<commands::ListedDevice>& devices, const std::vector<unsigned>& named);

// Writes all of `data` to `fd`; false, errno set, when that failed.
bool WriteAll(int fd, const QByteArray& data);

// Where a command's data goes. The first write that fails (a full disk, a closed pipe: SIGPIPE
// is ignored) is told on standard error with `name`, and nothing is written after it.
class DataOutput {
public:
    // A negative `fd`: the data goes nowhere.
    explicit DataOutput(int fd, QByteArray name = "the output") : fd_(fd), name_(std::move(name)) {}
    // False when this write or an earlier one failed.
    bool Write(const QByteArray& data);
    bool Failed() const { return failed_; }

private:
    int fd_;
    QByteArray name_;
    bool failed_ = false;
};

// From now on SIGINT, SIGTERM and SIGHUP only note that the run is to stop, for it to stop
// where it safely can.
void CatchInterruptions();
// The first of those signals that came since; 0 while none did.
int Interruption();

// -q: standard error carries errors only; what the exit status already tells (no device
// answered, a device that did not confirm, progress) is left out.
void BeQuiet();
bool Quiet();

// --via HOST: the remote sites this run searches, through a relay on each host, instead of
// this computer's cards. Set by CommandLine::Parse.
const std::vector<std::string>& Via();
// Says on standard error each site whose relay is not up; true when one is not.
bool SitesFailed(const discovery::Discovery& discovery);

// Set by a receiver that could not be set up; the wait for answers then ends at once.
class Failure {
public:
    void Raise()
    {
        {
            const std::scoped_lock lock(mutex_);
            raised_ = true;
        }
        changed_.notify_all();
    }
    // Waits up to `timeout`; true when a failure was raised meanwhile.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

// What the core would show in a message box goes to standard error as one line of ours for as
// long as this lives; a receiver that cannot bind its port says which port, and where to look.
class MessagesOnStandardError {
public:
    MessagesOnStandardError();
    ~MessagesOnStandardError();
    MessagesOnStandardError(const MessagesOnStandardError&) = delete;
    MessagesOnStandardError& operator=(const MessagesOnStandardError&) = delete;

private:
    platform::MessageBoxPoster replaced_;
};

// --repeat takes 1 to kMostSearchRepeats; discovery::kSearchRepeats when not given.
using discovery::kSearchRepeats;
using discovery::kSearchRepeatInterval;
inline constexpr int kMostSearchRepeats = 10;

// Starts `discovery` (its receivers send the first search requests) and collects answers for
// `timeout`, sending both requests again until each went out `repeats` times; earlier once
// `enough` (when given) holds and no new device answered for kQuietWhenEnough. True when a
// receiver could not be set up.
bool SearchAndCollect(discovery::Discovery& discovery, Failure& failure, std::chrono::milliseconds timeout,
                      int repeats, const std::function<bool()>& enough = {});
inline constexpr std::chrono::milliseconds kQuietWhenEnough{300};

// Opens `path` for reading, standard input for "-"; says why not on standard error.
bool OpenInput(QFile& file, const QString& path);

// One run's discovery, with the list lock it shares with the window and the failure its
// receivers raise when one cannot be set up.
struct Session {
    Session() : discovery(listLock, [this](int) { failure.Raise(); }) { discovery.SetSites(Via(), Via().empty()); }

    MessagesOnStandardError messages; // before the discovery, whose receivers post them
    Failure failure;
    platform::NamedLock listLock{devices::kListLockName};
    discovery::Discovery discovery;
};

// The message and the usage on standard error; returns the exit status of bad input.
int UsageError(const QString& message);
int UnexpectedArgument(const QString& argument);

// The version on standard output; returns 0.
int PrintVersion();

// -i/--interface and --timeout (described by `help`): options of the commands that may also
// come before the command.
QCommandLineOption InterfaceOption();
QCommandLineOption ViaOption();
QCommandLineOption TimeoutOption(const QString& help);

// What a command's arguments come to: the run, given the descriptor its data goes to, that
// returns the exit status; or the exit status at once, when its help was printed or the
// arguments were wrong (the usage error printed).
using ParsedCommand = std::variant<std::function<int(int dataFd)>, int>;

// An address option and the field it fills.
using AddressOption = std::pair<const QCommandLineOption*, std::optional<wire::Ipv4>*>;

// Where a run's site memory is, and which site it is at.
struct MemoryOptions {
    QString path;
    bool off = false; // --no-database
    QString site;     // empty: each device's card and subnet
};

// One command's command line: -h/--help, -v/--version (not in its help), -i/--interface,
// --timeout when the command takes one, and its own options.
class CommandLine {
public:
    struct Command {
        const char* name;
        const char* usage;       // after "quillonctl ", in its help
        const char* description; // for its help
        const char* exitStatus;  // for its help, after the options
        const char* missingArgument = nullptr; // the message when its one argument is missing; null: it takes none
        bool optionalArgument = false;         // it takes one argument, or none
    };

    explicit CommandLine(const Command& command);

    void AddTimeout(const QString& help);
    // --repeat N: how many times each search request goes out.
    void AddRepeat();
    // --format text|json: lines for people (the default) or JSON for scripts.
    void AddOutputFormat();
    // --via HOST, repeatable (the command then refuses -i, whose cards are this computer's).
    void AddVia();
    // --database FILE, --no-database and --site NAME.
    void AddSiteMemory();
    MemoryOptions Memory() const;
    void AddOptions(const QList<QCommandLineOption>& options) { parser_.addOptions(options); }

    // Parses the program's `arguments`, the command's name among them: nothing when the command
    // is to run, otherwise the exit status (the help or the version printed, or a usage error).
    std::optional<int> Parse(const QStringList& arguments);

    const QCommandLineParser& Options() const { return parser_; }
    // The command's argument.
    QString Argument() const { return parser_.positionalArguments().value(1); }
    // The --timeout given, checked by Parse.
    std::optional<std::chrono::milliseconds> Timeout() const { return timeout_; }
    // The --repeat given, checked by Parse; kSearchRepeats when none was.
    int Repeats() const { return repeats_; }
    // True when --format json was given, checked by Parse.
    bool Json() const { return json_; }
    std::vector<std::string> Interfaces() const;
    // Reads each address option that is given into its field; the usage error's exit status
    // for the first that is not an address.
    std::optional<int> ReadAddresses(std::span<const AddressOption> options) const;
    // The port of `option`, when given, 0 to 65535; the usage error's exit status otherwise.
    std::optional<int> ReadPort(const QCommandLineOption& option, std::optional<std::uint16_t>& port) const;
    // DHCP (true) or a fixed address (false), when one of the two options is given; the usage
    // error's exit status when both are.
    std::optional<int> ReadMode(const QCommandLineOption& dhcp, const QCommandLineOption& fixed,
                                std::optional<bool>& mode) const;

private:
    Command command_;
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption quiet_;
    QCommandLineOption interface_;
    std::optional<QCommandLineOption> timeoutOption_;
    std::optional<std::chrono::milliseconds> timeout_;
    std::optional<QCommandLineOption> repeatOption_;
    int repeats_ = kSearchRepeats;
    std::optional<QCommandLineOption> formatOption_;
    bool json_ = false;
    std::optional<QCommandLineOption> databaseOption_;
    std::optional<QCommandLineOption> noDatabaseOption_;
    std::optional<QCommandLineOption> siteOption_;
    std::optional<QCommandLineOption> viaOption_;
};

// The site's memory that remembers a run, or nothing when the user turned it off or it cannot be
// used; then standard error says why, once, and the run goes on without it.
std::unique_ptr<store::SiteMemory> OpenSiteMemory(const MemoryOptions& options);
void SayMemoryOff(const QString& path, const QString& why);
// Enters the devices a run found into `memory` at `site` (empty: each device's own), except
// those in `unconfirmed`, which show settings sent that they never reported; a memory that fails
// is said. Nothing without a memory.
void RememberDevices(store::SiteMemory* memory, std::vector<commands::ListedDevice> devices, const QString& site,
                     const std::vector<wire::MacAddress>& unconfirmed = {});

} // namespace quillon::ctl
