#include "app/CScannerApp.h"

#include "app/CScannerDlg.h"
#include "app/GuiMessageBoxes.h"
#include "app/ProductInfo.h"
#include "discovery/RelayLink.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "platform/WebBrowser.h"

#include <QCommandLineParser>
#include <QDesktopServices>
#include <QUrl>

#include <sys/socket.h>

#include <cstdio>
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
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Finds IP cameras and similar devices on the LAN and sets up their network settings."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption site(QStringLiteral("site"),
                                  QStringLiteral("Also search the LAN behind HOST, through 'quillonctl relay' run there over ssh "
                                                 "(repeatable; $QUILLON_SSH replaces ssh)."),
                                  QStringLiteral("HOST"));
    parser.addOption(site);
    parser.process(*this);
    for (const QString& host : parser.values(site))
        if (!discovery::IsSiteHost(host.toStdString())) {
            std::fprintf(stderr, "quillon: --site takes a host name, not '%s'\n", qPrintable(host));
            return 2;
        }
    CScannerDlg window(texts, listLock);
    window.SetSitesOfThisRun(parser.values(site));
    window.DoModal();
    return 0;
}

} // namespace quillon::app
