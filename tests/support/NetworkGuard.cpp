#include "support/NetworkGuard.h"

#include "VirtualLan.h"

#include <cstdio>

namespace quillon::test {

bool SeesOnlyAVirtualLan()
{
    const auto exposure = FindRealNetworkExposure();
    if (exposure)
        std::fprintf(stderr, "refusing to run on a real network (%s); run under tools/lan/lan-run\n",
                     exposure->c_str());
    return !exposure;
}

} // namespace quillon::test
