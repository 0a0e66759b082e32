#pragma once
// Sizes of windows and columns are kept in twips (1/1440 inch): 15 twips a pixel at 96 dpi, scaled by
// the screen's logical dpi.
class QWidget;

namespace Twips {
int toPixels(int twips, const QWidget *widget);
int fromPixels(int pixels, const QWidget *widget);
// A window that has grown on screen (a panel opened) is moved so that its frame lies within its
// screen's available area, as far as the frame fits; its top-left corner never leaves the area.
void keepOnScreen(QWidget *window);
} // namespace Twips
