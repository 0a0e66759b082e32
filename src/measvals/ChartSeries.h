#pragma once
// A document's measured values as chart series: value over the meter's date and time, one series per
// program number and unit (in the order they first appear). Every dataset with a readable date, time
// and value is a point; the points refer back to their datasets, whose texts stay in the raw text.
#include <QList>
#include <QString>
#include <QStringView>

struct ChartPoint {
    enum Flag : quint8 { NotOk = 1, Below = 2, Above = 4 };
    qint64 time = 0;   // milliseconds since the epoch, the meter's date and time taken as local time
    double value = 0;  // the number; for "<" and ">" the range limit the meter gave
    qint32 record = 0; // the dataset's row in the document, from 0
    quint8 flags = 0;
};

struct ChartSeriesData {
    QString program; // empty for meters without program numbers
    QString unit;
    QList<ChartPoint> points; // by time; equal times keep the datasets' order
    double minValue = 0;
    double maxValue = 0;
};

class ChartSeries {
public:
    // The dataset fields a chart reads, as columns of the table layout.
    struct Columns {
        int date = 1;
        int time = 2;
        int program = -1; // none
        int value = 4;
        int unit = 5;
        int status = 6;
    };

    // Meters with the 14-column table have a second value.
    static bool hasSecondValue(int fieldCount) { return fieldCount == 14; }
    // Value 1 or 2 of a layout of fieldCount columns; false when the layout has no such value.
    static bool columnsFor(int fieldCount, int valueNumber, Columns &columns);

    // Walks the raw dataset text; an unknown layout or value gives no series.
    static ChartSeries build(const QString &rawText, int fieldCount, int valueNumber);

    const QList<ChartSeriesData> &series() const { return m_series; }
    qint64 datasetCount() const { return m_recordStarts.size(); }
    // Datasets with a value that could not be placed: no readable date or time, or no number.
    qint64 unplacedCount() const { return m_unplaced; }
    qint64 minTime() const { return m_minTime; }
    qint64 maxTime() const { return m_maxTime; }
    // The fields of a dataset, as the meter sent them (fewer than the layout's in a short line).
    QList<QStringView> datasetFields(qint32 record) const;
    int fieldCount() const { return m_fieldCount; }
    const Columns &columns() const { return m_columns; }

private:
    QString m_text;
    QList<qsizetype> m_recordStarts;
    QList<ChartSeriesData> m_series;
    Columns m_columns;
    int m_fieldCount = 0;
    qint64 m_unplaced = 0;
    qint64 m_minTime = 0;
    qint64 m_maxTime = 0;
};
