#include "ArchiveImport.h"

#include "CCommunication.h"
#include "CDevice.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "DateText.h"
#include "ProgramVersion.h"
#include "RecordWalk.h"

#include <QCryptographicHash>
#include <QUuid>

QString ImportRecord::sourceName(Source source)
{
    return source == FromFile ? QStringLiteral("file") : QStringLiteral("meter");
}

bool ImportRecord::sourceFromName(const QString &name, Source *source)
{
    if (name == QLatin1String("meter"))
        *source = FromMeter;
    else if (name == QLatin1String("file"))
        *source = FromFile;
    else
        return false;
    return true;
}

void ImportRecord::stamp(const QDateTime &at)
{
    uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    importedUtc = at.toUTC();
    utcOffset = at.toLocalTime().offsetFromUtc();
    account = SystemAccount::current();
    programVersion = ProgramVersion::text();
    rawSha256 = QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha256).toHex());
}

ImportRecord ImportRecord::fromMeter(const QString &answer, const QDateTime &at)
{
    ImportRecord record;
    record.source = FromMeter;
    record.raw = Cp1252::encode(answer);
    record.documentDate = at;
    record.stamp(at);
    return record;
}

ImportRecord ImportRecord::fromMeter(const QString &answer, const QDateTime &at, const CDevice &device,
                                     const CCommunication &communication, const QString &login)
{
    ImportRecord record = fromMeter(answer, at);
    record.meter = device.DeviceName();
    record.serial = device.SerialNumber();
    const int firmware = device.firmwareVersion();
    record.firmware =
        QStringLiteral("%1.%2").arg(firmware / 100).arg(firmware % 100, 2, 10, QLatin1Char('0'));
    record.variant = device.variantFlag() ? QStringLiteral("1") : QStringLiteral("0");
    record.port = QStringLiteral("COM %1").arg(communication.COMPort());
    record.baud = communication.Baudrate().toInt();
    record.login = login;
    return record;
}

bool ImportRecord::fromFile(const QString &path, const QByteArray &bytes, const QDateTime &at,
                            ImportRecord *record)
{
    MeasuredValues values;
    if (!CMeasVal::ParseFileText(Cp1252::decode(bytes), values))
        return false;
    ImportRecord r;
    r.source = FromFile;
    r.raw = bytes;
    r.fileName = path;
    r.meter = values.meter;
    r.serial = values.serialNumber;
    r.documentDate = values.date;
    r.stamp(at);
    *record = std::move(r);
    return true;
}

bool ImportRecord::datasetText(QString *text) const
{
    if (source == FromMeter) {
        *text = Cp1252::decode(raw);
        return true;
    }
    MeasuredValues values;
    if (!CMeasVal::ParseFileText(Cp1252::decode(raw), values))
        return false;
    *text = std::move(values.datasets);
    return true;
}

namespace {

// yyyy-MM-dd, as QDate::toString(Qt::ISODate) writes it, without its formatting machinery: an archive
// of a million datasets formats a million days.
QString isoDay(QDate date)
{
    const int year = date.year();
    const int month = date.month();
    const int day = date.day();
    if (year < 0 || year > 9999)
        return date.toString(Qt::ISODate);
    const char16_t digits[10] = {char16_t(u'0' + year / 1000),
                                 char16_t(u'0' + year / 100 % 10),
                                 char16_t(u'0' + year / 10 % 10),
                                 char16_t(u'0' + year % 10),
                                 u'-',
                                 char16_t(u'0' + month / 10),
                                 char16_t(u'0' + month % 10),
                                 u'-',
                                 char16_t(u'0' + day / 10),
                                 char16_t(u'0' + day % 10)};
    return QString::fromUtf16(digits, 10);
}

} // namespace

int archiveLayout(const CDevice &device, const QString &meter)
{
    // An empty name would mean "the meter online now": an archived import always names its meter.
    return int(device.TableLayout(meter.isEmpty() ? QStringLiteral("-") : meter).size());
}

bool ImportRecord::datasets(const CDevice &device, QList<ArchivedDataset> *rows) const
{
    rows->clear();
    QString text;
    if (!datasetText(&text))
        return false;
    const int layout = archiveLayout(device, meter);
    RecordWalk walk(text, layout);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    while (walk.next()) {
        ArchivedDataset row;
        row.line = walk.line().toString();
        row.fields = DatasetFields::fromRecord(layout, [&walk](int i) { return walk.field(i); });
        QDate date;
        if (DateText::readDate(row.fields[DatasetFields::Date], date))
            row.day = isoDay(date);
        hash.reset();
        hash.addData(Cp1252::encode(row.line));
        row.contentHash = hash.result();
        rows->append(std::move(row));
    }
    return true;
}
