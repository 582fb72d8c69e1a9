#pragma once

#include "platform/UniqueFd.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillon::platform {

// A program started with its standard input and output on socket pairs (a write to a child that
// went away fails with EPIPE under MSG_NOSIGNAL, it never raises SIGPIPE) and its standard error
// on a pipe of its own (non-blocking on our side). Nothing else of this process goes with it,
// and it runs in a process group of its own, so that a Ctrl+C in the terminal is ours to handle.
struct SpawnedChild {
    pid_t pid = -1;    // -1 when it could not be started
    UniqueFd input;    // its standard input, ours to write
    UniqueFd output;   // its standard output, ours to read
    UniqueFd errors;   // its standard error
    std::string failure; // why it could not be started
};

// `commandLine`'s first word is looked up on PATH.
SpawnedChild SpawnChild(const std::vector<std::string>& commandLine);

// Ends a child and reaps it: it has 50 ms to go by itself (its input closed, say), then SIGTERM,
// then SIGKILL after 200 ms. Its wait status.
int EndChild(pid_t pid);

// The last line written to `fd` (a child's standard error) so far, without waiting for more;
// control characters as spaces, at most 300 bytes.
std::string LastLineOf(int fd);

} // namespace quillon::platform
