// quillon-devsim: plays any number of devices on both discovery protocols, inside a virtual
// test LAN only. It answers every search request it hears, applies set requests addressed to
// its devices, and can log every request it receives as JSON lines.

#include "DeviceList.h"
#include "SimulatedDevice.h"

#include "platform/UniqueFd.h"
#include "protocol/DeviceTexts.h"
#include "VirtualLan.h"
#include "platform/SocketAddress.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <thread>

using namespace quillon;
using namespace quillon::devsim;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint16_t kShortFormPort = 4022;
constexpr std::uint16_t kLongFormPort = 4023;

struct Options {
    QString devicesFile;
    int count = 0;
    int spreadMs = 0;
    long flood = 0;
    unsigned seed = 1;
    QString logPath;
    std::optional<Confirmation> confirmation;
    int confirmAfterMs = 0;
};

const char* kUsage =
    "usage: quillon-devsim (--devices FILE | --count N) [--spread MS] [--seed N]\n"
    "                      [--confirm notice|answer|none|silent|stale] [--confirm-after MS] [--log FILE]\n"
    "  --devices FILE  devices from a JSON file ({\"devices\": [...]})\n"
    "  --count N       N generated devices with distinct MACs, addresses and names\n"
    "  --spread MS     each device answers after a random delay of up to MS ms (default: all\n"
    "                  at once, at full speed)\n"
    "  --confirm HOW   how every device confirms a set request (default: per device, notice)\n"
    "  --confirm-after MS  a device's confirmation leaves MS ms after its request came\n"
    "  --log FILE      append every request received as a JSON line\n"
    "  --flood N       also send N datagrams of random length (0 to 2000 bytes) and content to\n"
    "                  both ports at full speed, every 1000th a valid reply of one of the\n"
    "                  devices; logs {\"flood\":N} when done\n"
    "Runs only inside a virtual test LAN (tools/lan/lan-run); prints \"ready\" once it listens.\n";

std::optional<Options> ParseOptions(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (i + 1 >= arguments.size())
            return std::nullopt;
        const QString value = arguments[++i];
        bool ok = true;
        if (option == QLatin1String("--devices"))
            options.devicesFile = value;
        else if (option == QLatin1String("--count"))
            options.count = value.toInt(&ok);
        else if (option == QLatin1String("--flood"))
            options.flood = value.toLong(&ok);
        else if (option == QLatin1String("--spread"))
            options.spreadMs = value.toInt(&ok);
        else if (option == QLatin1String("--seed"))
            options.seed = value.toUInt(&ok);
        else if (option == QLatin1String("--log"))
            options.logPath = value;
        else if (option == QLatin1String("--confirm-after"))
            options.confirmAfterMs = value.toInt(&ok);
        else if (option == QLatin1String("--confirm")) {
            options.confirmation = ParseConfirmation(value);
            ok = options.confirmation.has_value();
        } else
            return std::nullopt;
        if (!ok || options.count < 0 || options.spreadMs < 0 || options.flood < 0 || options.confirmAfterMs < 0)
            return std::nullopt;
    }
    if (options.devicesFile.isEmpty() == (options.count == 0))
        return std::nullopt;
    return options;
}

platform::UniqueFd OpenPort(std::uint16_t port)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    const sockaddr_in address = platform::AnyAddress(port);
    if (!fd.IsValid() || ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), platform::AsSocketAddress(address), sizeof address) != 0) {
        std::perror("quillon-devsim: cannot listen");
        fd.Reset();
        return fd;
    }
    // The first asking for a datagram's time stamp has the kernel stamp every later one.
    timespec stamp{};
    ::ioctl(fd.Get(), SIOCGSTAMPNS, &stamp);
    return fd;
}

class Simulator {
public:
    Simulator(std::vector<SimulatedDevice> devices, const Options& options, std::FILE* log)
        : devices_(std::move(devices)), spreadMs_(options.spreadMs), confirmAfter_(options.confirmAfterMs),
          random_(options.seed), log_(log)
    {
        if (options.confirmation)
            for (auto& device : devices_)
                device.confirmation = *options.confirmation;
    }

    bool Listen()
    {
        shortForm_ = OpenPort(kShortFormPort);
        longForm_ = OpenPort(kLongFormPort);
        return shortForm_.IsValid() && longForm_.IsValid();
    }

    [[noreturn]] void Run()
    {
        std::printf("ready\n");
        std::fflush(stdout);
        std::vector<std::uint8_t> shortBuffer(65536);
        std::vector<std::uint8_t> longBuffer(65536);
        for (;;) {
            SendDueReplies();
            pollfd watched[2] = {{shortForm_.Get(), POLLIN, 0}, {longForm_.Get(), POLLIN, 0}};
            if (::poll(watched, 2, MillisecondsToNextReply()) <= 0)
                continue;
            // Requests are handled, and logged, in the order they arrived, whichever port.
            std::optional<Received> shortForm;
            std::optional<Received> longForm;
            if (watched[0].revents & POLLIN)
                shortForm = Receive(shortForm_.Get(), shortBuffer);
            if (watched[1].revents & POLLIN)
                longForm = Receive(longForm_.Get(), longBuffer);
            const bool longFirst = longForm && (!shortForm || longForm->arrival < shortForm->arrival);
            if (longFirst)
                OnLongForm(longForm->bytes);
            if (shortForm)
                OnShortForm(shortForm->bytes);
            if (longForm && !longFirst)
                OnLongForm(longForm->bytes);
        }
    }

private:
    struct PendingReply {
        std::uint16_t port;
        std::vector<std::uint8_t> bytes;
    };

    struct Received {
        Bytes bytes;
        std::pair<long, long> arrival; // the kernel's time stamp: seconds, nanoseconds
    };

    static Received Receive(int fd, std::vector<std::uint8_t>& buffer)
    {
        const ssize_t length = ::recv(fd, buffer.data(), buffer.size(), 0);
        timespec stamp{};
        ::ioctl(fd, SIOCGSTAMPNS, &stamp);
        return {Bytes(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0), {stamp.tv_sec, stamp.tv_nsec}};
    }

    void OnLongForm(Bytes datagram)
    {
        if (ClassifyLongForm(datagram) != RequestKind::LongFormSearch)
            return;
        Log(kLongFormPort, "search", datagram, {});
        for (const auto& device : devices_)
            if (device.answersLongForm && !device.silenced)
                Schedule(kLongFormPort, LongFormReply(device));
    }

    void OnShortForm(Bytes datagram)
    {
        switch (ClassifyShortForm(datagram)) {
        case RequestKind::ShortFormSearch:
            Log(kShortFormPort, "search", datagram, {});
            for (const auto& device : devices_)
                if (device.answersShortForm && !device.silenced)
                    Schedule(kShortFormPort, ShortFormReply(device));
            break;
        case RequestKind::ShortFormSet:
            OnSetRequest(datagram);
            break;
        default:
            break; // replies, our own included
        }
    }

    void OnSetRequest(Bytes datagram)
    {
        const Mac target = SetRequestTarget(datagram);
        QJsonObject extra{{"target", protocol::MacText(target)}};
        auto device = std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d.mac == target; });
        if (device == devices_.end()) {
            Log(kShortFormPort, "set", datagram, extra);
            return;
        }
        // A stale device logs what it was asked and keeps its settings.
        SimulatedDevice refused = *device;
        SimulatedDevice& changed = device->confirmation == Confirmation::Stale ? refused : *device;
        QJsonArray applied;
        for (const auto& group : ApplySetRequest(changed, datagram))
            applied.append(QString::fromStdString(group));
        extra.insert("applied", applied);
        Log(kShortFormPort, "set", datagram, extra);
        if (device->confirmation == Confirmation::UpdateNotice || device->confirmation == Confirmation::Stale)
            Confirm(ShortFormReply(*device, 1));
        else if (device->confirmation == Confirmation::DeviceAnswer)
            Confirm(ShortFormReply(*device, 0));
        else if (device->confirmation == Confirmation::Silent)
            device->silenced = true;
    }

    void Confirm(std::vector<std::uint8_t> bytes)
    {
        if (confirmAfter_.count() == 0)
            Send(kShortFormPort, bytes);
        else
            pending_.emplace(Clock::now() + confirmAfter_, PendingReply{kShortFormPort, std::move(bytes)});
    }

    void Schedule(std::uint16_t port, std::vector<std::uint8_t> bytes)
    {
        if (spreadMs_ == 0) {
            Send(port, bytes);
            return;
        }
        std::uniform_int_distribution<int> delay(0, spreadMs_);
        pending_.emplace(Clock::now() + std::chrono::milliseconds(delay(random_)), PendingReply{port, std::move(bytes)});
    }

    void SendDueReplies()
    {
        const auto now = Clock::now();
        while (!pending_.empty() && pending_.begin()->first <= now) {
            Send(pending_.begin()->second.port, pending_.begin()->second.bytes);
            pending_.erase(pending_.begin());
        }
    }

    int MillisecondsToNextReply() const
    {
        if (pending_.empty())
            return -1;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(pending_.begin()->first - Clock::now());
        return static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
    }

    void Send(std::uint16_t port, const std::vector<std::uint8_t>& bytes)
    {
        const sockaddr_in destination = platform::BroadcastAddress(port);
        const int fd = port == kShortFormPort ? shortForm_.Get() : longForm_.Get();
        ::sendto(fd, bytes.data(), bytes.size(), 0, platform::AsSocketAddress(destination), sizeof destination);
    }

    void Log(std::uint16_t port, const char* request, Bytes datagram, QJsonObject entry)
    {
        if (log_ == nullptr)
            return;
        entry.insert("port", port);
        entry.insert("request", QLatin1String(request));
        entry.insert("ms", static_cast<qint64>(
                               std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count()));
        entry.insert("length", static_cast<int>(datagram.size()));
        entry.insert("bytes", QString::fromLatin1(
                                  QByteArray(reinterpret_cast<const char*>(datagram.data()),
                                             static_cast<qsizetype>(datagram.size())).toHex()));
        std::fprintf(log_, "%s\n", QJsonDocument(entry).toJson(QJsonDocument::Compact).constData());
        std::fflush(log_);
    }

    std::vector<SimulatedDevice> devices_;
    int spreadMs_;
    std::chrono::milliseconds confirmAfter_;
    Clock::time_point started_ = Clock::now();
    std::mt19937 random_;
    std::FILE* log_;
    platform::UniqueFd shortForm_;
    platform::UniqueFd longForm_;
    std::multimap<Clock::time_point, PendingReply> pending_;
};

// Random datagrams to both ports as fast as the socket takes them, a valid reply now and then.
void Flood(std::vector<SimulatedDevice> devices, long count, unsigned seed, std::FILE* log)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> length(0, 2000);
    std::vector<std::uint8_t> datagram;
    for (long i = 0; i < count; ++i) {
        const std::uint16_t port = i % 2 ? kShortFormPort : kLongFormPort;
        const SimulatedDevice* device = devices.empty() ? nullptr : &devices[static_cast<std::size_t>(i / 1000) % devices.size()];
        if (device != nullptr && i % 1000 == 999) {
            datagram = port == kShortFormPort ? ShortFormReply(*device) : LongFormReply(*device);
        } else {
            datagram.resize(length(random));
            std::generate(datagram.begin(), datagram.end(), [&] { return static_cast<std::uint8_t>(random()); });
        }
        const sockaddr_in destination = platform::BroadcastAddress(port);
        ::sendto(fd.Get(), datagram.data(), datagram.size(), 0, platform::AsSocketAddress(destination),
                 sizeof destination);
    }
    if (log != nullptr) {
        std::fprintf(log, "{\"flood\":%ld}\n", count);
        std::fflush(log);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // Goes when whoever started it goes, so a test that dies leaves no simulator behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication application(argc, argv);
    const std::optional<Options> options = ParseOptions(QCoreApplication::arguments());
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (const auto exposure = test::FindRealNetworkExposure()) {
        std::fprintf(stderr, "quillon-devsim: refusing to run on a real network (%s); "
                             "run it under tools/lan/lan-run\n", exposure->c_str());
        return 2;
    }
    QString error;
    auto devices = options->devicesFile.isEmpty() ? std::optional(GenerateDevices(options->count))
                                                  : LoadDevices(options->devicesFile, error);
    if (!devices) {
        std::fprintf(stderr, "quillon-devsim: %s\n", qPrintable(error));
        return 2;
    }
    std::FILE* log = nullptr;
    if (!options->logPath.isEmpty() && (log = std::fopen(options->logPath.toLocal8Bit().constData(), "a")) == nullptr) {
        std::perror("quillon-devsim: cannot open the log");
        return 2;
    }
    std::thread flood;
    if (options->flood > 0)
        flood = std::thread(Flood, *devices, options->flood, options->seed, log);
    Simulator simulator(std::move(*devices), *options, log);
    if (!simulator.Listen())
        return 1;
    simulator.Run();
}
