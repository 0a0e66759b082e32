#include "CalLineChart.h"

#include "Twips.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

CalLineChart::CalLineChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picCalLine"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xFF));
    setPalette(white);
}

QString CalLineChart::axisText(double value)
{
    return QString::number(value, 'f', 3);
}

bool CalLineChart::Draw(const QList<double> &x, const QList<double> &y, double a0, double a1)
{
    Clear();
    if (x.isEmpty() || x.size() != y.size())
        return false;
    const double xMax = *std::max_element(x.begin(), x.end());
    const double yMin = std::min(0.0, *std::min_element(y.begin(), y.end()));
    const double yMax = *std::max_element(y.begin(), y.end());
    // The X axis starts at 0: without a positive X, or without a Y span, there is nothing to scale.
    if (!std::isfinite(xMax) || !std::isfinite(yMin) || !std::isfinite(yMax) || !std::isfinite(a0) ||
        !std::isfinite(a1) || xMax <= 0 || yMax <= yMin)
        return false;
    m_x = x;
    m_y = y;
    m_a0 = a0;
    m_a1 = a1;
    m_xMax = xMax;
    m_yMin = yMin;
    m_yMax = yMax;
    m_valid = true;
    update();
    return true;
}

void CalLineChart::Clear()
{
    m_valid = false;
    m_x.clear();
    m_y.clear();
    update();
}

QStringList CalLineChart::endLabels() const
{
    if (!m_valid)
        return {};
    return {axisText(0), axisText(m_xMax), axisText(m_yMin), axisText(m_yMax)};
}

double CalLineChart::xAxisShare() const
{
    if (!m_valid || m_yMin >= 0)
        return 0;
    // A top below 0 would put the axis above the chart: it then runs along the top.
    return std::min(1.0, -m_yMin / (m_yMax - m_yMin));
}

QRectF CalLineChart::plotArea() const
{
    const QFontMetrics metrics = fontMetrics();
    const double left =
        std::max(metrics.horizontalAdvance(axisText(m_yMin)), metrics.horizontalAdvance(axisText(m_yMax))) +
        10;
    const double top = metrics.height() / 2.0 + 6;
    const double right = metrics.horizontalAdvance(axisText(m_xMax)) / 2.0 + 8;
    const double bottom = metrics.height() + 10;
    return QRectF(left, top, std::max(10.0, width() - left - right), std::max(10.0, height() - top - bottom));
}

QPointF CalLineChart::toPixel(const QRectF &area, double x, double y) const
{
    return QPointF(area.left() + x / m_xMax * area.width(),
                   area.bottom() - (y - m_yMin) / (m_yMax - m_yMin) * area.height());
}

void CalLineChart::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!m_valid)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF area = plotArea();
    const QFontMetrics metrics = fontMetrics();
    const QColor ink(0, 0, 0);
    painter.setPen(QPen(ink, 1));

    // Axes: Y at X = 0, X where Y = 0 lies.
    const double axisY = area.bottom() - xAxisShare() * area.height();
    painter.drawLine(QPointF(area.left(), area.top()), QPointF(area.left(), area.bottom()));
    painter.drawLine(QPointF(area.left(), axisY), QPointF(area.right(), axisY));

    // End labels.
    const QString x0 = axisText(0);
    const QString x1 = axisText(m_xMax);
    const QString y0 = axisText(m_yMin);
    const QString y1 = axisText(m_yMax);
    const double textY = std::min<double>(height() - 2, axisY + metrics.ascent() + 4);
    painter.drawText(QPointF(area.left() - metrics.horizontalAdvance(x0) / 2.0, textY), x0);
    painter.drawText(QPointF(area.right() - metrics.horizontalAdvance(x1) / 2.0, textY), x1);
    if (m_yMin < 0)
        painter.drawText(
            QPointF(area.left() - metrics.horizontalAdvance(y0) - 4, area.bottom() + metrics.ascent() / 2.0),
            y0);
    painter.drawText(
        QPointF(area.left() - metrics.horizontalAdvance(y1) - 4, area.top() + metrics.ascent() / 2.0), y1);

    // The points as crosses with arms of 50 twips.
    const double arm = Twips::toPixels(50, this);
    for (int i = 0; i < m_x.size(); ++i) {
        const QPointF p = toPixel(area, m_x[i], m_y[i]);
        painter.drawLine(QPointF(p.x() - arm, p.y()), QPointF(p.x() + arm, p.y()));
        painter.drawLine(QPointF(p.x(), p.y() - arm), QPointF(p.x(), p.y() + arm));
    }

    // The line from X = 0 to the largest X, kept inside the chart.
    painter.setClipRect(area.adjusted(-1, -1, 1, 1));
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(toPixel(area, 0, m_a0), toPixel(area, m_xMax, m_a0 + m_a1 * m_xMax));
}
