// Whatever a relay (or whoever stands at the far end of ssh) writes: cut into frames as a site's
// link cuts them, each body read by its type, and every reply entered into the device table as
// the link enters it. The first byte sets how the stream is split into reads.
#include "FuzzReceiver.h"

#include "protocol/Protocol.h"
#include "protocol/RelayFrames.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quillon;
    static fuzz::ReceiverHarness harness;
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t{data[0]} + 1;
    protocol::RelayFrameReader reader;
    for (std::size_t at = 1; at < size; at += piece) {
        reader.Append(wire::Bytes(data + at, std::min(piece, size - at)));
        while (const std::optional<protocol::RelayFrame> frame = reader.Next()) {
            switch (frame->type) {
            case protocol::RelayFrameType::Hello:
                (void)protocol::ReadHello(frame->body);
                break;
            case protocol::RelayFrameType::Send:
                if (const auto request = protocol::ReadSend(frame->body))
                    (void)protocol::IsRelayableRequest(request->port, request->datagram);
                break;
            case protocol::RelayFrameType::Sent:
                (void)protocol::ReadSent(frame->body);
                break;
            case protocol::RelayFrameType::Received:
                if (const auto reply = protocol::ReadReceived(frame->body))
                    harness.Feed(reply->port == protocol::kShortFormPort ? discovery::EnterShortFormDatagrams
                                                                          : discovery::EnterLongFormDatagrams,
                                 reply->datagram.data(), reply->datagram.size());
                break;
            case protocol::RelayFrameType::Error:
                (void)protocol::ReadErrorText(frame->body);
                break;
            }
        }
    }
    return 0;
}
