#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace quillon::devsim {

// A running quillon-devsim, started with `command` (its path and options, possibly behind a
// command that runs it elsewhere) and stopped when the object goes. For tests and benchmarks,
// which run it inside their virtual LAN.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const std::vector<std::string>& command);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // True once the simulator said it listens (it is given up to 10 s).
    bool IsReady() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// This process's resident memory in kB.
long ResidentKilobytes();

} // namespace quillon::devsim
