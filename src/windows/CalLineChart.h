#pragma once
// The chart of the program editor: the value pairs as crosses and the computed calibration line, with
// axes and their end values.
#include <QList>
#include <QString>
#include <QWidget>

class CalLineChart : public QWidget {
    Q_OBJECT
public:
    explicit CalLineChart(QWidget *parent = nullptr);

    // False (nothing drawn) when the points give no area to draw in.
    bool Draw(const QList<double> &x, const QList<double> &y, double a0, double a1);
    void Clear();

    bool hasLine() const { return m_valid; }
    // The end labels: X start, X end, Y bottom, Y top.
    QStringList endLabels() const;
    // Where the X axis runs, as the share of the height from the bottom (0 unless a Y is negative).
    double xAxisShare() const;

    // "0.000" with a point as decimal separator.
    static QString axisText(double value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRectF plotArea() const;
    QPointF toPixel(const QRectF &area, double x, double y) const;

    QList<double> m_x;
    QList<double> m_y;
    double m_a0 = 0;
    double m_a1 = 0;
    double m_xMax = 0;
    double m_yMin = 0;
    double m_yMax = 0;
    bool m_valid = false;
};
