#include "app/CScannerApp.h"

#include "app/CScannerDlg.h"
#include "app/GuiMessageBoxes.h"
#include "app/ProductInfo.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "platform/WebBrowser.h"

#include <QDesktopServices>
#include <QUrl>

#include <sys/socket.h>
#include <netinet/in.h>

namespace quillon::app {

namespace {

// The program needs IPv4 UDP sockets; without them there is nothing it can do.
bool CanMakeUdpSockets()
{
    return platform::UniqueFd(::socket(AF_INET, SOCK_DGRAM, 0)).IsValid();
}

} // namespace

CScannerApp::CScannerApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(platform::ApplicationName());
    setOrganizationName(QStringLiteral("quillon")); // the settings go to ~/.config/quillon/
    setApplicationVersion(kProductVersion);
    setDesktopFileName(QStringLiteral("quillon"));
}

int CScannerApp::InitInstance(i18n::InterfaceTexts& texts, platform::NamedLock& listLock)
{
    InstallGuiMessageBoxes();
    platform::SetWebAddressOpener([](const QString& address) { return QDesktopServices::openUrl(QUrl(address)); });
    if (!CanMakeUdpSockets()) {
        platform::ShowMessageBox(platform::ApplicationBox(QStringLiteral("Windows Socket Interface Initialization Failed")));
        return 0;
    }
    CScannerDlg window(texts, listLock);
    window.DoModal();
    return 0;
}

} // namespace quillon::app
