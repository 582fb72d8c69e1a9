#pragma once

#include "commands/Confirmation.h"
#include "commands/Submit.h"
#include "discovery/Discovery.h"
#include "protocol/ShortForm.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <optional>

namespace quillon::app {

// The line below the settings that tells how the last Submit or search went, one message at a
// time: whether the device confirmed the change, or why no device answered. It never asks
// anything; a screen reader hears each new message.
class StatusLine : public QLabel {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kConfirmationTimeout{5000};
    static constexpr std::chrono::milliseconds kSearchPatience{3000};

    StatusLine(discovery::Discovery& discovery, QWidget* parent);

    // Submit is about to send `request`: says so and waits for the device's word.
    void AwaitConfirmation(const protocol::ShortFormSetRequest& request);
    // Says why Submit sent nothing to `device`, if it did not and the user has not just said so
    // himself.
    void SubmitRefused(commands::SubmitOutcome outcome, const std::optional<wire::MacAddress>& device,
                       const commands::NewSettings& settings);
    // The user chose a device: what was said, unless of this one, goes.
    void DeviceChosen(const wire::MacAddress& mac);
    // Says `message` (a web page that could not be opened, say); an empty one changes nothing.
    void Tell(const QString& message);
    // A search went out, the start-up one or Search Device's: the table starts afresh.
    void SearchStarted();
    // Rows came into the list: a device did answer after all.
    void DevicesListed();
    // The window closes: nothing is awaited any more (a change still awaited ends unconfirmed).
    void Stop();
    // A line of counts under the message ("3 of 120 devices shown"); empty for none.
    void ShowCounts(const QString& counts);

signals:
    // A change sent ended: "applied", "not confirmed" or "not applied: port reports 80". A change
    // still awaited when another is sent, or when the window closes, ends "not confirmed".
    void ChangeEnded(const wire::MacAddress& mac, const QString& outcome);

private:
    void StopWatching();
    void Say(const QString& message);
    void ShowText();
    void SayAbout(const wire::MacAddress& mac, const QString& message);
    // "Lobby (00:1A:2B:3C:4D:01)", with the name the device itself last gave.
    QString DeviceLabel(const wire::MacAddress& mac) const;
    void CheckConfirmation();
    void CheckSearch();

    discovery::Discovery& discovery_;
    std::optional<commands::ConfirmationWatch> confirmation_;
    QDeadlineTimer confirmationDeadline_;
    QTimer confirmationPoll_;
    QTimer searchPatience_;
    bool showsNoAnswer_ = false;
    std::optional<wire::MacAddress> aboutDevice_; // the device the message is about
    QString message_;
    QString counts_;
};

} // namespace quillon::app
