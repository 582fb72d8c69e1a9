// The window under a Wayland compositor without a seat (a headless Weston): it opens the way the
// program opens it, paints, keeps the IP field as its focus and closes normally.

#include "WindowFixture.h"

#include <QTimer>
#include <QWindow>

using namespace quillon;

namespace {
class Wayland : public test::WindowTest {};
} // namespace

TEST_F(Wayland, TheWindowOpensAndClosesOnACompositorWithoutASeat)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    window = std::make_unique<app::CScannerDlg>(texts, *listLock);
    QTimer::singleShot(0, window.get(), [this] {
        EXPECT_TRUE(test::Eventually([&] { return window->windowHandle()->isExposed(); }));
        EXPECT_TRUE(test::Eventually([&] { return Address("ipField")->isAncestorOf(window->focusWidget()); }));
        window->OnCancel();
    });
    EXPECT_EQ(window->DoModal(), QDialog::Rejected);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'|').toStdString();
}
