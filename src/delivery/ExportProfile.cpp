#include "ExportProfile.h"

#include "Cp1252.h"
#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>
#include <QStringDecoder>

#include <utility>

namespace {

struct Named {
    const char *name;
    ExportProfile::Column kind;
    DatasetFields::Field field;
};

// The measured-value layouts' column names (Value, Unit, Status and Flags are those of the
// one-value layouts) and what the archive adds around a dataset.
const Named kColumns[] = {
    {"Value", ExportProfile::FieldColumn, DatasetFields::Value1},
    {"Unit", ExportProfile::FieldColumn, DatasetFields::Unit1},
    {"Status", ExportProfile::FieldColumn, DatasetFields::Status1},
    {"Flags", ExportProfile::FieldColumn, DatasetFields::Code},
    {"SampleId", ExportProfile::SampleId, DatasetFields::Count},
    {"Meter", ExportProfile::Meter, DatasetFields::Count},
    {"SerialNumber", ExportProfile::SerialNumber, DatasetFields::Count},
    {"ImportedAt", ExportProfile::ImportedAt, DatasetFields::Count},
    {"ImportedBy", ExportProfile::ImportedBy, DatasetFields::Count},
};

bool columnByName(const QString &text, ExportProfile::ColumnSource *column)
{
    for (const Named &named : kColumns)
        if (text.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) {
            *column = {named.kind, named.field};
            return true;
        }
    for (int f = 0; f < DatasetFields::Count; ++f)
        if (text.compare(DatasetFields::name(DatasetFields::Field(f)), Qt::CaseInsensitive) == 0) {
            *column = {ExportProfile::FieldColumn, DatasetFields::Field(f)};
            return true;
        }
    return false;
}

QStringList listOf(const QString &value)
{
    QStringList items;
    for (const QString &item : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed());
    return items;
}

QString choices(const QString &key, const QString &value, const char *allowed)
{
    return TextTable::text(TextTable::ProfileBadValue).arg(value, key, QLatin1String(allowed));
}

QString quoted(const QString &field, QChar separator)
{
    if (!field.contains(separator) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A profile file as its lines are read: the profile so far and what later lines are checked against.
struct ProfileReading {
    ExportProfile p;
    QMap<QString, int> seen; // each key (in lower case) and the line it was given on
    QString columns;         // as written, for the headers not given
    QString headers;         // null when not given
    bool inProfile = false;
    int lineNo = 0;

    QString readLine(const QString &line);
    QString readKey(const QString &written, const QString &value);
    QString complete();
};

// Each reads one key's value into the profile: empty when it reads, else why not. written is the key
// as the file spells it.
using KeyReader = QString (*)(ProfileReading &r, const QString &written, const QString &value);

QString readColumns(ProfileReading &r, const QString &, const QString &value)
{
    r.columns = value;
    for (const QString &name : value.split(QLatin1Char(','))) {
        ExportProfile::ColumnSource column;
        if (!columnByName(name.trimmed(), &column))
            return TextTable::text(TextTable::ProfileUnknownColumn).arg(name.trimmed());
        r.p.columns.append(column);
    }
    return {};
}

QString readHeaders(ProfileReading &r, const QString &, const QString &value)
{
    r.headers = value;
    r.p.headers = value.split(QLatin1Char(','));
    for (QString &h : r.p.headers)
        h = h.trimmed();
    return {};
}

QString readHeader(ProfileReading &r, const QString &, const QString &value)
{
    if (value.compare(QLatin1String("yes"), Qt::CaseInsensitive) != 0 &&
        value.compare(QLatin1String("no"), Qt::CaseInsensitive) != 0)
        return choices(QStringLiteral("Header"), value, "yes, no");
    r.p.header = value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    return {};
}

QString readSeparator(ProfileReading &r, const QString &, const QString &value)
{
    if (value.compare(QLatin1String("tab"), Qt::CaseInsensitive) == 0)
        r.p.separator = QLatin1Char('\t');
    else if (value.size() == 1 && value != QLatin1String("\""))
        r.p.separator = value.at(0);
    else
        return TextTable::text(TextTable::ProfileSeparator).arg(value);
    return {};
}

QString readDecimalMark(ProfileReading &r, const QString &, const QString &value)
{
    if (value != QLatin1String(".") && value != QLatin1String(","))
        return choices(QStringLiteral("DecimalMark"), value, ". ,");
    r.p.decimalMark = value.at(0);
    return {};
}

QString readEncoding(ProfileReading &r, const QString &, const QString &value)
{
    const QString e = value.toUpper();
    if (e == QLatin1String("UTF-8"))
        r.p.encoding = ExportProfile::Utf8;
    else if (e == QLatin1String("UTF-8-BOM"))
        r.p.encoding = ExportProfile::Utf8Bom;
    else if (e == QLatin1String("WINDOWS-1252"))
        r.p.encoding = ExportProfile::Windows1252;
    else
        return choices(QStringLiteral("Encoding"), value, "UTF-8, UTF-8-BOM, Windows-1252");
    return {};
}

QString readLineEnd(ProfileReading &r, const QString &, const QString &value)
{
    const QString e = value.toUpper();
    if (e == QLatin1String("CRLF"))
        r.p.lineEnd = "\r\n";
    else if (e == QLatin1String("LF"))
        r.p.lineEnd = "\n";
    else if (e == QLatin1String("CR"))
        r.p.lineEnd = "\r";
    else
        return choices(QStringLiteral("LineEnd"), value, "CRLF, LF, CR");
    return {};
}

// A form's parts each once: the letters of each token Qt reads, and the part it stands for (empty:
// allowed any number of times, as a weekday name or AM/PM).
struct FormToken {
    const char *letters;
    const char *part;
};
const FormToken kDateTokens[] = {{"d", "d"},  {"dd", "d"},  {"ddd", ""},   {"dddd", ""}, {"M", "M"},
                                 {"MM", "M"}, {"MMM", "M"}, {"MMMM", "M"}, {"yy", "y"},  {"yyyy", "y"}};
const FormToken kTimeTokens[] = {{"h", "h"},  {"hh", "h"}, {"H", "h"},  {"HH", "h"}, {"m", "m"},
                                 {"mm", "m"}, {"s", "s"},  {"ss", "s"}, {"z", ""},   {"zzz", ""},
                                 {"AP", ""},  {"ap", ""},  {"A", ""},   {"a", ""},   {"t", ""}};

// The parts a form holds, each as often as it does; false at a letter run no token reads (a typo such
// as YYYY, DD or mm in a date).
template <size_t N> bool formParts(const QString &form, const FormToken (&tokens)[N], QString *parts)
{
    for (qsizetype i = 0; i < form.size();) {
        const QChar c = form.at(i);
        if (c == QLatin1Char('\'')) {
            const qsizetype end = form.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                return false;
            i = end + 1;
            continue;
        }
        if (!c.isLetter()) {
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < form.size() && form.at(i + run) == c)
            ++run;
        // AM/PM is two different letters.
        if ((c == QLatin1Char('A') || c == QLatin1Char('a')) && i + 1 < form.size() &&
            form.at(i + 1).toLower() == QLatin1Char('p'))
            run = 2;
        const QString token = form.mid(i, run);
        const FormToken *found = nullptr;
        for (const FormToken &t : tokens)
            if (token == QLatin1String(t.letters))
                found = &t;
        if (!found)
            return false;
        *parts += QLatin1String(found->part);
        i += run;
    }
    return true;
}

// A date form holds day, month and year, a time form hour and minute, each exactly once (seconds at
// most once); anything else is refused, never written as the LIMS would get it.
template <size_t N>
QString readForm(QString &form, const QString &written, const QString &value, const FormToken (&tokens)[N],
                 const char *required, const char *optional, const char *named)
{
    QString parts;
    bool ok = !value.isEmpty() && formParts(value, tokens, &parts);
    for (const char *p = required; ok && *p; ++p)
        ok = parts.count(QLatin1Char(*p)) == 1;
    for (const char *p = optional; ok && *p; ++p)
        ok = parts.count(QLatin1Char(*p)) <= 1;
    if (!ok)
        return TextTable::text(TextTable::ProfileBadForm).arg(written, value, QLatin1String(named));
    form = value;
    return {};
}

QString readDateFormat(ProfileReading &r, const QString &written, const QString &value)
{
    return readForm(r.p.dateFormat, written, value, kDateTokens, "dMy", "", "d/dd, M/MM, yy/yyyy");
}

QString readTimeFormat(ProfileReading &r, const QString &written, const QString &value)
{
    return readForm(r.p.timeFormat, written, value, kTimeTokens, "hm", "s", "H/HH, mm");
}

QString readStatuses(ProfileReading &r, const QString &, const QString &value)
{
    if (value.compare(QLatin1String("OK"), Qt::CaseInsensitive) == 0)
        r.p.okOnly = true;
    else if (value.compare(QLatin1String("All"), Qt::CaseInsensitive) == 0)
        r.p.okOnly = false;
    else
        return choices(QStringLiteral("Statuses"), value, "OK, All");
    return {};
}

QString readPrograms(ProfileReading &r, const QString &, const QString &value)
{
    r.p.programs = listOf(value);
    return {};
}

QString readMeters(ProfileReading &r, const QString &, const QString &value)
{
    r.p.meters = listOf(value);
    return {};
}

QString readFolder(ProfileReading &r, const QString &written, const QString &value)
{
    if (!value.isEmpty() && QDir::isRelativePath(value))
        return TextTable::text(TextTable::DeliveryFolderRelative).arg(written + QLatin1Char('=') + value);
    r.p.folder = value;
    return {};
}

QString readUnmappedSampleId(ProfileReading &r, const QString &, const QString &value)
{
    if (value.compare(QLatin1String("Id"), Qt::CaseInsensitive) != 0 &&
        value.compare(QLatin1String("Empty"), Qt::CaseInsensitive) != 0)
        return choices(QStringLiteral("UnmappedSampleId"), value, "Id, Empty");
    r.p.unmappedMeterId = value.compare(QLatin1String("Id"), Qt::CaseInsensitive) == 0;
    return {};
}

// The keys a profile may give, in lower case.
const std::pair<const char *, KeyReader> kKeys[] = {
    {"columns", readColumns},         {"headers", readHeaders},
    {"header", readHeader},           {"separator", readSeparator},
    {"decimalmark", readDecimalMark}, {"encoding", readEncoding},
    {"lineend", readLineEnd},         {"dateformat", readDateFormat},
    {"timeformat", readTimeFormat},   {"statuses", readStatuses},
    {"programs", readPrograms},       {"meters", readMeters},
    {"folder", readFolder},           {"unmappedsampleid", readUnmappedSampleId},
};

// One trimmed line: empty when it reads, else why not.
QString ProfileReading::readLine(const QString &line)
{
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
        return {};
    if (line.startsWith(QLatin1Char('['))) {
        inProfile = line.compare(QLatin1String("[Profile]"), Qt::CaseInsensitive) == 0;
        if (!inProfile)
            return TextTable::text(TextTable::ProfileUnknownSection).arg(line);
        return {};
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0 || !inProfile)
        return TextTable::text(TextTable::ProfileNoKey).arg(line);
    return readKey(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
}

QString ProfileReading::readKey(const QString &written, const QString &value)
{
    const QString key = written.toLower();
    if (seen.contains(key))
        return TextTable::text(TextTable::ProfileTwice).arg(written).arg(seen[key]);
    seen.insert(key, lineNo);
    for (const auto &[name, read] : kKeys)
        if (key == QLatin1String(name))
            return read(*this, written, value);
    return TextTable::text(TextTable::ProfileUnknownKey).arg(written);
}

// What only the whole file tells, with lineNo set to the line to name: empty when the profile is
// complete (its headers then filled in), else why not.
QString ProfileReading::complete()
{
    if (p.columns.isEmpty()) {
        lineNo = seen.value(QStringLiteral("columns"), lineNo);
        return TextTable::text(TextTable::ProfileNoColumns);
    }
    if (!headers.isNull() && p.headers.size() != p.columns.size()) {
        lineNo = seen.value(QStringLiteral("headers"));
        return TextTable::text(TextTable::ProfileHeaderCount).arg(p.headers.size()).arg(p.columns.size());
    }
    if (p.separator == p.decimalMark) {
        lineNo = qMax(seen.value(QStringLiteral("separator")), seen.value(QStringLiteral("decimalmark")));
        return TextTable::text(TextTable::ProfileSeparatorIsMark);
    }
    if (p.headers.isEmpty())
        for (int i = 0; i < p.columns.size(); ++i)
            p.headers.append(columns.split(QLatin1Char(',')).at(i).trimmed());
    return {};
}

} // namespace

QString ExportProfile::userFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Meravo/profiles");
}

QString ExportProfile::systemFolder()
{
    // Tests and a second installation point it elsewhere.
    const QString set = qEnvironmentVariable("MERAVO_SYSTEM_PROFILES");
    return set.isEmpty() ? QStringLiteral("/etc/meravo/profiles") : set;
}

bool ExportProfile::read(const QString &path, ExportProfile *profile, QString *error)
{
    ProfileReading r;
    auto refuse = [&](const QString &why) {
        *error = TextTable::text(TextTable::ProfileError).arg(path).arg(r.lineNo).arg(why);
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    r.p.path = path;
    r.p.name = QFileInfo(path).completeBaseName();
    qint64 total = 0;
    while (!file.atEnd()) {
        const QByteArray bytes = file.readLine(kMaxBytes + 2);
        ++r.lineNo;
        total += bytes.size();
        if (total > kMaxBytes)
            return refuse(TextTable::text(TextTable::ProfileTooLong).arg(kMaxBytes / 1024));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line = utf8(r.lineNo == 1 && bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
        if (utf8.hasError())
            return refuse(TextTable::text(TextTable::ProfileNotUtf8));
        if (const QString why = r.readLine(line.trimmed()); !why.isEmpty())
            return refuse(why);
    }
    if (const QString why = r.complete(); !why.isEmpty())
        return refuse(why);
    *profile = r.p;
    return true;
}

QList<ExportProfile> ExportProfile::loadAll(QStringList *errors)
{
    QMap<QString, ExportProfile> byName;
    // The PC's first, so a user's profile of the same name takes its place.
    for (const QString &folder : {systemFolder(), userFolder()}) {
        const QFileInfoList files =
            QDir(folder).entryInfoList({QStringLiteral("*.ini")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &info : files) {
            ExportProfile profile;
            QString error;
            if (read(info.absoluteFilePath(), &profile, &error))
                byName.insert(profile.name, profile);
            else
                errors->append(error);
        }
    }
    return byName.values();
}

QString ExportProfile::columnName(int i) const
{
    const ColumnSource &c = columns.at(i);
    switch (c.kind) {
    case FieldColumn:
        return DatasetFields::name(c.field);
    case SampleId:
        return QStringLiteral("SampleId");
    case Meter:
        return QStringLiteral("Meter");
    case SerialNumber:
        return QStringLiteral("SerialNumber");
    case ImportedAt:
        return QStringLiteral("ImportedAt");
    case ImportedBy:
        return QStringLiteral("ImportedBy");
    }
    return {};
}

QString ExportProfile::toIni() const
{
    QStringList names;
    for (int i = 0; i < columns.size(); ++i)
        names.append(columnName(i));
    QString text = QStringLiteral("[Profile]\n");
    auto put = [&text](const char *key, const QString &value) {
        text += QLatin1String(key) + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    put("Columns", names.join(QLatin1Char(',')));
    put("Headers", headers.join(QLatin1Char(',')));
    put("Header", header ? QStringLiteral("yes") : QStringLiteral("no"));
    put("Separator", separator == QLatin1Char('\t') ? QStringLiteral("Tab") : QString(separator));
    put("DecimalMark", QString(decimalMark));
    put("Encoding", encoding == Utf8      ? QStringLiteral("UTF-8")
                    : encoding == Utf8Bom ? QStringLiteral("UTF-8-BOM")
                                          : QStringLiteral("Windows-1252"));
    put("LineEnd", lineEnd == "\r\n" ? QStringLiteral("CRLF")
                   : lineEnd == "\n" ? QStringLiteral("LF")
                                     : QStringLiteral("CR"));
    put("DateFormat", dateFormat);
    put("TimeFormat", timeFormat);
    put("Statuses", okOnly ? QStringLiteral("OK") : QStringLiteral("All"));
    if (!programs.isEmpty())
        put("Programs", programs.join(QLatin1Char(',')));
    if (!meters.isEmpty())
        put("Meters", meters.join(QLatin1Char(',')));
    if (!folder.isEmpty())
        put("Folder", folder);
    put("UnmappedSampleId", unmappedMeterId ? QStringLiteral("Id") : QStringLiteral("Empty"));
    return text;
}

bool ExportProfile::accepts(const DeliveryRow &row) const
{
    using DatasetFields::Program;
    using DatasetFields::Status1;
    using DatasetFields::Status2;
    if (okOnly && (row.fields[Status1] != QLatin1String("OK") ||
                   !(row.fields[Status2].isEmpty() || row.fields[Status2] == QLatin1String("OK"))))
        return false;
    if (!programs.isEmpty() && !programs.contains(row.fields[Program]))
        return false;
    return meters.isEmpty() || meters.contains(row.serial) || meters.contains(row.meter);
}

void ExportProfile::appendRow(QString &text, const DeliveryRow &row) const
{
    for (int i = 0; i < columns.size(); ++i) {
        if (i > 0)
            text += separator;
        const ColumnSource &c = columns.at(i);
        QString value;
        switch (c.kind) {
        case FieldColumn:
            value = row.fields[size_t(c.field)];
            // The default forms are the archive's own: no date or time is made for them.
            if (c.field == DatasetFields::Date && !row.day.isEmpty())
                value = dateFormat == QLatin1String("yyyy-MM-dd")
                            ? row.day
                            : QDate::fromString(row.day, Qt::ISODate).toString(dateFormat);
            else if (c.field == DatasetFields::Time && timeFormat != QLatin1String("HH:mm:ss")) {
                const QTime time = QTime::fromString(value, QStringLiteral("HH:mm:ss"));
                if (time.isValid())
                    value = time.toString(timeFormat);
            } else if ((c.field == DatasetFields::Value1 || c.field == DatasetFields::Value2) &&
                       decimalMark != QLatin1Char('.'))
                value.replace(QLatin1Char('.'), decimalMark);
            break;
        case SampleId:
            value = row.sampleId.isEmpty() && unmappedMeterId ? row.fields[DatasetFields::SampleId]
                                                              : row.sampleId;
            break;
        case Meter:
            value = row.meter;
            break;
        case SerialNumber:
            value = row.serial;
            break;
        case ImportedAt:
            value = row.importedUtc.toUTC().toString(Qt::ISODate);
            break;
        case ImportedBy:
            value = row.importedBy;
            break;
        }
        text += quoted(value, separator);
    }
    text += QLatin1String(lineEnd);
}

QByteArray ExportProfile::encode(const QString &text) const
{
    if (encoding == Windows1252)
        return Cp1252::encode(text);
    return text.toUtf8();
}

QByteArray ExportProfile::format(const QList<DeliveryRow> &rows) const
{
    QString text;
    text.reserve(rows.size() * 64 + 256);
    if (header) {
        for (int i = 0; i < headers.size(); ++i) {
            if (i > 0)
                text += separator;
            text += quoted(headers.at(i), separator);
        }
        text += QLatin1String(lineEnd);
    }
    for (const DeliveryRow &row : rows)
        appendRow(text, row);
    QByteArray bytes = encoding == Utf8Bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    bytes += encode(text);
    return bytes;
}
