// Both receivers on their sockets in the virtual LAN, without a window.

#include "SimulatedDevice.h"
#include "discovery/Discovery.h"
#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"
#include "protocol/LongForm.h"
#include "protocol/ShortForm.h"
#include "support/ReceiverFixture.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <thread>

using namespace quillon;
using namespace quillon::protocol;
using devsim::SimulatedDevice;

namespace {

// A UDP socket bound to `port` on every address, sharing the port like the receivers; a receive
// gives up after 10 s.
platform::UniqueFd ListenOn(std::uint16_t port)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const timeval limit{10, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const sockaddr_in address = platform::AnyAddress(port);
    EXPECT_EQ(::bind(fd.Get(), platform::AsSocketAddress(address), sizeof address), 0) << port;
    return fd;
}

// Broadcasts `bytes` to 255.255.255.255 on `port` from a socket of its own.
void BroadcastRaw(std::uint16_t port, const std::vector<std::uint8_t>& bytes)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in destination = platform::BroadcastAddress(port);
    ::sendto(fd.Get(), bytes.data(), bytes.size(), 0, platform::AsSocketAddress(destination), sizeof destination);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class ReceiverLanTest : public testing::Test {
protected:
    // A receiver sends its start-up request once its port is bound: once both requests are
    // heard, both receivers listen.
    bool StartReceiversAndWaitUntilTheyListen()
    {
        const auto longListener = ListenOn(kLongFormPort);
        const auto shortListener = ListenOn(kShortFormPort);
        discovery.Start();
        std::uint8_t buffer[1024];
        return ::recv(longListener.Get(), buffer, sizeof buffer, 0) == 445 &&
               ::recv(shortListener.Get(), buffer, sizeof buffer, 0) == 74;
    }
    test::ReceiverBench bench;
    discovery::Discovery discovery{bench.listLock, bench.EndProgram()};
    devices::RowFeed::Rows Rows() { return discovery.Rows().Copy(); }
};

} // namespace

TEST_F(ReceiverLanTest, AnOversizedDatagramIsDroppedNotCut)
{
    ASSERT_TRUE(StartReceiversAndWaitUntilTheyListen());
    SimulatedDevice device;
    // One byte longer than the receive buffer: cut to its size, it would look whole.
    device.mac = {0x02, 0x20, 0, 0, 0, 2};
    BroadcastRaw(4022, devsim::ShortFormReply(device, 0, 1001));
    device.mac[5] = 4; // a valid reply behind it: once it is in, the other was seen
    BroadcastRaw(4022, devsim::ShortFormReply(device, 0, 1000));
    ASSERT_TRUE(WaitUntil([&] { return !Rows().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Rows().size(), 1u) << "the cut datagram was taken for a reply";
}

TEST_F(ReceiverLanTest, PortHeldByAnotherProgramEndsTheProgramAfterTheMessage)
{
    platform::UniqueFd holder(::socket(AF_INET, SOCK_DGRAM, 0)); // without address reuse
    const sockaddr_in address = platform::AnyAddress(kShortFormPort);
    ASSERT_EQ(::bind(holder.Get(), platform::AsSocketAddress(address), sizeof address), 0);

    discovery.Start();
    ASSERT_TRUE(WaitUntil([&] { return !bench.PostedBoxes().empty(); }));
    EXPECT_EQ(bench.PostedBoxes(), std::vector<QString>{QStringLiteral("[Error] ERROR:  98 bind() failed")});
    EXPECT_EQ(bench.EndStatus(), -1) << "the program ends only once the message is closed";
    bench.CloseBoxes();
    EXPECT_EQ(bench.EndStatus(), 0);
}

// Another user binds the long-form port with every reuse option there is: the kernel must
// refuse, or that user would take the unicast replies sent to us. A socket belongs to the user
// who made it, so the test takes that user's identity only to make it.
TEST_F(ReceiverLanTest, AnotherUserCannotBindOurPort)
{
    ASSERT_TRUE(StartReceiversAndWaitUntilTheyListen());
    if (::geteuid() != 0 || ::seteuid(65534) != 0)
        GTEST_SKIP() << "no other user to be here (the test needs root)";
    const platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    ASSERT_EQ(::seteuid(0), 0);
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const sockaddr_in address = platform::AnyAddress(4023);
    EXPECT_NE(::bind(fd.Get(), platform::AsSocketAddress(address), sizeof address), 0) << "another user bound the port";
}

// Replies stream in while the table is cleared and rebuilt hundreds of times and while another
// thread reads devices as selection does; then the receivers are stopped mid-stream.
TEST_F(ReceiverLanTest, TableSurvivesRebuildsWhileRepliesStreamIn)
{
    test::SimulatorProcess simulator({"--count", "200"});
    ASSERT_TRUE(simulator.IsReady());
    discovery.Start();

    std::atomic<bool> done{false};
    std::thread selection([&] {
        std::mt19937 random(7);
        while (!done) {
            if (const auto device = discovery.Devices().FindByNumber(static_cast<int>(random() % 200) + 1)) {
                EXPECT_EQ(device->mac[0], 0x02);
            }
        }
    });
    for (int search = 0; search < 300; ++search) {
        discovery.Search();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done = true;
    selection.join();

    discovery.Stop();
    // Every row belongs to a device that carries its number, and no number repeats.
    std::set<int> numbers;
    for (const auto& row : Rows()) {
        EXPECT_TRUE(numbers.insert(row.number).second) << row.number;
        EXPECT_EQ(discovery.Devices().FindByNumber(row.number).value_or(devices::Device{}).number, row.number);
    }
    EXPECT_EQ(bench.EndStatus(), -1);
}
