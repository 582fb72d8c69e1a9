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
};

// The interfaces as they are now, each once, in the system's order.
std::vector<BroadcastInterface> BroadcastInterfaces();

} // namespace quillon::platform
