#pragma once

// The receivers' entry path driven by fuzzed datagrams: the program's discovery with a list lock
// of its own and message boxes that are closed at once.

#include "discovery/Discovery.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"

#include <cstdlib>
#include <filesystem>

namespace quillon::fuzz {

class ReceiverHarness {
public:
    ReceiverHarness()
    {
        platform::SetMessageBoxPoster([](const platform::MessageBoxRequest&, std::function<void()> closed) {
            if (closed)
                closed();
        });
    }

    // Feeds one datagram; the table is emptied now and then so that it stays small.
    template <typename Handle>
    void Feed(Handle handle, const std::uint8_t* data, std::size_t size)
    {
        handle(discovery.Shared(), wire::Bytes(data, size));
        if (++fed_ % 4096 == 0) { // without Search, which would broadcast
            std::scoped_lock lock(listLock);
            discovery.Table().FreeAllDevices();
            discovery.Rows().Clear();
        }
    }

    platform::NamedLock listLock{"LIST LOCK", std::filesystem::temp_directory_path() / "quillon-fuzz-locks"};
    discovery::Discovery discovery{listLock, [](int) {}};

private:
    unsigned fed_ = 0;
};

} // namespace quillon::fuzz
