// Any datagram on port 4022, through the short-form reader and into the device table.
#include "FuzzReceiver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static quillon::fuzz::ReceiverHarness harness;
    harness.Feed(quillon::discovery::EnterShortFormDatagrams, data, size);
    return 0;
}
