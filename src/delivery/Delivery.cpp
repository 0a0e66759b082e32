#include "Delivery.h"

#include "Cp1252.h"
#include "CrashPoints.h"
#include "FileWrites.h"
#include "TextTable.h"
#include "Trail.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlQuery>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Result = Archive::Result;

QString safeName(QString text)
{
    for (QChar &c : text)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    return text.isEmpty() ? QStringLiteral("none") : text;
}

QString idsText(const QList<qint64> &ids)
{
    QStringList parts;
    parts.reserve(ids.size());
    for (const qint64 id : ids)
        parts.append(QString::number(id));
    return parts.join(QLatin1Char(','));
}

QList<qint64> idsFrom(const QString &text)
{
    QList<qint64> ids;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids.append(part.toLongLong());
    return ids;
}

QString sha256Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Datasets as profiles see them, ascending; where picks them (with its bound values).
bool readRows(ArchiveDatabase &db, const QString &where, const QVariantList &binds, QList<DeliveryRow> *rows,
              Result *result)
{
    QString columns;
    for (int f = 0; f < DatasetFields::Count; ++f)
        columns += QStringLiteral(", d.") + DatasetFields::columnName(DatasetFields::Field(f));
    // Conflicting datasets wait for a person: the lab decides which of two contents is the result.
    const QString sql =
        QStringLiteral("SELECT d.id, d.meter, d.serial, d.day, i.imported_utc, i.login,"
                       " (SELECT s.sample_id FROM delivery_sample_ids s WHERE s.dataset_id = d.id"
                       "  ORDER BY s.id DESC LIMIT 1)%1"
                       " FROM datasets d JOIN imports i ON i.id = d.import_id"
                       " WHERE d.conflict = 0 AND NOT EXISTS (SELECT 1 FROM annotations a"
                       " WHERE a.dataset_id = d.id AND a.kind = 'withdraw') AND %2 ORDER BY d.id")
            .arg(columns, where);
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant &bind : binds)
        q.addBindValue(bind);
    if (!q.exec()) {
        *result = db.failure(q.lastError());
        return false;
    }
    while (q.next()) {
        DeliveryRow row;
        row.id = q.value(0).toLongLong();
        row.meter = q.value(1).toString();
        row.serial = q.value(2).toString();
        row.day = q.value(3).toString();
        row.importedUtc = QDateTime::fromString(q.value(4).toString(), Qt::ISODateWithMs);
        row.importedBy = q.value(5).toString();
        row.sampleId = q.value(6).toString();
        for (int f = 0; f < DatasetFields::Count; ++f)
            row.fields[size_t(f)] = q.value(7 + f).toString();
        rows->append(row);
    }
    return true;
}

// The candidates of one profile, ascending: undelivered ones, or the range asked for again.
bool candidates(ArchiveDatabase &db, const ExportProfile &profile, qint64 from, qint64 to,
                QList<DeliveryRow> *rows, Result *result)
{
    QList<DeliveryRow> all;
    const bool ok = from > 0
                        ? readRows(db, QStringLiteral("d.id >= ? AND d.id <= ?"), {from, to}, &all, result)
                        : readRows(db,
                                   QStringLiteral("NOT EXISTS (SELECT 1 FROM delivery_deliveries x"
                                                  " WHERE x.dataset_id = d.id AND x.profile = ?)"),
                                   {profile.name}, &all, result);
    for (const DeliveryRow &row : all)
        if (profile.accepts(row))
            rows->append(row);
    return ok;
}

// A file of a profile as the archive knows it before and after it appears in the folder.
struct Intent {
    qint64 id = 0;
    QString path;      // the final name
    QString temporary; // where the bytes are written first: a hidden name no reader takes
    QString serial;
    QList<qint64> ids;
    QString sha256;
    QDateTime utc;
    bool again = false;
    bool written = false; // the temporary file was complete and synced: it may have been renamed since
};

Result addStep(ArchiveDatabase &db, qint64 intentId, const char *step)
{
    QSqlQuery q(db.database());
    q.prepare(QStringLiteral("INSERT INTO delivery_intent_steps (intent_id, step, at_utc) VALUES (?, ?, ?)"));
    q.addBindValue(intentId);
    q.addBindValue(QString::fromLatin1(step));
    q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    return q.exec() ? Result() : db.failure(q.lastError());
}

// The intents of the profile that were neither done nor abandoned, oldest first.
Result openIntents(Archive &archive, const ExportProfile &profile, QList<Intent> *intents)
{
    return archive.transaction([&](ArchiveDatabase &db) -> Result {
        QSqlQuery q(db.database());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral(
            "SELECT i.id, i.path, i.temporary, i.serial, i.dataset_ids, i.file_sha256, i.created_utc, "
            "i.again,"
            " EXISTS (SELECT 1 FROM delivery_intent_steps w WHERE w.intent_id = i.id AND w.step = 'written')"
            " FROM delivery_intents i WHERE i.profile = ? AND NOT EXISTS (SELECT 1 FROM "
            "delivery_intent_steps s"
            " WHERE s.intent_id = i.id AND s.step IN ('done', 'abandoned')) ORDER BY i.id"));
        q.addBindValue(profile.name);
        if (!q.exec())
            return db.failure(q.lastError());
        while (q.next()) {
            Intent intent;
            intent.id = q.value(0).toLongLong();
            intent.path = q.value(1).toString();
            intent.temporary = q.value(2).toString();
            intent.serial = q.value(3).toString();
            intent.ids = idsFrom(q.value(4).toString());
            intent.sha256 = q.value(5).toString();
            intent.utc = QDateTime::fromString(q.value(6).toString(), Qt::ISODateWithMs);
            intent.again = q.value(7).toLongLong() != 0;
            intent.written = q.value(8).toBool();
            intents->append(intent);
        }
        return {};
    });
}

// Deliverers of one profile one after another, from the intent to its record: on a server a lock of
// the session (it goes with a crashed program's connection), on this PC a lock on a file beside the
// archive (it goes with the crashed process).
class DeliveryLock {
public:
    explicit DeliveryLock(Archive &archive) : m_archive(archive) {}
    ~DeliveryLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_key.isEmpty())
            m_archive.transaction([this](ArchiveDatabase &db) -> Result {
                QSqlQuery unlock(db.database());
                unlock.prepare(QStringLiteral("SELECT pg_advisory_unlock(hashtext(?))"));
                unlock.addBindValue(m_key);
                unlock.exec();
                return {};
            });
    }
    DeliveryLock(const DeliveryLock &) = delete;
    DeliveryLock &operator=(const DeliveryLock &) = delete;

    Result take(const ExportProfile &profile)
    {
        QString file;
        const Result result = m_archive.transaction([&](ArchiveDatabase &db) -> Result {
            if (db.engine() != ArchiveDatabase::PostgreSQL) {
                file = db.location() + QStringLiteral("-delivery.lock");
                return {};
            }
            QSqlQuery lock(db.database());
            lock.prepare(QStringLiteral("SELECT pg_advisory_lock(hashtext(?))"));
            lock.addBindValue(QStringLiteral("delivery:") + profile.name);
            if (!lock.exec())
                return db.failure(lock.lastError());
            m_key = QStringLiteral("delivery:") + profile.name;
            return {};
        });
        if (!result || file.isEmpty())
            return result;
        // Taken outside the archive's transaction: a writer waiting for it never holds the archive.
        m_fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0)
            return {Result::CannotWrite, file + QStringLiteral(": ") + FileWrites::systemText(errno)};
        return {};
    }

private:
    Archive &m_archive;
    QString m_key;
    int m_fd = -1;
};

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// The bytes under the intent's temporary name, complete and on the disk: empty, or why not.
QString writeTemporary(const Intent &intent, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(intent.temporary);
    ::unlink(name.constData());
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return FileWrites::systemText(errno);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(name.constData());
            return FileWrites::systemText(error);
        }
        done += n;
    }
    CrashPoints::reach("deliver-temporary-written");
    const QString unsynced = FileWrites::syncFileAndFolder(fd, folderOf(intent.temporary));
    ::close(fd);
    if (!unsynced.isEmpty()) {
        ::unlink(name.constData());
        return unsynced;
    }
    CrashPoints::reach("deliver-temporary-synced");
    return {};
}

bool sameBytes(const QString &path, const QString &sha256)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex()) == sha256;
}

// The written temporary file under its final name: empty, or why not. A temporary that is gone was
// renamed before: the file is there, or the reader took it.
QString moveIntoPlace(const Intent &intent)
{
    const QByteArray temporary = QFile::encodeName(intent.temporary);
    const QByteArray final = QFile::encodeName(intent.path);
    struct stat info {};
    if (::lstat(temporary.constData(), &info) != 0)
        return {};
    if (!FileWrites::renameNoReplace(temporary, final)) {
        const int error = errno;
        // Only a crash between a hard link and the removal of the old name leaves both, the same bytes.
        if (error != EEXIST || !sameBytes(intent.path, intent.sha256))
            return FileWrites::systemText(error);
        ::unlink(temporary.constData());
    }
    CrashPoints::reach("deliver-renamed");
    if (const QString unsynced = FileWrites::syncFileAndFolder(-1, folderOf(intent.path));
        !unsynced.isEmpty())
        return unsynced;
    CrashPoints::reach("deliver-folder-synced");
    return {};
}

// The delivery per dataset, with its trail entry, and the intent done: one transaction.
Result recordDone(ArchiveDatabase &db, const ExportProfile &profile, const Intent &intent,
                  const QString &login)
{
    TrailAction action;
    action.action = QStringLiteral("deliver");
    action.object = intent.path;
    action.fileSha256 = intent.sha256;
    action.login = login;
    action.details = {{QStringLiteral("profile"), profile.name},
                      {QStringLiteral("serial"), intent.serial},
                      {QStringLiteral("datasets"), qint64(intent.ids.size())},
                      {QStringLiteral("first_id"), intent.ids.first()},
                      {QStringLiteral("last_id"), intent.ids.last()},
                      {QStringLiteral("again"), intent.again},
                      {QStringLiteral("dataset_ids_sha256"), Delivery::datasetIdsSha256(intent.ids)}};
    TrailEntry entry;
    if (Result result = Trail::append(db, action, &entry); !result)
        return result;
    QSqlQuery insert(db.database());
    insert.prepare(QStringLiteral("INSERT INTO delivery_deliveries (dataset_id, profile, path, file_sha256,"
                                  " delivered_utc, again, trail_seq) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    const QString at = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    for (const qint64 id : intent.ids) {
        insert.addBindValue(id);
        insert.addBindValue(profile.name);
        insert.addBindValue(intent.path);
        insert.addBindValue(intent.sha256);
        insert.addBindValue(at);
        insert.addBindValue(intent.again ? 1 : 0);
        insert.addBindValue(entry.seq);
        if (!insert.exec())
            return db.failure(insert.lastError());
    }
    return addStep(db, intent.id, "done");
}

Result waitingFor(const ExportProfile &profile, const QString &folder, const QString &why,
                  DeliveryOutcome *outcome)
{
    outcome->waiting = true;
    return {Result::CannotWrite, TextTable::text(TextTable::DeliveryWaiting).arg(profile.name, folder, why)};
}

// From the intent on: the temporary file, its step, the rename, the record. A commit that fails after
// the rename leaves the file for the reader: the next deliverer records it.
Result complete(Archive &archive, const ExportProfile &profile, Intent &intent, const QByteArray &bytes,
                const QString &login, DeliveryOutcome *outcome)
{
    const QString folder = folderOf(intent.path);
    if (!QFileInfo(folder).isDir())
        return waitingFor(profile, folder, TextTable::text(TextTable::DeliveryNoFolder), outcome);
    if (!intent.written) {
        if (const QString why = writeTemporary(intent, bytes); !why.isEmpty())
            return waitingFor(profile, folder, why, outcome);
        const Result written = archive.transaction([&](ArchiveDatabase &db) -> Result {
            const Result step = addStep(db, intent.id, "written");
            CrashPoints::reach("deliver-before-written-commit");
            return step;
        });
        if (!written)
            return written;
        CrashPoints::reach("deliver-written-committed");
        intent.written = true;
    }
    if (const QString why = moveIntoPlace(intent); !why.isEmpty())
        return waitingFor(profile, folder, why, outcome);
    const Result done = archive.transaction([&](ArchiveDatabase &db) -> Result {
        const Result recorded = recordDone(db, profile, intent, login);
        CrashPoints::reach("deliver-before-done-commit");
        return recorded;
    });
    if (!done)
        return done;
    CrashPoints::reach("deliver-done-committed");
    outcome->delivered += intent.ids.size();
    outcome->files.append(intent.path);
    outcome->counts.append(intent.ids.size());
    return {};
}

// An intent a crash (or a failed commit) left: finished with the same bytes, or, when its datasets no
// longer give them and no file appeared, abandoned so its datasets go again.
Result finish(Archive &archive, const ExportProfile &profile, Intent &intent, const QString &login,
              DeliveryOutcome *outcome)
{
    if (intent.written)
        return complete(archive, profile, intent, QByteArray(), login, outcome);
    QList<DeliveryRow> rows;
    Result result = archive.transaction([&](ArchiveDatabase &db) -> Result {
        Result read;
        readRows(db, QStringLiteral("d.id >= ? AND d.id <= ?"), {intent.ids.first(), intent.ids.last()},
                 &rows, &read);
        return read;
    });
    if (!result)
        return result;
    const QSet<qint64> wanted(intent.ids.cbegin(), intent.ids.cend());
    rows.removeIf([&](const DeliveryRow &row) { return !wanted.contains(row.id); });
    const QByteArray bytes = profile.format(rows);
    if (rows.size() == intent.ids.size() && sha256Of(bytes) == intent.sha256)
        return complete(archive, profile, intent, bytes, login, outcome);
    ::unlink(QFile::encodeName(intent.temporary).constData());
    return archive.transaction([&](ArchiveDatabase &db) { return addStep(db, intent.id, "abandoned"); });
}

// A line of the file that the profile's encoding cannot hold: the row is held, never altered.
bool encodable(const ExportProfile &profile, const DeliveryRow &row)
{
    if (profile.encoding != ExportProfile::Windows1252)
        return true;
    QString line;
    profile.appendRow(line, row);
    bool lossless = true;
    Cp1252::encode(line, &lossless);
    return lossless;
}

// A free final name in the folder for the batch: an existing file is never replaced, and two
// deliveries within a second (a repeat) get a number.
QString freeName(const QString &folder, const QString &base)
{
    for (int n = 1; n < 100; ++n) {
        const QString path = QDir(folder).filePath(n == 1 ? base + QStringLiteral(".csv")
                                                          : base + QStringLiteral("-%1.csv").arg(n));
        const QString temporary = QDir(folder).filePath(QLatin1Char('.') + QFileInfo(path).fileName() +
                                                        QStringLiteral(".delivering"));
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 &&
            ::lstat(QFile::encodeName(temporary).constData(), &info) != 0)
            return path;
    }
    return {};
}

// The files of a run: the profile's candidates read once, ascending, one batch per meter in the order
// its first dataset came.
Result batchesOf(Archive &archive, const ExportProfile &profile, qint64 from, qint64 to,
                 QList<QList<DeliveryRow>> *batches)
{
    return archive.transaction([&](ArchiveDatabase &db) -> Result {
        QList<DeliveryRow> rows;
        Result result;
        if (!candidates(db, profile, from, to, &rows, &result))
            return result;
        QHash<QString, qsizetype> batchOf;
        for (const DeliveryRow &row : rows) {
            const auto found = batchOf.constFind(row.serial);
            if (found != batchOf.constEnd()) {
                (*batches)[*found].append(row);
                continue;
            }
            batchOf.insert(row.serial, batches->size());
            batches->append({row});
        }
        return {};
    });
}

// The intent of one meter's file (no intent when every dataset was held), to be committed before
// anything is written.
Result plan(ArchiveDatabase &db, const ExportProfile &profile, const QString &folder, bool again,
            const QList<DeliveryRow> &rows, Intent *intent, QByteArray *bytes, DeliveryOutcome *outcome)
{
    QList<DeliveryRow> kept;
    for (const DeliveryRow &row : rows) {
        if (encodable(profile, row)) {
            kept.append(row);
            continue;
        }
        outcome->held.append(
            TextTable::text(TextTable::DeliveryHeld)
                .arg(row.id)
                .arg(row.fields[DatasetFields::No], profile.name,
                     row.sampleId.isEmpty() ? row.fields[DatasetFields::SampleId] : row.sampleId));
    }
    if (kept.isEmpty())
        return {};
    intent->serial = kept.first().serial;
    intent->utc = QDateTime::currentDateTimeUtc();
    intent->again = again;
    *bytes = profile.format(kept);
    intent->sha256 = sha256Of(*bytes);
    for (const DeliveryRow &row : kept)
        intent->ids.append(row.id);
    intent->path = freeName(folder, Delivery::fileName(profile.name, intent->serial,
                                                       kept.first().fields[DatasetFields::No],
                                                       kept.last().fields[DatasetFields::No], intent->utc));
    if (intent->path.isEmpty())
        return {Result::CannotWrite, TextTable::text(TextTable::DeliveryWaiting)
                                         .arg(profile.name, folder, FileWrites::systemText(EEXIST))};
    intent->temporary = QDir(folder).filePath(QLatin1Char('.') + QFileInfo(intent->path).fileName() +
                                              QStringLiteral(".delivering"));
    const bool server = db.engine() == ArchiveDatabase::PostgreSQL;
    QSqlQuery insert(db.database());
    insert.prepare(
        QStringLiteral("INSERT INTO delivery_intents (profile, path, temporary, serial, dataset_ids,"
                       " file_sha256, created_utc, again) VALUES (?, ?, ?, ?, ?, ?, ?, ?)%1")
            .arg(server ? QStringLiteral(" RETURNING id") : QString()));
    for (const QVariant &value :
         QVariantList{profile.name, intent->path, intent->temporary, intent->serial, idsText(intent->ids),
                      intent->sha256, intent->utc.toString(Qt::ISODateWithMs), intent->again ? 1 : 0})
        insert.addBindValue(value);
    if (!insert.exec() || (server && !insert.next()))
        return db.failure(insert.lastError());
    intent->id = server ? insert.value(0).toLongLong() : insert.lastInsertId().toLongLong();
    CrashPoints::reach("deliver-before-intent-commit");
    return {};
}

DeliveryOutcome deliver(Archive &archive, const ExportProfile &profile, qint64 from, qint64 to,
                        const QString &login, const QString &folder)
{
    DeliveryOutcome outcome;
    const QString target = folder.isEmpty() ? profile.folder : folder;
    if (target.isEmpty())
        return outcome;
    if (const QString why = Delivery::folderRefusal(target); !why.isEmpty()) {
        outcome.refused = true;
        outcome.result = {Result::CannotWrite,
                          TextTable::text(TextTable::DeliveryFolderRefused).arg(profile.name, target, why)};
        return outcome;
    }
    DeliveryLock lock(archive);
    if (outcome.result = lock.take(profile); !outcome.result)
        return outcome;
    QList<Intent> open;
    if (outcome.result = openIntents(archive, profile, &open); !outcome.result)
        return outcome;
    for (Intent &intent : open)
        if (outcome.result = finish(archive, profile, intent, login, &outcome); !outcome.result)
            return outcome;
    QList<QList<DeliveryRow>> batches;
    if (outcome.result = batchesOf(archive, profile, from, to, &batches); !outcome.result)
        return outcome;
    for (const QList<DeliveryRow> &rows : batches) {
        Intent intent;
        QByteArray bytes;
        outcome.result = archive.transaction([&](ArchiveDatabase &db) {
            return plan(db, profile, QDir::cleanPath(target), from > 0, rows, &intent, &bytes, &outcome);
        });
        if (outcome.result && intent.id != 0) {
            CrashPoints::reach("deliver-intent-committed");
            outcome.result = complete(archive, profile, intent, bytes, login, &outcome);
        }
        if (!outcome.result)
            break;
    }
    return outcome;
}

} // namespace

namespace Delivery {

DeliveryOutcome deliverPending(Archive &archive, const ExportProfile &profile, const QString &login,
                               const QString &folder)
{
    return deliver(archive, profile, 0, 0, login, folder);
}

DeliveryOutcome deliverAgain(Archive &archive, const ExportProfile &profile, qint64 from, qint64 to,
                             const QString &login, const QString &folder)
{
    return deliver(archive, profile, qMax<qint64>(from, 1), to, login, folder);
}

QString fileName(const QString &profile, const QString &serial, const QString &firstNo, const QString &lastNo,
                 const QDateTime &utc)
{
    return safeName(profile) + QLatin1Char('_') + safeName(serial) + QLatin1Char('_') + safeName(firstNo) +
           QLatin1Char('-') + safeName(lastNo) + QLatin1Char('_') +
           utc.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QString datasetIdsSha256(QList<qint64> ids)
{
    std::sort(ids.begin(), ids.end());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const qint64 id : ids)
        hash.addData(QByteArray::number(id) + '\n');
    return QString::fromLatin1(hash.result().toHex());
}

QString folderRefusal(const QString &folder)
{
    if (QDir::isRelativePath(folder))
        return TextTable::text(TextTable::DeliveryFolderRelative).arg(folder);
    // Each link on the way is judged in its own folder, as the kernel does when it follows it.
    const QStringList parts = QDir::cleanPath(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString &part : parts) {
        const QString parent = path.isEmpty() ? QStringLiteral("/") : path;
        path += QLatin1Char('/') + part;
        struct stat link {};
        struct stat above {};
        if (::lstat(QFile::encodeName(path).constData(), &link) != 0 || !S_ISLNK(link.st_mode) ||
            ::stat(QFile::encodeName(parent).constData(), &above) != 0)
            continue;
        const bool shared = (above.st_mode & S_ISVTX) && (above.st_mode & S_IWOTH);
        if (shared && link.st_uid != ::geteuid() && link.st_uid != above.st_uid)
            return TextTable::text(TextTable::DeliveryFolderForeignLink).arg(path);
    }
    return {};
}

QStringList deliverToAll(Archive &archive, const QString &login, QSet<QString> *told)
{
    QStringList notices;
    QStringList errors;
    const QList<ExportProfile> profiles = ExportProfile::loadAll(&errors);
    QSet<QString> stillTrue;
    auto tell = [&](const QString &key, const QString &line) {
        stillTrue.insert(key);
        if (!told->contains(key))
            notices.append(line);
    };
    for (const QString &error : errors)
        tell(error, error);
    for (const ExportProfile &profile : profiles) {
        if (profile.folder.isEmpty())
            continue;
        const DeliveryOutcome outcome = deliverPending(archive, profile, login);
        for (const QString &held : outcome.held)
            tell(held, held);
        if (outcome.waiting || outcome.refused) {
            tell(QStringLiteral("waiting:") + profile.name, outcome.result.message);
            continue;
        }
        if (const QString line = notice(profile, outcome); !line.isEmpty())
            notices.append(line);
    }
    *told = stillTrue;
    return notices;
}

QString notice(const ExportProfile &profile, const DeliveryOutcome &outcome)
{
    if (!outcome.result)
        return outcome.result.message;
    if (outcome.delivered == 0)
        return {};
    return TextTable::text(TextTable::DeliveryDone)
        .arg(outcome.delivered)
        .arg(profile.name, outcome.files.join(QStringLiteral(", ")));
}

} // namespace Delivery
