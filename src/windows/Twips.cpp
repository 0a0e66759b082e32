#include "Twips.h"

#include <QWidget>

#include <cmath>

namespace {
double dpiOf(const QWidget *widget)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return dpi > 0 ? dpi : 96;
}
} // namespace

namespace Twips {

int toPixels(int twips, const QWidget *widget)
{
    return int(std::lround(twips * dpiOf(widget) / 1440.0));
}

int fromPixels(int pixels, const QWidget *widget)
{
    return int(std::lround(pixels * 1440.0 / dpiOf(widget)));
}

} // namespace Twips
