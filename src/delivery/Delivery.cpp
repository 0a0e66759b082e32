#include "Delivery.h"

#include "FileWrites.h"
#include "TextTable.h"
#include "Trail.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <cerrno>

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

// The candidates of one profile, ascending: undelivered ones, or the range asked for again.
bool candidates(ArchiveDatabase &db, const ExportProfile &profile, qint64 from, qint64 to,
                QList<DeliveryRow> *rows, Result *result)
{
    QString columns;
    for (int f = 0; f < DatasetFields::Count; ++f)
        columns += QStringLiteral(", d.") + DatasetFields::columnName(DatasetFields::Field(f));
    const bool again = from > 0;
    // Conflicting datasets wait for a person: the lab decides which of two contents is the result.
    const QString sql =
        QStringLiteral(
            "SELECT d.id, d.meter, d.serial, d.day, i.imported_utc, i.login,"
            " (SELECT s.sample_id FROM delivery_sample_ids s WHERE s.dataset_id = d.id"
            "  ORDER BY s.id DESC LIMIT 1)%1"
            " FROM datasets d JOIN imports i ON i.id = d.import_id"
            " WHERE d.conflict = 0"
            " AND NOT EXISTS (SELECT 1 FROM annotations a WHERE a.dataset_id = d.id AND a.kind = 'withdraw')"
            " AND %2 ORDER BY d.id")
            .arg(columns, again ? QStringLiteral("d.id >= ? AND d.id <= ?")
                                : QStringLiteral("NOT EXISTS (SELECT 1 FROM delivery_deliveries x"
                                                 " WHERE x.dataset_id = d.id AND x.profile = ?)"));
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(sql);
    if (again) {
        q.addBindValue(from);
        q.addBindValue(to);
    } else {
        q.addBindValue(profile.name);
    }
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
        if (profile.accepts(row))
            rows->append(row);
    }
    return true;
}

// Deliverers of one profile one after another, on every PC of the lab.
Result lockProfile(ArchiveDatabase &db, const ExportProfile &profile)
{
    if (db.engine() != ArchiveDatabase::PostgreSQL)
        return {};
    QSqlQuery lock(db.database());
    lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
    lock.addBindValue(QStringLiteral("delivery:") + profile.name);
    if (!lock.exec())
        return db.failure(lock.lastError());
    return {};
}

// One file's content: the first meter's rows of the candidates.
struct Batch {
    QString serial;
    QList<DeliveryRow> rows;
    QByteArray bytes;
    QString sha256;
    QDateTime utc;
    QString base; // the file name without its ending

    Batch(const ExportProfile &profile, const QList<DeliveryRow> &candidates)
        : serial(candidates.first().serial)
    {
        for (const DeliveryRow &row : candidates)
            if (row.serial == serial)
                rows.append(row);
        bytes = profile.format(rows);
        sha256 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        utc = QDateTime::currentDateTimeUtc();
        base = Delivery::fileName(profile.name, serial, rows.first().fields[DatasetFields::No],
                                  rows.last().fields[DatasetFields::No], utc);
    }
};

// Puts the bytes into the folder under a name of their own: the path, or false with why not.
bool place(const QString &folder, const Batch &batch, QString *placed, QString *why)
{
    // Two deliveries within a second (a repeat) get a number; an existing file is never replaced.
    for (int n = 1;; ++n) {
        const QString path = QDir(folder).filePath(n == 1 ? batch.base + QStringLiteral(".csv")
                                                          : batch.base + QStringLiteral("-%1.csv").arg(n));
        FileWrites::ReplaceByRename file(path);
        if (!file.open() || !file.write(batch.bytes)) {
            *why = file.errorString();
            return false;
        }
        if (file.commitNew()) {
            *placed = path;
            return true;
        }
        if (!QFileInfo::exists(path) || n > 99) {
            *why = file.errorString();
            return false;
        }
    }
}

// The delivery of the placed file, per dataset, with its trail entry.
Result record(ArchiveDatabase &db, const ExportProfile &profile, const Batch &batch, const QString &placed,
              const QString &login, bool again)
{
    TrailAction action;
    action.action = QStringLiteral("deliver");
    action.object = placed;
    action.fileSha256 = batch.sha256;
    action.login = login;
    action.details = {{QStringLiteral("profile"), profile.name},
                      {QStringLiteral("serial"), batch.serial},
                      {QStringLiteral("datasets"), qint64(batch.rows.size())},
                      {QStringLiteral("first_id"), batch.rows.first().id},
                      {QStringLiteral("last_id"), batch.rows.last().id},
                      {QStringLiteral("again"), again}};
    TrailEntry entry;
    if (Result result = Trail::append(db, action, &entry); !result)
        return result;
    QSqlQuery insert(db.database());
    insert.prepare(QStringLiteral("INSERT INTO delivery_deliveries (dataset_id, profile, path, file_sha256,"
                                  " delivered_utc, again, trail_seq) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    const QString at = batch.utc.toString(Qt::ISODateWithMs);
    for (const DeliveryRow &row : batch.rows) {
        insert.addBindValue(row.id);
        insert.addBindValue(profile.name);
        insert.addBindValue(placed);
        insert.addBindValue(batch.sha256);
        insert.addBindValue(at);
        insert.addBindValue(again ? 1 : 0);
        insert.addBindValue(entry.seq);
        if (!insert.exec())
            return db.failure(insert.lastError());
    }
    return {};
}

// One file: the first meter's rows of the candidates, written and recorded; false when nothing was
// left to deliver.
bool deliverOne(Archive &archive, const ExportProfile &profile, qint64 from, qint64 to, const QString &login,
                const QString &folder, QSet<QString> *repeated, DeliveryOutcome *outcome)
{
    QString placed;
    bool any = false;
    outcome->result = archive.transaction([&](ArchiveDatabase &db) -> Result {
        Result result = lockProfile(db, profile);
        if (!result)
            return result;
        QList<DeliveryRow> rows;
        if (!candidates(db, profile, from, to, &rows, &result))
            return result;
        // A repeat goes over the range once: each meter's datasets in one more file.
        rows.removeIf([&](const DeliveryRow &row) { return repeated->contains(row.serial); });
        if (rows.isEmpty())
            return {};
        any = true;
        const Batch batch(profile, rows);
        auto waiting = [&](const QString &why) -> Result {
            outcome->waiting = true;
            return {Result::CannotWrite,
                    TextTable::text(TextTable::DeliveryWaiting).arg(profile.name, folder, why)};
        };
        if (!QFileInfo(folder).isDir())
            return waiting(TextTable::text(TextTable::DeliveryNoFolder));
        if (QString why; !place(folder, batch, &placed, &why))
            return waiting(why);
        if (result = record(db, profile, batch, placed, login, from > 0); !result)
            return result;
        outcome->delivered += batch.rows.size();
        if (from > 0)
            repeated->insert(batch.serial);
        return {};
    });
    if (!outcome->result) {
        // Not recorded, so not delivered: the file goes again, and the datasets stay pending.
        if (!placed.isEmpty())
            ::unlink(QFile::encodeName(placed).constData());
        return false;
    }
    if (!placed.isEmpty())
        outcome->files.append(placed);
    return any;
}

DeliveryOutcome deliver(Archive &archive, const ExportProfile &profile, qint64 from, qint64 to,
                        const QString &login, const QString &folder)
{
    DeliveryOutcome outcome;
    const QString target = folder.isEmpty() ? profile.folder : folder;
    if (target.isEmpty())
        return outcome;
    QSet<QString> repeated;
    while (deliverOne(archive, profile, from, to, login, target, &repeated, &outcome)) {
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

QStringList deliverToAll(Archive &archive, const QString &login, QSet<QString> *told)
{
    QStringList notices;
    QStringList errors;
    const QList<ExportProfile> profiles = ExportProfile::loadAll(&errors);
    QSet<QString> stillTrue;
    for (const QString &error : errors) {
        stillTrue.insert(error);
        if (!told->contains(error))
            notices.append(error);
    }
    for (const ExportProfile &profile : profiles) {
        if (profile.folder.isEmpty())
            continue;
        const DeliveryOutcome outcome = deliverPending(archive, profile, login);
        const QString key = QStringLiteral("waiting:") + profile.name;
        if (outcome.waiting) {
            stillTrue.insert(key);
            if (!told->contains(key))
                notices.append(outcome.result.message);
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
