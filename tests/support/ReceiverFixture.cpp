#include "support/ReceiverFixture.h"

#include <cstdlib>

namespace quillon::test {

namespace {

std::filesystem::path MakeLockDirectory()
{
    char pattern[] = "/tmp/quillon-receiver-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made != nullptr ? std::filesystem::path(made) / "locks" : std::filesystem::path();
}

} // namespace

ReceiverBench::ReceiverBench()
    : lockDirectory(MakeLockDirectory()),
      listLock("LIST LOCK", lockDirectory),
      discovery(listLock, [this](int status) { endStatus_ = status; })
{
    platform::SetMessageBoxPoster([this](const platform::MessageBoxRequest& box, std::function<void()> closed) {
        std::scoped_lock lock(boxesMutex_);
        boxes_.push_back(QStringLiteral("[%1] %2").arg(box.caption, box.text));
        if (closed)
            closers_.push_back(std::move(closed));
    });
}

ReceiverBench::~ReceiverBench()
{
    discovery.Stop(); // before the boxes' poster goes
    platform::SetMessageBoxPoster({});
    std::filesystem::remove_all(lockDirectory.parent_path());
}

std::vector<QString> ReceiverBench::PostedBoxes()
{
    std::scoped_lock lock(boxesMutex_);
    return boxes_;
}

void ReceiverBench::CloseBoxes()
{
    std::vector<std::function<void()>> closers;
    {
        std::scoped_lock lock(boxesMutex_);
        closers.swap(closers_);
    }
    for (auto& closed : closers)
        closed();
}

int ReceiverBench::RecordCount()
{
    std::scoped_lock lock(table.RecordsMutex());
    int count = 0;
    for (const devices::DeviceRecord* record = table.Chain().deviceHead; record != nullptr; record = record->next)
        ++count;
    return count;
}

} // namespace quillon::test
