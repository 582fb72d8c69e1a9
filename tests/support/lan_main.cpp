#include "support/NetworkGuard.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// Runs nothing unless the process sees only a virtual test LAN: these tests broadcast.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!quillon::test::SeesOnlyAVirtualLan())
        return 1;
    // What the runs remember goes to a site's memory of the test's own, never the user's.
    QTemporaryDir data;
    if (data.isValid())
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qunsetenv("QUILLON_DATABASE");
    return RUN_ALL_TESTS();
}
