#pragma once
// The chart of a document's measured values: value over date and time, one series per program and
// unit, the series to show picked in a list, zoom and pan by mouse and keyboard, saving as PNG or SVG.
// The same drawing serves the screen, image files and a printed page.
#include "ChartSeries.h"

#include <QList>
#include <QWidget>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPainter;
class QPushButton;
class UserDialogs;

class ValueChart : public QWidget {
    Q_OBJECT
public:
    // What the chart shows: the time span and the value span.
    struct Range {
        double x0 = 0; // milliseconds since the epoch
        double x1 = 0;
        double y0 = 0;
        double y1 = 0;
        bool operator==(const Range &) const = default;
    };

    ValueChart(UserDialogs &dialogs, QWidget *parent = nullptr);
    ~ValueChart() override;

    // A document's raw dataset text and its table's column count; the series are built again, the
    // chosen value and the view are kept where they still apply.
    void setDatasets(const QString &rawText, int fieldCount);
    // The heading drawn above the chart, and the file name the Save dialog proposes.
    void setTitle(const QString &title, const QString &proposedFileName);
    // Value 1 or Value 2 (meters with a second value only).
    void setValueNumber(int valueNumber);
    int valueNumber() const { return m_valueNumber; }
    const ChartSeries &data() const { return m_data; }
    void setSeriesShown(int index, bool shown);
    bool isSeriesShown(int index) const;

    Range range() const { return m_range; }
    void setRange(const Range &range);
    // Every shown point in view.
    void resetView();
    // Zooms by factor (below 1 closer) around a point given as shares of the plot area (0..1 from the
    // left and from the bottom); an axis with factor 1 stays.
    void zoom(double factorX, double factorY, double atX = 0.5, double atY = 0.5);
    // Shows what lies in a rectangle of the chart view.
    void zoomTo(const QRect &viewRect);
    // Moves the view by shares of its width and height.
    void pan(double shareX, double shareY);

    // Draws the chart as it is in view onto any painter (screen, image, printed page).
    void render(QPainter &painter, const QRectF &target) const;
    // PNG or SVG by the file's extension, written whole or not at all; false with the reason reported.
    bool saveImage(const QString &path, const QSize &size) const;
    // Asks for a file name and saves the chart in the size it has on screen.
    void saveAs();

    // The datasets drawn near a point of the chart view, one line each (empty when there are none).
    QString toolTipAt(const QPoint &viewPos) const;
    // Tells which dataset lies nearest to a point of the chart view (nothing when none is near).
    void pickAt(const QPoint &viewPos);
    // Where a time and value lie in the chart view.
    QPoint positionOf(double time, double value) const;
    // Points handed to the chart for drawing at present (for the benchmarks).
    qsizetype drawnPointCount() const;
    QChartView *view() const;
    // Whether it says "No values" (nothing to draw) instead of showing axes.
    bool showsNoValues() const;

signals:
    // A dataset was clicked; its row in the document, from 0.
    void datasetPicked(int record);

protected:
    void changeEvent(QEvent *event) override;

private:
    class Drawing;
    class View;
    friend class View;

    // A dataset near a point of the view: its series, its row, how far from the point in pixels.
    struct Hit {
        int series;
        qint32 record;
        double distance;
    };
    QList<Hit> hitsAt(const QPoint &viewPos) const;
    void rebuild(bool keepRange);
    void fillSeriesList();
    void updateSummary();
    void updateValueTitle();
    QString dateForm() const;
    void redraw();
    Range fullRange() const;
    QRectF plotArea() const;

    UserDialogs &m_dialogs;
    QString m_rawText;
    int m_fieldCount = 0;
    int m_valueNumber = 1;
    QString m_title;
    QString m_proposal;
    ChartSeries m_data;
    QList<bool> m_shown;
    Range m_range;
    QChart *m_chart;
    View *m_view;
    Drawing *m_drawing;
    QComboBox *m_cboValue;
    QListWidget *m_lstSeries;
    QPushButton *m_cmdReset;
    QPushButton *m_cmdSave;
    QLabel *m_lblSummary;
};
