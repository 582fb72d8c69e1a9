#include "app/StatusLine.h"

#include "commands/Plan.h"
#include "discovery/SearchDiagnosis.h"
#include "protocol/DeviceTexts.h"

#include <QStringList>


namespace quillon::app {

namespace {

constexpr std::chrono::milliseconds kConfirmationPollInterval{50};

// "name, port": the groups of settings the request carries, as the user knows them.
QString SentGroups(const protocol::ShortFormSetRequest& request)
{
    QStringList groups;
    if (request.dhcp)
        groups << (*request.dhcp ? QStringLiteral("DHCP on") : QStringLiteral("DHCP off"));
    if (request.addressChanged)
        groups << QStringLiteral("address");
    if (request.gateway)
        groups << QStringLiteral("gateway");
    if (request.name)
        groups << QStringLiteral("name");
    if (request.port)
        groups << QStringLiteral("port");
    if (request.dns)
        groups << QStringLiteral("DNS servers");
    return groups.join(QLatin1String(", "));
}

} // namespace

StatusLine::StatusLine(discovery::Discovery& discovery, QWidget* parent) : QLabel(parent), discovery_(discovery)
{
    setObjectName(QStringLiteral("statusLine"));
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAccessibleDescription(tr("Status"));
    confirmationPoll_.setInterval(kConfirmationPollInterval);
    connect(&confirmationPoll_, &QTimer::timeout, this, &StatusLine::CheckConfirmation);
    searchPatience_.setSingleShot(true);
    searchPatience_.setInterval(kSearchPatience);
    connect(&searchPatience_, &QTimer::timeout, this, &StatusLine::CheckSearch);
}

void StatusLine::AwaitConfirmation(const protocol::ShortFormSetRequest& request)
{
    if (confirmation_)
        emit ChangeEnded(confirmation_->Device(), QStringLiteral("not confirmed"));
    confirmation_.emplace(discovery_.Devices(), request, [this] { discovery_.AskAgain(); });
    confirmationDeadline_.setRemainingTime(kConfirmationTimeout);
    confirmationPoll_.start();
    SayAbout(request.macAddress, tr("Sent %1 to %2 \u2026 waiting for the device")
                                     .arg(SentGroups(request), protocol::MacText(request.macAddress).toUpper()));
}

void StatusLine::SubmitRefused(commands::SubmitOutcome outcome, const std::optional<wire::MacAddress>& device,
                               const commands::NewSettings& settings)
{
    using commands::SubmitOutcome;
    QString why;
    switch (outcome) {
    case SubmitOutcome::UnusableAddress:
        why = commands::AddressRefusalMessage(settings.ipAddress);
        break;
    case SubmitOutcome::UnusableNetmask:
        why = commands::NetmaskRefusalMessage(settings.netmask);
        break;
    case SubmitOutcome::NameTooLong:
        why = commands::NameRefusalMessage(settings.name.value_or(QString()));
        break;
    case SubmitOutcome::MacShared:
        if (const std::optional<devices::Device> shared = discovery_.Devices().Find(device.value_or(wire::MacAddress{})))
            why = commands::SharedMacMessage(shared->macSharedBy.value_or(std::array<wire::Ipv4, 2>{}));
        break;
    case SubmitOutcome::NothingChanged:
        why = tr("it already has these settings");
        break;
    case SubmitOutcome::Missing:
        why = tr("it is missing (only the site's memory lists it): it has not answered since the list began");
        break;
    case SubmitOutcome::SiteUnreachable:
        why = tr("the relay of its site is not running (Search starts it again)");
        break;
    case SubmitOutcome::NoDevice:
    case SubmitOutcome::Sent:
    case SubmitOutcome::Declined:     // the user said no: nothing to explain
    case SubmitOutcome::AddressHeld:
        break;
    }
    if (!device || outcome == SubmitOutcome::NoDevice)
        Say(tr("Nothing sent: choose a device in the list first"));
    else if (!why.isEmpty())
        SayAbout(*device, tr("Nothing sent to %1: %2").arg(DeviceLabel(*device), why));
}

void StatusLine::DeviceChosen(const wire::MacAddress& mac)
{
    if (aboutDevice_ != mac)
        Say({});
}

void StatusLine::Tell(const QString& message)
{
    if (!message.isEmpty())
        Say(message);
}

QString StatusLine::DeviceLabel(const wire::MacAddress& mac) const
{
    const std::optional<devices::Device> device = discovery_.Devices().Find(mac);
    return device ? commands::DeviceLabel(*device) : protocol::MacText(mac).toUpper();
}

void StatusLine::SayAbout(const wire::MacAddress& mac, const QString& message)
{
    Say(message);
    aboutDevice_ = mac;
}

void StatusLine::SearchStarted()
{
    if (confirmation_)
        confirmation_->TableWasEmptied();
    else
        Say({});
    searchPatience_.start();
}

void StatusLine::DevicesListed()
{
    if (showsNoAnswer_)
        Say({});
}

void StatusLine::Stop()
{
    if (confirmation_)
        emit ChangeEnded(confirmation_->Device(), QStringLiteral("not confirmed"));
    StopWatching();
    searchPatience_.stop();
}

void StatusLine::StopWatching()
{
    confirmationPoll_.stop();
    confirmation_.reset();
}

void StatusLine::CheckConfirmation()
{
    const wire::MacAddress mac = confirmation_->Device();
    if (confirmation_->Check() == commands::ConfirmationState::Confirmed) {
        StopWatching();
        emit ChangeEnded(mac, QStringLiteral("applied"));
        SayAbout(mac, tr("%1 confirmed the change").arg(DeviceLabel(mac)));
    } else if (confirmationDeadline_.hasExpired()) {
        const commands::ReportCheck check = confirmation_->LastCheck();
        const bool heard = confirmation_->Heard();
        StopWatching();
        emit ChangeEnded(mac, check.otherwise.empty() ? QStringLiteral("not confirmed")
                                                      : QStringLiteral("not applied: ") + commands::NotApplied(check));
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kConfirmationTimeout).count();
        const QString device = DeviceLabel(mac);
        if (!check.otherwise.empty())
            SayAbout(mac, tr("%1 did not apply the change: it reports %2")
                              .arg(device, commands::DescribeOtherwise(check.otherwise)));
        else if (heard)
            SayAbout(mac, tr("%1 did not report %2 within %3 s: the change is not confirmed")
                              .arg(device, check.untold.join(QLatin1String(", ")))
                              .arg(seconds));
        else
            SayAbout(mac, tr("No answer from %1 within %2 s: the change may not have been applied").arg(device).arg(seconds));
    }
}

void StatusLine::CheckSearch()
{
    if (!discovery_.Devices().IsEmpty())
        return;
    Say(discovery::NoAnswerMessage(discovery::DiagnoseSearchNow()));
    showsNoAnswer_ = true;
}

// A message wider than the line wraps within it and is also given whole as the tooltip, should
// the wrapped lines still not all fit. The line has no accessible name of its own: its text is
// its name, and QLabel announces every new text to screen readers as a NameChanged event.
void StatusLine::Say(const QString& message)
{
    showsNoAnswer_ = false;
    aboutDevice_.reset();
    message_ = message;
    ShowText();
}

void StatusLine::ShowCounts(const QString& counts)
{
    if (counts == counts_)
        return;
    counts_ = counts;
    ShowText();
}

void StatusLine::ShowText()
{
    const QString text = counts_.isEmpty() ? message_ : message_.isEmpty() ? counts_ : message_ + u'\n' + counts_;
    setText(text);
    setToolTip(fontMetrics().horizontalAdvance(message_) > contentsRect().width() ? text : QString());
}

} // namespace quillon::app
