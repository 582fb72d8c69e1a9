// The broadcast senders in a child process each, where a send works, finds no route, or finds
// no socket. Where the requests arrive and at what length the receivers' start-up requests
// show (discovery/ReceiverLanTest.cpp).

#include "platform/MessageBox.h"
#include "protocol/LongForm.h"
#include "discovery/Sender.h"
#include "protocol/ShortForm.h"
#include "support/Subprocess.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>

#include <cstdio>

using namespace quillon;
using namespace quillon::protocol;
using namespace quillon::discovery;

namespace {

enum class Network { Working, WithoutRoutes, WithoutSockets };

// Where every send fails for want of a route (a network namespace with no interface up) or of
// a socket (no file descriptor left); false if the child could not get there.
bool Enter(Network network)
{
    const rlimit noFiles{0, 0};
    if (network == Network::WithoutRoutes)
        return ::unshare(CLONE_NEWNET) == 0;
    return network == Network::Working || ::setrlimit(RLIMIT_NOFILE, &noFiles) == 0;
}

void PrintBoxes()
{
    platform::SetMessageBoxPoster([](const platform::MessageBoxRequest& box, const std::function<void()>& closed) {
        std::printf("box [%s] %s\n", box.caption.toUtf8().constData(), box.text.toUtf8().constData());
        if (closed)
            closed();
    });
}

} // namespace

// Each row: the form and the network, and what the child printed after sending once and once
// through the wrapper, then the send's result: the bytes sent, or a negative result however
// the send failed (minus errno after a failed retry, -1 without a socket), which the wrapper
// reports. Only the short form writes its retries.
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
    for (const auto& [what, longForm, network, output] : cases) {
        const auto outcome = test::RunInChild([longForm, network] {
            if (!Enter(network))
                return 1;
            PrintBoxes();
            LongFormPacket longRequest;
            BuildLongFormRequest(longRequest);
            std::array<std::uint8_t, kShortFormRequestSize> shortRequest;
            BuildShortFormSearchRequest(shortRequest);
            const int result = longForm ? SendLongFormBroadcast(longRequest) : SendShortFormBroadcast(shortRequest);
            if (longForm)
                BroadcastLongForm(longRequest);
            else
                BroadcastShortForm(shortRequest);
            std::printf("result %d\n", result);
            return 0;
        });
        EXPECT_EQ(outcome.exitCode, 0) << what << ": the child could not leave the network";
        EXPECT_EQ(outcome.output, output) << what;
    }
}
