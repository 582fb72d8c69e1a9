#pragma once

#include <functional>
#include <string>

namespace quillon::test {

struct ChildOutcome {
    int exitCode = -1;      // -1 when the child did not exit normally
    std::string output;     // what the child wrote to standard output
};

// Runs `body` in a forked child with standard output captured; the child exits with the value
// `body` returns. Call only while the test process has a single thread.
ChildOutcome RunInChild(const std::function<int()>& body);

} // namespace quillon::test
