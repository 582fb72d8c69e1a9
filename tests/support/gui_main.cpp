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
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
