#include "DevsimProcess.h"

#include <csignal>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillon::devsim {

namespace {

bool WaitForReadyLine(int fd)
{
    std::string seen;
    pollfd watched{fd, POLLIN, 0};
    while (seen.find("ready\n") == std::string::npos) {
        if (::poll(&watched, 1, 10000) <= 0)
            return false;
        char chunk[64];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        seen.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& command)
{
    std::vector<std::string> words = command;
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int output[2];
    if (argv.size() < 2 || ::pipe(output) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    ready_ = pid_ > 0 && WaitForReadyLine(output[0]);
    ::close(output[0]);
}

SimulatorProcess::~SimulatorProcess()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

} // namespace quillon::devsim
