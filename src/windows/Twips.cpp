#include "Twips.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>
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

void keepOnScreen(QWidget *window)
{
    if (!window || !window->isWindow() || !window->isVisible() || !window->screen())
        return;
    const QRect area = window->screen()->availableGeometry();
    // The frame at the new size: the window manager's margins around the window's new geometry.
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
    const QRect wanted = inner.marginsAdded(margins);
    const QPoint at(std::max(area.left(), std::min(wanted.left(), area.right() + 1 - wanted.width())),
                    std::max(area.top(), std::min(wanted.top(), area.bottom() + 1 - wanted.height())));
    if (at != frame.topLeft())
        window->move(at);
}

} // namespace Twips
