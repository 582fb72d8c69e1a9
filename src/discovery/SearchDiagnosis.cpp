#include "discovery/SearchDiagnosis.h"

#include "protocol/DeviceTexts.h"

#include <QStringList>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace quillon::discovery {

namespace {

constexpr int kStrict = 1;
constexpr int kLoose = 2;
const std::string kEveryInterface = "all";

// The key of an interface's setting: sysctl separates a key's parts by dots, so the dots of a
// name like "eth0.100" are written as slashes.
std::string FilterSetting(const std::string& interfaceName)
{
    std::string name = interfaceName;
    std::replace(name.begin(), name.end(), '.', '/');
    return "net.ipv4.conf." + name + ".rp_filter";
}

// `word` as one word of a command the user may paste into a shell: as it is when it holds
// nothing the shell reads specially, in single quotes otherwise.
std::string ShellWord(const std::string& word)
{
    const auto plain = [](unsigned char c) {
        return std::isalnum(c) != 0 || std::string_view("_./=:,@%+-").find(static_cast<char>(c)) != std::string_view::npos;
    };
    if (!word.empty() && std::all_of(word.begin(), word.end(), plain))
        return word;
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int FilterValue(const ReversePathFilters& filters, const std::string& interfaceName)
{
    const auto found = filters.find(interfaceName);
    return found == filters.end() ? 0 : found->second;
}

SearchCard Diagnose(const platform::BroadcastInterface& card, const ReversePathFilters& filters)
{
    SearchCard diagnosed{card.name, platform::AddressWithPrefix(card), {}, {}};
    const int own = FilterValue(filters, card.name);
    const int every = FilterValue(filters, kEveryInterface);
    if (std::max(own, every) != kStrict)
        return diagnosed;
    for (const auto& [value, interfaceName] : {std::pair{own, card.name}, std::pair{every, kEveryInterface}})
        if (value == kStrict)
            diagnosed.strictSettings.push_back(FilterSetting(interfaceName));
    diagnosed.loosening = ShellWord(FilterSetting(card.name) + '=' + std::to_string(kLoose));
    return diagnosed;
}

} // namespace

SearchDiagnosis DiagnoseSearch(const std::vector<platform::BroadcastInterface>& cards,
                               const ReversePathFilters& filters)
{
    SearchDiagnosis diagnosis;
    for (const platform::BroadcastInterface& card : cards)
        diagnosis.cards.push_back(Diagnose(card, filters));
    return diagnosis;
}

SearchDiagnosis DiagnoseSearchNow()
{
    const std::vector<platform::BroadcastInterface> cards = platform::BroadcastInterfaces();
    ReversePathFilters filters;
    if (const auto every = platform::ReversePathFilter(kEveryInterface))
        filters[kEveryInterface] = *every;
    for (const platform::BroadcastInterface& card : cards)
        if (const auto own = platform::ReversePathFilter(card.name))
            filters[card.name] = *own;
    return DiagnoseSearch(cards, filters);
}

QString NoAnswerMessage(const SearchDiagnosis& diagnosis)
{
    if (diagnosis.cards.empty())
        return QStringLiteral("No device answered. No network card can carry a search: none is up with an IPv4 address.");
    QStringList searched;
    QStringList strictCards;
    QStringList strictSettings;
    QStringList loosenings;
    for (const SearchCard& card : diagnosis.cards) {
        // A card's name is anybody's to choose: a direction override in it would mirror the rest
        // of the line.
        const QString name = protocol::DisplayableText(QString::fromStdString(card.name));
        searched << QStringLiteral("%1 (%2)").arg(name, QString::fromStdString(card.addressWithPrefix));
        if (card.loosening.empty())
            continue;
        strictCards << name;
        for (const std::string& setting : card.strictSettings)
            strictSettings << protocol::DisplayableText(QString::fromStdString(setting)) + QLatin1Char('=') +
                                  QString::number(kStrict);
        loosenings << protocol::DisplayableText(QString::fromStdString(card.loosening));
    }
    QString message = QStringLiteral("No device answered. Searched through %1.").arg(searched.join(QLatin1String(", ")));
    if (strictCards.isEmpty())
        return message;
    strictSettings.removeDuplicates();
    return message + QStringLiteral(" Answers from other subnets are dropped on %1 (strict reverse-path filtering: %2);"
                                    " to let them in: sudo sysctl -w %3")
                         .arg(strictCards.join(QLatin1String(", ")), strictSettings.join(QLatin1String(", ")),
                              loosenings.join(QLatin1Char(' ')));
}

} // namespace quillon::discovery
