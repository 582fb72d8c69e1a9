#include "support/NetworkGuard.h"

#include <gtest/gtest.h>

// Runs nothing unless the process sees only a virtual test LAN: these tests broadcast.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!quillon::test::SeesOnlyAVirtualLan())
        return 1;
    return RUN_ALL_TESTS();
}
