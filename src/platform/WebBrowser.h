#pragma once

#include <QString>

#include <functional>

namespace quillon::platform {

// Opens a web address in the user's default browser without waiting for it; false when there is
// no browser to open it. The window installs the desktop's opener; tests install their own to
// catch the address.
bool OpenWebAddress(const QString& address);

using WebAddressOpener = std::function<bool(const QString&)>;
WebAddressOpener SetWebAddressOpener(WebAddressOpener opener);

} // namespace quillon::platform
