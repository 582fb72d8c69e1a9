#include "support/Subprocess.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::test {

ChildOutcome RunInChild(const std::function<int()>& body)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        const int code = body();
        std::fflush(nullptr);
        ::_exit(code);
    }
    ::close(pipeFds[1]);
    ChildOutcome outcome;
    char chunk[512];
    for (ssize_t n; (n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;)
        outcome.output.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        outcome.exitCode = WEXITSTATUS(status);
    return outcome;
}

} // namespace quillon::test
