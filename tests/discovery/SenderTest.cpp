#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "protocol/LongForm.h"
#include "discovery/Sender.h"
#include "protocol/ShortForm.h"
#include "support/Sockets.h"
#include "support/Subprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cstdio>
#include <vector>

using namespace quillon;
using namespace quillon::protocol;
using namespace quillon::discovery;
using quillon::test::RunInChild;

namespace {

// One datagram as it arrived, at its full length even if it were longer than the buffer.
std::vector<std::uint8_t> ReceiveWhole(int fd)
{
    std::vector<std::uint8_t> buffer(2048);
    const ssize_t length = ::recv(fd, buffer.data(), buffer.size(), MSG_TRUNC);
    buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return buffer;
}

std::array<std::uint8_t, kShortFormRequestSize> ShortSearch()
{
    std::array<std::uint8_t, kShortFormRequestSize> packet{};
    BuildShortFormSearchRequest(packet);
    return packet;
}

// In a namespace of its own that has no interface up, every send fails for want of a route.
bool LeaveForANetworkWithoutRoutes() { return ::unshare(CLONE_NEWNET) == 0; }

void PrintBoxes()
{
    platform::SetMessageBoxPoster([](const platform::MessageBoxRequest& box, const std::function<void()>& closed) {
        std::printf("box [%s] %s\n", box.caption.toUtf8().constData(), box.text.toUtf8().constData());
        if (closed)
            closed();
    });
}

} // namespace

// Each form whole on its own port, and nothing of the short form's buffer past its 74 bytes.
TEST(BroadcastSender, EachRequestArrivesWholeOnItsPort)
{
    const auto longListener = test::ListenOn(4023, std::chrono::seconds(2));
    const auto shortListener = test::ListenOn(4022, std::chrono::seconds(2));
    ASSERT_TRUE(longListener.IsValid() && shortListener.IsValid());
    LongFormPacket longRequest;
    BuildLongFormRequest(longRequest);
    std::array<std::uint8_t, kShortFormSendBufferSize> buffer;
    buffer.fill(0xAB);
    const auto shortRequest = std::span(buffer).first<kShortFormRequestSize>();
    BuildShortFormSearchRequest(shortRequest);

    testing::internal::CaptureStdout();
    EXPECT_EQ(SendLongFormBroadcast(longRequest), 445);
    EXPECT_EQ(SendShortFormBroadcast(shortRequest), 74);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReceiveWhole(longListener.Get()), std::vector<std::uint8_t>(longRequest.begin(), longRequest.end()));
    const auto search = ShortSearch();
    EXPECT_EQ(ReceiveWhole(shortListener.Get()), std::vector<std::uint8_t>(search.begin(), search.end()));
}

// A send that fails twice is a failure for every caller: the result is minus errno and the
// wrapper reports it, for both forms.
TEST(BroadcastSender, FailedSendsReturnMinusErrnoAndTheWrapperReportsThem)
{
    const auto shortForm = RunInChild([] {
        if (!LeaveForANetworkWithoutRoutes())
            return 200;
        PrintBoxes();
        const auto request = ShortSearch();
        const int result = SendShortFormBroadcast(request);
        BroadcastShortForm(request);
        return -result;
    });
    ASSERT_EQ(shortForm.exitCode, ENETUNREACH);
    const std::string retry = "ERROR:  sendto failed -1,errno:101\nagain:  sendto st -1,errno:101\n";
    EXPECT_EQ(shortForm.output, retry + retry + "ERROR:  SOCKET transmit test fails -101\n");

    const auto longForm = RunInChild([] {
        if (!LeaveForANetworkWithoutRoutes())
            return 200;
        PrintBoxes();
        LongFormPacket request;
        BuildLongFormRequest(request);
        BroadcastLongForm(request);
        return -SendLongFormBroadcast(request);
    });
    EXPECT_EQ(longForm.exitCode, ENETUNREACH);
    EXPECT_EQ(longForm.output, "ERROR:  SOCKET transmit test fails -101\n");
}

TEST(BroadcastSender, NoSocketShowsTheErrorAndTheWrapperReportsMinusOne)
{
    const auto outcome = RunInChild([] {
        PrintBoxes();
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NOFILE, &none) != 0)
            return 200;
        const auto request = ShortSearch();
        BroadcastShortForm(request);
        return SendShortFormBroadcast(request) == -1 ? 0 : 1;
    });
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.output, "box [Error] ERROR:  24 socket() failed\n"
                              "ERROR:  SOCKET transmit test fails -1\n"
                              "box [Error] ERROR:  24 socket() failed\n");
}
