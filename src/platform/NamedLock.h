#pragma once

#include "platform/UniqueFd.h"

#include <filesystem>
#include <mutex>
#include <string>

namespace quillon::platform {

// A lock shared by every process of the same user that opens it under the same name, and by
// the threads of each process. Across processes it is an flock() on a file in a private
// directory, so the kernel releases it when the holder dies: a copy of the program that
// crashes while holding it never blocks the others. Within the process a mutex keeps threads
// apart, because flock() does not exclude two threads sharing one descriptor.
//
// Meets the Lockable requirements, so std::scoped_lock and std::unique_lock work with it.
class NamedLock {
public:
    // The file lives in $XDG_RUNTIME_DIR/quillon, or in /tmp/quillon-<uid> without it.
    explicit NamedLock(std::string name);
    NamedLock(std::string name, std::filesystem::path directory);

    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    void lock();
    bool try_lock();
    void unlock();

    // False when the lock file could not be opened safely; the lock then excludes only the
    // threads of this process.
    bool IsSharedAcrossProcesses();

    const std::filesystem::path& Directory() const { return directory_; }

private:
    void OpenOnce();

    std::string name_;
    std::filesystem::path directory_;
    std::mutex threads_;
    std::once_flag opened_;
    UniqueFd file_;
};

// Where named locks live by default: $XDG_RUNTIME_DIR/quillon, else /tmp/quillon-<uid>.
std::filesystem::path DefaultLockDirectory();

} // namespace quillon::platform
