// The broadcast senders where a send works, finds no route, or finds no socket. Where the
// requests arrive and at what length the receivers' start-up requests show
// (discovery/ReceiverLanTest.cpp).

#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "protocol/LongForm.h"
#include "discovery/Sender.h"
#include "protocol/ShortForm.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstdio>

using namespace quillon;
using namespace quillon::protocol;
using namespace quillon::discovery;

namespace {

enum class Network { Working, WithoutRoutes, WithoutSockets };

// What one send and one send through the wrapper print and show, then the send's result. Every
// send fails for want of a route in a network namespace of its own with no interface up, and
// for want of a socket with no file descriptor left; the test's own network and limit return
// afterwards.
std::string SendOnceAndThroughTheWrapper(bool longForm, Network network)
{
    const platform::UniqueFd home(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    const rlimit none{0, files.rlim_max};
    LongFormPacket longRequest;
    BuildLongFormRequest(longRequest);
    std::array<std::uint8_t, kShortFormRequestSize> shortRequest;
    BuildShortFormSearchRequest(shortRequest);
    platform::SetMessageBoxPoster([](const platform::MessageBoxRequest& box, const std::function<void()>& closed) {
        std::printf("box [%s] %s\n", box.caption.toUtf8().constData(), box.text.toUtf8().constData());
        if (closed)
            closed();
    });

    testing::internal::CaptureStdout();
    if ((network == Network::WithoutRoutes && ::unshare(CLONE_NEWNET) != 0) ||
        (network == Network::WithoutSockets && ::setrlimit(RLIMIT_NOFILE, &none) != 0))
        std::printf("could not leave the network\n");
    const int result = longForm ? SendLongFormBroadcast(longRequest) : SendShortFormBroadcast(shortRequest);
    if (longForm)
        BroadcastLongForm(longRequest);
    else
        BroadcastShortForm(shortRequest);
    std::printf("result %d\n", result);
    ::setrlimit(RLIMIT_NOFILE, &files);
    if (network == Network::WithoutRoutes && ::setns(home.Get(), CLONE_NEWNET) != 0)
        std::abort(); // nothing may run in a network other than the virtual LAN it started in
    platform::SetMessageBoxPoster({});
    return testing::internal::GetCapturedStdout();
}

} // namespace

// Each row: the form and the network, and what sending printed: the bytes sent, or a negative
// result however the send failed (minus errno after a failed retry, -1 without a socket), which
// the wrapper reports. Only the short form writes its retries.
TEST(BroadcastSender, ASendReturnsTheBytesSentOrANegativeResultThatTheWrapperReports)
{
    const std::string retry = "ERROR:  sendto failed -1,errno:101\nagain:  sendto st -1,errno:101\n";
    const std::string noSocket = "box [Error] ERROR:  24 socket() failed\n";
    const std::tuple<const char*, bool, Network, std::string> cases[] = {
        {"short, sent", false, Network::Working, "result 74\n"},
        {"long, sent", true, Network::Working, "result 445\n"},
        {"short, no route", false, Network::WithoutRoutes,
         retry + retry + "ERROR:  SOCKET transmit test fails -101\nresult -101\n"},
        {"long, no route", true, Network::WithoutRoutes, "ERROR:  SOCKET transmit test fails -101\nresult -101\n"},
        {"short, no socket", false, Network::WithoutSockets,
         noSocket + noSocket + "ERROR:  SOCKET transmit test fails -1\nresult -1\n"},
    };
    for (const auto& [what, longForm, network, output] : cases)
        EXPECT_EQ(SendOnceAndThroughTheWrapper(longForm, network), output) << what;
}
