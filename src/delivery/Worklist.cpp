#include "Worklist.h"

#include "FileWrites.h"
#include "TextTable.h"
#include "Trail.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QSqlQuery>
#include <QStringDecoder>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One CSV line's fields: quotes around a field are taken off, a doubled quote inside is one quote; a
// quote inside an unquoted field is text.
QStringList splitLine(const QString &line, QChar separator)
{
    QStringList fields;
    QString field;
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty()) {
            field.clear();
            inQuotes = true;
        } else if (c == separator) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
}

// A worklist file as its lines are read: the header's columns, then the entries.
struct WorklistReading {
    QHash<QString, Worklist::Entry> entries;
    QStringList order;
    int keyColumn = -1;
    int sampleColumn = -1;
    int programColumn = -1;
    bool byPosition = false;
    QChar separator; // null until the header is read
    int lineNo = 0;

    // One trimmed line that is not empty: empty when it reads, else why not.
    QString readLine(const QString &line) { return separator.isNull() ? readHeader(line) : readEntry(line); }

    QString readHeader(const QString &line)
    {
        for (const QChar candidate : {QLatin1Char(';'), QLatin1Char('\t'), QLatin1Char(',')})
            if (line.contains(candidate)) {
                separator = candidate;
                break;
            }
        const QStringList names = separator.isNull() ? QStringList{line} : splitLine(line, separator);
        for (int i = 0; i < names.size(); ++i) {
            const QString name = names.at(i).toLower();
            if (name == QLatin1String("id") || name == QLatin1String("position")) {
                keyColumn = i;
                byPosition = name == QLatin1String("position");
            } else if (name == QLatin1String("sampleid")) {
                sampleColumn = i;
            } else if (name == QLatin1String("program")) {
                programColumn = i;
            }
        }
        if (keyColumn < 0 || sampleColumn < 0)
            return TextTable::text(TextTable::WorklistNoHeader);
        return {};
    }

    QString readEntry(const QString &line)
    {
        const QStringList fields = splitLine(line, separator);
        const QString key = fields.value(keyColumn);
        const QString sample = fields.value(sampleColumn);
        if (key.isEmpty() || sample.isEmpty())
            return TextTable::text(TextTable::WorklistEmpty);
        // A control character (a NUL) would reach the LIMS file raw.
        for (const QChar c : sample)
            if (c.category() == QChar::Other_Control)
                return TextTable::text(TextTable::WorklistControlChar).arg(key);
        if (const auto found = entries.constFind(key); found != entries.constEnd())
            return TextTable::text(TextTable::WorklistTwice).arg(key).arg(found->line);
        entries.insert(key, {sample, programColumn >= 0 ? fields.value(programColumn) : QString(), lineNo});
        order.append(key);
        return {};
    }
};

} // namespace

QString Worklist::Report::text() const
{
    QString text =
        TextTable::text(TextTable::WorklistReport)
            .arg(QString::number(mapped),
                 notListed.isEmpty() ? QStringLiteral("-") : notListed.join(QStringLiteral(", ")),
                 neverMeasured.isEmpty() ? QStringLiteral("-") : neverMeasured.join(QStringLiteral(", ")));
    for (const QString &wrong : wrongProgram + measuredTwice)
        text += QLatin1Char('\n') + wrong;
    return text;
}

bool Worklist::read(const QString &path, QString *error)
{
    WorklistReading r;
    auto refuse = [&](const QString &why) {
        *error = TextTable::text(TextTable::ProfileError).arg(path).arg(r.lineNo).arg(why);
        return false;
    };
    // Opened without waiting and looked at before reading: a pipe or a device would block before the
    // meter is touched.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(FileWrites::systemText(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(TextTable::text(TextTable::WorklistNotAFile));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(file.errorString());
    }
    QCryptographicHash sha(QCryptographicHash::Sha256);
    qint64 total = 0;
    while (!file.atEnd()) {
        const QByteArray bytes = file.readLine(kMaxBytes + 2);
        ++r.lineNo;
        total += bytes.size();
        if (total > kMaxBytes)
            return refuse(TextTable::text(TextTable::ProfileTooLong).arg(kMaxBytes / 1024));
        sha.addData(bytes);
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line =
            QString(utf8(r.lineNo == 1 && bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes)).trimmed();
        if (utf8.hasError())
            return refuse(TextTable::text(TextTable::ProfileNotUtf8));
        if (line.isEmpty())
            continue;
        if (const QString why = r.readLine(line); !why.isEmpty())
            return refuse(why);
    }
    if (r.separator.isNull() && r.keyColumn < 0) {
        r.lineNo = qMax(r.lineNo, 1);
        return refuse(TextTable::text(TextTable::WorklistNoHeader));
    }
    m_path = path;
    m_sha256 = QString::fromLatin1(sha.result().toHex());
    m_byPosition = r.byPosition;
    m_entries = r.entries;
    m_order = r.order;
    return true;
}

Archive::Result Worklist::apply(Archive &archive, const QList<qint64> &datasetIds, const QString &login,
                                Report *report) const
{
    *report = Report();
    Report found;
    return archive.transaction([&](ArchiveDatabase &db) -> Archive::Result {
        QList<QPair<qint64, QString>> mapped;
        if (Archive::Result r = match(db, datasetIds, &found, &mapped); !r)
            return r;
        if (!mapped.isEmpty())
            if (Archive::Result r = record(db, mapped, login); !r)
                return r;
        *report = found;
        return {};
    });
}

Archive::Result Worklist::match(ArchiveDatabase &db, const QList<qint64> &datasetIds, Report *found,
                                QList<QPair<qint64, QString>> *mapped) const
{
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT no, sample_id, program FROM datasets WHERE id = ?"));
    QHash<QString, QStringList> measured; // key -> the datasets (archive ids) measured under it
    for (const qint64 id : datasetIds) {
        q.addBindValue(id);
        if (!q.exec())
            return db.failure(q.lastError());
        if (!q.next())
            continue;
        const QString key = q.value(m_byPosition ? 0 : 1).toString();
        const QString program = q.value(2).toString();
        q.finish();
        measured[key].append(QString::number(id));
        const auto entry = m_entries.constFind(key);
        if (entry == m_entries.constEnd()) {
            found->notListed.append(key);
            continue;
        }
        if (!entry->program.isEmpty() && entry->program != program)
            found->wrongProgram.append(
                TextTable::text(TextTable::WorklistWrongProgram).arg(key, program, entry->program));
        mapped->append({id, entry->sampleId});
    }
    for (const QString &key : m_order) {
        const QStringList ids = measured.value(key);
        if (ids.isEmpty())
            found->neverMeasured.append(key);
        else if (ids.size() > 1)
            found->measuredTwice.append(TextTable::text(TextTable::WorklistMeasuredTwice)
                                            .arg(key)
                                            .arg(ids.size())
                                            .arg(m_entries.value(key).sampleId + QStringLiteral(" (") +
                                                 ids.join(QStringLiteral(", ")) + QLatin1Char(')')));
    }
    found->mapped = mapped->size();
    return {};
}

Archive::Result Worklist::record(ArchiveDatabase &db, const QList<QPair<qint64, QString>> &mapped,
                                 const QString &login) const
{
    QJsonArray pairs;
    for (const auto &[id, sample] : mapped)
        pairs.append(QJsonArray{id, sample});
    TrailAction action;
    action.action = QStringLiteral("sample-ids");
    action.object = m_path;
    action.fileSha256 = m_sha256;
    action.login = login;
    action.details = {{QStringLiteral("datasets"), pairs}};
    TrailEntry entry;
    if (Archive::Result r = Trail::append(db, action, &entry); !r)
        return r;
    QSqlQuery insert(db.database());
    insert.prepare(QStringLiteral("INSERT INTO delivery_sample_ids (dataset_id, sample_id, worklist, "
                                  "trail_seq) VALUES (?, ?, ?, ?)"));
    for (const auto &[id, sample] : mapped) {
        insert.addBindValue(id);
        insert.addBindValue(sample);
        insert.addBindValue(m_path);
        insert.addBindValue(entry.seq);
        if (!insert.exec())
            return db.failure(insert.lastError());
    }
    return {};
}
