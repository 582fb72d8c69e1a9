#include "platform/NamedLock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quillon::platform {

namespace {

// How often a wait looks again at the lock and at whether to go on waiting.
constexpr std::chrono::milliseconds kRetryInterval{2};

constexpr mode_t kGroupAndOtherBits = S_IRWXG | S_IRWXO;

bool IsPrivateToUs(const struct stat& status)
{
    return status.st_uid == ::geteuid() && (status.st_mode & kGroupAndOtherBits) == 0;
}

// Creates the directory if needed and opens it without following a link; refuses a directory
// that another user owns or that others can reach, since they could swap the lock file.
UniqueFd OpenPrivateDirectory(const std::filesystem::path& directory)
{
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &status) != 0 || !IsPrivateToUs(status))
        return {};
    return fd;
}

UniqueFd OpenLockFile(const std::filesystem::path& directory, const std::string& name)
{
    const UniqueFd dir = OpenPrivateDirectory(directory);
    if (!dir.IsValid())
        return {};
    UniqueFd fd(::openat(dir.Get(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat status {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid())
        return {};
    return fd;
}

int FlockRetryingOnSignal(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

std::filesystem::path DefaultLockDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return std::filesystem::path(runtime) / "quillon";
    return std::filesystem::path("/tmp") / ("quillon-" + std::to_string(::geteuid()));
}

NamedLock::NamedLock(std::string name) : NamedLock(std::move(name), DefaultLockDirectory()) {}

NamedLock::NamedLock(std::string name, std::filesystem::path directory)
    : name_(std::move(name)), directory_(std::move(directory))
{
}

void NamedLock::OpenOnce()
{
    std::call_once(opened_, [this] {
        file_ = OpenLockFile(directory_, name_);
        if (!file_.IsValid())
            std::fprintf(stderr, "quillon: cannot open the lock \"%s\" in %s safely; "
                                 "other copies of the program are not excluded\n",
                         name_.c_str(), directory_.c_str());
    });
}

bool NamedLock::IsSharedAcrossProcesses()
{
    OpenOnce();
    return file_.IsValid();
}

void NamedLock::lock()
{
    Lock(kOtherProcessPatience, [] { return true; });
}

bool NamedLock::TakeThreads(std::chrono::milliseconds wait)
{
    std::unique_lock state(threadsMutex_);
    if (!threadsReleased_.wait_for(state, wait, [this] { return !threadsHeld_; }))
        return false;
    threadsHeld_ = true;
    return true;
}

bool NamedLock::TryTakeThreads()
{
    std::scoped_lock state(threadsMutex_);
    if (threadsHeld_)
        return false;
    threadsHeld_ = true;
    return true;
}

void NamedLock::ReleaseThreads()
{
    {
        std::scoped_lock state(threadsMutex_);
        threadsHeld_ = false;
    }
    threadsReleased_.notify_one();
}

bool NamedLock::try_lock()
{
    if (!TryTakeThreads())
        return false;
    if (TakeFile(false))
        return true;
    ReleaseThreads();
    return false;
}

bool NamedLock::Lock(std::chrono::milliseconds patience, const std::function<bool()>& keepWaiting)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (TakeThreads(kRetryInterval)) {
            if (TakeFile(std::chrono::steady_clock::now() - start >= patience))
                return true;
            // Another process holds the file: wait without holding the threads of this one.
            ReleaseThreads();
            if (!keepWaiting())
                return false;
            std::this_thread::sleep_for(kRetryInterval);
        } else if (!keepWaiting()) {
            return false;
        }
    }
}

// With the threads taken: takes the file if it is free, else goes on without it once the patience
// is spent or another process has already been given up on.
bool NamedLock::TakeFile(bool patienceSpent)
{
    OpenOnce();
    holdsFile_ = false;
    if (!file_.IsValid())
        return true;
    if (FlockRetryingOnSignal(file_.Get(), LOCK_EX | LOCK_NB) == 0) {
        holdsFile_ = true;
        lockedOut_ = false;
        return true;
    }
    if (lockedOut_)
        return true;
    if (!patienceSpent)
        return false;
    lockedOut_ = true;
    std::fprintf(stderr, "quillon: another process keeps the lock \"%s\"; going on without it until it is "
                         "free again\n",
                 name_.c_str());
    return true;
}

void NamedLock::unlock()
{
    if (holdsFile_)
        ::flock(file_.Get(), LOCK_UN);
    holdsFile_ = false;
    ReleaseThreads();
}

} // namespace quillon::platform
