#include "support/ReceiverFixture.h"

namespace quillon::test {

ReceiverBench::ReceiverBench()
    : listLock("LIST LOCK", lockDirectory.path().toStdString())
{
    platform::SetMessageBoxPoster([this](const platform::MessageBoxRequest& box, std::function<void()> closed) {
        std::scoped_lock lock(boxesMutex_);
        boxes_.push_back(QStringLiteral("[%1] %2").arg(box.caption, box.text));
        if (closed)
            closers_.push_back(std::move(closed));
    });
}

ReceiverBench::~ReceiverBench()
{
    platform::SetMessageBoxPoster({});
}

std::vector<QString> ReceiverBench::PostedBoxes()
{
    std::scoped_lock lock(boxesMutex_);
    return boxes_;
}

void ReceiverBench::CloseBoxes()
{
    std::vector<std::function<void()>> closers;
    {
        std::scoped_lock lock(boxesMutex_);
        closers.swap(closers_);
    }
    for (auto& closed : closers)
        closed();
}

void EntryBench::EnterLongForm(wire::Bytes datagram, unsigned card, wire::Ipv4 source)
{
    const discovery::ReceivedDatagram batch[] = {{datagram, {card, source}}};
    discovery::EnterLongFormDatagrams(shared, batch, stop);
}

void EntryBench::EnterShortForm(wire::Bytes datagram, unsigned card, wire::Ipv4 source)
{
    const discovery::ReceivedDatagram batch[] = {{datagram, {card, source}}};
    discovery::EnterShortFormDatagrams(shared, batch, stop);
}

} // namespace quillon::test
