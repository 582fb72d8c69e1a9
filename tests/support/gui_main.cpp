#include "support/NetworkGuard.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Window tests: a real QApplication (offscreen), and, since the window starts the receivers,
// nothing unless the process sees only a virtual test LAN.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!quillon::test::SeesOnlyAVirtualLan())
        return 1;
    // Qt wants a private runtime directory; give the tests one of their own.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    // The window remembers choices in its settings and devices in the site's memory: the tests
    // start from none, and leave the user's alone.
    QTemporaryDir config;
    QTemporaryDir data;
    if (config.isValid() && data.isValid()) {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    }
    qunsetenv("QUILLON_DATABASE");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
