#include "support/NetworkGuard.h"

#include "platform/VirtualLan.h"

#include <cstdio>

namespace quillon::test {

bool SeesOnlyAVirtualLan()
{
    const auto exposure = platform::FindRealNetworkExposure();
    if (exposure)
        std::fprintf(stderr, "refusing to run on a real network (%s); run under tests/lan/lan-run\n",
                     exposure->c_str());
    return !exposure;
}

} // namespace quillon::test
