// The guard that keeps every socket-opening test off a real network. That the test LAN itself
// passes it is checked by this program's own start: it refuses to run otherwise.

#include "VirtualLan.h"

#include <gtest/gtest.h>

#include <cstdlib>

using quillon::test::FindRealNetworkExposure;

namespace {

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

} // namespace

TEST(VirtualLanGuard, AnAddressOutsideTheTestRangeIsReported)
{
    ASSERT_EQ(Shell("ip addr add 198.51.100.7/24 dev lan1"), 0);
    const auto exposure = FindRealNetworkExposure();
    Shell("ip addr del 198.51.100.7/24 dev lan1");
    ASSERT_TRUE(exposure.has_value());
    EXPECT_NE(exposure->find("198.51.100.7"), std::string::npos) << *exposure;
}

TEST(VirtualLanGuard, AnUnknownInterfaceIsReportedUnlessTheTestNamesIt)
{
    ASSERT_EQ(Shell("ip link add eth9 type veth peer name lan9"), 0);
    const auto exposure = FindRealNetworkExposure();
    ::setenv("QUILLON_LAN_EXTRA_INTERFACES", "wg0 eth9", 1);
    const auto named = FindRealNetworkExposure();
    ::unsetenv("QUILLON_LAN_EXTRA_INTERFACES");
    Shell("ip link del eth9");
    ASSERT_TRUE(exposure.has_value());
    EXPECT_NE(exposure->find("eth9"), std::string::npos) << *exposure;
    EXPECT_EQ(named, std::nullopt);
}
