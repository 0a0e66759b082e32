#include "ValueChart.h"

#include "ErrorFrame.h"
#include "FileWrites.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRubberBand>
#include <QScatterSeries>
#include <QScreen>
#include <QSplitter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Distinct on white paper and for most colour-blind readers; repeats after eight series.
const QColor kColours[] = {QColor(0x00, 0x72, 0xB2), QColor(0xD5, 0x5E, 0x00), QColor(0x00, 0x9E, 0x73),
                           QColor(0xCC, 0x79, 0xA7), QColor(0x56, 0xB4, 0xE9), QColor(0xE6, 0x9F, 0x00),
                           QColor(0x33, 0x33, 0x33), QColor(0x99, 0x44, 0x55)};

QColor colourOf(int index)
{
    return kColours[index % int(std::size(kColours))];
}

QString seriesName(const ChartSeriesData &series)
{
    const QString unit = series.unit.isEmpty() ? TextTable::text(TextTable::ChartNoUnit) : series.unit;
    if (series.program.isEmpty())
        return unit;
    return TextTable::text(TextTable::ChartSeriesName).arg(series.program, unit);
}

// Tick labels that tell apart what the view spans: days, or the time over the day.
// dateForm: how the table writes the datasets' dates (empty: the locale's short form).
QString timeFormat(double spanMs, const QString &dateForm)
{
    const QString date = dateForm.isEmpty() ? QLocale().dateFormat(QLocale::ShortFormat) : dateForm;
    if (spanMs > 4.0 * 86400000.0)
        return date;
    return (spanMs > 600000.0 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss")) +
           QStringLiteral("'<br>'") + date;
}

// 1, 2 or 5 times a power of ten, at least raw.
double roundStep(double raw)
{
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double mantissa = raw / power;
    return power * (mantissa <= 1 ? 1 : mantissa <= 2 ? 2 : mantissa <= 5 ? 5 : 10);
}

constexpr int kPickPixels = 6;
// A chart of many series shows none well: the first few are drawn, the list offers the rest.
constexpr int kSeriesShownAtFirst = 8;
constexpr int kLegendEntries = 12;

// The points of one series handed to the chart for a view: one point beyond each edge, so the line
// runs on out of the view; where more points than pixels are in view, the lowest and highest of each
// pixel column, in their order, so the line covers the same pixels as with every point.
class PointsInView {
public:
    QList<QPointF> line;
    QList<QPointF> marks[4]; // ok, not OK, below, above

    PointsInView(const QList<ChartPoint> &points, const ValueChart::Range &range, int pixels)
        : m_points(points), m_x0(range.x0), m_span(std::max(range.x1 - range.x0, 1.0)), m_pixels(pixels)
    {
        auto before = [](const ChartPoint &p, double t) { return double(p.time) < t; };
        auto after = [](double t, const ChartPoint &p) { return t < double(p.time); };
        auto first = std::lower_bound(points.begin(), points.end(), range.x0, before);
        auto last = std::upper_bound(points.begin(), points.end(), range.x1, after);
        const qsizetype lo = std::max<qsizetype>(0, (first - points.begin()) - 1);
        const qsizetype hi = std::min<qsizetype>(points.size(), (last - points.begin()) + 1);
        const qsizetype n = hi - lo;
        m_everyMarker = n * 4 <= qsizetype(pixels);
        if (n <= 2 * qsizetype(pixels))
            takeEvery(lo, hi);
        else
            takeColumnExtremes(lo, hi);
    }

private:
    int column(const ChartPoint &p) const
    {
        return std::clamp(int((double(p.time) - m_x0) / m_span * m_pixels), -1, m_pixels);
    }
    static int kindOf(const ChartPoint &p)
    {
        return (p.flags & ChartPoint::Below)   ? 2
               : (p.flags & ChartPoint::Above) ? 3
               : (p.flags & ChartPoint::NotOk) ? 1
                                               : 0;
    }
    static QPointF at(const ChartPoint &p) { return QPointF(double(p.time), p.value); }
    // A value beyond the meter's range is its limit, not a measurement: marked, never joined.
    static bool measured(const ChartPoint &p) { return !(p.flags & (ChartPoint::Below | ChartPoint::Above)); }

    // Markers of plain points only where they stand apart; the others once per pixel column and
    // kind, so no dataset of another status goes unseen.
    void mark(const ChartPoint &p, int col)
    {
        const int kind = kindOf(p);
        if (m_everyMarker || (kind != 0 && m_markedColumn[kind] != col)) {
            m_markedColumn[kind] = col;
            marks[kind].append(at(p));
        }
    }

    void takeEvery(qsizetype lo, qsizetype hi)
    {
        line.reserve(hi - lo);
        for (qsizetype i = lo; i < hi; ++i) {
            if (measured(m_points[i]))
                line.append(at(m_points[i]));
            mark(m_points[i], column(m_points[i]));
        }
    }

    void takeColumnExtremes(qsizetype lo, qsizetype hi)
    {
        line.reserve(2 * m_pixels + 8);
        qsizetype i = lo;
        while (i < hi) {
            const int col = column(m_points[i]);
            qsizetype low = -1, high = -1, end = i;
            while (end < hi && column(m_points[end]) == col) {
                const ChartPoint &p = m_points[end];
                if (measured(p)) {
                    if (low < 0 || p.value < m_points[low].value)
                        low = end;
                    if (high < 0 || p.value > m_points[high].value)
                        high = end;
                }
                mark(p, col);
                ++end;
            }
            if (low >= 0)
                line.append(at(m_points[std::min(low, high)]));
            if (low != high)
                line.append(at(m_points[std::max(low, high)]));
            i = end;
        }
    }

    const QList<ChartPoint> &m_points;
    double m_x0;
    double m_span;
    int m_pixels;
    bool m_everyMarker = false;
    int m_markedColumn[4] = {-2, -2, -2, -2};
};

} // namespace

// Qt Charts objects for one set of series on one QChart, and the points handed to them for a view:
// only as many as the plot's pixels can show (the lowest and highest of each pixel column),
// and a marker per pixel column and kind where points crowd. The data keeps every point.
class ValueChart::Drawing {
public:
    struct Drawn {
        int index = 0; // in the data
        QLineSeries *line = nullptr;
        QScatterSeries *ok = nullptr;
        QScatterSeries *notOk = nullptr;
        QScatterSeries *below = nullptr;
        QScatterSeries *above = nullptr;
    };

    explicit Drawing(QChart &chart) : m_chart(chart)
    {
        m_axisX = new QDateTimeAxis;
        m_axisY = new QValueAxis;
        // Ticks at round values wherever the view stands.
        m_axisY->setTickType(QValueAxis::TicksDynamic);
        m_axisY->setTickAnchor(0);
        m_chart.addAxis(m_axisX, Qt::AlignBottom);
        m_chart.addAxis(m_axisY, Qt::AlignLeft);
        m_chart.legend()->setAlignment(Qt::AlignBottom);
        // Numbers on the axis as the user writes them (decimal comma where that is usual).
        m_chart.setLocalizeNumbers(true);
    }

    void build(const ChartSeries &data, const QList<bool> &shown)
    {
        m_chart.removeAllSeries();
        m_drawn.clear();
        m_data = &data;
        for (int i = 0; i < data.series().size(); ++i) {
            if (i >= shown.size() || !shown[i])
                continue;
            const QColor colour = colourOf(i);
            Drawn drawn;
            drawn.index = i;
            drawn.line = new QLineSeries;
            drawn.line->setName(seriesName(data.series()[i]));
            drawn.line->setPen(QPen(colour, 1));
            auto marker = [&](QScatterSeries::MarkerShape shape, bool filled, const QString &label) {
                auto *series = new QScatterSeries;
                series->setMarkerShape(shape);
                series->setMarkerSize(shape == QScatterSeries::MarkerShapeCircle ? 7 : 10);
                series->setPen(QPen(colour, 1.5));
                series->setBrush(filled ? QBrush(colour) : QBrush(Qt::white));
                if (!label.isEmpty()) {
                    series->setPointLabelsFormat(label);
                    series->setPointLabelsColor(colour);
                    series->setPointLabelsVisible(true);
                    series->setPointLabelsClipping(true);
                }
                return series;
            };
            drawn.ok = marker(QScatterSeries::MarkerShapeCircle, true, QString());
            drawn.notOk = marker(QScatterSeries::MarkerShapeCircle, false, QString());
            drawn.below = marker(QScatterSeries::MarkerShapeTriangle, false, QStringLiteral("<"));
            drawn.above = marker(QScatterSeries::MarkerShapeTriangle, false, QStringLiteral(">"));
            for (QXYSeries *series :
                 {static_cast<QXYSeries *>(drawn.line), static_cast<QXYSeries *>(drawn.ok),
                  static_cast<QXYSeries *>(drawn.notOk), static_cast<QXYSeries *>(drawn.below),
                  static_cast<QXYSeries *>(drawn.above)}) {
                m_chart.addSeries(series);
                series->attachAxis(m_axisX);
                series->attachAxis(m_axisY);
                if (series != drawn.line)
                    for (QLegendMarker *legend : m_chart.legend()->markers(series))
                        legend->setVisible(false);
            }
            m_drawn.append(drawn);
        }
        // The list beside the chart names every series with its colour; a long legend only crowds.
        m_chart.legend()->setVisible(m_drawn.size() <= kLegendEntries);
    }

    // The axis writes dates as the table does: "07.03.26" or "3/7/2026", as the meter sent them.
    void setDateForm(const QString &form) { m_dateForm = form; }

    // The value axis names the value it shows, with the unit when the series drawn share one.
    void setValueTitle(const QString &title) { m_axisY->setTitleText(title); }

    // Without a point to show, the chart says so instead of showing empty axes around today's date.
    void showEmpty(bool empty)
    {
        if (!m_noValues) {
            m_noValues = new QGraphicsSimpleTextItem(&m_chart);
            QFont font = m_chart.titleFont();
            font.setPointSizeF(font.pointSizeF() * 1.5);
            m_noValues->setFont(font);
        }
        m_noValues->setText(TextTable::text(TextTable::ChartNoValues));
        m_noValues->setVisible(empty);
        m_axisX->setVisible(!empty);
        m_axisY->setVisible(!empty);
        const QRectF area = m_chart.plotArea();
        m_noValues->setPos(area.center() - m_noValues->boundingRect().center());
    }
    bool showsEmpty() const { return m_noValues && m_noValues->isVisible(); }

    void draw(const Range &range, int pixels)
    {
        // Every legend entry whole or no legend: a name cut to "Pr..." names nothing, and the list
        // beside the chart names each series with its colour.
        const QFontMetrics legendMetrics(m_chart.legend()->font());
        int legendWidth = 0;
        for (const Drawn &drawn : m_drawn)
            legendWidth += legendMetrics.horizontalAdvance(drawn.line->name()) + 3 * legendMetrics.height();
        m_chart.legend()->setVisible(m_drawn.size() <= kLegendEntries &&
                                     legendWidth <= int(m_chart.size().width()) - 2 * legendMetrics.height());
        pixels = std::max(pixels, 16);
        // As many ticks as their labels leave room for; the values with the digits their step needs.
        const QString format = timeFormat(range.x1 - range.x0, m_dateForm);
        const QDateTime from = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(range.x0)));
        int labelWidth = 0;
        for (const QString &part : from.toString(format).split(QStringLiteral("<br>")))
            labelWidth =
                std::max(labelWidth, QFontMetrics(m_axisX->labelsFont()).horizontalAdvance(part) + 24);
        const int ticks = std::clamp(pixels / std::max(labelWidth, 1) + 1, 2, 10);
        m_axisX->setTickCount(ticks);
        m_axisX->setFormat(format);
        m_axisX->setRange(from, QDateTime::fromMSecsSinceEpoch(qint64(std::ceil(range.x1))));
        const double step = roundStep((range.y1 - range.y0) / 5);
        const int decimals = std::clamp(-int(std::floor(std::log10(step) + 1e-9)), 0, 8);
        m_axisY->setTickInterval(step);
        m_axisY->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QLatin1Char('f'));
        m_axisY->setRange(range.y0, range.y1);
        for (const Drawn &drawn : m_drawn)
            drawSeries(drawn, m_data->series()[drawn.index].points, range, pixels);
    }

    qsizetype pointCount() const
    {
        qsizetype count = 0;
        for (const Drawn &drawn : m_drawn)
            for (QXYSeries *series :
                 {static_cast<QXYSeries *>(drawn.line), static_cast<QXYSeries *>(drawn.ok),
                  static_cast<QXYSeries *>(drawn.notOk), static_cast<QXYSeries *>(drawn.below),
                  static_cast<QXYSeries *>(drawn.above)})
                count += series->count();
        return count;
    }

private:
    static void drawSeries(const Drawn &drawn, const QList<ChartPoint> &points, const Range &range,
                           int pixels)
    {
        const PointsInView view(points, range, pixels);
        drawn.line->replace(view.line);
        drawn.ok->replace(view.marks[0]);
        drawn.notOk->replace(view.marks[1]);
        drawn.below->replace(view.marks[2]);
        drawn.above->replace(view.marks[3]);
    }

    QChart &m_chart;
    QGraphicsSimpleTextItem *m_noValues = nullptr;
    QString m_dateForm;
    QDateTimeAxis *m_axisX;
    QValueAxis *m_axisY;
    const ChartSeries *m_data = nullptr;
    QList<Drawn> m_drawn;
};

// The chart view's mouse and keys: wheel zooms the time (with Shift the values), dragging pans,
// +/- zoom, the arrows pan, Home shows everything; hovering lists the datasets under the pointer.
class ValueChart::View : public QChartView {
public:
    View(QChart *chart, ValueChart &owner) : QChartView(chart), m_owner(owner)
    {
        setObjectName(QStringLiteral("chvValues"));
        setRenderHint(QPainter::Antialiasing);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setRubberBand(QChartView::NoRubberBand);
        // Every redraw changes the axes' labels; partial updates left old labels standing beside new.
        setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QChartView::resizeEvent(event);
        // The points and ticks are chosen for the plot's width.
        m_owner.redraw();
    }

    void wheelEvent(QWheelEvent *event) override
    {
        const double steps = event->angleDelta().y() / 120.0;
        if (steps == 0) {
            event->ignore();
            return;
        }
        const double factor = std::pow(0.8, steps);
        const QPointF share = shareAt(event->position());
        if (event->modifiers() & Qt::ShiftModifier)
            m_owner.zoom(1.0, factor, share.x(), share.y());
        else
            m_owner.zoom(factor, 1.0, share.x(), share.y());
        event->accept();
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::RightButton) {
            m_bandFrom = event->position().toPoint();
            if (!m_band)
                m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
            m_band->setGeometry(QRect(m_bandFrom, QSize()));
            m_band->show();
            event->accept();
            return;
        }
        if (event->button() == Qt::LeftButton) {
            m_dragFrom = m_pressedAt = event->position();
            setCursor(Qt::ClosedHandCursor);
            event->accept();
            return;
        }
        QChartView::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if ((event->buttons() & Qt::RightButton) && m_band) {
            m_band->setGeometry(QRect(m_bandFrom, event->position().toPoint()).normalized());
            event->accept();
            return;
        }
        if (event->buttons() & Qt::LeftButton) {
            const QRectF plot = m_owner.plotArea();
            if (plot.width() > 0 && plot.height() > 0) {
                const QPointF moved = event->position() - m_dragFrom;
                m_dragFrom = event->position();
                m_owner.pan(-moved.x() / plot.width(), moved.y() / plot.height());
            }
            event->accept();
            return;
        }
        const QString tip = m_owner.toolTipAt(event->position().toPoint());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPosition().toPoint(), tip, this);
        QChartView::mouseMoveEvent(event);
    }

    bool viewportEvent(QEvent *event) override
    {
        // When the pointer rests, the graphics view asks its items for a tooltip and, finding none,
        // hides the list of datasets shown while moving: the list stays while the pointer rests.
        if (event->type() == QEvent::ToolTip) {
            const auto *help = static_cast<QHelpEvent *>(event);
            const QString tip = m_owner.toolTipAt(help->pos());
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), tip, this);
            return true;
        }
        return QChartView::viewportEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::RightButton && m_band) {
            // The rectangle drawn with the right button fills the view; a bare click changes nothing.
            m_band->hide();
            const QRect rect = QRect(m_bandFrom, event->position().toPoint()).normalized();
            if (rect.width() > 4 && rect.height() > 4)
                m_owner.zoomTo(rect);
            event->accept();
            return;
        }
        unsetCursor();
        // A click that did not move the view picks the dataset under the pointer.
        if (event->button() == Qt::LeftButton && (event->position() - m_pressedAt).manhattanLength() < 3)
            m_owner.pickAt(event->position().toPoint());
        QChartView::mouseReleaseEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            m_owner.zoom(0.8, event->modifiers() & Qt::ShiftModifier ? 0.8 : 1.0);
            break;
        case Qt::Key_Minus:
            m_owner.zoom(1.25, event->modifiers() & Qt::ShiftModifier ? 1.25 : 1.0);
            break;
        case Qt::Key_Left:
            m_owner.pan(-0.1, 0);
            break;
        case Qt::Key_Right:
            m_owner.pan(0.1, 0);
            break;
        case Qt::Key_Up:
            m_owner.pan(0, 0.1);
            break;
        case Qt::Key_Down:
            m_owner.pan(0, -0.1);
            break;
        case Qt::Key_Home:
        case Qt::Key_0:
            m_owner.resetView();
            break;
        default:
            QChartView::keyPressEvent(event);
            return;
        }
        event->accept();
    }

private:
    // A point of the view as shares of the plot area, from the left and from the bottom.
    QPointF shareAt(const QPointF &pos) const
    {
        const QRectF plot = m_owner.plotArea();
        if (plot.width() <= 0 || plot.height() <= 0)
            return QPointF(0.5, 0.5);
        return QPointF(std::clamp((pos.x() - plot.left()) / plot.width(), 0.0, 1.0),
                       std::clamp((plot.bottom() - pos.y()) / plot.height(), 0.0, 1.0));
    }

    ValueChart &m_owner;
    QPointF m_dragFrom;
    QPointF m_pressedAt;
    QPoint m_bandFrom;
    QRubberBand *m_band = nullptr;
};

ValueChart::ValueChart(UserDialogs &dialogs, QWidget *parent)
    : QWidget(parent), m_dialogs(dialogs), m_chart(new QChart), m_view(new View(m_chart, *this)),
      m_drawing(new Drawing(*m_chart)), m_cboValue(new QComboBox(this)), m_lstSeries(new QListWidget(this)),
      m_cmdReset(new QPushButton(this)), m_cmdSave(new QPushButton(this)), m_lblSummary(new QLabel(this))
{
    setObjectName(QStringLiteral("ValueChart"));
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_view->setParent(this);
    m_cboValue->setObjectName(QStringLiteral("cboChartValue"));
    m_lstSeries->setObjectName(QStringLiteral("lstChartSeries"));
    m_cmdReset->setObjectName(QStringLiteral("cmdChartReset"));
    m_cmdSave->setObjectName(QStringLiteral("cmdChartSave"));
    m_lblSummary->setObjectName(QStringLiteral("lblChartSummary"));
    m_lblSummary->setWordWrap(true);
    m_lstSeries->setMinimumWidth(90);

    // The controls take one row above the chart and the series list a narrow splitter pane beside
    // it, so that in a document window of normal size most of the room is left for the plot.
    auto *controls = new QHBoxLayout;
    controls->addWidget(m_cboValue);
    controls->addWidget(m_cmdReset);
    controls->addWidget(m_cmdSave);
    controls->addStretch(1);
    auto *seriesPane = new QWidget(this);
    auto *seriesLayout = new QVBoxLayout(seriesPane);
    seriesLayout->setContentsMargins(0, 0, 0, 0);
    seriesLayout->addWidget(new QLabel(TextTable::text(TextTable::ChartSeriesCaption), seriesPane));
    seriesLayout->addWidget(m_lstSeries, 1);
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    split->addWidget(seriesPane);
    split->addWidget(m_view);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    // Wide enough for a typical series name in the chosen language, with its check box and colour.
    const QString typical =
        TextTable::text(TextTable::ChartSeriesName).arg(QStringLiteral("999"), QStringLiteral("mg/l PO4"));
    split->setSizes({std::max(190, m_lstSeries->fontMetrics().horizontalAdvance(typical) + 64), 1000});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(split, 1);
    layout->addWidget(m_lblSummary);

    m_cboValue->addItem(TextTable::text(TextTable::ColumnValue1), 1);
    m_cboValue->addItem(TextTable::text(TextTable::ColumnValue2), 2);
    m_cmdReset->setText(TextTable::text(TextTable::ChartReset));
    m_cmdSave->setText(TextTable::text(TextTable::ChartSave));
    m_view->setToolTip(QString());
    m_view->setWhatsThis(TextTable::text(TextTable::ChartControls));
    m_cmdReset->setToolTip(TextTable::text(TextTable::ChartControls));

    connect(m_cboValue, &QComboBox::activated, this,
            [this](int index) { setValueNumber(m_cboValue->itemData(index).toInt()); });
    connect(m_lstSeries, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        setSeriesShown(m_lstSeries->row(item), item->checkState() == Qt::Checked);
    });
    connect(m_cmdReset, &QPushButton::clicked, this, &ValueChart::resetView);
    connect(m_cmdSave, &QPushButton::clicked, this, &ValueChart::saveAs);
    rebuild(false);
}

QChartView *ValueChart::view() const
{
    return m_view;
}

ValueChart::~ValueChart()
{
    delete m_drawing;
}

void ValueChart::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LocaleChange)
        redraw();
}

void ValueChart::setDatasets(const QString &rawText, int fieldCount)
{
    m_rawText = rawText;
    m_fieldCount = fieldCount;
    if (!ChartSeries::hasSecondValue(fieldCount))
        m_valueNumber = 1;
    rebuild(false);
}

void ValueChart::setTitle(const QString &title, const QString &proposedFileName)
{
    m_title = title;
    m_proposal = proposedFileName;
    m_chart->setTitle(title);
}

void ValueChart::setValueNumber(int valueNumber)
{
    if (valueNumber == m_valueNumber || (valueNumber == 2 && !ChartSeries::hasSecondValue(m_fieldCount)))
        return;
    m_valueNumber = valueNumber;
    rebuild(false);
}

void ValueChart::rebuild(bool keepRange)
{
    m_data = ChartSeries::build(m_rawText, m_fieldCount, m_valueNumber);
    m_shown = QList<bool>(m_data.series().size(), false);
    for (int i = 0; i < std::min<int>(kSeriesShownAtFirst, int(m_shown.size())); ++i)
        m_shown[i] = true;
    m_cboValue->setCurrentIndex(m_valueNumber - 1);
    m_cboValue->setEnabled(ChartSeries::hasSecondValue(m_fieldCount));
    fillSeriesList();
    m_drawing->build(m_data, m_shown);
    m_drawing->setDateForm(dateForm());
    updateValueTitle();
    updateSummary();
    if (keepRange)
        redraw();
    else
        resetView();
}

void ValueChart::fillSeriesList()
{
    const QSignalBlocker block(m_lstSeries);
    m_lstSeries->clear();
    for (int i = 0; i < m_data.series().size(); ++i) {
        auto *item = new QListWidgetItem(seriesName(m_data.series()[i]), m_lstSeries);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(m_shown[i] ? Qt::Checked : Qt::Unchecked);
        QPixmap swatch(12, 12);
        swatch.fill(colourOf(i));
        item->setIcon(QIcon(swatch));
    }
}

void ValueChart::updateSummary()
{
    qsizetype points = 0, notOk = 0, outOfRange = 0;
    for (const ChartSeriesData &series : m_data.series()) {
        points += series.points.size();
        for (const ChartPoint &p : series.points) {
            notOk += (p.flags & ChartPoint::NotOk) ? 1 : 0;
            outOfRange += (p.flags & (ChartPoint::Below | ChartPoint::Above)) ? 1 : 0;
        }
    }
    using TextTable::count;
    QString summary =
        TextTable::text(TextTable::ChartSummary)
            .arg(count(points, TextTable::CountPointOne, TextTable::CountPointMany),
                 count(m_data.series().size(), TextTable::CountSeriesOne, TextTable::CountSeriesMany),
                 QLocale().toString(qint64(notOk)), QLocale().toString(qint64(outOfRange)));
    if (m_data.unplacedCount() > 0)
        summary += QLatin1Char(' ') +
                   TextTable::text(TextTable::ChartUnplaced).arg(QLocale().toString(m_data.unplacedCount()));
    m_lblSummary->setText(summary);
}

void ValueChart::setSeriesShown(int index, bool shown)
{
    if (index < 0 || index >= m_shown.size() || m_shown[index] == shown)
        return;
    m_shown[index] = shown;
    if (QListWidgetItem *item = m_lstSeries->item(index)) {
        const QSignalBlocker block(m_lstSeries);
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    }
    m_drawing->build(m_data, m_shown);
    updateValueTitle();
    redraw();
}

QString ValueChart::dateForm() const
{
    // The first placed dataset's date, as the table shows it.
    for (const ChartSeriesData &series : m_data.series())
        for (const ChartPoint &p : series.points) {
            const QList<QStringView> fields = m_data.datasetFields(p.record);
            const QStringView date = fields.value(m_data.columns().date).trimmed();
            if (date.contains(u'.'))
                return date.size() > 8 ? QStringLiteral("dd.MM.yyyy") : QStringLiteral("dd.MM.yy");
            if (date.contains(u'/'))
                return date.size() > 8 ? QStringLiteral("M/d/yyyy") : QStringLiteral("M/d/yy");
            return QString();
        }
    return QString();
}

void ValueChart::updateValueTitle()
{
    QStringList units;
    for (int i = 0; i < m_data.series().size(); ++i)
        if (m_shown.value(i) && !units.contains(m_data.series()[i].unit))
            units.append(m_data.series()[i].unit);
    QString title = TextTable::text(m_valueNumber == 2 ? TextTable::ColumnValue2 : TextTable::ColumnValue1);
    if (units.size() == 1 && !units.first().isEmpty())
        title += QStringLiteral(" [") + units.first() + u']';
    m_drawing->setValueTitle(title);
}

bool ValueChart::isSeriesShown(int index) const
{
    return index >= 0 && index < m_shown.size() && m_shown[index];
}

ValueChart::Range ValueChart::fullRange() const
{
    Range range;
    bool any = false;
    double y0 = 0, y1 = 0;
    qint64 x0 = 0, x1 = 0;
    for (int i = 0; i < m_data.series().size(); ++i) {
        const ChartSeriesData &series = m_data.series()[i];
        if (!m_shown[i] || series.points.isEmpty())
            continue;
        const qint64 first = series.points.front().time, last = series.points.back().time;
        x0 = any ? std::min(x0, first) : first;
        x1 = any ? std::max(x1, last) : last;
        y0 = any ? std::min(y0, series.minValue) : series.minValue;
        y1 = any ? std::max(y1, series.maxValue) : series.maxValue;
        any = true;
    }
    if (!any) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return {double(now - 86400000), double(now), 0, 1};
    }
    // A margin so the outermost markers are whole; a single moment or value gets a span around it.
    const double spanX = x1 > x0 ? double(x1 - x0) : 3600000.0;
    const double spanY = y1 > y0 ? y1 - y0 : std::max(std::abs(y0) * 0.1, 1.0);
    range.x0 = double(x0) - spanX * 0.03;
    range.x1 = double(x1) + spanX * 0.03;
    range.y0 = y0 - spanY * 0.06;
    range.y1 = y1 + spanY * 0.06;
    return range;
}

void ValueChart::resetView()
{
    setRange(fullRange());
}

void ValueChart::setRange(const Range &range)
{
    // A view narrower than a millisecond or a value span at rounding noise shows nothing more.
    if (!(range.x1 - range.x0 >= 1.0) || !(range.y1 - range.y0 > 1e-12 * std::max(1.0, std::abs(range.y0))) ||
        !std::isfinite(range.y0) || !std::isfinite(range.y1))
        return;
    m_range = range;
    redraw();
}

void ValueChart::zoom(double factorX, double factorY, double atX, double atY)
{
    Range r = m_range;
    const double cx = r.x0 + (r.x1 - r.x0) * atX, cy = r.y0 + (r.y1 - r.y0) * atY;
    r.x0 = cx - (cx - r.x0) * factorX;
    r.x1 = cx + (r.x1 - cx) * factorX;
    r.y0 = cy - (cy - r.y0) * factorY;
    r.y1 = cy + (r.y1 - cy) * factorY;
    setRange(r);
}

void ValueChart::zoomTo(const QRect &viewRect)
{
    const QRectF plot = plotArea();
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    const Range &r = m_range;
    auto timeAt = [&](double x) { return r.x0 + (x - plot.left()) / plot.width() * (r.x1 - r.x0); };
    auto valueAt = [&](double y) { return r.y0 + (plot.bottom() - y) / plot.height() * (r.y1 - r.y0); };
    setRange({timeAt(viewRect.left()), timeAt(viewRect.right() + 1), valueAt(viewRect.bottom() + 1),
              valueAt(viewRect.top())});
}

void ValueChart::pan(double shareX, double shareY)
{
    Range r = m_range;
    const double dx = (r.x1 - r.x0) * shareX, dy = (r.y1 - r.y0) * shareY;
    r.x0 += dx;
    r.x1 += dx;
    r.y0 += dy;
    r.y1 += dy;
    setRange(r);
}

QRectF ValueChart::plotArea() const
{
    // The plot area in the view's coordinates.
    const QRectF area = m_chart->plotArea();
    return m_view->mapFromScene(m_chart->mapToScene(area)).boundingRect();
}

void ValueChart::redraw()
{
    const int pixels =
        int(m_chart->plotArea().width() > 0 ? m_chart->plotArea().width() : m_view->width() - 80);
    m_drawing->draw(m_range, pixels);
    bool any = false;
    for (int i = 0; i < m_data.series().size() && !any; ++i)
        any = m_shown.value(i) && !m_data.series()[i].points.isEmpty();
    m_drawing->showEmpty(!any);
}

bool ValueChart::showsNoValues() const
{
    return m_drawing->showsEmpty();
}

QPoint ValueChart::positionOf(double time, double value) const
{
    const QRectF plot = plotArea();
    const Range &r = m_range;
    return QPointF(plot.left() + (time - r.x0) / (r.x1 - r.x0) * plot.width(),
                   plot.bottom() - (value - r.y0) / (r.y1 - r.y0) * plot.height())
        .toPoint();
}

qsizetype ValueChart::drawnPointCount() const
{
    return m_drawing->pointCount();
}

QList<ValueChart::Hit> ValueChart::hitsAt(const QPoint &viewPos) const
{
    QList<Hit> hits;
    const QRectF plot = plotArea();
    if (!plot.adjusted(-kPickPixels, -kPickPixels, kPickPixels, kPickPixels).contains(viewPos) ||
        plot.width() <= 0 || plot.height() <= 0)
        return hits;
    const Range &r = m_range;
    const double msPerPixel = (r.x1 - r.x0) / plot.width();
    const double t0 = r.x0 + (viewPos.x() - kPickPixels - plot.left()) * msPerPixel;
    const double t1 = r.x0 + (viewPos.x() + kPickPixels - plot.left()) * msPerPixel;
    // Every dataset of the data, drawn or thinned out of the drawing.
    for (int i = 0; i < m_data.series().size(); ++i) {
        if (!m_shown[i])
            continue;
        const QList<ChartPoint> &points = m_data.series()[i].points;
        auto it = std::lower_bound(points.begin(), points.end(), t0,
                                   [](const ChartPoint &p, double t) { return double(p.time) < t; });
        for (; it != points.end() && double(it->time) <= t1; ++it) {
            const QPoint at = positionOf(double(it->time), it->value);
            if (std::abs(at.y() - viewPos.y()) <= kPickPixels)
                hits.append({i, it->record, std::hypot(at.x() - viewPos.x(), at.y() - viewPos.y())});
        }
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit &a, const Hit &b) { return a.distance < b.distance; });
    return hits;
}

QString ValueChart::toolTipAt(const QPoint &viewPos) const
{
    const QList<Hit> hits = hitsAt(viewPos);
    const ChartSeries::Columns &c = m_data.columns();
    auto field = [](const QList<QStringView> &fields, int i) {
        return i >= 0 && i < fields.size() ? fields[i].toString() : QString();
    };
    const qsizetype kMaxLines = 12;
    QStringList lines;
    for (qsizetype i = 0; i < std::min(hits.size(), kMaxLines); ++i) {
        const QList<QStringView> f = m_data.datasetFields(hits[i].record);
        lines.append(TextTable::text(TextTable::ChartTipLine)
                         .arg(field(f, 0), field(f, c.date), field(f, c.time), field(f, c.value),
                              field(f, c.unit), seriesName(m_data.series()[hits[i].series]),
                              field(f, c.status)));
    }
    if (hits.size() > kMaxLines)
        lines.append(TextTable::text(TextTable::ChartTipMore)
                         .arg(QLocale().toString(qint64(hits.size() - kMaxLines))));
    return lines.join(QLatin1Char('\n'));
}

void ValueChart::pickAt(const QPoint &viewPos)
{
    const QList<Hit> hits = hitsAt(viewPos);
    if (!hits.isEmpty())
        emit datasetPicked(hits.first().record);
}

void ValueChart::render(QPainter &painter, const QRectF &target) const
{
    // A chart of its own, so the one on screen keeps its size and points. It is laid out at the
    // screen's resolution and scaled onto the target, so a printer's page gets text of the same size
    // in points as the screen shows.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double screenDpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    const QPaintDevice *device = painter.device();
    const double scale = device && device->logicalDpiX() > 0 ? device->logicalDpiX() / screenDpi : 1.0;
    const QRectF logical(QPointF(0, 0), target.size() / scale);
    QGraphicsScene scene;
    auto *chart = new QChart;
    scene.addItem(chart);
    chart->setTitle(m_title);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setGeometry(logical);
    Drawing drawing(*chart);
    drawing.build(m_data, m_shown);
    drawing.draw(m_range, int(logical.width()));
    chart->layout()->activate();
    drawing.draw(m_range, int(chart->plotArea().width()));
    scene.setSceneRect(logical);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, target, logical);
    painter.restore();
}

bool ValueChart::saveImage(const QString &path, const QSize &size) const
{
    if (const FileWrites::Refusal refusal = FileWrites::checkTarget(path)) {
        ErrorFrame::report(TextTable::text(TextTable::ChartNotSaved).arg(path, refusal.reason));
        return false;
    }
    // Drawn into memory first: neither the SVG generator nor the PNG writer can tell a failed write.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QRectF target(QPointF(0, 0), QSizeF(size));
    if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(target);
        svg.setTitle(m_title);
        QPainter painter(&svg);
        render(painter, target);
        painter.end();
    } else {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        render(painter, target);
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

void ValueChart::saveAs()
{
    const QString filter =
        UserDialogs::filter(TextTable::text(TextTable::ChartPngFilter), QStringLiteral("*.png")) +
        QStringLiteral(";;") +
        UserDialogs::filter(TextTable::text(TextTable::ChartSvgFilter), QStringLiteral("*.svg"));
    const QString path =
        m_dialogs.saveFileName(this, TextTable::text(TextTable::SaveAsCaption), m_proposal, filter);
    if (path.isEmpty())
        return;
    saveImage(path, m_view->size().expandedTo(QSize(640, 400)));
}
