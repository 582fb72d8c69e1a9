#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace quillon::app {

// Keeps a window's controls where they were placed for its first size when it grows: a control
// anchored to its right (bottom) edge moves with that edge, one anchored to both edges stretches
// with them. At the first size every control stands exactly where it was placed.
class AnchoredControls {
public:
    enum Edge : unsigned { Left = 1, Top = 2, Right = 4, Bottom = 8 };

    // Takes the control's present geometry as its place at the first size.
    void Anchor(QWidget* control, unsigned edges);
    // Places every control for a window `grownBy` larger than its first size.
    void Place(QSize grownBy) const;

private:
    struct Anchored {
        QPointer<QWidget> control;
        QRect first;
        unsigned edges;
    };
    std::vector<Anchored> controls_;
};

} // namespace quillon::app
