#include "ctl/Common.h"

#include "commands/Plan.h"
#include "ctl/ListCommand.h"
#include "discovery/Receivers.h"
#include "protocol/DeviceTexts.h"
#include "protocol/Protocol.h"

#include <QCoreApplication>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quillon::ctl {

namespace {

const char* const kUsage = "Usage: quillonctl [OPTION]... list\n"
                           "       quillonctl [OPTION]... set MAC [--ip A] [--netmask M] [--gateway G] [--dns1 D]\n"
                           "                  [--dns2 D] [--name TEXT] [--port N] [--dhcp | --static] [--yes]\n"
                           "       quillonctl [OPTION]... plan --range FIRST[-LAST] [--netmask M] [--gateway G]\n"
                           "                  [--name-template TEXT] [--only GLOB]\n"
                           "       quillonctl [OPTION]... apply PLAN.csv [--dry-run] [--yes] [--report FILE]\n"
                           "       quillonctl [OPTION]... doctor\n"
                           "Try 'quillonctl --help' for more information.\n";

// Written by the signal handler, so it must not take a lock.
std::atomic<int> interruption{0};
static_assert(std::atomic<int>::is_always_lock_free);

void NoteInterruption(int signal)
{
    int none = 0;
    interruption.compare_exchange_strong(none, signal);
}

} // namespace

void CatchInterruptions()
{
    struct sigaction action {};
    action.sa_handler = NoteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int Interruption()
{
    return interruption.load();
}

namespace {

// A receiver's set-up failure ("ERROR:  98 bind() failed") as a user can act on it: the port
// another program holds, found by trying both, or the failure itself.
QString ReceiverFailureText(const QString& failure)
{
    for (const std::uint16_t port : {protocol::kShortFormPort, protocol::kLongFormPort})
        if (discovery::TryReceiverPort(port) == EADDRINUSE)
            return QStringLiteral("cannot receive answers on port %1/udp: another program holds it without sharing "
                                  "it; 'quillonctl doctor' tells more")
                .arg(port);
    return QStringLiteral("cannot receive answers (%1); 'quillonctl doctor' tells more").arg(failure.simplified());
}

void PostToStandardError(const platform::MessageBoxRequest& request, const std::function<void()>& closed)
{
    const bool receiverFailure = request.text.startsWith(QLatin1String("ERROR:"));
    const QString text = receiverFailure ? ReceiverFailureText(request.text) : request.text;
    std::fprintf(stderr, "quillonctl: %s\n", qPrintable(protocol::DisplayableText(text)));
    if (closed)
        closed();
}

} // namespace

namespace {
std::atomic<bool> quiet{false};
} // namespace

void BeQuiet()
{
    quiet = true;
}

bool Quiet()
{
    return quiet;
}

namespace {
std::vector<std::string> viaHosts;
} // namespace

const std::vector<std::string>& Via()
{
    return viaHosts;
}

bool SitesFailed(const discovery::Discovery& discovery)
{
    bool failed = false;
    for (const discovery::SiteState& site : discovery.Sites()) {
        if (site.phase == discovery::SiteState::Phase::Up)
            continue;
        failed = true;
        const std::string why = site.phase == discovery::SiteState::Phase::Starting ? "no answer from its relay in the search's time"
                                                                                  : site.why;
        std::fprintf(stderr, "quillonctl: site %s: %s\n", qPrintable(protocol::DisplayableText(QString::fromStdString(site.host))),
                     qPrintable(protocol::DisplayableText(QString::fromStdString(why))));
    }
    return failed;
}

MessagesOnStandardError::MessagesOnStandardError() : replaced_(platform::SetMessageBoxPoster(PostToStandardError)) {}

MessagesOnStandardError::~MessagesOnStandardError()
{
    platform::SetMessageBoxPoster(replaced_);
}

int UsageError(const QString& message)
{
    std::fprintf(stderr, "quillonctl: %s\n%s", qPrintable(protocol::DisplayableText(message)), kUsage);
    return kExitError;
}

int UnexpectedArgument(const QString& argument)
{
    return UsageError(QStringLiteral("unexpected argument '%1'").arg(argument));
}

int PrintVersion()
{
    std::printf("quillonctl %s\n", qPrintable(QCoreApplication::applicationVersion()));
    return 0;
}

QCommandLineOption InterfaceOption()
{
    return {{QStringLiteral("i"), QStringLiteral("interface")},
            QStringLiteral("Search only through network card NAME (repeatable)."),
            QStringLiteral("NAME")};
}

QCommandLineOption ViaOption()
{
    return {QStringLiteral("via"),
            QStringLiteral("Search the site behind HOST instead of this computer's LAN, through 'quillonctl relay' "
                           "run there over ssh (repeatable; $QUILLON_SSH replaces ssh)."),
            QStringLiteral("HOST")};
}

QCommandLineOption TimeoutOption(const QString& help)
{
    return {QStringLiteral("timeout"), help, QStringLiteral("SECONDS")};
}

CommandLine::CommandLine(const Command& command)
    : command_(command),
      help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this command's options and exit.")),
      version_({QStringLiteral("v"), QStringLiteral("V"), QStringLiteral("version")}, QString()),
      quiet_({QStringLiteral("q"), QStringLiteral("quiet")},
             QStringLiteral("Say only errors on standard error; the exit status tells the rest.")),
      interface_(InterfaceOption())
{
    version_.setFlags(QCommandLineOption::HiddenFromHelp);
    parser_.setApplicationDescription(QString::fromUtf8(command.description));
    parser_.addOptions({help_, version_, quiet_, interface_});
}

bool SearchAndCollect(discovery::Discovery& discovery, Failure& failure, std::chrono::milliseconds timeout,
                      int repeats, const std::function<bool()>& enough)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    const auto left = [deadline] {
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    };
    discovery.Start();
    for (int sent = 1; sent < repeats && left() > kSearchRepeatInterval; ++sent) {
        if (failure.WaitFor(kSearchRepeatInterval))
            return true;
        discovery.AskAgain();
    }
    // A search through sites alone has nothing to wait for once every site's relay failed.
    const auto everySiteFailed = [&discovery] {
        const std::vector<discovery::SiteState> sites = discovery.Sites();
        return !Via().empty() && std::all_of(sites.begin(), sites.end(), [](const discovery::SiteState& site) {
            return site.phase == discovery::SiteState::Phase::Failed;
        });
    };
    if (!enough && Via().empty())
        return failure.WaitFor(left());
    // The devices' answers to the repeated requests go on after the last new device: only new
    // devices count.
    constexpr std::chrono::milliseconds kStep{50};
    std::size_t listed = discovery.Devices().Count();
    std::size_t checked = 0; // `enough` is asked again only after new devices answered
    Clock::time_point quietSince = Clock::now();
    while (left() > std::chrono::milliseconds(0) && !everySiteFailed()) {
        if (failure.WaitFor(std::min(kStep, left())))
            return true;
        if (!enough)
            continue;
        if (const std::size_t count = discovery.Devices().Count(); count != listed) {
            listed = count;
            quietSince = Clock::now();
        } else if (Clock::now() - quietSince >= kQuietWhenEnough && count != checked) {
            checked = count;
            if (enough())
                return false;
        }
    }
    return false;
}

void CommandLine::AddVia()
{
    viaOption_ = ViaOption();
    parser_.addOption(*viaOption_);
}

void CommandLine::AddRepeat()
{
    repeatOption_ = QCommandLineOption(QStringLiteral("repeat"),
                                       QStringLiteral("Send each search request N times, 100 ms apart, 1 to %1 "
                                                      "(default %2): one lost broadcast then hides no device.")
                                           .arg(kMostSearchRepeats)
                                           .arg(kSearchRepeats),
                                       QStringLiteral("N"));
    parser_.addOption(*repeatOption_);
}

void CommandLine::AddOutputFormat()
{
    formatOption_ = QCommandLineOption(QStringLiteral("format"),
                                       QStringLiteral("Output as text (default) or json, with the field names of list."),
                                       QStringLiteral("FORMAT"), QStringLiteral("text"));
    parser_.addOption(*formatOption_);
}

void CommandLine::AddSiteMemory()
{
    databaseOption_ = QCommandLineOption(QStringLiteral("database"),
                                         QStringLiteral("The site's memory in FILE (default: $QUILLON_DATABASE, else "
                                                        "~/.local/share/quillon/quillon.sqlite)."),
                                         QStringLiteral("FILE"));
    noDatabaseOption_ = QCommandLineOption(QStringLiteral("no-database"), QStringLiteral("Remember nothing of this run."));
    siteOption_ = QCommandLineOption(QStringLiteral("site"),
                                     QStringLiteral("The site's name (default: the card and its subnet, as 'eth0 "
                                                    "192.168.1.0/24')."),
                                     QStringLiteral("NAME"));
    parser_.addOptions({*databaseOption_, *noDatabaseOption_, *siteOption_});
}

MemoryOptions CommandLine::Memory() const
{
    MemoryOptions memory;
    if (!databaseOption_)
        return memory;
    memory.off = parser_.isSet(*noDatabaseOption_);
    memory.path = parser_.isSet(*databaseOption_) ? parser_.value(*databaseOption_) : store::DefaultDatabasePath();
    memory.site = parser_.value(*siteOption_);
    return memory;
}

std::unique_ptr<store::SiteMemory> OpenSiteMemory(const MemoryOptions& options)
{
    if (options.off)
        return nullptr;
    QString why;
    std::unique_ptr<store::SiteMemory> memory = store::SiteMemory::Open(options.path, why);
    if (memory == nullptr)
        SayMemoryOff(options.path, why);
    else if (!memory->Notice().isEmpty())
        std::fprintf(stderr, "quillonctl: %s\n", qPrintable(memory->Notice()));
    return memory;
}

void RememberDevices(store::SiteMemory* memory, std::vector<commands::ListedDevice> devices, const QString& site,
                     const std::vector<wire::MacAddress>& unconfirmed)
{
    std::erase_if(devices, [&unconfirmed](const commands::ListedDevice& device) {
        return std::find(unconfirmed.begin(), unconfirmed.end(), device.macAddress) != unconfirmed.end();
    });
    if (memory != nullptr && !devices.empty() && !memory->RecordDevices(devices, site, QDateTime::currentDateTimeUtc()))
        SayMemoryOff(memory->Path(), memory->Error());
}

void SayMemoryOff(const QString& path, const QString& why)
{
    std::fprintf(stderr, "quillonctl: the site's memory (%s) is off: %s\n", qPrintable(path), qPrintable(why));
}

void CommandLine::AddTimeout(const QString& help)
{
    timeoutOption_ = TimeoutOption(help);
    parser_.addOption(*timeoutOption_);
}

std::optional<int> CommandLine::Parse(const QStringList& arguments)
{
    if (!parser_.parse(arguments))
        return UsageError(parser_.errorText());
    if (parser_.isSet(help_)) {
        // Qt's first line gives the program's path for the usage; the command's own replaces it.
        std::printf("Usage: quillonctl %s\n%s\n%s\n", command_.usage,
                    qPrintable(parser_.helpText().section(QLatin1Char('\n'), 1)), command_.exitStatus);
        return 0;
    }
    if (parser_.isSet(version_))
        return PrintVersion();
    if (parser_.isSet(quiet_))
        BeQuiet();
    if (viaOption_ && parser_.isSet(*viaOption_)) {
        if (parser_.isSet(interface_))
            return UsageError(QStringLiteral("-i names this computer's cards; with --via the relay searches every card of its host"));
        viaHosts.clear();
        for (const QString& host : parser_.values(*viaOption_)) {
            if (!discovery::IsSiteHost(host.toStdString()))
                return UsageError(QStringLiteral("--via takes a host name, not '%1'").arg(host));
            viaHosts.push_back(host.toStdString());
        }
    }
    const QStringList positional = parser_.positionalArguments();
    const qsizetype count = command_.missingArgument != nullptr || command_.optionalArgument ? 2 : 1;
    if (positional.size() < count && !command_.optionalArgument)
        return UsageError(QString::fromUtf8(command_.missingArgument));
    if (positional.size() > count)
        return UnexpectedArgument(positional[count]);
    if (timeoutOption_ && parser_.isSet(*timeoutOption_)) {
        bool isNumber = false;
        const QString value = parser_.value(*timeoutOption_);
        const double seconds = value.toDouble(&isNumber);
        if (!isNumber || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
            return UsageError(QStringLiteral("--timeout takes seconds from 0 to 3600, not '%1'").arg(value));
        timeout_ = std::chrono::milliseconds(std::lround(seconds * 1000));
    }
    if (formatOption_) {
        const QString format = parser_.value(*formatOption_);
        if (format != QLatin1String("text") && format != QLatin1String("json"))
            return UsageError(QStringLiteral("--format takes text or json, not '%1'").arg(format));
        json_ = format == QLatin1String("json");
    }
    if (repeatOption_ && parser_.isSet(*repeatOption_)) {
        bool isNumber = false;
        const QString value = parser_.value(*repeatOption_);
        repeats_ = value.toInt(&isNumber);
        if (!isNumber || repeats_ < 1 || repeats_ > kMostSearchRepeats)
            return UsageError(QStringLiteral("--repeat takes 1 to %1, not '%2'").arg(kMostSearchRepeats).arg(value));
    }
    return std::nullopt;
}

std::vector<std::string> CommandLine::Interfaces() const
{
    std::vector<std::string> interfaces;
    for (const QString& name : parser_.values(interface_))
        interfaces.push_back(name.toStdString());
    return interfaces;
}

std::optional<int> CommandLine::ReadAddresses(std::span<const AddressOption> options) const
{
    for (const auto& [option, field] : options) {
        if (!parser_.isSet(*option))
            continue;
        *field = protocol::ParseIpv4(parser_.value(*option));
        if (!*field)
            return UsageError(QStringLiteral("--%1 takes an address like 192.168.1.20, not '%2'")
                                  .arg(option->names().constFirst(), parser_.value(*option)));
    }
    return std::nullopt;
}

std::optional<int> CommandLine::ReadPort(const QCommandLineOption& option, std::optional<std::uint16_t>& port) const
{
    if (!parser_.isSet(option))
        return std::nullopt;
    bool isNumber = false;
    const uint number = parser_.value(option).toUInt(&isNumber);
    if (!isNumber || number > 65535)
        return UsageError(QStringLiteral("--port takes 0 to 65535, not '%1'").arg(parser_.value(option)));
    port = static_cast<std::uint16_t>(number);
    return std::nullopt;
}

std::optional<int> CommandLine::ReadMode(const QCommandLineOption& dhcp, const QCommandLineOption& fixed,
                                         std::optional<bool>& mode) const
{
    if (parser_.isSet(dhcp) && parser_.isSet(fixed))
        return UsageError(QStringLiteral("--dhcp and --static exclude each other"));
    if (parser_.isSet(dhcp) || parser_.isSet(fixed))
        mode = parser_.isSet(dhcp);
    return std::nullopt;
}

bool OpenInput(QFile& file, const QString& path)
{
    const bool opened = path == QLatin1String("-") ? file.open(STDIN_FILENO, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened)
        std::fprintf(stderr, "quillonctl: %s: %s\n", qPrintable(protocol::DisplayableText(path)),
                     qPrintable(file.errorString()));
    return opened;
}

void KeepNamedCards(std::vector<commands::ListedDevice>& devices, const std::vector<unsigned>& named)
{
    if (!named.empty())
        std::erase_if(devices, [&](const commands::ListedDevice& device) {
            return std::find(named.begin(), named.end(), device.cardIndex) == named.end();
        });
}

std::optional<std::vector<unsigned>> NamedCards(const std::vector<std::string>& names,
                                                const std::vector<platform::BroadcastInterface>& cards)
{
    std::vector<unsigned> indexes;
    for (const std::string& name : names) {
        const auto card = std::find_if(cards.begin(), cards.end(),
                                       [&](const platform::BroadcastInterface& c) { return c.name == name; });
        if (card == cards.end()) {
            std::fprintf(stderr, "quillonctl: no network card '%s' that is up and has an IPv4 address\n",
                         name.c_str());
            return std::nullopt;
        }
        indexes.push_back(card->index);
    }
    return indexes;
}

bool WriteAll(int fd, const QByteArray& data)
{
    const char* next = data.constData();
    std::size_t left = static_cast<std::size_t>(data.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool DataOutput::Write(const QByteArray& data)
{
    if (fd_ < 0)
        return true;
    if (failed_)
        return false;
    if (WriteAll(fd_, data))
        return true;
    failed_ = true;
    std::fprintf(stderr, "quillonctl: writing %s failed: %s\n", name_.constData(), std::strerror(errno));
    return false;
}

std::optional<std::vector<unsigned>> SearchOnlyThrough(const std::vector<std::string>& names,
                                                       const std::vector<platform::BroadcastInterface>& cards)
{
    std::optional<std::vector<unsigned>> named = NamedCards(names, cards);
    if (named)
        platform::SetBroadcastInterfaceNames(names);
    return named;
}

} // namespace quillon::ctl
