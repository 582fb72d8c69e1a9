// Any datagram on port 4023, through the long-form reader and into the device table.
#include "FuzzReceiver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static quillon::fuzz::ReceiverHarness harness;
    harness.Feed(quillon::discovery::EnterLongFormDatagrams, data, size);
    return 0;
}
