#include "ControlChartPlot.h"

#include "ErrorFrame.h"
#include "FileWrites.h"
#include "QcReport.h"
#include "TextTable.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

namespace {

// Margins of the plot inside the drawing, as shares of the font's height.
constexpr double kLeft = 6;
constexpr double kRight = 1;
constexpr double kTop = 2.5;
constexpr double kBottom = 5;

QRectF plotIn(const QRectF &target, double em)
{
    return target.adjusted(kLeft * em, kTop * em, -kRight * em, -kBottom * em);
}

// About five round steps over a span.
double niceStep(double span)
{
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double raw = span / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

} // namespace

ControlChartPlot::ControlChartPlot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("plotControlChart"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 220);
    setMouseTracking(false);
}

void ControlChartPlot::setChart(const QcChart *chart)
{
    m_chart = chart;
    resetView();
}

void ControlChartPlot::setRange(const Range &range)
{
    if (!(range.x1 > range.x0) || !(range.y1 > range.y0))
        return;
    m_range = range;
    update();
}

void ControlChartPlot::resetView()
{
    m_range = m_chart ? fullRange(*m_chart) : Range();
    update();
}

void ControlChartPlot::zoom(double factorX, double factorY, double atX, double atY)
{
    const double cx = m_range.x0 + atX * (m_range.x1 - m_range.x0);
    const double cy = m_range.y0 + atY * (m_range.y1 - m_range.y0);
    setRange({cx - (cx - m_range.x0) * factorX, cx + (m_range.x1 - cx) * factorX,
              cy - (cy - m_range.y0) * factorY, cy + (m_range.y1 - cy) * factorY});
}

void ControlChartPlot::pan(double shareX, double shareY)
{
    const double dx = shareX * (m_range.x1 - m_range.x0);
    const double dy = shareY * (m_range.y1 - m_range.y0);
    setRange({m_range.x0 + dx, m_range.x1 + dx, m_range.y0 + dy, m_range.y1 + dy});
}

ControlChartPlot::Range ControlChartPlot::fullRange(const QcChart &chart)
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    auto take = [&](double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    for (const QcPoint &p : chart.points)
        if (p.judged)
            take(p.value);
    for (const QcPeriod &p : chart.periods) {
        take(p.limit(-3));
        take(p.limit(3));
    }
    if (!std::isfinite(lo)) {
        lo = 0;
        hi = 1;
    }
    const double margin = hi > lo ? (hi - lo) * 0.08 : std::max(1.0, std::fabs(lo) * 0.1);
    return {-0.5, std::max(0.5, double(chart.points.size()) - 0.5), lo - margin, hi + margin};
}

namespace {

// What every step of a drawing shares: where it draws, the part of the chart shown and the letter size.
struct ChartCanvas {
    QPainter &painter;
    QRectF target;
    QRectF plot;
    const QcChart &chart;
    ControlChartPlot::Range range;
    double em;

    double X(double x) const { return plot.left() + (x - range.x0) / (range.x1 - range.x0) * plot.width(); }
    double Y(double y) const
    {
        return plot.bottom() - (y - range.y0) / (range.y1 - range.y0) * plot.height();
    }
};

void drawTitle(const ChartCanvas &c)
{
    c.painter.setPen(Qt::black);
    c.painter.drawText(QRectF(c.target.left(), c.target.top(), c.target.width(), kTop * c.em),
                       Qt::AlignCenter,
                       TextTable::text(TextTable::QcReportTitle).arg(c.chart.definition.name) +
                           (c.chart.unit.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(c.chart.unit)));
}

// The pre-period: the values its limits came from.
void drawPrePeriods(const ChartCanvas &c)
{
    for (const QcPeriod &p : c.chart.periods) {
        if (!p.prePeriod || p.last < p.first)
            continue;
        // Up to the last of them: a value archived later with an earlier date may lie among them.
        int end = p.first - 1;
        for (int i = p.first; i <= p.last; ++i)
            if (c.chart.points[i].inBasis)
                end = i;
        if (end < p.first)
            continue;
        c.painter.fillRect(
            QRectF(QPointF(c.X(p.first - 0.5), c.plot.top()), QPointF(c.X(end + 0.5), c.plot.bottom())),
            QColor(225, 235, 250));
    }
}

// The limits of each period over its values.
void drawPeriodLimits(const ChartCanvas &c)
{
    for (const QcPeriod &p : c.chart.periods) {
        if (p.last < p.first)
            continue;
        const double x0 = c.X(p.first - 0.5);
        const double x1 = c.X(p.last + 0.5);
        auto line = [&](double y, const QColor &colour, Qt::PenStyle style) {
            if (!std::isfinite(y))
                return;
            c.painter.setPen(QPen(colour, 1.5, style));
            c.painter.drawLine(QPointF(x0, c.Y(y)), QPointF(x1, c.Y(y)));
        };
        line(p.centre, QColor(0, 128, 0), Qt::SolidLine);
        for (const double k : {-2.0, 2.0})
            line(p.limit(k), QColor(230, 140, 0), Qt::DashLine);
        for (const double k : {-3.0, 3.0})
            line(p.limit(k), QColor(200, 0, 0), Qt::SolidLine);
        c.painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        c.painter.drawLine(QPointF(x0, c.plot.top()), QPointF(x0, c.plot.bottom()));
    }
}

// The values, joined in their order; the judged ones only.
void drawValueLine(const ChartCanvas &c, int first, int last)
{
    QPainterPath path;
    bool started = false;
    for (int i = first; i <= last; ++i) {
        const QcPoint &p = c.chart.points[i];
        if (!p.judged)
            continue;
        const QPointF at(c.X(i), c.Y(p.value));
        if (!started)
            path.moveTo(at);
        else
            path.lineTo(at);
        started = true;
    }
    c.painter.setPen(QPen(QColor(40, 70, 160), 1));
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawPath(path);
}

void drawValueMarkers(const ChartCanvas &c, int first, int last)
{
    // Beyond a few thousand values in view a marker per value is a smear: the line alone.
    const bool markers = last - first < 3000;
    const double r = std::max(2.0, c.em / 4);
    for (int i = first; i <= last; ++i) {
        const QcPoint &p = c.chart.points[i];
        if (!std::isfinite(p.value))
            continue;
        const QPointF at(c.X(i), c.Y(p.value));
        if (!p.judged) {
            c.painter.setPen(QPen(Qt::gray, 1));
            c.painter.setBrush(Qt::NoBrush);
            c.painter.drawRect(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r));
        } else if (p.flags) {
            c.painter.setPen(QPen(QColor(200, 0, 0), 1));
            c.painter.setBrush(QColor(200, 0, 0));
            c.painter.drawEllipse(at, r * 1.6, r * 1.6);
        } else if (markers) {
            c.painter.setPen(QPen(QColor(40, 70, 160), 1));
            c.painter.setBrush(QColor(40, 70, 160));
            c.painter.drawEllipse(at, r, r);
        }
        if (!p.notes.isEmpty() && markers) {
            c.painter.setPen(Qt::black);
            c.painter.drawText(QPointF(at.x() - r, at.y() - 2 * r), QStringLiteral("*"));
        }
    }
}

// Axes, ticks and their labels.
void drawAxes(const ChartCanvas &c)
{
    c.painter.setPen(Qt::black);
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawRect(c.plot);
    const double em = c.em;
    const double step = niceStep(c.range.y1 - c.range.y0);
    for (double y = std::ceil(c.range.y0 / step) * step; y <= c.range.y1; y += step) {
        c.painter.drawLine(QPointF(c.plot.left() - em / 3, c.Y(y)), QPointF(c.plot.left(), c.Y(y)));
        c.painter.drawText(
            QRectF(c.target.left(), c.Y(y) - em / 2, c.plot.left() - c.target.left() - em / 2, em),
            Qt::AlignRight | Qt::AlignVCenter, QcReport::number(std::fabs(y) < step / 1e6 ? 0 : y));
    }
    const double xStep = std::max(1.0, niceStep(c.range.x1 - c.range.x0));
    for (double x = std::ceil(c.range.x0 / xStep) * xStep; x <= c.range.x1; x += xStep) {
        const int i = int(x);
        if (i < 0 || i >= c.chart.points.size())
            continue;
        c.painter.drawLine(QPointF(c.X(x), c.plot.bottom()), QPointF(c.X(x), c.plot.bottom() + em / 3));
        const QDate &date = c.chart.points[i].date;
        const QString label =
            date.isValid() ? QLocale().toString(date, QLocale::ShortFormat) : QString::number(i + 1);
        c.painter.drawText(QRectF(c.X(x) - 4 * em, c.plot.bottom() + em / 2, 8 * em, em), Qt::AlignCenter,
                           label);
    }
}

// The legend under the axis, entry by entry from the left.
class ChartLegend {
public:
    explicit ChartLegend(const ChartCanvas &c) : m_c(c), m_x(c.plot.left()), m_y(c.plot.bottom() + 2.2 * c.em)
    {
    }

    void line(const QColor &colour, Qt::PenStyle style, const QString &text)
    {
        QPainter &painter = m_c.painter;
        const double em = m_c.em;
        place(3.4 * em + QFontMetricsF(painter.font()).horizontalAdvance(text));
        painter.setPen(QPen(colour, 2, style));
        painter.drawLine(QPointF(m_x, m_y + em / 2), QPointF(m_x + 2 * em, m_y + em / 2));
        painter.setPen(Qt::black);
        const double w = QFontMetricsF(painter.font()).horizontalAdvance(text);
        painter.drawText(QRectF(m_x + 2.4 * em, m_y, w + em, em), Qt::AlignLeft | Qt::AlignVCenter, text);
        m_x += 3.4 * em + w;
    }

    void shade(const QColor &colour, const QString &text)
    {
        QPainter &painter = m_c.painter;
        const double em = m_c.em;
        place(3.4 * em + QFontMetricsF(painter.font()).horizontalAdvance(text));
        painter.fillRect(QRectF(m_x, m_y, 2 * em, em), colour);
        m_x += 2.4 * em;
        painter.drawText(QRectF(m_x, m_y, 10 * em, em), Qt::AlignLeft | Qt::AlignVCenter, text);
    }

private:
    // An entry that would leave the drawing (a narrow page) starts a second line.
    void place(double width)
    {
        if (m_x > m_c.plot.left() && m_x + width > m_c.target.right()) {
            m_x = m_c.plot.left();
            m_y += 1.2 * m_c.em;
        }
    }

    const ChartCanvas &m_c;
    double m_x;
    double m_y;
};

void drawLegend(const ChartCanvas &c)
{
    ChartLegend legend(c);
    legend.line(QColor(40, 70, 160), Qt::SolidLine, TextTable::text(TextTable::QcValuesSeries));
    legend.line(QColor(0, 128, 0), Qt::SolidLine, TextTable::text(TextTable::QcCentre));
    legend.line(QColor(230, 140, 0), Qt::DashLine, TextTable::text(TextTable::QcWarningLimits));
    legend.line(QColor(200, 0, 0), Qt::SolidLine, TextTable::text(TextTable::QcActionLimits));
    legend.shade(QColor(225, 235, 250), TextTable::text(TextTable::QcPrePeriodShade));
}

} // namespace

void ControlChartPlot::draw(QPainter &painter, const QRectF &target, const QcChart &chart, const Range &range,
                            bool screen)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    // On paper the drawing takes the page: its letters follow the page's size, not the screen's.
    if (!screen)
        font.setPixelSize(std::max(8, int(target.height() / 60)));
    painter.setFont(font);
    const double em = QFontMetricsF(font).height();
    painter.fillRect(target, Qt::white);
    const ChartCanvas canvas{painter, target, plotIn(target, em), chart, range, em};

    drawTitle(canvas);
    painter.save();
    painter.setClipRect(canvas.plot);
    drawPrePeriods(canvas);
    drawPeriodLimits(canvas);
    const int first = std::max(0, int(std::floor(range.x0)));
    const int last = std::min(int(chart.points.size()) - 1, int(std::ceil(range.x1)));
    drawValueLine(canvas, first, last);
    drawValueMarkers(canvas, first, last);
    painter.restore();

    drawAxes(canvas);
    drawLegend(canvas);
    painter.restore();
}

QRectF ControlChartPlot::plotArea() const
{
    return plotIn(QRectF(rect()), QFontMetricsF(font()).height());
}

void ControlChartPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_chart) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    draw(painter, QRectF(rect()), *m_chart, m_range, true);
}

QPoint ControlChartPlot::positionOf(int index) const
{
    const QRectF plot = plotArea();
    const double value =
        m_chart && index >= 0 && index < m_chart->points.size() ? m_chart->points[index].value : 0;
    return QPointF(plot.left() + (index - m_range.x0) / (m_range.x1 - m_range.x0) * plot.width(),
                   plot.bottom() - (value - m_range.y0) / (m_range.y1 - m_range.y0) * plot.height())
        .toPoint();
}

QString ControlChartPlot::toolTipAt(const QPoint &pos) const
{
    if (!m_chart || m_chart->points.isEmpty())
        return QString();
    const QRectF plot = plotArea();
    const double x = m_range.x0 + (pos.x() - plot.left()) / plot.width() * (m_range.x1 - m_range.x0);
    const int i = int(std::lround(x));
    if (i < 0 || i >= m_chart->points.size())
        return QString();
    const QPoint at = positionOf(i);
    if ((at - pos).manhattanLength() > 12)
        return QString();
    const QcPoint &p = m_chart->points[i];
    QStringList lines = {p.when() + QStringLiteral("  ") + p.serial,
                         p.sampleId + QStringLiteral("  ") + p.text};
    if (!p.judged)
        lines.append(p.excluded);
    else if (p.period >= 0)
        lines.append(QStringLiteral("z = %1").arg(QcReport::number(p.z)));
    for (int r = 0; r < QcRules::Count; ++r)
        if (p.flags & QcRules::bit(QcRules::Rule(r)))
            lines.append(QStringLiteral("%1: %2").arg(r + 1).arg(QcRules::name(QcRules::Rule(r))));
    lines += p.notes;
    return lines.join(QLatin1Char('\n'));
}

bool ControlChartPlot::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void ControlChartPlot::wheelEvent(QWheelEvent *event)
{
    const QRectF plot = plotArea();
    const double atX = (event->position().x() - plot.left()) / plot.width();
    const double atY = (plot.bottom() - event->position().y()) / plot.height();
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    // The wheel zooms the time; with Ctrl, the values.
    if (event->modifiers() & Qt::ControlModifier)
        zoom(1, factor, atX, atY);
    else
        zoom(factor, 1, atX, atY);
    event->accept();
}

void ControlChartPlot::mousePressEvent(QMouseEvent *event)
{
    m_dragFrom = event->position().toPoint();
    m_dragRange = m_range;
}

void ControlChartPlot::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QRectF plot = plotArea();
    const QPoint d = event->position().toPoint() - m_dragFrom;
    m_range = m_dragRange;
    pan(-d.x() / plot.width(), d.y() / plot.height());
}

void ControlChartPlot::mouseDoubleClickEvent(QMouseEvent *)
{
    resetView();
}

void ControlChartPlot::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
        zoom(0.8, 0.8);
        break;
    case Qt::Key_Minus:
        zoom(1.25, 1.25);
        break;
    case Qt::Key_Left:
        pan(-0.1, 0);
        break;
    case Qt::Key_Right:
        pan(0.1, 0);
        break;
    case Qt::Key_Up:
        pan(0, 0.1);
        break;
    case Qt::Key_Down:
        pan(0, -0.1);
        break;
    case Qt::Key_Home:
        resetView();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

bool ControlChartPlot::saveImage(const QString &path, const QSize &size) const
{
    if (const FileWrites::Refusal refusal = FileWrites::checkTarget(path)) {
        ErrorFrame::report(TextTable::text(TextTable::ChartNotSaved).arg(path, refusal.reason));
        return false;
    }
    if (!m_chart)
        return false;
    // Drawn into memory first: neither the SVG generator nor the PNG writer can tell a failed write.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QRectF target(QPointF(0, 0), QSizeF(size));
    if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(target);
        svg.setTitle(m_chart->definition.name);
        QPainter painter(&svg);
        draw(painter, target, *m_chart, m_range, true);
        painter.end();
    } else {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        draw(painter, target, *m_chart, m_range, true);
        painter.end();
        image.save(&buffer, "PNG");
    }
    const QString failure = FileWrites::writeWhole(path, buffer.data());
    if (!failure.isEmpty()) {
        ErrorFrame::report(TextTable::text(TextTable::ChartNotSaved).arg(path, failure));
        return false;
    }
    return true;
}
