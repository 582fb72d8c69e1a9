#include "platform/NamedLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using quillon::platform::DefaultLockDirectory;
using quillon::platform::NamedLock;
namespace fs = std::filesystem;

namespace {

class NamedLockTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillon-lock-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        directory = root / "locks";
    }
    void TearDown() override { fs::remove_all(root); }

    static mode_t Mode(const fs::path& path)
    {
        struct stat status {};
        ::lstat(path.c_str(), &status);
        return status.st_mode & 07777;
    }

    // Forks a process that takes the lock and then waits to be killed.
    pid_t StartHolder()
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            NamedLock lock("LIST LOCK", directory);
            lock.lock();
            const char byte = 1;
            [[maybe_unused]] auto written = ::write(ready[1], &byte, 1);
            for (;;)
                ::pause();
        }
        char byte = 0;
        [[maybe_unused]] auto got = ::read(ready[0], &byte, 1);
        ::close(ready[0]);
        ::close(ready[1]);
        return pid;
    }

    fs::path root;
    fs::path directory;
};

} // namespace

TEST_F(NamedLockTest, AnotherProcessIsWaitedForOnlyAWhileAndNeverAfterAStop)
{
    NamedLock lock("LIST LOCK", directory);
    ASSERT_TRUE(lock.IsSharedAcrossProcesses());
    const pid_t holder = StartHolder();
    ASSERT_GT(holder, 0);

    int asked = 0;
    EXPECT_FALSE(lock.Lock(std::chrono::hours(1), [&] { return ++asked < 3; })) << "a stop ends the wait";
    EXPECT_EQ(asked, 3);
    NamedLock other("OTHER LOCK", directory);
    EXPECT_TRUE(other.try_lock()) << "another name is another lock";
    other.unlock();

    testing::internal::CaptureStderr();
    lock.lock(); // the patience runs out: on without the other process
    lock.unlock();
    EXPECT_TRUE(lock.try_lock()) << "once given up on, the other process is not waited for again";
    lock.unlock();
    bool otherThread = true;
    lock.lock();
    std::thread([&] { otherThread = lock.try_lock(); }).join();
    EXPECT_FALSE(otherThread) << "the threads of this process are still kept apart";
    lock.unlock();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("going on without it"), std::string::npos) << said;
    EXPECT_EQ(said.find("going on without it"), said.rfind("going on without it")) << "said once: " << said;

    ::kill(holder, SIGKILL);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    // The kernel dropped the dead holder's lock: the file again, at once, so other processes are
    // excluded once more.
    lock.lock();
    const pid_t another = ::fork();
    if (another == 0) {
        NamedLock theirs("LIST LOCK", directory);
        ::_exit(theirs.try_lock() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(another, &status, 0), another);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process took the lock while we held it";
    lock.unlock();
}

TEST_F(NamedLockTest, DirectoryAndFileArePrivate)
{
    NamedLock lock("LIST LOCK", directory);
    ASSERT_TRUE(lock.IsSharedAcrossProcesses());
    EXPECT_EQ(Mode(directory), mode_t{0700});
    EXPECT_EQ(Mode(directory / "LIST LOCK"), mode_t{0600});
}

// A directory or file someone else could have planted or can reach: no file lock, but the
// threads of this process are still kept apart.
TEST_F(NamedLockTest, RefusesWhatOthersCouldPlantOrReachAndStillExcludesThreads)
{
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a planted link", [&] {
             fs::create_directory(directory);
             fs::permissions(directory, fs::perms::owner_all);
             fs::create_symlink(root / "victim", directory / "LIST LOCK");
         }},
        {"a directory others can reach", [&] {
             fs::create_directory(directory);
             fs::permissions(directory, fs::perms::all);
         }},
        {"a directory that is a link", [&] {
             fs::create_directory(root / "elsewhere");
             fs::permissions(root / "elsewhere", fs::perms::owner_all);
             fs::create_directory_symlink(root / "elsewhere", directory);
         }},
    };
    for (const auto& [what, plant] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(root);
        fs::create_directory(root);
        plant();
        NamedLock lock("LIST LOCK", directory);
        EXPECT_FALSE(lock.IsSharedAcrossProcesses());
        EXPECT_FALSE(fs::exists(directory / "LIST LOCK")) << "no file made, no link followed";
        lock.lock();
        bool acquired = true;
        std::thread([&] { acquired = lock.try_lock(); }).join();
        EXPECT_FALSE(acquired);
        lock.unlock();
    }
}

TEST(NamedLockDirectory, PrefersTheRuntimeDirectory)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(DefaultLockDirectory(), fs::path("/run/user/4242/quillon"));
    ::setenv("XDG_RUNTIME_DIR", "relative/path", 1);
    EXPECT_EQ(DefaultLockDirectory(), fs::path("/tmp/quillon-" + std::to_string(::geteuid())));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(DefaultLockDirectory(), fs::path("/tmp/quillon-" + std::to_string(::geteuid())));
    if (saved != nullptr)
        ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
}
