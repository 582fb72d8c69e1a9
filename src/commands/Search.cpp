#include "commands/Search.h"

#include "protocol/Sender.h"
#include "protocol/ShortForm.h"

namespace quillon::commands {

void ForgetAllDevices(devices::DeviceTable& table, devices::RowStore& rows)
{
    table.FreeAllDevices();
    rows.Clear();
}

void BroadcastSearchRequests(SendBuffers& buffers)
{
    const auto shortForm = std::span(buffers.shortForm).first<protocol::kShortFormRequestSize>();
    protocol::BuildShortFormSearchRequest(shortForm);
    protocol::BuildLongFormRequest(buffers.longForm);
    protocol::BroadcastShortForm(shortForm);
    protocol::BroadcastLongForm(buffers.longForm);
}

} // namespace quillon::commands
