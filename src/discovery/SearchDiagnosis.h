#pragma once

#include "platform/Interfaces.h"

#include <QString>

#include <map>
#include <string>
#include <vector>

namespace quillon::discovery {

// The reverse-path filter settings by interface name, "all" included, as the kernel holds them
// (0 off, 1 strict, 2 loose). A setting that could not be read is missing and counts as off.
using ReversePathFilters = std::map<std::string, int>;

// A card a search broadcasts through, and whether the kernel lets the devices' answers in on it.
struct SearchCard {
    std::string name;
    std::string addressWithPrefix; // "10.0.0.5/24"
    // Under strict reverse-path filtering the kernel drops every answer whose sender it would
    // not reach through this card, so devices of other subnets stay unheard. The kernel filters
    // by the higher of the card's own setting and "all"; these are the settings
    // ("net.ipv4.conf.eno1.rp_filter"; dots of the name as slashes) that hold 1 and so make the card strict. Empty when
    // answers from other subnets get in.
    std::vector<std::string> strictSettings;
    // The assignment that lets them in: loose filtering on this card alone, which outweighs a
    // strict "all" since the higher value counts; quoted for the shell when the card's name
    // needs it. Empty when the card is not strict.
    std::string loosening; // "net.ipv4.conf.eno1.rp_filter=2", "'net.ipv4.conf.$(id).rp_filter=2'"
};

// What stands between a search and the devices' answers: the cards it goes through, in the
// system's order; none when no card can carry a broadcast.
struct SearchDiagnosis {
    std::vector<SearchCard> cards;
};

SearchDiagnosis DiagnoseSearch(const std::vector<platform::BroadcastInterface>& cards,
                               const ReversePathFilters& filters);

// The diagnosis of the system as it is now: the cards a search would use and their settings.
SearchDiagnosis DiagnoseSearchNow();

// The diagnosis in one message, for a search that no device answered.
QString NoAnswerMessage(const SearchDiagnosis& diagnosis);

} // namespace quillon::discovery
