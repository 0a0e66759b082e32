// Fuzzes the reader of measured-value files and the record walk over the raw dataset text: a file that
// reads is written and read again unchanged, the walk and the record-by-record cut agree, and the
// chart's series hold only datasets of the text.
#include "ChartSeries.h"
#include "CImportMVal.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "FuzzSupport.h"
#include "RecordWalk.h"
#include "SharedObjects.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace {

void checkWalk(const QString &raw, int fieldCount)
{
    RecordWalk walk(raw, fieldCount);
    QString rest = raw;
    QStringList fields(RecordWalk::kMaxFields);
    while (true) {
        const bool walked = walk.next();
        bool cut = rest.size() >= 2;
        if (cut) {
            rest.remove(0, 2);
            cut = CImportMVal::ExtractNextRecSet(fields, rest, qint16(fieldCount));
        }
        CHECK(walked == cut);
        if (!walked)
            break;
        for (int i = 0; i < fieldCount; ++i)
            CHECK(walk.field(i) == fields[i]);
    }
}

// The chart's series: every point is a dataset of the text, in time order within the value bounds.
void checkChart(const QString &raw, int fieldCount, int valueNumber)
{
    const ChartSeries chart = ChartSeries::build(raw, fieldCount, valueNumber);
    qint64 points = 0;
    for (const ChartSeriesData &series : chart.series()) {
        for (qsizetype i = 0; i < series.points.size(); ++i) {
            const ChartPoint &p = series.points[i];
            CHECK(p.record >= 0 && p.record < chart.datasetCount());
            CHECK(!chart.datasetFields(p.record).isEmpty());
            CHECK(p.value >= series.minValue && p.value <= series.maxValue);
            CHECK(i == 0 || series.points[i - 1].time <= p.time);
        }
        points += series.points.size();
    }
    CHECK(points + chart.unplacedCount() <= chart.datasetCount());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    static SharedObjects shared;
    const QString text = Cp1252::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    for (int fields : {7, 10, 14}) {
        checkWalk(text, fields);
        checkChart(text, fields, 1);
    }
    checkChart(text, 14, 2);

    MeasuredValues doc;
    if (!CMeasVal::ParseFileText(text, doc))
        return 0;
    checkWalk(doc.datasets, 14);
    QString written;
    if (!shared.measVal->BuildFileText(written, doc))
        return 0; // texts a file cannot hold are refused on writing
    MeasuredValues again;
    CHECK(CMeasVal::ParseFileText(written, again));
    CHECK(again.datasets == doc.datasets && again.meter == doc.meter &&
          again.serialNumber == doc.serialNumber && again.user == doc.user && again.date == doc.date);
    return 0;
}
