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
    confirmation_.emplace(discovery_.Devices(), request, [this] { discovery_.AskAgain(); });
    confirmationDeadline_.setRemainingTime(kConfirmationTimeout);
    confirmationPoll_.start();
    Say(tr("Sent %1 to %2 \u2026 waiting for the device")
            .arg(SentGroups(request), protocol::MacText(request.macAddress).toUpper()));
}

void StatusLine::SubmitRefused(commands::SubmitOutcome outcome, const commands::NewSettings& settings)
{
    using commands::SubmitOutcome;
    switch (outcome) {
    case SubmitOutcome::UnusableAddress:
        Say(tr("Nothing sent: %1").arg(commands::AddressRefusalMessage(settings.ipAddress)));
        break;
    case SubmitOutcome::UnusableNetmask:
        Say(tr("Nothing sent: %1").arg(commands::NetmaskRefusalMessage(settings.netmask)));
        break;
    case SubmitOutcome::NothingChanged:
        Say(tr("Nothing sent: the device already has these settings"));
        break;
    case SubmitOutcome::NoDevice:
        Say(tr("Nothing sent: choose a device in the list first"));
        break;
    case SubmitOutcome::Sent:
    case SubmitOutcome::Declined:
        break;
    }
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
    confirmationPoll_.stop();
    searchPatience_.stop();
    confirmation_.reset();
}

void StatusLine::CheckConfirmation()
{
    if (confirmation_->Check() == commands::ConfirmationState::Confirmed) {
        Stop();
        Say(tr("The device confirmed the change"));
    } else if (confirmationDeadline_.hasExpired()) {
        const commands::ReportCheck check = confirmation_->LastCheck();
        const bool heard = confirmation_->Heard();
        Stop();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kConfirmationTimeout).count();
        if (!check.otherwise.empty())
            Say(tr("The device did not apply the change: it reports %1").arg(commands::DescribeOtherwise(check.otherwise)));
        else if (heard)
            Say(tr("The device did not report %1 within %2 s: the change is not confirmed")
                    .arg(check.untold.join(QLatin1String(", ")))
                    .arg(seconds));
        else
            Say(tr("No answer from the device within %1 s: the change may not have been applied").arg(seconds));
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
    setText(message);
    setToolTip(fontMetrics().horizontalAdvance(message) > contentsRect().width() ? message : QString());
}

} // namespace quillon::app
