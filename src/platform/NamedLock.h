#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

namespace quillon::platform {

// A lock shared by every process of the same user that opens it under the same name, and by
// the threads of each process. Across processes it is an flock() on a file in a private
// directory, so the kernel releases it when the holder dies: a copy of the program that
// crashes while holding it never blocks the others. Within the process a mutex keeps threads
// apart, because flock() does not exclude two threads sharing one descriptor.
//
// Every copy of the program has its own device table, so no copy may depend on another's
// progress: a copy stopped in a terminal while it holds the file must not freeze the others.
// The threads of this process are always kept apart, but another process is waited for at most
// a while; then the lock is taken without the file, which is said once on standard error, and
// later takings do not wait for the file again until they get it.
//
// Meets the Lockable requirements, so std::scoped_lock and std::unique_lock work with it.
class NamedLock {
public:
    // How long a taking waits for another process before it goes on without the file.
    static constexpr std::chrono::milliseconds kOtherProcessPatience{1000};
    // The file lives in $XDG_RUNTIME_DIR/quillon, or in /tmp/quillon-<uid> without it.
    explicit NamedLock(std::string name);
    NamedLock(std::string name, std::filesystem::path directory);

    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Waits for the threads of this process without limit and for another process at most
    // kOtherProcessPatience.
    void lock();
    // Takes the lock if that needs no wait; without the file only while another process has
    // already been given up on.
    bool try_lock();
    void unlock();

    // Takes the lock as lock() does, but waits for another process at most `patience`, and runs
    // `keepWaiting` every few milliseconds while it waits, without the lock: when that returns
    // false, gives up and returns false without the lock.
    bool Lock(std::chrono::milliseconds patience, const std::function<bool()>& keepWaiting);

    // False when the lock file could not be opened safely; the lock then excludes only the
    // threads of this process.
    bool IsSharedAcrossProcesses();

    const std::filesystem::path& Directory() const { return directory_; }

private:
    void OpenOnce();
    bool TakeFile(bool patienceSpent);

    std::string name_;
    std::filesystem::path directory_;
    // The threads of this process: a flag under a mutex with a condition to wait on, rather
    // than a timed mutex, whose timed wait ThreadSanitizer cannot follow.
    bool TakeThreads(std::chrono::milliseconds wait);
    bool TryTakeThreads();
    void ReleaseThreads();
    std::mutex threadsMutex_;
    std::condition_variable threadsReleased_;
    bool threadsHeld_ = false;
    std::once_flag opened_;
    UniqueFd file_;
    // Both with the threads taken: whether the holder holds the file too, and whether another process
    // has been given up on (until the file is had again).
    bool holdsFile_ = false;
    bool lockedOut_ = false;
};

// Where named locks live by default: $XDG_RUNTIME_DIR/quillon, else /tmp/quillon-<uid>.
std::filesystem::path DefaultLockDirectory();

} // namespace quillon::platform
