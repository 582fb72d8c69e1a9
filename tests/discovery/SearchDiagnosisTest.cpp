// Why a search no device answered found nothing: the cards it went through and which of them
// drop answers from other subnets, from the cards and their rp_filter settings.

#include "discovery/SearchDiagnosis.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

using namespace quillon;
using discovery::DiagnoseSearch;
using discovery::ReversePathFilters;

namespace {

platform::BroadcastInterface Card(unsigned index, const char* name, const char* address, const char* netmask)
{
    platform::BroadcastInterface card{index, name, {}, {}};
    inet_pton(AF_INET, address, &card.address);
    inet_pton(AF_INET, netmask, &card.netmask);
    return card;
}

const platform::BroadcastInterface kWired = Card(2, "eno1", "10.0.0.5", "255.255.255.0");
const platform::BroadcastInterface kWireless = Card(3, "wlan0", "192.168.1.7", "255.255.254.0");

} // namespace

// A strict "all" with the card's own setting off, strict or loose is in the message's table below.
TEST(SearchDiagnosis, TheHigherOfTheCardsAndAllsSettingMakesItStrictAndTheCardsOwnLoosensIt)
{
    const std::string own = "net.ipv4.conf.eno1.rp_filter";
    struct Case {
        ReversePathFilters filters;
        std::vector<std::string> strictSettings;
    };
    const Case cases[] = {
        {{}, {}}, // unreadable: counts as off
        {{{"all", 0}, {"eno1", 0}}, {}},
        {{{"all", 0}, {"eno1", 1}}, {own}},
        {{{"all", 2}, {"eno1", 1}}, {}},
        {{{"all", 0}, {"wlan0", 1}}, {}}, // another card's setting
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto diagnosis = DiagnoseSearch({kWired}, cases[i].filters);
        ASSERT_EQ(diagnosis.cards.size(), 1u);
        EXPECT_EQ(diagnosis.cards[0].strictSettings, cases[i].strictSettings) << "case " << i;
        EXPECT_EQ(diagnosis.cards[0].loosening, cases[i].strictSettings.empty() ? "" : own + "=2") << "case " << i;
    }
}

TEST(SearchDiagnosis, TheMessageListsTheCardsSearchedAndWhatLetsAnswersInOnTheStrictOnes)
{
    const QString searched = QStringLiteral("No device answered. Searched through eno1 (10.0.0.5/24), wlan0 (192.168.1.7/23).");
    const std::tuple<std::vector<platform::BroadcastInterface>, ReversePathFilters, QString> cases[] = {
        {{}, {{"all", 1}}, QStringLiteral("No device answered. No network card can carry a search: none is up with an IPv4 address.")},
        {{kWired, kWireless}, {{"all", 0}, {"eno1", 2}}, searched},
        {{kWired, kWireless}, {{"all", 1}, {"wlan0", 2}},
         searched + QStringLiteral(" Answers from other subnets are dropped on eno1 (strict reverse-path filtering: "
                                   "net.ipv4.conf.all.rp_filter=1); to let them in: sudo sysctl -w net.ipv4.conf.eno1.rp_filter=2")},
        {{kWired, kWireless}, {{"all", 1}, {"eno1", 1}, {"wlan0", 1}},
         searched + QStringLiteral(" Answers from other subnets are dropped on eno1, wlan0 (strict reverse-path filtering: "
                                   "net.ipv4.conf.eno1.rp_filter=1, net.ipv4.conf.all.rp_filter=1, "
                                   "net.ipv4.conf.wlan0.rp_filter=1); to let them in: sudo sysctl -w "
                                   "net.ipv4.conf.eno1.rp_filter=2 net.ipv4.conf.wlan0.rp_filter=2")},
    };
    for (const auto& [cards, filters, message] : cases)
        EXPECT_EQ(discovery::NoAnswerMessage(DiagnoseSearch(cards, filters)), message);
}

// A card's name is anybody's to choose. The advice names the setting as sysctl reads it (the
// dots of a VLAN card's name as slashes), is one word for the shell however the name is made,
// and shows no character that could turn the rest of the line around.
TEST(SearchDiagnosis, TheAdviceForAnyCardNameIsOneSafeShellWordAndDisplayable)
{
    const QString override = QString(QChar(0x202E));
    const std::tuple<const char*, std::string, QString> cases[] = { // name, loosening, as the message shows it
        {"eno1", "net.ipv4.conf.eno1.rp_filter=2", "net.ipv4.conf.eno1.rp_filter=2"},
        {"eth0.100", "net.ipv4.conf.eth0/100.rp_filter=2", "net.ipv4.conf.eth0/100.rp_filter=2"},
        {"$(id)", "'net.ipv4.conf.$(id).rp_filter=2'", "'net.ipv4.conf.$(id).rp_filter=2'"},
        {"it's", R"('net.ipv4.conf.it'\''s.rp_filter=2')", R"('net.ipv4.conf.it'\''s.rp_filter=2')"},
        {"a\u202Eb", "'net.ipv4.conf.a\u202Eb.rp_filter=2'", QString::fromUtf8("'net.ipv4.conf.a\uFFFDb.rp_filter=2'")},
    };
    for (const auto& [name, loosening, shown] : cases) {
        SCOPED_TRACE(name);
        const auto diagnosis = DiagnoseSearch({Card(2, name, "10.0.0.5", "255.255.255.0")}, {{name, 1}});
        ASSERT_EQ(diagnosis.cards.size(), 1u);
        EXPECT_EQ(diagnosis.cards[0].loosening, loosening);
        const QString message = discovery::NoAnswerMessage(diagnosis);
        EXPECT_TRUE(message.endsWith(QStringLiteral("sudo sysctl -w ") + shown)) << message.toStdString();
        EXPECT_FALSE(message.contains(override)) << message.toStdString();
    }
}
