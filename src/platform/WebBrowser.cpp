#include "platform/WebBrowser.h"

#include <cstdio>
#include <mutex>

namespace quillon::platform {

namespace {
std::mutex openerMutex;
WebAddressOpener installedOpener;
} // namespace

bool OpenWebAddress(const QString& address)
{
    WebAddressOpener opener;
    {
        std::scoped_lock lock(openerMutex);
        opener = installedOpener;
    }
    if (opener && opener(address))
        return true;
    std::fprintf(stderr, "quillon: no browser to open %s\n", address.toUtf8().constData());
    return false;
}

WebAddressOpener SetWebAddressOpener(WebAddressOpener opener)
{
    std::scoped_lock lock(openerMutex);
    std::swap(installedOpener, opener);
    return opener;
}

} // namespace quillon::platform
