// A computer with no network to send on (every interface down): sending fails, the program says
// so on standard output and carries on.

#include "WindowFixture.h"

using namespace quillon;

namespace {
class NoRoute : public test::WindowTest {};
} // namespace

TEST_F(NoRoute, FailedSendsAreReportedAndTheWindowCarriesOn)
{
    testing::internal::CaptureStdout();
    Open();
    QTest::mouseClick(Find<QPushButton>("searchButton"), Qt::LeftButton);
    QTest::qWait(100);
    const std::string output = testing::internal::GetCapturedStdout();
    // The short-form start-up request and the Search's each fail twice, with their retry.
    EXPECT_NE(output.find("ERROR:  sendto failed -1,errno:101\nagain:  sendto st -1,errno:101\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("ERROR:  SOCKET transmit test fails -101\n"), std::string::npos) << output;
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'|').toStdString();
    QTest::mouseClick(Find<QPushButton>("exitButton"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}
