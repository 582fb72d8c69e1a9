#include "platform/VirtualLan.h"

#include <gtest/gtest.h>

#include <cstdio>

// Runs nothing unless the process sees only a virtual test LAN: these tests broadcast.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (const auto exposure = quillon::platform::FindRealNetworkExposure()) {
        std::fprintf(stderr, "refusing to run on a real network (%s); run under tests/lan/lan-run\n",
                     exposure->c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
