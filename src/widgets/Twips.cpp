#include "widgets/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace Twips {

double pixelsPerTwip()
{
    double dpi = 96.0;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInch();
    return dpi / 96.0 / 15.0;
}

int toPixels(int twips)
{
    return static_cast<int>(std::lround(twips * pixelsPerTwip()));
}

QSize size(int width, int height)
{
    return {toPixels(width), toPixels(height)};
}

QRect rect(int left, int top, int width, int height)
{
    return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
}

} // namespace Twips
