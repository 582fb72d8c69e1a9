#pragma once

#include <netinet/in.h>

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

// The name of the interface with `index`, as the system has it now; empty when there is none.
std::string InterfaceName(unsigned index);

} // namespace quillon::platform
