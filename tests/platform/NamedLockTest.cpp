#include "platform/NamedLock.h"
#include "DevsimProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <unistd.h>

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

    // Another process, flock(1), takes the file as long as it runs, or takes it and lets it go
    // at once. It asks for a shared lock: only an exclusive one keeps it out.
    std::vector<std::string> Holder() const
    {
        return {"/usr/bin/flock", "--shared", "--no-fork", File().string(), "sh", "-c", "echo ready; exec sleep 60"};
    }
    bool AnotherProcessTakesTheFile() const
    {
        return std::system(("/usr/bin/flock --shared --nonblock '" + File().string() + "' true").c_str()) == 0;
    }
    fs::path File() const { return directory / "LIST LOCK"; }

    fs::path root;
    fs::path directory;
};

} // namespace

TEST_F(NamedLockTest, AnotherProcessIsWaitedForOnlyAWhileAndNeverAfterAStop)
{
    NamedLock lock("LIST LOCK", directory);
    ASSERT_TRUE(lock.IsSharedAcrossProcesses());
    // Another process holds the file, as a copy of the program stopped in a terminal would.
    std::optional<quillon::devsim::SimulatorProcess> holder(std::in_place, Holder());
    ASSERT_TRUE(holder->IsReady()) << "flock(1) did not take the lock";

    int asked = 0;
    ASSERT_FALSE(lock.Lock(std::chrono::hours(1), [&] { return ++asked < 3; })) << "a stop ends the wait";
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

    holder.reset();
    // The kernel dropped the dead holder's lock: the file again, at once, so other processes are
    // excluded once more.
    lock.lock();
    EXPECT_FALSE(AnotherProcessTakesTheFile()) << "another process took the lock while we held it";
    lock.unlock();
    holder.emplace(Holder());
    ASSERT_TRUE(holder->IsReady());
    EXPECT_FALSE(lock.try_lock()) << "once the file was had again, another process is waited for again";
}

// What it makes is private. A directory or file someone else could have planted or can reach:
// no file lock, but the threads of this process are still kept apart.
TEST_F(NamedLockTest, MakesItsDirectoryAndFilePrivateAndRefusesWhatOthersCouldPlantOrReach)
{
    {
        NamedLock lock("LIST LOCK", directory);
        ASSERT_TRUE(lock.IsSharedAcrossProcesses());
        EXPECT_EQ(fs::symlink_status(directory).permissions(), fs::perms{0700});
        EXPECT_EQ(fs::symlink_status(File()).permissions(), fs::perms{0600});
    }
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
