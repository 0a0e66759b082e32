#pragma once
// The drawing of a control chart: values in their order, the centre line, warning and action limits
// of each period, the pre-period shaded, values that broke a test marked. One drawing function for
// the screen, image files and the printed report; on screen it zooms and pans like the chart of the
// values (wheel, drag, keys, double-click for everything) and explains a value in its tool-tip.
#include "QcChart.h"

#include <QWidget>

class ControlChartPlot : public QWidget {
    Q_OBJECT
public:
    // The part shown: x in value positions (0 the first value), y in the chart's unit.
    struct Range {
        double x0 = 0;
        double x1 = 1;
        double y0 = 0;
        double y1 = 1;
    };

    explicit ControlChartPlot(QWidget *parent = nullptr);

    void setChart(const QcChart *chart); // not owned; null shows nothing
    Range range() const { return m_range; }
    void setRange(const Range &range);
    void resetView();
    // Zooms around a point given as shares of the plot (0..1 from the left and from the bottom).
    void zoom(double factorX, double factorY, double atX = 0.5, double atY = 0.5);
    void pan(double shareX, double shareY);
    // The tool-tip of the value nearest to a point of the widget (empty when none is near).
    QString toolTipAt(const QPoint &pos) const;
    QPoint positionOf(int index) const;

    static Range fullRange(const QcChart &chart);
    static void draw(QPainter &painter, const QRectF &target, const QcChart &chart, const Range &range,
                     bool screen);
    // PNG or SVG by the extension, written whole or not at all; false with the reason reported.
    bool saveImage(const QString &path, const QSize &size) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRectF plotArea() const;

    const QcChart *m_chart = nullptr;
    Range m_range;
    QPoint m_dragFrom;
    Range m_dragRange;
};
