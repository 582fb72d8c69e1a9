#pragma once

#include "devices/DeviceTable.h"
#include "platform/ChildProcess.h"
#include "protocol/Wire.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace quillon::commands {

// The web page of a device found at a remote site, which this computer cannot reach directly:
// an ssh local forward through the site's host (ssh -N -L 127.0.0.1:PORT:IP:WEB_PORT HOST) and
// the browser opened at http://127.0.0.1:PORT once the forward carries. Each forward lasts as
// long as this object. Runs on the owner's thread and its event loop, without waiting.
// (ssh is spawned, not forked: a fork of the threaded window is what ThreadSanitizer refuses.)
class SiteWebPages : public QObject {
public:
    // How an Open went: empty when the page was opened, else why not.
    using Done = std::function<void(const QString& why)>;

    static constexpr int kPatienceMs = 15000;

    explicit SiteWebPages(QObject* parent = nullptr) : QObject(parent) {}
    ~SiteWebPages() override;

    // Starts the forward for `mac`, a device of a remote site (nothing for one of this computer's
    // LANs), and opens the page once it carries; `done` tells how it went.
    void Open(const devices::DeviceStore& devices, const wire::MacAddress& mac, Done done);

private:
    void WaitForForward(std::size_t forward, std::uint16_t localPort, const QString& address, int waitedMs, const Done& done);

    std::vector<platform::SpawnedChild> forwards_;
};

} // namespace quillon::commands
