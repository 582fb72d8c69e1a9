#include "commands/Confirmation.h"

#include "protocol/DeviceTexts.h"

namespace quillon::commands {

namespace {

QString OnOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// Compares one field of the report with what was asked: shown, shown otherwise, or untold.
template <typename Value, typename Text>
void Compare(ReportCheck& check, const char* field, const std::optional<Value>& reported, const Value& asked,
             Text text)
{
    if (!reported)
        check.untold << QLatin1String(field);
    else if (!(*reported == asked))
        check.otherwise.push_back({QLatin1String(field), text(*reported)});
}

} // namespace

ReportCheck CheckReport(const protocol::ShortFormSetRequest& request, const devices::DeviceReport& report)
{
    using protocol::DottedDecimal;
    ReportCheck check;
    if (request.dhcp)
        Compare(check, "dhcp", report.dhcp, *request.dhcp, OnOff);
    if (request.name && !protocol::SameName(report.name, *request.name))
        check.otherwise.push_back({QStringLiteral("name"), protocol::NameText(report.name)});
    if (request.port) {
        const std::optional<std::int32_t> port =
            report.ports ? std::optional(report.ports->port1) : std::nullopt;
        Compare(check, "port", port, std::int32_t{*request.port}, [](std::int32_t p) { return QString::number(p); });
    }
    if (request.dhcp.value_or(false))
        return check;
    if (request.addressChanged) {
        Compare(check, "ip", std::optional(report.ipAddress), request.ipAddress, DottedDecimal);
        Compare(check, "netmask", std::optional(report.netmask), request.netmask, DottedDecimal);
    }
    if (request.gateway)
        Compare(check, "gateway", std::optional(report.gateway), *request.gateway, DottedDecimal);
    if (request.dns) {
        const auto dns1 = report.dns ? std::optional(report.dns->dns1) : std::nullopt;
        const auto dns2 = report.dns ? std::optional(report.dns->dns2) : std::nullopt;
        Compare(check, "dns1", dns1, request.dns->dns1, DottedDecimal);
        Compare(check, "dns2", dns2, request.dns->dns2, DottedDecimal);
    }
    return check;
}

QString DescribeOtherwise(const std::vector<ReportedOtherwise>& otherwise)
{
    QStringList parts;
    for (const ReportedOtherwise& field : otherwise)
        parts << field.field + u' ' + protocol::DisplayableText(field.reported);
    return parts.join(QLatin1String(", "));
}

QString NotApplied(const ReportCheck& check)
{
    QStringList fields;
    for (const ReportedOtherwise& field : check.otherwise)
        fields << QStringLiteral("%1 reports %2").arg(field.field, protocol::DisplayableText(field.reported));
    return fields.join(QLatin1String("; "));
}

ConfirmationWatch::ConfirmationWatch(const devices::DeviceStore& devices, const protocol::ShortFormSetRequest& request,
                                     std::function<void()> askAgain)
    : devices_(devices), request_(request), askAgain_(std::move(askAgain))
{
    if (const std::optional<devices::Device> device = devices_.Find(request_.macAddress)) {
        reportsSeen_ = device->reports;
        card_ = device->card;
        source_ = device->lastReport.source;
    }
}

bool ConfirmationWatch::Counts(const devices::DeviceReport& report) const
{
    if (card_ != 0 && report.card != card_)
        return false;
    const bool keepsAddress = !request_.addressChanged && !request_.dhcp.value_or(false);
    return !keepsAddress || source_ == wire::Ipv4{} || report.source == source_;
}

ConfirmationState ConfirmationWatch::Check()
{
    const std::optional<devices::Device> device = devices_.Find(request_.macAddress);
    if (!device || device->reports <= reportsSeen_)
        return ConfirmationState::Waiting;
    reportsSeen_ = device->reports;
    if (!Counts(device->lastReport))
        return ConfirmationState::Waiting;
    heard_ = true;
    lastCheck_ = CheckReport(request_, device->lastReport);
    if (lastCheck_.ShowsEverything())
        return ConfirmationState::Confirmed;
    if (!askedAgain_ && askAgain_) {
        askedAgain_ = true;
        askAgain_();
    }
    return ConfirmationState::Waiting;
}

} // namespace quillon::commands
