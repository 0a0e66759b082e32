// Fuzzes the archive's door for measured-value files: bytes are taken only when every dataset they
// yield is one a meter writes (and so found by a period query), and a refusal names its file in a
// message of bounded length, never the whole of a field.
#include "ArchiveImport.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "FuzzSupport.h"
#include "RecordWalk.h"
#include "SharedObjects.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    static SharedObjects shared;
    static const QDateTime at(QDate(2026, 3, 24), QTime(10, 0));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = QStringLiteral("in.csv");

    ImportRecord record;
    QString problem;
    if (!ImportRecord::fromFile(path, bytes, at, &record, &problem)) {
        CHECK(problem.startsWith(path));
        CHECK(problem.size() < 1000);
        return 0;
    }
    // Whatever the door takes is a measured-value file, kept byte for byte.
    MeasuredValues values;
    CHECK(CMeasVal::ParseFileText(Cp1252::decode(bytes), values));
    CHECK(record.raw == bytes && record.meter == values.meter && record.serial == values.serialNumber);
    QList<ArchivedDataset> rows;
    CHECK(record.datasets(*shared.device, &rows));
    const int layout = archiveLayout(*shared.device, record.meter);
    for (const ArchivedDataset &row : rows) {
        CHECK(!row.day.isEmpty());
        CHECK(row.line.size() <= RecordWalk::kMaxFields * (DatasetFields::kMaxChars + 1));
        for (int i = 0; i < layout; ++i) {
            const DatasetFields::Field field = DatasetFields::atPosition(layout, i);
            CHECK(DatasetFields::check(field, row.fields[size_t(field)]) == DatasetFields::Fault::None);
        }
    }
    // Every dataset line of the file became a row: none is left behind the walk's end.
    const QString text = Cp1252::decode(bytes);
    qsizetype lines = 0;
    for (const QStringView line : QStringView(text).split(QStringLiteral("\r\n")).mid(4))
        lines += line.isEmpty() ? 0 : 1;
    CHECK(lines == rows.size());
    return 0;
}
