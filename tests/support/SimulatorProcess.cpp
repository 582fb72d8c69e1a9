#include "support/SimulatorProcess.h"

#include <cstdlib>
#include <unistd.h>

namespace quillon::test {

namespace {

std::vector<std::string> Command(const std::string& host, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words;
    if (!host.empty())
        words = {QUILLON_IN_PEER, host};
    words.push_back(QUILLON_DEVSIM);
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

} // namespace

SimulatorProcess::SimulatorProcess(const std::string& host, const std::vector<std::string>& arguments)
    : devsim::SimulatorProcess(Command(host, arguments))
{
}

std::string WriteTemporaryFile(const std::string& text)
{
    char pattern[] = "/tmp/quillon-test-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0)
        return {};
    const ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
    return written == static_cast<ssize_t>(text.size()) ? pattern : std::string();
}

} // namespace quillon::test
