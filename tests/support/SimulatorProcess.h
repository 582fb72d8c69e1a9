#pragma once

#include "DevsimProcess.h"

#include <string>
#include <vector>

namespace quillon::test {

// quillon-devsim beside the test in its virtual LAN, or on the peer host of LAN `peer`
// (tools/lan/lan-run --peers).
class SimulatorProcess : public devsim::SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& arguments) : SimulatorProcess(-1, arguments) {}
    SimulatorProcess(int peer, const std::vector<std::string>& arguments)
        : SimulatorProcess(peer >= 0 ? std::to_string(peer) : std::string(), arguments) {}
    // On the host tools/lan/in-peer calls `host` ("site-lan": a remote site's LAN).
    SimulatorProcess(const std::string& host, const std::vector<std::string>& arguments);
};

// Writes `text` to a fresh file and returns its path.
std::string WriteTemporaryFile(const std::string& text);

} // namespace quillon::test
