#include "app/FrameOnTop.h"

#include <QEvent>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QStyleOptionFrame>

#include <cmath>

namespace quillon::app {

namespace {

class FrameOverlay : public QWidget {
public:
    explicit FrameOverlay(QFrame& frame) : QWidget(&frame), frame_(frame)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(frame.rect());
        frame.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &frame_ && event->type() == QEvent::Resize)
            setGeometry(frame_.rect());
        else if (watched == &frame_ && event->type() == QEvent::ChildAdded)
            raise(); // a child added later must not cover the border either
        return false;
    }

    void paintEvent(QPaintEvent*) override
    {
        const qreal ratio = devicePixelRatioF();
        if (ratio == 1)
            return; // unscaled, no child reaches the border

        // The border as the style draws it unscaled, pixel for pixel; its strips are laid along
        // the frame's outermost whole device pixels, stretched lengthwise and widened by the
        // scale's whole part only, so that the lines stay sharp.
        QImage border(frame_.size(), QImage::Format_ARGB32_Premultiplied);
        border.fill(Qt::transparent);
        {
            QStyleOptionFrame option = FrameOption();
            QPainter imagePainter(&border);
            frame_.style()->drawControl(QStyle::CE_ShapedFrame, &option, &imagePainter, &frame_);
        }
        QPainter painter(this);
        const QTransform toDevice = painter.deviceTransform();
        const QPointF topLeft = toDevice.map(QPointF(0, 0));
        const QPointF bottomRight = toDevice.map(QPointF(width(), height()));
        const QRect device(QPoint(int(std::ceil(topLeft.x())), int(std::ceil(topLeft.y()))),
                           QPoint(int(std::floor(bottomRight.x())) - 1, int(std::floor(bottomRight.y())) - 1));
        painter.setWorldTransform(toDevice.inverted()); // from here on in device pixels

        const int line = std::min({frame_.frameWidth(), width() / 2, height() / 2});
        const int thick = line * std::max(1, int(ratio)); // the line's width in device pixels
        const int w = width();
        const int h = height();
        const int dw = device.width();
        const int dh = device.height();
        const auto strip = [&](QRect to, QRect from) { painter.drawImage(to.translated(device.topLeft()), border, from); };
        strip({0, 0, thick, thick}, {0, 0, line, line});
        strip({thick, 0, dw - 2 * thick, thick}, {line, 0, w - 2 * line, line});
        strip({dw - thick, 0, thick, thick}, {w - line, 0, line, line});
        strip({0, thick, thick, dh - 2 * thick}, {0, line, line, h - 2 * line});
        strip({dw - thick, thick, thick, dh - 2 * thick}, {w - line, line, line, h - 2 * line});
        strip({0, dh - thick, thick, thick}, {0, h - line, line, line});
        strip({thick, dh - thick, dw - 2 * thick, thick}, {line, h - line, w - 2 * line, line});
        strip({dw - thick, dh - thick, thick, thick}, {w - line, h - line, line, line});
    }

private:
    // What QFrame::drawFrame draws, from the frame's own state, so that both borders match.
    QStyleOptionFrame FrameOption() const
    {
        QStyleOptionFrame option;
        option.initFrom(&frame_);
        option.rect = frame_.frameRect();
        option.frameShape = frame_.frameShape();
        const bool ownLineWidths = option.frameShape == QFrame::Box || option.frameShape == QFrame::HLine ||
                                   option.frameShape == QFrame::VLine || option.frameShape == QFrame::StyledPanel ||
                                   option.frameShape == QFrame::Panel;
        option.lineWidth = ownLineWidths ? frame_.lineWidth() : frame_.frameWidth();
        option.midLineWidth = ownLineWidths ? frame_.midLineWidth() : 0;
        if (frame_.frameShadow() == QFrame::Sunken)
            option.state |= QStyle::State_Sunken;
        else if (frame_.frameShadow() == QFrame::Raised)
            option.state |= QStyle::State_Raised;
        return option;
    }

    QFrame& frame_;
};

} // namespace

void KeepFrameOnTop(QFrame& frame)
{
    (new FrameOverlay(frame))->raise();
}

} // namespace quillon::app
