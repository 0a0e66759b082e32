#include "ArchiveImport.h"

#include "CCommunication.h"
#include "CDevice.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "DateText.h"
#include "FileWrites.h"
#include "ProgramVersion.h"
#include "RecordWalk.h"
#include "TextTable.h"

#include <QCryptographicHash>
#include <QFile>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

constexpr QStringView kCrLf = u"\r\n";

// The layout of a file's meter, by its name (the name of an import is never empty).
int layoutOf(const QString &meter)
{
    const MeterModel *model = CDevice::findModel(meter);
    if (model && model->family == MeterModel::Klaro4)
        return 7;
    if (model && model->family == MeterModel::Klaro7)
        return 10;
    return 14;
}

// A value as the user is to see it in a message: control characters would break the line.
QString shown(QStringView text)
{
    QString out = text.toString();
    for (QChar &c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar(0xfffd);
    return out;
}

// Why the field cannot be what a meter wrote; empty when it can.
QString fieldProblem(const QString &name, DatasetFields::Field field, QStringView text)
{
    using DatasetFields::Fault;
    switch (DatasetFields::check(field, text)) {
    case Fault::None:
        return QString();
    case Fault::TooLong:
        return TextTable::text(TextTable::ArchiveFieldTooLong)
            .arg(name)
            .arg(text.size())
            .arg(DatasetFields::kMaxChars);
    case Fault::Control:
        return TextTable::text(TextTable::ArchiveFieldControl).arg(name);
    case Fault::NoNumber:
        return TextTable::text(TextTable::ArchiveFieldNoNumber)
            .arg(name, shown(text))
            .arg(DatasetFields::kMaxNumber);
    case Fault::NoDate:
        return TextTable::text(TextTable::ArchiveFieldNoDate).arg(name, shown(text));
    case Fault::NoTime:
        return TextTable::text(TextTable::ArchiveFieldNoTime).arg(name, shown(text));
    }
    return QString();
}

// Why the record line cannot be a dataset of the layout, whose file names `named` fields in its
// header; empty when it can.
QString lineProblem(QStringView line, int layout, int named, const QString &meter)
{
    const qsizetype fields = line.count(u';') + 1;
    const int most = std::max(layout, named);
    if (fields < layout || fields > most) {
        const QString expected =
            most == layout ? QString::number(layout) : QStringLiteral("%1-%2").arg(layout).arg(most);
        return TextTable::text(TextTable::ArchiveLineFields).arg(fields).arg(meter, expected);
    }
    int position = 0;
    for (QStringView rest = line;; ++position) {
        const qsizetype semicolon = rest.indexOf(u';');
        const QStringView text = semicolon < 0 ? rest : rest.first(semicolon);
        const DatasetFields::Field field = DatasetFields::atPosition(layout, position);
        // A surplus field is named by its position, counted from 1.
        const QString name =
            field == DatasetFields::Count ? QString::number(position + 1) : DatasetFields::name(field);
        if (QString problem = fieldProblem(name, field, text); !problem.isEmpty())
            return problem;
        if (semicolon < 0)
            return QString();
        rest = rest.sliced(semicolon + 1);
    }
}

// Why the file's text holds something no meter writes: its head's names, a line that is no dataset of
// the meter's layout, or lines after the empty line that ends the datasets. Empty when it holds none.
QString fileProblem(const QString &path, QStringView text, const MeasuredValues &values)
{
    const auto where = [&path](qsizetype line, const QString &problem) {
        return TextTable::text(TextTable::ProfileError).arg(path).arg(line).arg(problem);
    };
    const QString head[] = {values.meter, values.serialNumber, values.user};
    const char *const headNames[] = {"METER", "S/N", "USER"};
    for (int i = 0; i < 3; ++i)
        if (QString problem = fieldProblem(QLatin1String(headNames[i]), DatasetFields::Count, head[i]);
            !problem.isEmpty())
            return where(2, problem);
    // The datasets begin after the head's four lines, each ended by CR LF (the reader made sure).
    qsizetype from = 0;
    QStringView header;
    for (int line = 0; line < 4; ++line) {
        const qsizetype end = text.indexOf(kCrLf, from);
        header = text.sliced(from, end - from);
        from = end + 2;
    }
    const int layout = layoutOf(values.meter);
    const int named = int(header.count(u';')) + 1;
    bool ended = false;
    for (qsizetype number = 5; from <= text.size(); ++number) {
        const qsizetype end = text.indexOf(kCrLf, from);
        const QStringView line = text.sliced(from, (end < 0 ? text.size() : end) - from);
        from = end < 0 ? text.size() + 1 : end + 2;
        // The datasets end at an empty line; nothing but empty lines may follow it.
        if (line.isEmpty() || ended) {
            ended = true;
            if (!line.isEmpty())
                return where(number, TextTable::text(TextTable::ArchiveLinesAfterEnd));
            continue;
        }
        if (QString problem = lineProblem(line, layout, named, values.meter); !problem.isEmpty())
            return where(number, problem);
    }
    return QString();
}

// Why the system refused to open path, for the user.
QString openFailure(const QString &path, int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return TextTable::text(TextTable::FileMissing).arg(path);
    return TextTable::text(TextTable::FileReadFailed).arg(path, FileWrites::systemText(error));
}

// Why the file with this status is not read: not a regular file, or longer than maxBytes.
QString statusProblem(const QString &path, const struct stat &info, qint64 maxBytes)
{
    if (!S_ISREG(info.st_mode))
        return TextTable::text(TextTable::ArchiveFileNotRegular).arg(path);
    if (info.st_size > maxBytes)
        return TextTable::text(TextTable::ArchiveFileTooLarge)
            .arg(path)
            .arg(qint64(info.st_size))
            .arg(maxBytes);
    return QString();
}

// The bytes of the regular file at path, at most maxBytes of them; empty on success, else why not.
QString readRegular(const QString &path, qint64 maxBytes, QByteArray *bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    // Looked at before it is opened: opening a device may already do something.
    if (::stat(name.constData(), &info) != 0)
        return openFailure(path, errno);
    if (QString problem = statusProblem(path, info, maxBytes); !problem.isEmpty())
        return problem;
    // Without blocking: a pipe put there since the look would wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return openFailure(path, errno);
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &info) != 0)
        return TextTable::text(TextTable::FileReadFailed).arg(path, FileWrites::systemText(errno));
    if (QString problem = statusProblem(path, info, maxBytes); !problem.isEmpty())
        return problem;
    // One byte more than allowed tells a file that grew since.
    QByteArray read(qsizetype(std::min<qint64>(info.st_size, maxBytes) + 1), Qt::Uninitialized);
    qsizetype total = 0;
    while (true) {
        if (total == read.size()) {
            if (total > maxBytes)
                return TextTable::text(TextTable::ArchiveFileTooLarge).arg(path).arg(total).arg(maxBytes);
            read.resize(qsizetype(std::min<qint64>(qint64(read.size()) * 2, maxBytes + 1)));
        }
        const ssize_t n = ::read(fd, read.data() + total, size_t(read.size() - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return TextTable::text(TextTable::FileReadFailed).arg(path, FileWrites::systemText(errno));
        if (n == 0)
            break;
        total += n;
    }
    read.truncate(total);
    *bytes = std::move(read);
    return QString();
}

} // namespace

bool ImportRecord::readFile(const QString &path, const QDateTime &at, ImportRecord *record, QString *problem)
{
    QByteArray bytes;
    *problem = readRegular(path, kMaxFileBytes, &bytes);
    return problem->isEmpty() && fromFile(path, bytes, at, record, problem);
}

bool ImportRecord::fromFile(const QString &path, const QByteArray &bytes, const QDateTime &at,
                            ImportRecord *record, QString *problem)
{
    const QString text = Cp1252::decode(bytes);
    MeasuredValues values;
    if (!CMeasVal::ParseFileText(text, values)) {
        if (problem)
            *problem = path + QStringLiteral(": ") + TextTable::text(TextTable::InvalidCsvFormat);
        return false;
    }
    if (QString refused = fileProblem(path, text, values); !refused.isEmpty()) {
        if (problem)
            *problem = std::move(refused);
        return false;
    }
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
