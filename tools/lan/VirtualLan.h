#pragma once

#include <optional>
#include <string>

namespace quillon::test {

// Tools and tests that send broadcasts call this before they open a socket. It describes the
// first thing that shows the process is on a real network: an interface other than loopback
// and the test LAN's lanN veth ends (plus the names listed, space-separated, in
// QUILLON_LAN_EXTRA_INTERFACES), or an address outside 127.0.0.0/8, 203.0.113.0/24, ::1 and
// fe80::/10. Nothing when the process sees only a virtual test LAN.
std::optional<std::string> FindRealNetworkExposure();

} // namespace quillon::test
