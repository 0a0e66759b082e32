#include "ChartSeries.h"

#include "DateText.h"
#include "NumberText.h"
#include "RecordWalk.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// Local time is slow to compute per dataset; datasets come day by day, so the day's start is kept and
// the exact conversion runs only on days whose offset from UTC changes.
class LocalClock {
public:
    qint64 msecs(const QDate &date, const QTime &time)
    {
        if (date != m_date) {
            m_date = date;
            const QDateTime start = date.startOfDay();
            const QDateTime end(date, QTime(23, 59, 59));
            m_dayStart = start.toMSecsSinceEpoch();
            m_steady = start.offsetFromUtc() == end.offsetFromUtc() && start.time() == QTime(0, 0);
        }
        if (m_steady)
            return m_dayStart + time.msecsSinceStartOfDay();
        return QDateTime(date, time).toMSecsSinceEpoch();
    }

private:
    QDate m_date;
    qint64 m_dayStart = 0;
    bool m_steady = false;
};

// Datasets come day by day: a date read once serves the datasets after it.
class DayReader {
public:
    const QDate &of(QStringView dateText)
    {
        if (dateText != m_text || m_text.isNull()) {
            m_text = dateText;
            if (!DateText::readDate(dateText, m_date))
                m_date = QDate();
        }
        return m_date;
    }

private:
    QStringView m_text;
    QDate m_date;
};

// An out-of-range value comes as the range limit with its sign, or with the sign as its status; the
// sign is taken off the value.
quint8 outOfRangeFlags(QStringView &valueText, QStringView status)
{
    const QChar sign = valueText.front() == u'<' || valueText.front() == u'>' ? valueText.front()
                       : status == u"<" || status == u">"                     ? status.front()
                                                                              : QChar();
    if (valueText.front() == sign)
        valueText = valueText.sliced(1);
    if (sign == u'<')
        return ChartPoint::Below;
    if (sign == u'>')
        return ChartPoint::Above;
    if (status.compare(u"OK", Qt::CaseInsensitive) != 0)
        return ChartPoint::NotOk;
    return 0;
}

// The series of a program and unit, started with its first value when new.
class SeriesIndex {
public:
    int of(QList<ChartSeriesData> &series, QStringView program, QStringView unit, double firstValue)
    {
        // A few series are found faster by looking at each than through the key.
        int index = -1;
        if (series.size() <= 16) {
            for (int i = 0; i < series.size() && index < 0; ++i)
                if (series[i].program == program && series[i].unit == unit)
                    index = i;
        } else {
            m_key.clear();
            m_key.append(program).append(u'\n').append(unit);
            index = m_seriesOf.value(m_key, -1);
        }
        if (index >= 0)
            return index;
        index = int(series.size());
        ChartSeriesData data;
        data.program = program.toString();
        data.unit = unit.toString();
        data.minValue = data.maxValue = firstValue;
        series.append(data);
        m_key.clear();
        m_key.append(program).append(u'\n').append(unit);
        m_seriesOf.insert(m_key, index);
        return index;
    }

private:
    QHash<QString, int> m_seriesOf; // program + '\n' + unit
    QString m_key;
};

} // namespace

bool ChartSeries::columnsFor(int fieldCount, int valueNumber, Columns &columns)
{
    columns = Columns();
    if (fieldCount == 14 && (valueNumber == 1 || valueNumber == 2)) {
        columns.program = 4;
        columns.value = valueNumber == 1 ? 8 : 11;
        columns.unit = columns.value + 1;
        columns.status = columns.value + 2;
        return true;
    }
    return (fieldCount == 7 || fieldCount == 10) && valueNumber == 1;
}

ChartSeries ChartSeries::build(const QString &rawText, int fieldCount, int valueNumber)
{
    ChartSeries chart;
    chart.m_text = rawText;
    chart.m_fieldCount = fieldCount;
    if (!columnsFor(fieldCount, valueNumber, chart.m_columns))
        return chart;
    const Columns &c = chart.m_columns;
    RecordWalk walk(chart.m_text, fieldCount);
    SeriesIndex seriesIndex;
    LocalClock clock;
    DayReader days;
    chart.m_minTime = std::numeric_limits<qint64>::max();
    chart.m_maxTime = std::numeric_limits<qint64>::min();
    while (walk.next()) {
        const auto record = qint32(chart.m_recordStarts.size());
        chart.m_recordStarts.append(walk.field(0).data() - chart.m_text.constData());
        QStringView valueText = walk.field(c.value).trimmed();
        if (valueText.isEmpty())
            continue;
        ChartPoint point;
        point.record = record;
        point.flags = outOfRangeFlags(valueText, walk.field(c.status).trimmed());
        bool isNumber = false;
        point.value = NumberText::Val(valueText.toString(), &isNumber);
        const QDate &date = days.of(walk.field(c.date));
        QTime time;
        if (!isNumber || !std::isfinite(point.value) || !date.isValid() ||
            !DateText::readTime(walk.field(c.time), time, true)) {
            ++chart.m_unplaced;
            continue;
        }
        point.time = clock.msecs(date, time);
        chart.m_minTime = std::min(chart.m_minTime, point.time);
        chart.m_maxTime = std::max(chart.m_maxTime, point.time);

        const QStringView program = c.program >= 0 ? walk.field(c.program).trimmed() : QStringView();
        ChartSeriesData &data =
            chart
                .m_series[seriesIndex.of(chart.m_series, program, walk.field(c.unit).trimmed(), point.value)];
        data.points.append(point);
        data.minValue = std::min(data.minValue, point.value);
        data.maxValue = std::max(data.maxValue, point.value);
    }
    for (ChartSeriesData &data : chart.m_series) {
        auto byTime = [](const ChartPoint &a, const ChartPoint &b) { return a.time < b.time; };
        if (!std::is_sorted(data.points.begin(), data.points.end(), byTime))
            std::stable_sort(data.points.begin(), data.points.end(), byTime);
    }
    if (chart.m_series.isEmpty())
        chart.m_minTime = chart.m_maxTime = 0;
    return chart;
}

QList<QStringView> ChartSeries::datasetFields(qint32 record) const
{
    if (record < 0 || record >= m_recordStarts.size())
        return {};
    QStringView rest = QStringView(m_text).sliced(m_recordStarts[record]);
    std::array<QStringView, RecordWalk::kMaxFields> fields{};
    if (!RecordWalk::extract(rest, fields.data(), m_fieldCount))
        return {};
    return QList<QStringView>(fields.begin(), fields.begin() + m_fieldCount);
}
