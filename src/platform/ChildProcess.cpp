#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace quillon::platform {

std::string LastLineOf(int fd)
{
    std::string text;
    std::array<char, 4096> buffer{};
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), static_cast<std::size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::string line = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < ' ')
            c = ' ';
    return line.substr(0, 300);
}

SpawnedChild SpawnChild(const std::vector<std::string>& commandLine)
{
    SpawnedChild spawned;
    int input[2], output[2], errors[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) < 0) {
        spawned.failure = std::strerror(errno);
        return spawned;
    }
    UniqueFd childInput(input[1]);
    spawned.input.Reset(input[0]);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, output) < 0 || ::pipe2(errors, O_CLOEXEC) < 0) {
        spawned.failure = std::strerror(errno);
        return spawned;
    }
    UniqueFd childOutput(output[1]);
    spawned.output.Reset(output[0]);
    UniqueFd childErrors(errors[1]);
    spawned.errors.Reset(errors[0]);
    (void)::fcntl(spawned.errors.Get(), F_SETFL, O_NONBLOCK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childInput.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOutput.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childErrors.Get(), STDERR_FILENO);
    // Nothing of ours (the receivers' sockets least of all) goes with it.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A Ctrl+C in the terminal is ours to handle.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& argument : commandLine)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int result = ::posix_spawnp(&spawned.pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        spawned.pid = -1;
        spawned.failure = commandLine.front() + ": " + std::strerror(result);
    }
    return spawned;
}

int EndChild(pid_t pid)
{
    int status = 0;
    for (int waited = 0; waited < 20; ++waited) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        if (waited == 5)
            ::kill(pid, SIGTERM);
        ::usleep(10'000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace quillon::platform
