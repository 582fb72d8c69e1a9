#include "platform/NamedLock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

namespace {

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
    threads_.lock();
    OpenOnce();
    if (file_.IsValid())
        FlockRetryingOnSignal(file_.Get(), LOCK_EX);
}

bool NamedLock::try_lock()
{
    if (!threads_.try_lock())
        return false;
    OpenOnce();
    if (file_.IsValid() && FlockRetryingOnSignal(file_.Get(), LOCK_EX | LOCK_NB) != 0) {
        threads_.unlock();
        return false;
    }
    return true;
}

void NamedLock::unlock()
{
    if (file_.IsValid())
        ::flock(file_.Get(), LOCK_UN);
    threads_.unlock();
}

} // namespace quillon::platform
