#pragma once
// Sizes of windows and columns are kept in twips (1/1440 inch): 15 twips a pixel at 96 dpi, scaled by
// the screen's logical dpi.
class QWidget;

namespace Twips {
int toPixels(int twips, const QWidget *widget);
int fromPixels(int pixels, const QWidget *widget);
} // namespace Twips
