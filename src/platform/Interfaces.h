#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <vector>

namespace quillon::platform {

// A network interface a broadcast can leave through: up, not loopback, with an IPv4 address.
struct BroadcastInterface {
    unsigned index = 0;
    std::string name;
    in_addr address{};
    in_addr netmask{};
};

// The interfaces as they are now, each once, in the system's order: every one that can carry a
// broadcast, or only those SetBroadcastInterfaceNames named.
std::vector<BroadcastInterface> BroadcastInterfaces();

// Every interface that can carry a broadcast, whatever was named.
std::vector<BroadcastInterface> UsableInterfaces();

// Limits the broadcasts of this process to the interfaces with these names; an empty list
// lifts the limit. For a command-line run that was told which cards to search.
void SetBroadcastInterfaceNames(std::vector<std::string> names);
// True while a limit is set: then no interface means no broadcast, not the routing table's.
bool BroadcastInterfacesLimited();

// "10.0.0.5/24": the interface's address and the length of its netmask.
std::string AddressWithPrefix(const BroadcastInterface& card);

// The interface's reverse-path filter setting (net.ipv4.conf.NAME.rp_filter; NAME "all" for the
// one that applies to every interface): 0 off, 1 strict, 2 loose. Empty when it cannot be read.
std::optional<int> ReversePathFilter(const std::string& name);

// The name of the interface with `index`, as the system has it now (a remote card's name for a
// remote card's index); empty when there is none.
std::string InterfaceName(unsigned index);

// Cards of other hosts whose datagrams a relay carried here, named "HOST:CARD". Each name gets
// an index of its own for the life of the process, above any index of this host's interfaces.
unsigned RemoteCardIndex(const std::string& name);
bool IsRemoteCard(unsigned index);
// The host of a remote card ("HOST" of "HOST:CARD"); empty for a card of this host.
std::string RemoteCardHost(unsigned index);

} // namespace quillon::platform
