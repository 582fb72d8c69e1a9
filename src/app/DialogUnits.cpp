#include "app/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

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
    // "Courier" alone resolves to whichever Courier the system prefers: with Ghostscript's fonts
    // installed that is Nimbus Mono PS, whose taller lines make every dialog unit, and so the
    // window, taller. Liberation Mono (a dependency of the package) has Courier's widths.
    QFont font(QStringLiteral("Courier"), 9);
    font.setFamilies(QStringList{QStringLiteral("Liberation Mono"), QStringLiteral("Courier")});
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace quillon::app
