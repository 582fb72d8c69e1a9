#include "app/DialogUnits.h"

#include <QFontMetrics>

namespace quillon::app {

namespace {

// The average advance of the 52 Latin letters, rounded half up.
int AverageLetterWidth(const QFontMetrics& metrics)
{
    const int total = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (total / 26 + 1) / 2;
}

} // namespace

DialogUnits::DialogUnits(const QFont& dialogFont)
{
    const QFontMetrics metrics(dialogFont);
    baseWidth_ = AverageLetterWidth(metrics);
    baseHeight_ = metrics.height();
}

QFont DialogFont()
{
    QFont font(QStringLiteral("Courier"), 9);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace quillon::app
