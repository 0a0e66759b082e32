#include "Archive.h"

#include "ArchiveFileRights.h"
#include "ArchiveProof.h"
#include "CDevice.h"
#include "CIni.h"
#include "CrashPoints.h"
#include "FileWrites.h"
#include "TextTable.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>

#include <array>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Result = ArchiveDatabase::Result;

QString isoUtc(const QDateTime &at)
{
    return at.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromIsoUtc(const QString &text)
{
    QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    at.setTimeSpec(Qt::UTC);
    return at;
}

// Qt binds a null string as NULL: every text of the archive is a text, if empty.
QVariant bound(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QString datasetKey(const DatasetFields::Values &f)
{
    return f[DatasetFields::No] + QChar(0x1F) + f[DatasetFields::Date] + QChar(0x1F) + f[DatasetFields::Time];
}

const QString kImportColumns = QStringLiteral(
    "uid, imported_utc, utc_offset, source, meter, serial, firmware, variant, port, baud, file_name,"
    " document_date, login, os_uid, os_user, os_full_name, host, program_version, raw_sha256, raw_size, raw");

QString datasetColumns()
{
    QString columns;
    for (int f = 0; f < DatasetFields::Count; ++f)
        columns += QStringLiteral(", d.") + DatasetFields::columnName(DatasetFields::Field(f));
    return columns;
}

// A filter that cannot run never reaches the database, whoever built it (window or command line).
bool refused(const ArchiveFilter &filter, Result *result)
{
    const QString problem = filter.problem();
    if (problem.isEmpty())
        return false;
    *result = {Result::BadFilter, problem};
    return true;
}

Result cancelled()
{
    return {Result::Cancelled, TextTable::text(TextTable::ArchiveCancelled)};
}

// Runs a prepared statement; the failure named for the user.
bool run(QSqlQuery &q, const ArchiveDatabase &db, Result *result)
{
    if (q.exec())
        return true;
    *result = db.failure(q.lastError());
    return false;
}

bool readImport(const ArchiveDatabase &db, const QString &uid, ImportRecord *record, Result *result)
{
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM imports WHERE uid = ?").arg(kImportColumns));
    q.addBindValue(uid);
    if (!run(q, db, result))
        return false;
    if (!q.next()) {
        *result = {Result::Damaged, TextTable::text(TextTable::ArchiveDamaged).arg(db.displayName(), uid)};
        return false;
    }
    ImportRecord r;
    int c = 0;
    r.uid = q.value(c++).toString();
    r.importedUtc = fromIsoUtc(q.value(c++).toString());
    r.utcOffset = q.value(c++).toInt();
    ImportRecord::sourceFromName(q.value(c++).toString(), &r.source);
    r.meter = q.value(c++).toString();
    r.serial = q.value(c++).toString();
    r.firmware = q.value(c++).toString();
    r.variant = q.value(c++).toString();
    r.port = q.value(c++).toString();
    r.baud = q.value(c++).toInt();
    r.fileName = q.value(c++).toString();
    r.documentDate = QDateTime::fromString(q.value(c++).toString(), Qt::ISODate);
    r.login = q.value(c++).toString();
    r.account.uid = q.value(c++).toLongLong();
    r.account.userName = q.value(c++).toString();
    r.account.fullName = q.value(c++).toString();
    r.account.host = q.value(c++).toString();
    r.programVersion = q.value(c++).toString();
    r.rawSha256 = q.value(c++).toString();
    ++c; // raw_size
    r.raw = qUncompress(q.value(c++).toByteArray());
    *record = std::move(r);
    return true;
}

enum Kind : char { New, Repeat, Conflict };

// Rows of one import share its time: read once, not once per row.
struct ImportTimes {
    QString text;
    QDateTime at;
    const QDateTime &of(const QString &utc)
    {
        if (utc != text) {
            text = utc;
            at = fromIsoUtc(utc);
        }
        return at;
    }
};

// A row of the query's columns, whoever reads them.
template <typename TextAt, typename IntegerAt>
ArchivedRow rowFrom(const TextAt &text, const IntegerAt &integer, ImportTimes &times)
{
    ArchivedRow row;
    row.id = integer(0);
    row.importId = integer(1);
    row.meter = text(2);
    row.serial = text(3);
    row.layout = int(integer(4));
    row.line = text(5);
    row.conflict = integer(6) != 0;
    row.importedUtc = times.of(text(7));
    row.login = text(8);
    for (int f = 0; f < DatasetFields::Count; ++f)
        row.fields[size_t(f)] = text(9 + f);
    return row;
}

// Record texts are ASCII nearly always: copied without a temporary.
void appendUtf8(QByteArray &out, const QString &text)
{
    const ushort *units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i)
        if (units[i] >= 0x80) {
            out += text.toUtf8();
            return;
        }
    const qsizetype at = out.size();
    out.resize(at + size);
    char *to = out.data() + at;
    for (qsizetype i = 0; i < size; ++i)
        to[i] = char(units[i]);
}

// Qt binds every value through a variant and a generated placeholder name, which for thousands of
// datasets costs more than SQLite's whole insert: SQLite's own binding, on Qt's connection and inside
// its transaction.
bool insertSQLite(const ArchiveDatabase &db, sqlite3 *handle, const QString &sql, qint64 importId,
                  const ImportRecord &record, int layout, const QList<ArchivedDataset> &rows,
                  const QList<char> &kinds, QList<qint64> *newIds, Result *result)
{
    auto failed = [&] {
        *result = db.sqliteFailure();
        return false;
    };
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
        return failed();
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize(statement, &sqlite3_finalize);
    // The row's texts as UTF-8 in one buffer kept from row to row (SQLite would otherwise translate
    // each UTF-16 text itself); offsets first, pointers once the buffer no longer grows.
    QByteArray utf8;
    std::array<std::pair<qsizetype, qsizetype>, 5 + DatasetFields::Count> spans{};
    auto bindRow = [&](const ArchivedDataset &row, int conflict) {
        const QString *texts[5 + DatasetFields::Count] = {&record.meter, &record.serial, &row.day, &row.line,
                                                          nullptr};
        for (int f = 0; f < DatasetFields::Count; ++f)
            texts[4 + f] = &row.fields[size_t(f)];
        utf8.resize(0); // keeps its capacity
        for (int t = 0; t < 4 + DatasetFields::Count; ++t) {
            const qsizetype start = utf8.size();
            appendUtf8(utf8, *texts[t]);
            spans[size_t(t)] = {start, utf8.size() - start};
        }
        const char *base = utf8.constData();
        auto text = [&](int column, int t) {
            sqlite3_bind_text(statement, column, base + spans[size_t(t)].first, int(spans[size_t(t)].second),
                              SQLITE_STATIC);
        };
        sqlite3_bind_int64(statement, 1, importId);
        text(2, 0);
        text(3, 1);
        sqlite3_bind_int(statement, 4, layout);
        if (row.day.isEmpty())
            sqlite3_bind_null(statement, 5);
        else
            text(5, 2);
        text(6, 3);
        sqlite3_bind_blob(statement, 7, row.contentHash.constData(), int(row.contentHash.size()),
                          SQLITE_STATIC);
        sqlite3_bind_int(statement, 8, conflict);
        for (int f = 0; f < DatasetFields::Count; ++f)
            text(9 + f, 4 + f);
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (kinds[i] == Repeat)
            continue;
        bindRow(rows[i], kinds[i] == Conflict ? 1 : 0);
        if (sqlite3_step(statement) != SQLITE_DONE)
            return failed();
        // Another importer's copy of the same dataset leaves nothing inserted.
        if (sqlite3_changes(handle) > 0)
            newIds->append(sqlite3_last_insert_rowid(handle));
        sqlite3_reset(statement);
    }
    return true;
}

// The content hashes archived under each dataset key (number, date, time) of one meter.
using KnownHashes = QHash<QString, QList<QByteArray>>;

// What is archived of this meter (its model and serial number: two models may carry the same serial)
// in the import's period: one read instead of one per dataset.
bool readKnown(const ArchiveDatabase &db, QSqlQuery &q, const ImportRecord &record,
               const QList<ArchivedDataset> &rows, KnownHashes *known, Result *result)
{
    QString first;
    QString last;
    for (const ArchivedDataset &row : rows)
        if (!row.day.isEmpty()) {
            if (first.isEmpty() || row.day < first)
                first = row.day;
            if (last.isEmpty() || row.day > last)
                last = row.day;
        }
    if (first.isEmpty()) {
        q.prepare(QStringLiteral("SELECT no, date, time, content_sha256 FROM datasets"
                                 " WHERE serial = ? AND meter = ? AND day IS NULL"));
        q.addBindValue(bound(record.serial));
        q.addBindValue(bound(record.meter));
    } else {
        q.prepare(
            QStringLiteral("SELECT no, date, time, content_sha256 FROM datasets"
                           " WHERE serial = ? AND meter = ? AND ((day >= ? AND day <= ?) OR day IS NULL)"));
        q.addBindValue(bound(record.serial));
        q.addBindValue(bound(record.meter));
        q.addBindValue(first);
        q.addBindValue(last);
    }
    if (!run(q, db, result))
        return false;
    while (q.next())
        (*known)[q.value(0).toString() + QChar(0x1F) + q.value(1).toString() + QChar(0x1F) +
                 q.value(2).toString()]
            .append(q.value(3).toByteArray());
    q.finish();
    return true;
}

// Each dataset of an import as new, a repeat of one archived, or in conflict with one archived.
struct Sorting {
    QList<char> kinds;
    qint64 added = 0;
    qint64 repeated = 0;
    qint64 conflicting = 0;
};

// Datasets of the same import count against each other too: the known hashes grow as they are sorted.
Sorting sortAgainst(const QList<ArchivedDataset> &rows, KnownHashes &known)
{
    Sorting s;
    s.kinds = QList<char>(rows.size(), New);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QList<QByteArray> &hashes = known[datasetKey(rows[i].fields)];
        if (hashes.contains(rows[i].contentHash)) {
            s.kinds[i] = Repeat;
            ++s.repeated;
            continue;
        }
        s.kinds[i] = hashes.isEmpty() ? New : Conflict;
        ++(hashes.isEmpty() ? s.added : s.conflicting);
        hashes.append(rows[i].contentHash);
    }
    return s;
}

bool insertImport(const ArchiveDatabase &db, QSqlQuery &q, const ImportRecord &record, const Sorting &s,
                  qint64 *importId, Result *result)
{
    q.prepare(
        QStringLiteral("INSERT INTO imports (%1, new_count, repeat_count, conflict_count)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                       " RETURNING id")
            .arg(kImportColumns));
    for (const QVariant &v : {bound(record.uid),
                              QVariant(isoUtc(record.importedUtc)),
                              QVariant(record.utcOffset),
                              QVariant(ImportRecord::sourceName(record.source)),
                              bound(record.meter),
                              bound(record.serial),
                              bound(record.firmware),
                              bound(record.variant),
                              bound(record.port),
                              QVariant(record.baud),
                              bound(record.fileName),
                              bound(record.documentDate.toString(Qt::ISODate)),
                              bound(record.login),
                              QVariant(record.account.uid),
                              bound(record.account.userName),
                              bound(record.account.fullName),
                              bound(record.account.host),
                              bound(record.programVersion),
                              QVariant(record.rawSha256),
                              QVariant(qint64(record.raw.size())),
                              QVariant(qCompress(record.raw, 1)),
                              QVariant(s.added),
                              QVariant(s.repeated),
                              QVariant(s.conflicting)})
        q.addBindValue(v);
    if (!run(q, db, result))
        return false;
    if (!q.next()) {
        *result = db.failure(q.lastError());
        return false;
    }
    *importId = q.value(0).toLongLong();
    q.finish();
    return true;
}

QString datasetInsertSql()
{
    QString columns = QStringLiteral("import_id, meter, serial, layout, day, line, content_sha256, conflict");
    for (int f = 0; f < DatasetFields::Count; ++f)
        columns += QStringLiteral(", ") + DatasetFields::columnName(DatasetFields::Field(f));
    QString marks = QStringLiteral("?");
    for (int i = 1; i < 8 + DatasetFields::Count; ++i)
        marks += QStringLiteral(", ?");
    // Two importers may race past the check on a server: the unique key keeps one copy.
    return QStringLiteral("INSERT INTO datasets (%1) VALUES (%2) ON CONFLICT DO NOTHING").arg(columns, marks);
}

// The datasets through Qt's binding, on a server.
bool insertDatasets(const ArchiveDatabase &db, qint64 importId, const ImportRecord &record, int layout,
                    const QList<ArchivedDataset> &rows, const QList<char> &kinds, QList<qint64> *newIds,
                    Result *result)
{
    QSqlQuery insert(db.database());
    insert.prepare(datasetInsertSql() + QStringLiteral(" RETURNING id"));
    const QVariant noDay{QMetaType(QMetaType::QString)};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (kinds[i] == Repeat)
            continue;
        const ArchivedDataset &row = rows[i];
        insert.addBindValue(importId);
        insert.addBindValue(bound(record.meter));
        insert.addBindValue(bound(record.serial));
        insert.addBindValue(layout);
        insert.addBindValue(row.day.isEmpty() ? noDay : QVariant(row.day));
        insert.addBindValue(bound(row.line));
        insert.addBindValue(row.contentHash);
        insert.addBindValue(kinds[i] == Conflict ? 1 : 0);
        for (const QString &field : row.fields)
            insert.addBindValue(bound(field));
        if (!run(insert, db, result))
            return false;
        if (insert.next())
            newIds->append(insert.value(0).toLongLong());
    }
    return true;
}

// The import's entry: what came, and what of it was stored, so that every dataset row is accounted for.
Result importAction(ArchiveDatabase &db, const ImportRecord &record, qint64 importId, const Sorting &s,
                    TrailAction *out)
{
    qint64 stored = 0;
    QString storedSha256;
    if (Result r = ArchiveProof::storedDatasets(db, importId, &stored, &storedSha256); !r)
        return r;
    TrailAction &action = *out;
    action.action = QStringLiteral("import");
    action.object = QStringLiteral("import:") + record.uid;
    action.login = record.login;
    action.details = {{QStringLiteral("import"), importId},
                      {QStringLiteral("source"), ImportRecord::sourceName(record.source)},
                      {QStringLiteral("meter"), record.meter},
                      {QStringLiteral("serial"), record.serial},
                      {QStringLiteral("file"), record.fileName},
                      {QStringLiteral("new"), s.added},
                      {QStringLiteral("repeated"), s.repeated},
                      {QStringLiteral("conflicting"), s.conflicting},
                      {QStringLiteral("raw_sha256"), record.rawSha256},
                      {QStringLiteral("raw_size"), qint64(record.raw.size())},
                      {QStringLiteral("datasets"), stored},
                      {QStringLiteral("datasets_sha256"), storedSha256}};
    return {};
}

// The file a write to path lands in: the end of its links, by its folder's real path.
QString writtenFile(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; hops < 40 && info.isSymLink(); ++hops)
        info.setFile(info.symLinkTarget());
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

// Whether path is the archive's file or one SQLite keeps beside it: the same file (device and inode,
// whatever the link or spelling that leads to it), or the name of one not there at the moment.
bool isArchiveFile(const QString &archive, const QString &path)
{
    QStringList own{archive};
    for (const char *suffix : ArchiveFileRights::kCompanions)
        own.append(archive + QLatin1String(suffix));
    struct stat target {};
    const bool exists = ::stat(QFile::encodeName(path).constData(), &target) == 0;
    const QString written = writtenFile(path);
    for (const QString &file : own) {
        struct stat info {};
        if (exists && ::stat(QFile::encodeName(file).constData(), &info) == 0 &&
            info.st_dev == target.st_dev && info.st_ino == target.st_ino)
            return true;
        if (writtenFile(file) == written)
            return true;
    }
    return false;
}

// Held while a sync runs: a lock on the folder of this PC's own archive (not on its file, whose
// locks are SQLite's), released when the process ends however it ends.
class SyncLock {
public:
    explicit SyncLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~SyncLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SyncLock(const SyncLock &) = delete;
    SyncLock &operator=(const SyncLock &) = delete;

private:
    int m_fd;
};

// The imports and entries waiting on this PC for target, oldest first.
bool pendingHere(const ArchiveDatabase &waiting, const QString &target, QStringList *uids, Result *result)
{
    QSqlQuery q(waiting.database());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT o.import_uid FROM outbox o WHERE o.target = ? AND NOT EXISTS"
                       " (SELECT 1 FROM sent s WHERE s.import_uid = o.import_uid AND s.target = o.target)"
                       " ORDER BY o.queued_utc, o.rowid"));
    q.addBindValue(target);
    if (!run(q, waiting, result))
        return false;
    while (q.next())
        uids->append(q.value(0).toString());
    return true;
}

// Where and when an import was kept on this PC: its entry in this PC's chain.
QJsonObject keptHere(const ArchiveDatabase &waiting, const QString &uid)
{
    QSqlQuery q(waiting.database());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT host, seq, hash, at_utc FROM trail WHERE object = ? AND action = 'import'"
                       " ORDER BY seq DESC"));
    q.addBindValue(QStringLiteral("import:") + uid);
    if (!q.exec() || !q.next())
        return {};
    return {{QStringLiteral("host"), q.value(0).toString()},
            {QStringLiteral("seq"), q.value(1).toLongLong()},
            {QStringLiteral("hash"), q.value(2).toString()},
            {QStringLiteral("at"), q.value(3).toString()}};
}

// Whether the server's chain holds the entry kept on this PC as keptOn says already.
Result serverHolds(const ArchiveDatabase &db, const TrailAction &action, const QJsonObject &keptOn,
                   bool *holds)
{
    *holds = false;
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT details FROM trail WHERE object = ? AND action = ?"));
    q.addBindValue(bound(action.object));
    q.addBindValue(bound(action.action));
    Result result;
    if (!run(q, db, &result))
        return result;
    while (q.next() && !*holds) {
        const QJsonObject sent = QJsonDocument::fromJson(q.value(0).toString().toUtf8())
                                     .object()
                                     .value(QStringLiteral("kept_on"))
                                     .toObject();
        *holds = sent.value(QStringLiteral("host")) == keptOn.value(QStringLiteral("host")) &&
                 sent.value(QStringLiteral("hash")) == keptOn.value(QStringLiteral("hash"));
    }
    return result;
}

} // namespace

QString Archive::Summary::text() const
{
    return TextTable::text(TextTable::ArchiveSummary).arg(added).arg(repeated).arg(conflicting);
}

QString Archive::report(const Result &result, const Summary &summary)
{
    if (!result)
        return TextTable::text(TextTable::ArchiveNotArchived).arg(result.message);
    QString text = TextTable::text(TextTable::ArchiveImportSummary).arg(summary.text());
    if (summary.keptLocally)
        text += QLatin1Char('\n') + TextTable::text(TextTable::ArchiveKeptLocally);
    return text;
}

Archive::Archive(const CDevice &device, const CIni &ini) : m_device(device), m_ini(&ini) {}

Archive::Archive(const CDevice &device, ArchiveSettings settings)
    : m_device(device), m_settings(std::move(settings))
{
}

const ArchiveSettings &Archive::settings() const
{
    if (!m_settings)
        m_settings = m_ini ? ArchiveSettings::read(*m_ini) : ArchiveSettings();
    return *m_settings;
}

void Archive::reload()
{
    if (m_ini)
        m_settings.reset();
    m_primary.reset();
    m_serverAway.invalidate();
    m_local.reset();
}

Archive::~Archive() = default;

QString Archive::displayName() const
{
    return m_primary ? m_primary->displayName() : ArchiveDatabase(settings().location).displayName();
}

Result Archive::open()
{
    const UntranslatedDriverMessages untranslated;
    if (!settings().enabled)
        return {Result::Other, TextTable::text(TextTable::ArchiveDisabled)};
    if (m_primary && m_primary->isOpen())
        return {};
    // A server that did not answer a moment ago is not asked again at every file written: each try
    // costs the connection's time-out, and the work waits on this PC meanwhile.
    if (m_serverAway.isValid() && m_serverAway.elapsed() < kServerRetryMs)
        return {Result::Unreachable,
                TextTable::text(TextTable::ArchiveUnreachable).arg(displayName(), QString())};
    m_primary = std::make_unique<ArchiveDatabase>(settings().location, settings().shared);
    const Result result = m_primary->open();
    serverAway(result.failure == Result::Unreachable);
    return result;
}

void Archive::serverAway(bool away)
{
    if (away && settings().onServer())
        m_serverAway.start();
    else
        m_serverAway.invalidate();
}

ArchiveDatabase *Archive::waitingHere(Result *result)
{
    m_primary.reset();
    serverAway(true);
    ArchiveDatabase &waiting = local();
    *result = waiting.open();
    return *result ? &waiting : nullptr;
}

ArchiveDatabase &Archive::local()
{
    if (!m_local)
        m_local = std::make_unique<ArchiveDatabase>(ArchiveSettings::localPath());
    return *m_local;
}

Result Archive::keep(const ImportRecord &record, Summary *summary)
{
    return keepAll({record}, summary);
}

Result Archive::keepAll(const QList<ImportRecord> &records, Summary *summary, const Progress &progress)
{
    const UntranslatedDriverMessages untranslated;
    *summary = Summary();
    Result result = open();
    if (result) {
        // Imports that waited go first, so the server receives them in the order they were made.
        SyncOutcome synced;
        if (settings().onServer())
            synced = sync();
        result = keepOn(*m_primary, records, summary, progress, QString());
        // What waited is judged with what came now: both are new on the server.
        if (result)
            summary->newDatasetIds = synced.newDatasetIds + summary->newDatasetIds;
        if (result || result.failure != Result::Unreachable)
            return result;
    }
    if (result.failure != Result::Unreachable || !settings().onServer())
        return result;
    // The server is away (or went away during the import, which it then never received whole).
    ArchiveDatabase *here = waitingHere(&result);
    if (!here)
        return result;
    ArchiveDatabase &waiting = *here;
    *summary = Summary();
    result = keepOn(waiting, records, summary, progress, settings().location);
    summary->keptLocally = bool(result);
    return result;
}

Result Archive::keepOn(ArchiveDatabase &db, const QList<ImportRecord> &records, Summary *summary,
                       const Progress &progress, const QString &outboxTarget)
{
    if (Result r = db.begin(); !r)
        return r;
    if (db.engine() == ArchiveDatabase::PostgreSQL) {
        // One meter's imports one after another, so two PCs reading the same meter agree on what is
        // new and what is a conflict. Every meter of the batch is locked at once, in one order for all
        // importers: two PCs adding the same files in another order would otherwise each hold one
        // meter and wait for the other.
        QStringList serials;
        for (const ImportRecord &record : records)
            serials.append(record.serial.isNull() ? QStringLiteral("") : record.serial);
        serials.sort();
        serials.removeDuplicates();
        QSqlQuery lock(db.database());
        lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
        for (const QString &serial : serials) {
            Result r;
            lock.addBindValue(serial);
            if (!run(lock, db, &r)) {
                db.rollback();
                return r;
            }
        }
    }
    QSqlQuery outbox(db.database());
    if (!outboxTarget.isEmpty())
        outbox.prepare(
            QStringLiteral("INSERT INTO outbox (import_uid, target, queued_utc) VALUES (?, ?, ?)"));
    for (qsizetype i = 0; i < records.size(); ++i) {
        Result r = store(db, records[i], summary);
        if (r && !outboxTarget.isEmpty()) {
            outbox.addBindValue(records[i].uid);
            outbox.addBindValue(outboxTarget);
            outbox.addBindValue(isoUtc(QDateTime::currentDateTimeUtc()));
            run(outbox, db, &r);
        }
        if (r && progress && !progress(i + 1, records.size()))
            r = cancelled();
        if (!r) {
            db.rollback();
            *summary = Summary();
            return r;
        }
        CrashPoints::reach("import-stored");
    }
    if (m_importCheck && outboxTarget.isEmpty() && !summary->newDatasetIds.isEmpty()) {
        if (Result r = m_importCheck(db, summary->newDatasetIds); !r) {
            db.rollback();
            *summary = Summary();
            return r;
        }
        CrashPoints::reach("import-checked");
    }
    const Result committed = db.commit();
    CrashPoints::reach("import-committed");
    return committed;
}

Result Archive::store(ArchiveDatabase &db, const ImportRecord &record, Summary *summary)
{
    Result result;
    QList<ArchivedDataset> rows;
    if (!record.datasets(m_device, &rows))
        return {Result::Other, TextTable::text(TextTable::ArchiveBytesUnreadable).arg(record.fileName)};
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    // An import sent before (a sync whose answer got lost) is there already, whole.
    q.prepare(QStringLiteral("SELECT id FROM imports WHERE uid = ?"));
    q.addBindValue(record.uid);
    if (!run(q, db, &result))
        return result;
    if (q.next()) {
        summary->repeated += rows.size();
        ++summary->alreadyKept;
        return result;
    }
    KnownHashes known;
    if (!readKnown(db, q, record, rows, &known, &result))
        return result;
    const Sorting sorting = sortAgainst(rows, known);
    qint64 importId = 0;
    if (!insertImport(db, q, record, sorting, &importId, &result))
        return result;
    const int layout = archiveLayout(m_device, record.meter);
    QList<qint64> newIds;
    if (sqlite3 *handle = db.sqliteHandle()) {
        if (!insertSQLite(db, handle, datasetInsertSql(), importId, record, layout, rows, sorting.kinds,
                          &newIds, &result))
            return result;
    } else if (!insertDatasets(db, importId, record, layout, rows, sorting.kinds, &newIds, &result)) {
        return result;
    }
    // The import's entry in the trail, in the same transaction as its data.
    TrailAction action;
    if (Result r = importAction(db, record, importId, sorting, &action); !r)
        return r;
    // An import that waited on this PC: where and when it was kept first, beside this entry's time.
    if (!m_keptOn.isEmpty())
        action.details.insert(QStringLiteral("kept_on"), m_keptOn);
    if (Result r = Trail::append(db, action); !r)
        return r;
    summary->added += sorting.added;
    summary->repeated += sorting.repeated;
    summary->conflicting += sorting.conflicting;
    summary->newDatasetIds += newIds;
    return result;
}

Result Archive::query(const ArchiveFilter &filter, qint64 afterId, qint64 limit, QList<ArchivedRow> *rows,
                      const Progress &progress)
{
    const UntranslatedDriverMessages untranslated;
    rows->clear();
    if (Result r; refused(filter, &r))
        return r;
    if (Result r = open(); !r)
        return r;
    QVariantList parameters;
    const QString where = filter.whereClause(&parameters);
    const QString sql =
        QStringLiteral("SELECT d.id, d.import_id, d.meter, d.serial, d.layout, d.line, d.conflict,"
                       " i.imported_utc, i.login%1 FROM datasets d JOIN imports i ON i.id = d.import_id"
                       " WHERE %2 AND d.id > ? ORDER BY d.id%3")
            .arg(datasetColumns(), where, limit > 0 ? QStringLiteral(" LIMIT %1").arg(limit) : QString());
    ImportTimes times;
    auto keep = [&](ArchivedRow &&row) {
        rows->append(std::move(row));
        return !progress || rows->size() % 1000 != 0 || progress(rows->size(), 0);
    };
    if (sqlite3 *handle = m_primary->sqliteHandle()) {
        // Qt turns each of the rows' values into a variant first: SQLite's texts are read directly.
        sqlite3_stmt *statement = nullptr;
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
            return m_primary->sqliteFailure();
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize(statement, &sqlite3_finalize);
        int index = 0;
        for (const QVariant &p : parameters) {
            const QByteArray value = p.toString().toUtf8();
            sqlite3_bind_text(statement, ++index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
        sqlite3_bind_int64(statement, ++index, afterId);
        auto textAt = [statement](int c) {
            const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(statement, c));
            return QString::fromUtf8(utf8, sqlite3_column_bytes(statement, c));
        };
        auto integerAt = [statement](int c) { return qint64(sqlite3_column_int64(statement, c)); };
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW)
            if (!keep(rowFrom(textAt, integerAt, times))) {
                rows->clear();
                return cancelled();
            }
        if (step != SQLITE_DONE)
            return m_primary->sqliteFailure();
        return attachCorrections(*m_primary, rows);
    }
    QSqlQuery q(m_primary->database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant &p : parameters)
        q.addBindValue(p);
    q.addBindValue(afterId);
    Result result;
    if (!run(q, *m_primary, &result))
        return result;
    auto textAt = [&q](int c) { return q.value(c).toString(); };
    auto integerAt = [&q](int c) { return q.value(c).toLongLong(); };
    while (q.next())
        if (!keep(rowFrom(textAt, integerAt, times))) {
            rows->clear();
            return cancelled();
        }
    if (q.lastError().isValid())
        return m_primary->failure(q.lastError());
    return attachCorrections(*m_primary, rows);
}

Result Archive::attachCorrections(ArchiveDatabase &db, QList<ArchivedRow> *rows)
{
    Result result;
    if (rows->isEmpty())
        return result;
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    // Corrections are few: those in the rows' id range, matched here.
    QHash<qint64, qsizetype> at;
    for (qsizetype i = 0; i < rows->size(); ++i)
        at.insert(rows->at(i).id, i);
    q.prepare(QStringLiteral(
        "SELECT dataset_id, kind, text FROM annotations WHERE dataset_id >= ? AND dataset_id <= ?"
        " ORDER BY id"));
    q.addBindValue(rows->first().id);
    q.addBindValue(rows->last().id);
    if (!run(q, db, &result))
        return result;
    while (q.next()) {
        const auto found = at.constFind(q.value(0).toLongLong());
        if (found == at.constEnd())
            continue;
        ArchivedRow &row = (*rows)[*found];
        if (q.value(1).toString() == QLatin1String("withdraw")) {
            row.withdrawn = true;
            row.withdrawnReason = q.value(2).toString();
        }
        row.notes.append(q.value(2).toString());
    }
    return result;
}

Result Archive::count(const ArchiveFilter &filter, qint64 *count)
{
    const UntranslatedDriverMessages untranslated;
    *count = 0;
    if (Result r; refused(filter, &r))
        return r;
    if (Result r = open(); !r)
        return r;
    QVariantList parameters;
    const QString where = filter.whereClause(&parameters);
    QSqlQuery q(m_primary->database());
    q.setForwardOnly(true);
    // The join costs time on millions of rows: only a filter by user needs it.
    q.prepare(
        filter.user.isEmpty()
            ? QStringLiteral("SELECT count(*) FROM datasets d WHERE %1").arg(where)
            : QStringLiteral("SELECT count(*) FROM datasets d JOIN imports i ON i.id = d.import_id WHERE %1")
                  .arg(where));
    for (const QVariant &p : parameters)
        q.addBindValue(p);
    Result result;
    if (!run(q, *m_primary, &result))
        return result;
    if (q.next())
        *count = q.value(0).toLongLong();
    return result;
}

Result Archive::raw(qint64 importId, QByteArray *bytes, bool *found)
{
    const UntranslatedDriverMessages untranslated;
    *found = false;
    bytes->clear();
    if (Result r = open(); !r)
        return r;
    QSqlQuery q(m_primary->database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT raw, raw_sha256 FROM imports WHERE id = ?"));
    q.addBindValue(importId);
    Result result;
    if (!run(q, *m_primary, &result) || !q.next())
        return result;
    *found = true;
    *bytes = qUncompress(q.value(0).toByteArray());
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(*bytes, QCryptographicHash::Sha256).toHex());
    if (sha != q.value(1).toString())
        return {Result::Damaged, TextTable::text(TextTable::ArchiveRawMismatch).arg(importId)};
    return result;
}

Result Archive::status(ArchiveStatus *status)
{
    const UntranslatedDriverMessages untranslated;
    *status = ArchiveStatus();
    status->location = displayName();
    status->engine = settings().onServer() ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
    if (settings().onServer() && QFileInfo::exists(ArchiveSettings::localPath()) && local().open()) {
        QSqlQuery p(local().database());
        p.prepare(QStringLiteral(
            "SELECT count(*) FROM outbox o WHERE o.target = ? AND NOT EXISTS"
            " (SELECT 1 FROM sent s WHERE s.import_uid = o.import_uid AND s.target = o.target)"));
        p.addBindValue(settings().location);
        if (p.exec() && p.next())
            status->pending = p.value(0).toLongLong();
    }
    if (Result r = open(); !r)
        return r;
    QSqlQuery q(m_primary->database());
    q.setForwardOnly(true);
    const char *const counts[] = {"SELECT count(*) FROM imports", "SELECT count(*) FROM datasets",
                                  "SELECT count(*) FROM datasets WHERE conflict = 1",
                                  "SELECT count(*) FROM (SELECT DISTINCT meter, serial FROM imports) m"};
    qint64 *targets[] = {&status->imports, &status->datasets, &status->conflicts, &status->meters};
    for (int i = 0; i < 4; ++i) {
        if (!q.exec(QString::fromLatin1(counts[i])))
            return m_primary->failure(q.lastError());
        if (q.next())
            *targets[i] = q.value(0).toLongLong();
    }
    status->bytes = m_primary->sizeOnDisk();
    return {};
}

Result Archive::backup(const QString &path, bool replace)
{
    const UntranslatedDriverMessages untranslated;
    if (Result r = open(); !r)
        return r;
    if (m_primary->engine() != ArchiveDatabase::SQLite)
        return {Result::Other, TextTable::text(TextTable::ArchiveBackupServer).arg(m_primary->displayName())};
    const QString shown = QDir::toNativeSeparators(path);
    // Replaced by a copy of itself, the archive's file would lose what its log holds; its log or index
    // replaced, it is damaged.
    if (isArchiveFile(m_primary->location(), path))
        return {Result::NotWritten, TextTable::text(TextTable::ArchiveBackupOwnFile).arg(shown)};
    if (!replace && QFileInfo::exists(path))
        return {Result::NotWritten, TextTable::text(TextTable::ArchiveBackupExists).arg(shown)};
    FileWrites::ReplaceByRename target(path);
    if (!target.open())
        return {Result::NotWritten,
                TextTable::text(TextTable::FileWriteFailed).arg(shown, target.errorString())};
    // The copy holds what the archive holds: nobody else's to read.
    struct stat archive {};
    if (::stat(QFile::encodeName(m_primary->location()).constData(), &archive) == 0)
        ::chmod(QFile::encodeName(target.temporaryPath()).constData(), archive.st_mode & 0660);
    QSqlQuery q(m_primary->database());
    q.prepare(QStringLiteral("VACUUM INTO ?"));
    q.addBindValue(target.temporaryPath());
    Result result;
    // The copy is what failed to be written (a full disk, a size limit), not the archive.
    if (!q.exec())
        return {Result::NotWritten,
                TextTable::text(TextTable::FileWriteFailed).arg(shown, q.lastError().databaseText())};
    // Synced, then renamed: the target is the whole copy or what it was.
    if (!(replace ? target.commit() : target.commitNew()))
        return {Result::NotWritten,
                replace || !QFileInfo::exists(path)
                    ? TextTable::text(TextTable::FileWriteFailed).arg(shown, target.errorString())
                    : TextTable::text(TextTable::ArchiveBackupExists).arg(shown)};
    return result;
}

Archive::SyncOutcome Archive::sync(const Progress &progress)
{
    const UntranslatedDriverMessages untranslated;
    SyncOutcome outcome;
    if (!settings().enabled || !settings().onServer() || !QFileInfo::exists(ArchiveSettings::localPath()))
        return outcome;
    // One sync at a time on this PC (the desktop program and a command at once): the second waits and
    // then finds sent what the first sent, instead of counting it as its own.
    const SyncLock lock(QFileInfo(ArchiveSettings::localPath()).absolutePath());
    // Asked for: the server is tried now, however recently it did not answer.
    m_serverAway.invalidate();
    ArchiveDatabase &waiting = local();
    if (outcome.result = waiting.open(); !outcome.result)
        return outcome;
    QStringList uids;
    if (!pendingHere(waiting, settings().location, &uids, &outcome.result))
        return outcome;
    outcome.remaining = uids.size();
    if (uids.isEmpty())
        return outcome;
    if (outcome.result = open(); !outcome.result)
        return outcome;
    for (const QString &uid : uids) {
        bool there = false;
        outcome.result = sendOne(waiting, uid, &there, &outcome.newDatasetIds);
        if (!outcome.result) {
            if (outcome.result.failure == Result::Unreachable) {
                m_primary.reset();
                serverAway(true);
            }
            return outcome;
        }
        QSqlQuery sent(waiting.database());
        sent.prepare(QStringLiteral(
            "INSERT INTO sent (import_uid, target, sent_utc) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"));
        sent.addBindValue(uid);
        sent.addBindValue(settings().location);
        sent.addBindValue(isoUtc(QDateTime::currentDateTimeUtc()));
        if (!run(sent, waiting, &outcome.result))
            return outcome;
        ++(there ? outcome.alreadyThere : outcome.sent);
        --outcome.remaining;
        if (progress && !progress(outcome.sent + outcome.alreadyThere, uids.size()))
            return outcome;
    }
    return outcome;
}

Result Archive::sendOne(ArchiveDatabase &waiting, const QString &uid, bool *alreadyThere,
                        QList<qint64> *newIds)
{
    // An entry made while the server was away joins the server's chain, saying where and when it was
    // first written.
    if (uid.startsWith(QLatin1String("trail:")))
        return sendEntry(waiting, uid.mid(6).toLongLong(), alreadyThere);
    ImportRecord record;
    Result result;
    if (!readImport(waiting, uid, &record, &result))
        return result;
    // The server's entry of the import says where and when it was kept first, beside its own time.
    m_keptOn = keptHere(waiting, uid);
    Summary kept;
    // On the server first; then noted here. A crash between the two sends it again, and the server
    // recognises it by its uid: already there, not sent now.
    result = keepOn(*m_primary, {record}, &kept, {}, QString());
    m_keptOn = QJsonObject();
    *alreadyThere = kept.alreadyKept > 0;
    *newIds += kept.newDatasetIds;
    return result;
}

Result Archive::record(const TrailAction &action)
{
    Result result = open();
    if (result) {
        if (result = m_primary->begin(); !result)
            return result;
        result = Trail::append(*m_primary, action);
        if (result)
            return m_primary->commit();
        m_primary->rollback();
    }
    if (result.failure != Result::Unreachable || !settings().onServer())
        return result;
    // Kept in this PC's own chain, and appended to the server's by the next sync.
    ArchiveDatabase *here = waitingHere(&result);
    if (!here)
        return result;
    ArchiveDatabase &waiting = *here;
    if (Result r = waiting.begin(); !r)
        return r;
    TrailEntry entry;
    result = Trail::append(waiting, action, &entry);
    if (result) {
        QSqlQuery outbox(waiting.database());
        outbox.prepare(
            QStringLiteral("INSERT INTO outbox (import_uid, target, queued_utc) VALUES (?, ?, ?)"));
        outbox.addBindValue(QStringLiteral("trail:%1").arg(entry.seq));
        outbox.addBindValue(settings().location);
        outbox.addBindValue(isoUtc(QDateTime::currentDateTimeUtc()));
        run(outbox, waiting, &result);
    }
    if (!result) {
        waiting.rollback();
        return result;
    }
    return waiting.commit();
}

Result Archive::transaction(const std::function<Result(ArchiveDatabase &db)> &work)
{
    const UntranslatedDriverMessages untranslated;
    if (Result r = open(); !r)
        return r;
    ArchiveDatabase &db = *m_primary;
    if (Result r = db.begin(); !r)
        return r;
    const Result result = work(db);
    if (!result) {
        db.rollback();
        return result;
    }
    return db.commit();
}

Result Archive::trailHead(TrailEntry *entry)
{
    *entry = TrailEntry();
    if (Result r = open(); !r)
        return r;
    return Trail::head(*m_primary, entry);
}

Result Archive::trail(const TrailFilter &filter, QList<TrailEntry> *entries)
{
    entries->clear();
    if (Result r = open(); !r)
        return r;
    return Trail::entries(*m_primary, filter, entries);
}

Result Archive::trailCount(const TrailFilter &filter, qint64 *count)
{
    *count = 0;
    if (Result r = open(); !r)
        return r;
    return Trail::count(*m_primary, filter, count);
}

Result Archive::findFile(const QString &sha256, QList<TrailEntry> *entries)
{
    entries->clear();
    if (Result r = open(); !r)
        return r;
    return Trail::findFile(*m_primary, sha256, entries);
}

Result Archive::annotate(qint64 datasetId, const QString &text, const QString &login)
{
    return correct(datasetId, QStringLiteral("note"), text, login);
}

Result Archive::withdraw(qint64 datasetId, const QString &reason, const QString &login)
{
    return correct(datasetId, QStringLiteral("withdraw"), reason, login);
}

Result Archive::correct(qint64 datasetId, const QString &kind, const QString &text, const QString &login)
{
    if (text.trimmed().isEmpty())
        return {Result::Other, TextTable::text(TextTable::TrailReasonMissing)};
    if (Result r = open(); !r)
        return r;
    ArchiveDatabase &db = *m_primary;
    if (Result r = db.begin(); !r)
        return r;
    Result result;
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT serial, no, date, time, line FROM datasets WHERE id = ?"));
    q.addBindValue(datasetId);
    if (!run(q, db, &result)) {
        db.rollback();
        return result;
    }
    if (!q.next()) {
        db.rollback();
        return {Result::Other, TextTable::text(TextTable::TrailNoDataset).arg(datasetId)};
    }
    TrailAction action;
    action.action =
        kind == QLatin1String("withdraw") ? QStringLiteral("withdraw") : QStringLiteral("annotate");
    action.object = QStringLiteral("dataset:%1").arg(datasetId);
    action.login = login;
    action.reason = text.trimmed();
    action.details = {{QStringLiteral("serial"), q.value(0).toString()},
                      {QStringLiteral("no"), q.value(1).toString()},
                      {QStringLiteral("date"), q.value(2).toString()},
                      {QStringLiteral("time"), q.value(3).toString()},
                      {QStringLiteral("line"), q.value(4).toString()}};
    q.finish();
    TrailEntry entry;
    if (result = Trail::append(db, action, &entry); result) {
        q.prepare(QStringLiteral(
            "INSERT INTO annotations (dataset_id, kind, text, trail_seq) VALUES (?, ?, ?, ?)"));
        q.addBindValue(datasetId);
        q.addBindValue(kind);
        q.addBindValue(text.trimmed());
        q.addBindValue(entry.seq);
        run(q, db, &result);
    }
    if (!result) {
        db.rollback();
        return result;
    }
    return db.commit();
}

Result Archive::verifyImports(ArchiveDatabase &db, TrailVerdict *verdict)
{
    // Behind an intact chain, every row it accounts for.
    return verdict->intact ? ArchiveProof::verify(db, m_device, verdict) : Result();
}

Result Archive::verify(TrailVerdict *verdict, qint64 anchorSeq, const QString &anchorHash,
                       const QString &login, const Progress &progress)
{
    *verdict = TrailVerdict();
    if (Result r = open(); !r)
        return r;
    if (Result r = Trail::verify(*m_primary, verdict, anchorSeq, anchorHash, progress); !r)
        return r;
    if (Result r = verifyImports(*m_primary, verdict); !r)
        return r;
    // The entries and imports that wait on this PC have their own chain.
    if (settings().onServer() && verdict->intact && QFileInfo::exists(ArchiveSettings::localPath()) &&
        local().open()) {
        TrailVerdict waiting;
        const bool read = Trail::verify(local(), &waiting) && verifyImports(local(), &waiting);
        if (read && !waiting.intact)
            *verdict = waiting;
    }
    TrailAction action;
    action.action = QStringLiteral("trail-verify");
    action.object = QStringLiteral("trail");
    action.login = login;
    action.details = {{QStringLiteral("intact"), verdict->intact},
                      {QStringLiteral("entries"), verdict->entries},
                      {QStringLiteral("imports"), verdict->imports},
                      {QStringLiteral("broken_seq"), verdict->brokenSeq},
                      {QStringLiteral("problem"), verdict->problem}};
    if (anchorSeq > 0)
        action.details.insert(QStringLiteral("anchor"),
                              QStringLiteral("%1:%2").arg(anchorSeq).arg(anchorHash));
    return record(action);
}

Result Archive::sendEntry(ArchiveDatabase &waiting, qint64 seq, bool *alreadyThere)
{
    TrailFilter all;
    QList<TrailEntry> entries;
    if (Result r = Trail::entries(waiting, all, &entries); !r)
        return r;
    const auto found =
        std::find_if(entries.cbegin(), entries.cend(), [seq](const TrailEntry &e) { return e.seq == seq; });
    if (found == entries.cend())
        return {Result::Damaged, TextTable::text(TextTable::TrailMissing).arg(seq).arg(seq + 1)};
    TrailAction action;
    action.action = found->action;
    action.object = found->object;
    action.login = found->login;
    action.reason = found->reason;
    action.fileSha256 = found->fileSha256;
    action.details = QJsonDocument::fromJson(found->details.toUtf8()).object();
    const QJsonObject keptOn{{QStringLiteral("host"), found->host},
                             {QStringLiteral("seq"), found->seq},
                             {QStringLiteral("hash"), found->hash},
                             {QStringLiteral("at"), isoUtc(found->atUtc)}};
    action.details.insert(QStringLiteral("kept_on"), keptOn);
    if (Result r = m_primary->begin(); !r)
        return r;
    // Sent before (its note here lost, or a crash before it was made): the server keeps it once.
    Result result = serverHolds(*m_primary, action, keptOn, alreadyThere);
    if (result && !*alreadyThere)
        result = Trail::append(*m_primary, action);
    if (!result) {
        m_primary->rollback();
        return result;
    }
    return m_primary->commit();
}

Result Archive::keepQc(QcTable table, const QString &name, const QJsonObject &content, const QString &login)
{
    return transaction([&](ArchiveDatabase &db) { return keepQc(db, table, name, content, login); });
}

Result Archive::keepQc(ArchiveDatabase &db, QcTable table, const QString &name, const QJsonObject &content,
                       const QString &login)
{
    TrailAction action;
    action.action = table == QcDefinitions ? QStringLiteral("qc-define") : QStringLiteral("qc-limits");
    action.object = QStringLiteral("qc:") + name;
    action.login = login;
    action.details = content;
    TrailEntry entry;
    Result result = Trail::append(db, action, &entry);
    if (!result)
        return result;
    QSqlQuery q(db.database());
    q.prepare(
        QStringLiteral("INSERT INTO %1 (name, content, trail_seq) VALUES (?, ?, ?)")
            .arg(table == QcDefinitions ? QStringLiteral("qc_definitions") : QStringLiteral("qc_revisions")));
    q.addBindValue(name);
    q.addBindValue(QString::fromUtf8(QJsonDocument(content).toJson(QJsonDocument::Compact)));
    q.addBindValue(entry.seq);
    run(q, db, &result);
    return result;
}

Result Archive::qcRows(QcTable table, const QString &name, QList<QJsonObject> *rows)
{
    const UntranslatedDriverMessages untranslated;
    rows->clear();
    if (Result r = open(); !r)
        return r;
    QSqlQuery q(m_primary->database());
    q.setForwardOnly(true);
    const QString from =
        table == QcDefinitions ? QStringLiteral("qc_definitions") : QStringLiteral("qc_revisions");
    if (name.isNull()) {
        q.prepare(QStringLiteral("SELECT content FROM %1 ORDER BY id").arg(from));
    } else {
        q.prepare(QStringLiteral("SELECT content FROM %1 WHERE name = ? ORDER BY id").arg(from));
        q.addBindValue(name);
    }
    Result result;
    if (!run(q, *m_primary, &result))
        return result;
    while (q.next())
        rows->append(QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object());
    return result;
}
