// Fuzzes the delivery profile reader: a profile it takes is written back (toIni) and read again to the
// same text, its date and time forms hold each part once, and its CSV form of a dataset is made without
// a fault; one it refuses names the file.
#include "ExportProfile.h"
#include "FuzzFile.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace {

DeliveryRow sampleRow()
{
    DeliveryRow row;
    row.id = 1;
    row.meter = QStringLiteral("Lumora");
    row.serial = QStringLiteral("S1");
    row.day = QStringLiteral("2026-01-01");
    row.sampleId = QStringLiteral("W-1");
    row.importedUtc = QDateTime(QDate(2026, 5, 4), QTime(9, 0), Qt::UTC);
    for (int f = 0; f < DatasetFields::Count; ++f)
        row.fields[size_t(f)] = QStringLiteral("1");
    row.fields[DatasetFields::Time] = QStringLiteral("00:07:13");
    row.fields[DatasetFields::Value1] = QStringLiteral("0.37");
    return row;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = Fuzz::asFile(bytes);
    ExportProfile profile;
    QString error;
    if (!ExportProfile::read(path, &profile, &error)) {
        CHECK(error.contains(path));
        CHECK(profile.columns.isEmpty());
        return 0;
    }
    CHECK(!profile.columns.isEmpty());
    CHECK(profile.headers.size() == profile.columns.size());
    CHECK(profile.separator != profile.decimalMark);
    CHECK(profile.folder.isEmpty() || profile.folder.startsWith(QLatin1Char('/')));
    // Written back and read again: the same profile.
    const QString ini = profile.toIni();
    ExportProfile again;
    CHECK(ExportProfile::read(Fuzz::asFile(ini.toUtf8()), &again, &error));
    CHECK(again.toIni() == ini);
    // A date always holds its day, month and year.
    const QString date = QDate(2026, 11, 23).toString(profile.dateFormat);
    CHECK(date.contains(QLatin1String("23")) && date.contains(QLatin1String("26")));
    const QByteArray line = profile.format({sampleRow()});
    CHECK(line.endsWith(profile.lineEnd));
    return 0;
}
