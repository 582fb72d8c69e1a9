#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace quillon::app {

// Window layouts are given in dialog units of the window's font: a horizontal unit is a quarter
// of the font's average letter width, a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& dialogFont);

    int X(int units) const { return Scale(units, baseWidth_, 4); }
    int Y(int units) const { return Scale(units, baseHeight_, 8); }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }

    int BaseWidth() const { return baseWidth_; }
    int BaseHeight() const { return baseHeight_; }

private:
    // units * base / divisor, rounded to the nearest pixel.
    static int Scale(int units, int base, int divisor) { return (2 * units * base + divisor) / (2 * divisor); }

    int baseWidth_;
    int baseHeight_;
};

// The dialog font: 9-point "Courier", whatever the system substitutes for it.
QFont DialogFont();

} // namespace quillon::app
