#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace quillon::test {

// quillon-devsim running beside the test, in the same virtual LAN; stopped when it goes.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& arguments);
    // On the peer host of LAN `peer` (tests/lan/lan-run --peers).
    SimulatorProcess(int peer, const std::vector<std::string>& arguments);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // True once the simulator said it listens (waits up to 10 s).
    bool IsReady() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Writes `json` to a fresh file and returns its path.
std::string WriteTemporaryFile(const std::string& json);

} // namespace quillon::test
