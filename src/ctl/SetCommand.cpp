#include "ctl/SetCommand.h"

#include "commands/Confirmation.h"
#include "commands/DeviceListing.h"
#include "commands/Plan.h"
#include "commands/Submit.h"
#include "ctl/Common.h"
#include "ctl/ListCommand.h"
#include "discovery/Discovery.h"
#include "platform/Interfaces.h"
#include "protocol/DeviceTexts.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

namespace quillon::ctl {

namespace {

using devices::Device;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::chrono::milliseconds kSecondAnswerWait{200};

// What the window's fields would hold for this device, with the given options typed over them.
commands::NewSettings SettingsFor(const Device& device, const SetOptions& options)
{
    const devices::DeviceState& held = device.believed;
    commands::NewSettings settings;
    settings.name = options.name;
    settings.ipAddress = options.ipAddress.value_or(held.ipAddress);
    settings.netmask = options.netmask.value_or(held.netmask);
    settings.gateway = options.gateway.value_or(held.gateway);
    settings.dns1 = options.dns1.value_or(held.dns.dns1);
    settings.dns2 = options.dns2.value_or(held.dns.dns2);
    settings.port = options.port.value_or(static_cast<std::uint16_t>(held.ports.port1));
    settings.wantsDhcp = options.dhcp;
    return settings;
}

// "ip: 192.168.1.20 -> 192.168.1.50", one line for each field the request changes, in the
// order of the options.
QByteArray ChangeLines(const SentSettings& sent)
{
    QString lines;
    for (const char* name : {"ip", "netmask", "gateway", "name", "port", "dns1", "dns2", "dhcp"}) {
        const QString field = QLatin1String(name);
        if (sent.after.contains(field))
            lines += QStringLiteral("%1: %2 -> %3\n")
                         .arg(field, protocol::DisplayableText(sent.before.value(field).toString()),
                              protocol::DisplayableText(sent.after.value(field).toString()));
    }
    return lines.toUtf8();
}

// Why Submit sent nothing, for a refusal or a question the options answered no.
QString RefusalReason(commands::SubmitOutcome outcome, const commands::NewSettings& settings, const Device& device,
                      const Device& holder)
{
    using commands::SubmitOutcome;
    using protocol::DottedDecimal;
    switch (outcome) {
    case SubmitOutcome::UnusableAddress:
        return commands::AddressRefusalMessage(settings.ipAddress);
    case SubmitOutcome::UnusableNetmask:
        return commands::NetmaskRefusalMessage(settings.netmask);
    case SubmitOutcome::NameTooLong:
        return commands::NameRefusalMessage(settings.name.value_or(QString()));
    case SubmitOutcome::MacShared:
        return commands::SharedMacMessage(device.macSharedBy.value_or(std::array<wire::Ipv4, 2>{}));
    case SubmitOutcome::AddressHeld:
        return QStringLiteral("%1 already has the IP address %2; give --force to send it anyway")
            .arg(commands::DeviceLabel(holder), DottedDecimal(settings.ipAddress));
    case SubmitOutcome::Declined:
        return QStringLiteral("the gateway %1 is outside the subnet of %2/%3; give --yes to send it anyway")
            .arg(DottedDecimal(settings.gateway), DottedDecimal(settings.ipAddress), DottedDecimal(settings.netmask));
    case SubmitOutcome::SiteUnreachable:
        return QStringLiteral("the relay of its site is not running");
    case SubmitOutcome::Sent:
    case SubmitOutcome::NoDevice:
    case SubmitOutcome::NothingChanged:
    case SubmitOutcome::Missing: // its table lists only what answered
        break;
    }
    return {};
}

} // namespace

void SayUnconfirmed(const commands::ConfirmationWatch& watch, std::chrono::milliseconds timeout)
{
    if (Quiet())
        return;
    const QByteArray mac = protocol::MacText(watch.Device()).toLatin1();
    const commands::ReportCheck& check = watch.LastCheck();
    const double seconds = static_cast<double>(timeout.count()) / 1000.0;
    if (!check.otherwise.empty())
        std::fprintf(stderr, "quillonctl: not applied: the device %s reports %s\n", mac.constData(),
                     qPrintable(commands::DescribeOtherwise(check.otherwise)));
    else if (watch.Heard())
        std::fprintf(stderr, "quillonctl: the device %s did not report %s within %.1f s, so the change is not confirmed\n",
                     mac.constData(), qPrintable(check.untold.join(QLatin1String(", "))), seconds);
    else
        std::fprintf(stderr, "quillonctl: the settings were sent, but the device %s did not confirm them within %.1f s\n",
                     mac.constData(), seconds);
}

namespace {

// Waits for the device's own word on the request; a device that has said nothing by half the
// time is asked again (once, as the watch itself asks when a report leaves a field untold). An
// interruption ends the wait unconfirmed.
bool WaitForConfirmation(discovery::Discovery& discovery, commands::ConfirmationWatch& watch,
                         std::chrono::milliseconds timeout)
{
    const Clock::time_point start = Clock::now();
    bool askedAgain = false;
    for (;;) {
        if (watch.Check() == commands::ConfirmationState::Confirmed)
            return true;
        const Clock::duration waited = Clock::now() - start;
        if (waited >= timeout || Interruption() != 0)
            return false;
        if (!askedAgain && waited >= timeout / 2) {
            askedAgain = true;
            discovery.AskAgain();
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

} // namespace

std::variant<SetResult, SentSettings> SendSettings(discovery::Discovery& discovery, Failure& failure,
                                                   const SetOptions& options, DataOutput& output,
                                                   const std::function<void()>& askAgain, QString* refusal)
{
    devices::DeviceStore& devices = discovery.Devices();

    const Clock::time_point findDeadline = Clock::now() + std::min(options.timeout, kFindTimeout);
    std::optional<Device> device;
    while (!(device = devices.Find(options.mac)) && Clock::now() < findDeadline)
        if (failure.WaitFor(kPollInterval))
            return SetResult::Failed;
    const QByteArray mac = protocol::MacText(options.mac).toLatin1();
    if (!device) {
        std::fprintf(stderr, "quillonctl: no device with MAC address %s answered\n", mac.constData());
        return SetResult::NotFound;
    }
    // A device answers both searches. Its second answer, should it come after the request, would
    // carry the old settings over those Submit wrote, and only a search again could confirm;
    // so it is given a moment to arrive first.
    const Clock::time_point settled = std::min(Clock::now() + kSecondAnswerWait, findDeadline);
    while (device->protocols != (devices::kAnsweredLongForm | devices::kAnsweredShortForm) &&
           Clock::now() < settled) {
        if (failure.WaitFor(kPollInterval))
            return SetResult::Failed;
        device = devices.Find(options.mac).value_or(*device);
    }
    const std::int32_t port = device->believed.ports.port1;
    if (!options.port && (port < 0 || port > 65535)) {
        const QString why = QStringLiteral("the device's web port %1 is not one of 0 to 65535; give --port").arg(port);
        std::fprintf(stderr, "quillonctl: %s\n", qPrintable(why));
        if (refusal != nullptr)
            *refusal = why;
        return SetResult::Refused;
    }

    if (Interruption() != 0)
        return SetResult::Stopped;
    const commands::NewSettings settings = SettingsFor(*device, options);
    std::array<std::uint8_t, protocol::kShortFormSendBufferSize> sendBuffer{};
    SentSettings sent;
    const auto armWatch = [&](const protocol::ShortFormSetRequest& request) {
        sent.request = request;
        sent.watch = std::make_unique<commands::ConfirmationWatch>(devices, request, askAgain);
    };
    std::optional<Device> holder;
    commands::SubmitQuestions questions;
    questions.gatewayOutsideSubnet = [&options] { return options.yes; };
    questions.addressHeld = [&](const Device& other) {
        holder = other;
        return options.force;
    };
    const commands::SubmitOutcome outcome =
        commands::SubmitSettings(devices, options.mac, settings, questions, sendBuffer, armWatch);
    if (outcome == commands::SubmitOutcome::NothingChanged)
        return SetResult::Unchanged;
    if (outcome == commands::SubmitOutcome::NoDevice) {
        std::fprintf(stderr, "quillonctl: the device %s is gone from the list\n", mac.constData());
        return SetResult::NotFound;
    }
    if (outcome != commands::SubmitOutcome::Sent) {
        // Submit read a shared MAC address from the table after the copy above was taken.
        const Device now = devices.Find(options.mac).value_or(*device);
        const QString why = RefusalReason(outcome, settings, now, holder.value_or(Device{}));
        std::fprintf(stderr, "quillonctl: %s; nothing sent\n", qPrintable(why));
        if (refusal != nullptr)
            *refusal = why;
        return SetResult::Refused;
    }
    commands::SentChanges changes = commands::ChangesSent(*device, sent.request);
    sent.before = std::move(changes.before);
    sent.after = std::move(changes.after);
    output.Write(ChangeLines(sent));
    return sent;
}

QString OutcomeText(SetResult result, const QString& why)
{
    switch (result) {
    case SetResult::Confirmed:
        return QStringLiteral("applied");
    case SetResult::Unchanged:
        return QStringLiteral("unchanged");
    case SetResult::NotFound:
        return QStringLiteral("not found");
    case SetResult::Unconfirmed:
        return why.isEmpty() ? QStringLiteral("not confirmed") : QStringLiteral("not applied: ") + why;
    case SetResult::Refused:
        return QStringLiteral("refused: ") + why;
    case SetResult::Failed:
    case SetResult::Stopped:
        break;
    }
    return QStringLiteral("failed");
}

void Journal(store::SiteMemory* memory, const char* source, const QString& site, const wire::MacAddress& mac,
             const SentSettings& sent, const QString& outcome)
{
    if (memory == nullptr)
        return;
    const auto [user, host] = store::CurrentUserAndHost();
    const store::JournalEntry entry{QDateTime::currentDateTimeUtc(), user, host, site, QLatin1String(source), mac,
                                    sent.before, sent.after, outcome};
    if (!memory->RecordJournal(entry))
        std::fprintf(stderr, "quillonctl: the journal entry for %s (%s) was not written: %s\n",
                     qPrintable(protocol::MacText(mac)), qPrintable(outcome), qPrintable(memory->Error()));
}

namespace {

// Sends the settings and waits for the device's word, or until an interruption comes.
// The device's site: the one named on the command line or in the memory, or its card's.
QString SiteOf(discovery::Discovery& discovery, const wire::MacAddress& mac, const QString& named, store::SiteMemory* memory,
               const std::vector<platform::BroadcastInterface>& cards)
{
    if (memory == nullptr)
        return named;
    const std::optional<Device> device = discovery.Devices().Find(mac);
    const std::optional<commands::ListedDevice> listed =
        device ? commands::ListRowDevice(discovery.Devices(), device->number, cards) : std::nullopt;
    return listed ? memory->SiteOf(*listed, named) : named;
}

// The request that went out is entered in the journal of `memory` with its outcome.
SetResult SetOnDevice(discovery::Discovery& discovery, Failure& failure, const SetOptions& options,
                      DataOutput& output, store::SiteMemory* memory, const std::vector<platform::BroadcastInterface>& cards)
{
    std::variant<SetResult, SentSettings> sending =
        SendSettings(discovery, failure, options, output, [&discovery] { discovery.AskAgain(); });
    if (const SetResult* result = std::get_if<SetResult>(&sending))
        return *result;
    const SentSettings& sent = std::get<SentSettings>(sending);
    const QString site = SiteOf(discovery, options.mac, options.memory.site, memory, cards);
    commands::ConfirmationWatch& watch = *sent.watch;
    if (WaitForConfirmation(discovery, watch, options.timeout)) {
        Journal(memory, "set", site, options.mac, sent, OutcomeText(SetResult::Confirmed, {}));
        return SetResult::Confirmed;
    }
    if (Interruption() != 0)
        std::fprintf(stderr, "quillonctl: the settings were sent to %s; stopped before it confirmed them\n",
                     qPrintable(protocol::MacText(watch.Device())));
    else
        SayUnconfirmed(watch, options.timeout);
    Journal(memory, "set", site, options.mac, sent, OutcomeText(SetResult::Unconfirmed, commands::NotApplied(watch.LastCheck())));
    return SetResult::Unconfirmed;
}



} // namespace

namespace {

// --format json: the device as `list` shows it now, and how the run ended.
QByteArray DeviceJsonLine(discovery::Discovery& discovery, const wire::MacAddress& mac,
                          const std::vector<platform::BroadcastInterface>& cards, const char* outcome)
{
    QJsonObject object{{QStringLiteral("mac"), protocol::MacText(mac)}};
    for (const commands::ListedDevice& device : commands::ListDevices(discovery.Devices(), cards))
        if (device.macAddress == mac)
            object = commands::DeviceJson(device);
    object.insert(QStringLiteral("outcome"), QLatin1String(outcome));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

int RunSet(const SetOptions& options, int dataFd)
{
    const std::vector<platform::BroadcastInterface> cards = platform::UsableInterfaces();
    if (!SearchOnlyThrough(options.interfaces, cards))
        return kExitError;

    Session session;
    Failure& failure = session.failure;
    discovery::Discovery& discovery = session.discovery;
    discovery.Start();
    DataOutput output(dataFd);
    DataOutput nowhere(-1);
    DataOutput& changeLines = options.json ? nowhere : output; // JSON: one object at the end
    const std::unique_ptr<store::SiteMemory> memory = OpenSiteMemory(options.memory);
    const SetResult result = SetOnDevice(discovery, failure, options, changeLines, memory.get(), cards);
    if (result == SetResult::NotFound && SitesFailed(discovery))
        return kExitError;
    // What the devices answered, the one set with what it reported since.
    RememberDevices(memory.get(), commands::ListDevices(discovery.Devices(), cards), options.memory.site,
                    result == SetResult::Unconfirmed ? std::vector{options.mac} : std::vector<wire::MacAddress>());
    const auto say = [&](const char* outcome) {
        return output.Write(options.json ? DeviceJsonLine(discovery, options.mac, cards, outcome)
                                         : QByteArray(outcome) + '\n');
    };
    switch (result) {
    case SetResult::Confirmed:
        // The device has its new settings whether or not they could be printed.
        if (!say("confirmed"))
            std::fprintf(stderr, "quillonctl: the device %s confirmed the settings\n",
                         qPrintable(protocol::MacText(options.mac)));
        return kExitConfirmed;
    case SetResult::Unchanged:
        return say("unchanged") ? kExitConfirmed : kExitError;
    case SetResult::Unconfirmed:
        if (options.json)
            say("not confirmed");
        return kExitUnconfirmed;
    case SetResult::NotFound:
        return kExitNotFound;
    case SetResult::Refused:
    case SetResult::Failed:
    case SetResult::Stopped:
        break;
    }
    return kExitError;
}

ParsedCommand ParseSet(const QStringList& arguments)
{
    CommandLine line({"set", "set MAC [OPTION]...",
                      "Finds the device with the MAC address MAC (00:1a:2b:3c:4d:5e or 00-1A-2B-3C-4D-5E), sends\n"
                      "the settings given as options (the others stay as they are) and waits for the device to\n"
                      "confirm them. It refuses, sending nothing, an IP address no device can use (ending in 0\n"
                      "or 255, or in 0/8, 127/8, 224/4, 240/4), a netmask that is not /1 to /30, a name over 18\n"
                      "bytes, a port outside 0..65535, a device whose MAC address two hosts answer with, without\n"
                      "--yes a gateway outside the device's subnet and without --force an IP address another\n"
                      "device that answered has.\n"
                      "Settings the device already has print \"unchanged\" and send nothing.",
                      "Exit status: 0 when the device confirmed (or nothing needed changing), 2 for bad input or\n"
                      "an error (nothing sent), 3 when sent but not confirmed in time, 4 when the device was not\n"
                      "found. A device that was sent its settings gives 0 or 3 even when the output could not\n"
                      "be written (that is told on standard error).",
                      "set needs the device's MAC address"});
    line.AddTimeout(QStringLiteral("Wait up to SECONDS, 0 to 3600, for the device to confirm (default 5; "
                                   "the device must answer the search within 2)."));
    const QCommandLineOption ip(QStringLiteral("ip"), QStringLiteral("The IP address."), QStringLiteral("A"));
    const QCommandLineOption netmask(QStringLiteral("netmask"), QStringLiteral("The netmask."), QStringLiteral("M"));
    const QCommandLineOption gateway(QStringLiteral("gateway"), QStringLiteral("The gateway (0.0.0.0 for none)."),
                                     QStringLiteral("G"));
    const QCommandLineOption dns1(QStringLiteral("dns1"), QStringLiteral("The first DNS server."), QStringLiteral("D"));
    const QCommandLineOption dns2(QStringLiteral("dns2"), QStringLiteral("The second DNS server."), QStringLiteral("D"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("The device's name, at most 18 bytes of UTF-8."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("The web port, 0 to 65535."),
                                  QStringLiteral("N"));
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("Take the address by DHCP."));
    const QCommandLineOption fixed(QStringLiteral("static"), QStringLiteral("Use a fixed address."));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Send a gateway outside the subnet without refusing."));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Send an IP address another device that answered has, without refusing."));
    line.AddOptions({ip, netmask, gateway, dns1, dns2, name, port, dhcp, fixed, yes, force});
    line.AddOutputFormat();
    line.AddVia();
    line.AddSiteMemory();
    if (const std::optional<int> status = line.Parse(arguments))
        return *status;

    const QCommandLineParser& given = line.Options();
    SetOptions options;
    const std::optional<wire::MacAddress> mac = protocol::ParseMac(line.Argument());
    if (!mac)
        return UsageError(QStringLiteral("'%1' is not a MAC address like 00:1a:2b:3c:4d:5e").arg(line.Argument()));
    options.mac = *mac;
    const AddressOption addresses[] = {{&ip, &options.ipAddress}, {&netmask, &options.netmask},
                                       {&gateway, &options.gateway}, {&dns1, &options.dns1}, {&dns2, &options.dns2}};
    if (const std::optional<int> refused = line.ReadAddresses(addresses))
        return *refused;
    if (given.isSet(name)) {
        const QString text = given.value(name);
        if (!commands::NameFits(text))
            return UsageError(QStringLiteral("--name takes at most %1 bytes of UTF-8; '%2' has %3")
                                  .arg(protocol::kNameSize)
                                  .arg(text)
                                  .arg(text.toUtf8().size()));
        options.name = text;
    }
    if (const std::optional<int> refused = line.ReadPort(port, options.port))
        return *refused;
    if (const std::optional<int> refused = line.ReadMode(dhcp, fixed, options.dhcp))
        return *refused;
    const bool sendsSomething = std::any_of(std::begin(addresses), std::end(addresses),
                                            [](const AddressOption& option) { return option.second->has_value(); }) ||
                                options.name || options.port || options.dhcp;
    if (!sendsSomething)
        return UsageError(QStringLiteral("set needs a setting to send, such as --ip, --name or --dhcp"));
    options.yes = given.isSet(yes);
    options.force = given.isSet(force);
    options.json = line.Json();
    options.timeout = line.Timeout().value_or(options.timeout);
    options.interfaces = line.Interfaces();
    options.memory = line.Memory();
    return [options](int dataFd) { return RunSet(options, dataFd); };
}

} // namespace quillon::ctl
