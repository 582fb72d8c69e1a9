#include "app/AnchoredControls.h"

namespace quillon::app {

namespace {

// Where an extent [start, start + length) of the first layout goes when its window grew by
// `grown`: it follows the far edge, stretches between both, or stays.
std::pair<int, int> Follow(int start, int length, int grown, bool nearEdge, bool farEdge)
{
    if (farEdge && nearEdge)
        return {start, length + grown};
    if (farEdge)
        return {start + grown, length};
    return {start, length};
}

} // namespace

void AnchoredControls::Anchor(QWidget* control, unsigned edges)
{
    controls_.push_back({control, control->geometry(), edges});
}

void AnchoredControls::Place(QSize grownBy) const
{
    for (const Anchored& anchored : controls_) {
        if (anchored.control.isNull())
            continue;
        const QRect& first = anchored.first;
        const auto [x, width] = Follow(first.x(), first.width(), grownBy.width(), anchored.edges & Left, anchored.edges & Right);
        const auto [y, height] = Follow(first.y(), first.height(), grownBy.height(), anchored.edges & Top, anchored.edges & Bottom);
        anchored.control->setGeometry(x, y, width, height);
    }
}

} // namespace quillon::app
