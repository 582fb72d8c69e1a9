#include "platform/VirtualLan.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

// Window tests: a real QApplication (offscreen), and, since the window starts the receivers,
// nothing unless the process sees only a virtual test LAN.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (const auto exposure = quillon::platform::FindRealNetworkExposure()) {
        std::fprintf(stderr, "refusing to run on a real network (%s); run under tests/lan/lan-run\n",
                     exposure->c_str());
        return 1;
    }
    // Qt wants a private runtime directory; give the tests one of their own.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
