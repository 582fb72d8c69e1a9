#pragma once

// The receivers' own way into the device table, driven by fuzzed datagrams: a table with a list
// lock of its own, and message boxes that are closed at once.

#include "devices/DeviceTable.h"
#include "discovery/Receivers.h"
#include "platform/MessageBox.h"
#include "platform/NamedLock.h"
#include "platform/StopSignal.h"

#include <filesystem>

namespace quillon::fuzz {

class ReceiverHarness {
public:
    using Enter = bool (*)(discovery::ReceiverShared&, std::span<const discovery::ReceivedDatagram>,
                           const platform::StopSignal&);

    ReceiverHarness()
    {
        platform::SetMessageBoxPoster([](const platform::MessageBoxRequest&, std::function<void()> closed) {
            if (closed)
                closed();
        });
    }

    // Feeds one datagram; the table is cleared now and then so that it stays small.
    void Feed(Enter enter, const std::uint8_t* data, std::size_t size)
    {
        const discovery::ReceivedDatagram batch[] = {{wire::Bytes(data, size), {}}};
        enter(shared_, batch, stop_);
        if (++fed_ % 4096 == 0)
            table_.Clear();
    }

private:
    platform::NamedLock listLock_{"LIST LOCK", std::filesystem::temp_directory_path() / "quillon-fuzz-locks"};
    devices::DeviceTable table_;
    discovery::ReceiverShared shared_{table_, listLock_, [](int) {}, {}};
    platform::StopSignal stop_;
    unsigned fed_ = 0;
};

} // namespace quillon::fuzz
