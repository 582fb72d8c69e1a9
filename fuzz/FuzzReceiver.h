#pragma once

// The receivers' entry path driven by fuzzed datagrams: a device table with its rows, a list lock
// of its own and message boxes that are closed at once.

#include "devices/DeviceTable.h"
#include "devices/RowStore.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"
#include "protocol/Receivers.h"

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
        handle(shared, wire::Bytes(data, size));
        if (++fed_ % 4096 == 0) {
            std::scoped_lock lock(listLock);
            table.FreeAllDevices();
            rows.Clear();
        }
    }

    devices::RowStore rows;
    devices::DeviceTable table{rows};
    platform::NamedLock listLock{"LIST LOCK", std::filesystem::temp_directory_path() / "quillon-fuzz-locks"};
    protocol::ReceiverShared shared{table, listLock, [](int) {}, {}};

private:
    unsigned fed_ = 0;
};

} // namespace quillon::fuzz
