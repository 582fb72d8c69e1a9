#include "i18n/InterfaceTexts.h"

namespace quillon::i18n {

namespace {

constexpr std::array<const char*, kTextCount> kEnglishDefaults = {
    "Device Lists",
    "Server Name",
    "IP Address",
    "Static",
    "DHCP",
    "Name",
    "IP",
    "Netmask",
    "Gateway",
    "DNS 1",
    "DNS 2",
    "Port1",
    "MAC",
    "Search Device",
    "Submit",
    "Exit",
    "To Change Device Name, IP address, and Gateway:",
    "1. Select the device on the left side.",
    "2. Change network parameter on the right side.",
    "3. Press Submit button.",
    "4. Press Search Device to re-search again.",
    "5. Double click the device to open it.",
    "No Match, IP and GateWay. Are you continued?",
};

} // namespace

InterfaceTexts::InterfaceTexts()
{
    for (std::size_t i = 0; i < kTextCount; ++i)
        texts_[i] = QString::fromLatin1(kEnglishDefaults[i]);
}

QString InterfaceTexts::EnglishDefault(TextId id)
{
    return QString::fromLatin1(kEnglishDefaults[static_cast<std::size_t>(id)]);
}

QString InterfaceTexts::Key(TextId id)
{
    return EnglishDefault(id).replace(QChar(u' '), QChar(u'_'));
}

} // namespace quillon::i18n
