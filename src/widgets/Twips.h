#pragma once

#include <QRect>
#include <QSize>

// Design positions are kept in twips: 15 twips make one pixel at 96 dpi, scaled by the
// screen's logical dpi so that the windows keep their designed proportions.
namespace Twips {

double pixelsPerTwip();
int toPixels(int twips);
QSize size(int width, int height);
QRect rect(int left, int top, int width, int height);

} // namespace Twips
