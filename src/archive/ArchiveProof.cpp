#include "ArchiveProof.h"

#include "ArchiveImport.h"
#include "DatasetFields.h"
#include "TextTable.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <functional>

namespace ArchiveProof {
namespace {

// Runs a statement and hands each row to visit, which runs no statement itself: the result is read
// to its end before anything else is asked on the connection.
Result each(ArchiveDatabase &db, const QString &sql, const QVariantList &parameters,
            const std::function<void(const QSqlQuery &)> &visit)
{
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return db.failure(q.lastError());
    for (const QVariant &p : parameters)
        q.addBindValue(p);
    if (!q.exec())
        return db.failure(q.lastError());
    while (q.next())
        visit(q);
    if (q.lastError().isValid())
        return db.failure(q.lastError());
    return {};
}

QString sha256Hex(QCryptographicHash &hash)
{
    return QString::fromLatin1(hash.result().toHex());
}

// An entry that accounts for rows, and how many rows named it.
struct Entry {
    qint64 seq = 0;
    QString action;
    QString object;
    QJsonObject details;
    QString reason;
    QString fileSha256;
    QString login;
    qint64 rows = 0;
};

// The actions whose entries account for rows, and the table holding them.
struct Accounting {
    const char *action;
    const char *table;
};
constexpr Accounting kAccounting[] = {
    {"import", "imports"},
    {"annotate", "annotations"},
    {"withdraw", "annotations"},
    {"qc-define", "qc_definitions"},
    {"qc-limits", "qc_revisions"},
    {"deliver", "delivery_deliveries"},
    {"sample-ids", "delivery_sample_ids"},
};

// The first break in the chain's order: the one at the lowest entry (0: a row no entry names).
struct Findings {
    qint64 seq = -1;
    QString problem;
    void note(qint64 at, const QString &why)
    {
        if (seq < 0 || at < seq) {
            seq = at;
            problem = why;
        }
    }
};

struct ImportRow {
    qint64 id = 0;
    QString uid;
    QString source;
    QString meter;
    QString serial;
    QString fileName;
    QString login;
    QString rawSha256;
    qint64 rawSize = 0;
    qint64 newCount = 0;
    qint64 repeatCount = 0;
    qint64 conflictCount = 0;
};

struct Proof {
    ArchiveDatabase &db;
    const CDevice &device;
    QHash<qint64, Entry> entries;         // by seq
    QHash<QString, qint64> importEntries; // "import:<uid>" to the first entry recording it
    QHash<qint64, qint64> importSeq;      // import id to its entry
    Findings found;
    qint64 imports = 0;

    // The entry seq when it is one of action; null otherwise.
    Entry *named(qint64 seq, const QLatin1String &action)
    {
        const auto at = entries.find(seq);
        return at != entries.end() && at->action == action ? &*at : nullptr;
    }
};

qint64 integer(const QJsonObject &details, const char *key)
{
    return details.value(QLatin1String(key)).toInteger();
}

QString text(const QJsonObject &details, const char *key)
{
    return details.value(QLatin1String(key)).toString();
}

Result readEntries(Proof &p)
{
    QStringList actions;
    for (const Accounting &a : kAccounting)
        actions.append(QStringLiteral("'%1'").arg(QLatin1String(a.action)));
    const QString sql = QStringLiteral("SELECT seq, action, object, details, reason, file_sha256, login"
                                       " FROM trail WHERE action IN (%1) ORDER BY seq")
                            .arg(actions.join(QLatin1String(", ")));
    return each(p.db, sql, {}, [&p](const QSqlQuery &q) {
        Entry e;
        e.seq = q.value(0).toLongLong();
        e.action = q.value(1).toString();
        e.object = q.value(2).toString();
        e.details = QJsonDocument::fromJson(q.value(3).toString().toUtf8()).object();
        e.reason = q.value(4).toString();
        e.fileSha256 = q.value(5).toString();
        e.login = q.value(6).toString();
        // A second entry of one import accounts for no row: found below as one without its import.
        if (e.action == QLatin1String("import") && !p.importEntries.contains(e.object))
            p.importEntries.insert(e.object, e.seq);
        p.entries.insert(e.seq, e);
    });
}

Result readImports(Proof &p, QList<ImportRow> *rows)
{
    return each(
        p.db,
        QStringLiteral("SELECT id, uid, source, meter, serial, file_name, login, raw_sha256, raw_size,"
                       " new_count, repeat_count, conflict_count FROM imports ORDER BY id"),
        {}, [rows](const QSqlQuery &q) {
            ImportRow r;
            int c = 0;
            r.id = q.value(c++).toLongLong();
            r.uid = q.value(c++).toString();
            r.source = q.value(c++).toString();
            r.meter = q.value(c++).toString();
            r.serial = q.value(c++).toString();
            r.fileName = q.value(c++).toString();
            r.login = q.value(c++).toString();
            r.rawSha256 = q.value(c++).toString();
            r.rawSize = q.value(c++).toLongLong();
            r.newCount = q.value(c++).toLongLong();
            r.repeatCount = q.value(c++).toLongLong();
            r.conflictCount = q.value(c++).toLongLong();
            rows->append(r);
        });
}

// The first column of the import that is not what its entry recorded; empty when all are.
QString differingColumn(const ImportRow &row, const Entry &e)
{
    const QJsonObject &d = e.details;
    const std::pair<bool, const char *> checks[] = {
        {d.contains(QLatin1String("import")) && integer(d, "import") != row.id, "id"},
        {text(d, "source") != row.source, "source"},
        {text(d, "meter") != row.meter, "meter"},
        {text(d, "serial") != row.serial, "serial"},
        {text(d, "file") != row.fileName, "file_name"},
        {e.login != row.login, "login"},
        {integer(d, "raw_size") != row.rawSize, "raw_size"},
        {integer(d, "new") != row.newCount, "new_count"},
        {integer(d, "repeated") != row.repeatCount, "repeat_count"},
        {integer(d, "conflicting") != row.conflictCount, "conflict_count"},
    };
    for (const auto &[differs, column] : checks)
        if (differs)
            return QLatin1String(column);
    return {};
}

QString datasetColumns()
{
    QString columns;
    for (int f = 0; f < DatasetFields::Count; ++f)
        columns += QStringLiteral(", ") + DatasetFields::columnName(DatasetFields::Field(f));
    return columns;
}

// Columns of the datasets query before the fields.
enum DatasetColumn { Id, Meter, Serial, Layout, Day, Line, ContentSha256, Conflict, FirstField };

// A stored dataset is one the import's bytes hold, field for field, under the import's meter.
bool sameAsDerived(const QSqlQuery &q, const QHash<QByteArray, const ArchivedDataset *> &derived,
                   const ImportRow &import, int layout)
{
    const auto match = derived.constFind(q.value(ContentSha256).toByteArray());
    if (match == derived.constEnd())
        return false;
    const ArchivedDataset &row = **match;
    bool same = row.line == q.value(Line).toString() && row.day == q.value(Day).toString() &&
                import.meter == q.value(Meter).toString() && import.serial == q.value(Serial).toString() &&
                layout == q.value(Layout).toInt();
    for (int f = 0; same && f < DatasetFields::Count; ++f)
        same = row.fields[size_t(f)] == q.value(FirstField + f).toString();
    return same;
}

// The datasets stored for the import against its bytes and against what its entry recorded of them.
Result proveDatasets(Proof &p, const ImportRow &import, const Entry &e, const ImportRecord &record)
{
    QList<ArchivedDataset> derived;
    record.datasets(p.device, &derived);
    QHash<QByteArray, const ArchivedDataset *> byHash;
    for (const ArchivedDataset &row : derived)
        byHash.insert(row.contentHash, &row);
    const int layout = archiveLayout(p.device, import.meter);
    qint64 count = 0;
    qint64 conflicts = 0;
    qint64 changed = 0;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const Result r =
        each(p.db,
             QStringLiteral("SELECT id, meter, serial, layout, day, line, content_sha256, conflict%1"
                            " FROM datasets WHERE import_id = ? ORDER BY id")
                 .arg(datasetColumns()),
             {import.id}, [&](const QSqlQuery &q) {
                 ++count;
                 hash.addData(q.value(ContentSha256).toByteArray());
                 conflicts += q.value(Conflict).toLongLong() != 0 ? 1 : 0;
                 if (changed == 0 && !sameAsDerived(q, byHash, import, layout))
                     changed = q.value(Id).toLongLong();
             });
    if (!r)
        return r;
    const QJsonObject &d = e.details;
    // Entries written before the count and hash were recorded: the count is what was new or conflicting.
    const bool hashed = d.contains(QLatin1String("datasets_sha256"));
    const qint64 expected = hashed ? integer(d, "datasets") : integer(d, "new") + integer(d, "conflicting");
    if (changed != 0)
        p.found.note(e.seq, TextTable::text(TextTable::TrailDatasetChanged).arg(changed).arg(import.id));
    else if (count != expected)
        p.found.note(e.seq,
                     TextTable::text(TextTable::TrailImportDatasets).arg(import.id).arg(count).arg(expected));
    else if (hashed && sha256Hex(hash) != text(d, "datasets_sha256"))
        p.found.note(e.seq, TextTable::text(TextTable::TrailImportDatasetsChanged).arg(import.id));
    else if (conflicts != integer(d, "conflicting"))
        p.found.note(e.seq, TextTable::text(TextTable::TrailImportConflicts)
                                .arg(import.id)
                                .arg(conflicts)
                                .arg(integer(d, "conflicting")));
    return {};
}

Result proveImport(Proof &p, const ImportRow &import)
{
    ++p.imports;
    const auto recorded = p.importEntries.constFind(QStringLiteral("import:") + import.uid);
    if (recorded == p.importEntries.constEnd()) {
        p.found.note(0, TextTable::text(TextTable::TrailImportUnrecorded).arg(import.id));
        return {};
    }
    Entry &e = p.entries[*recorded];
    ++e.rows;
    p.importSeq.insert(import.id, e.seq);
    if (text(e.details, "raw_sha256") != import.rawSha256) {
        p.found.note(e.seq, TextTable::text(TextTable::TrailImportUnrecorded).arg(import.id));
        return {};
    }
    if (const QString column = differingColumn(import, e); !column.isEmpty()) {
        p.found.note(e.seq, TextTable::text(TextTable::TrailImportDiffers).arg(import.id).arg(column));
        return {};
    }
    ImportRecord record;
    record.uid = import.uid;
    ImportRecord::sourceFromName(import.source, &record.source);
    record.meter = import.meter;
    record.serial = import.serial;
    const Result r =
        each(p.db, QStringLiteral("SELECT raw FROM imports WHERE id = ?"), {import.id},
             [&record](const QSqlQuery &q) { record.raw = qUncompress(q.value(0).toByteArray()); });
    if (!r)
        return r;
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(record.raw, QCryptographicHash::Sha256).toHex());
    if (sha != import.rawSha256) {
        p.found.note(e.seq, TextTable::text(TextTable::TrailRawChanged).arg(import.id));
        return {};
    }
    return proveDatasets(p, import, e, record);
}

// Every dataset belongs to an import, and its conflict mark follows from the datasets archived
// before it: a conflict is a dataset of the same meter, number, date and time with other content
// archived earlier. A meter was its serial number alone before it was model and serial: a mark must
// be set where the model and serial give one, and may be set only where the serial gives one.
Result proveDatasetLinks(Proof &p)
{
    Result r = each(p.db,
                    QStringLiteral("SELECT d.id, d.import_id FROM datasets d WHERE NOT EXISTS"
                                   " (SELECT 1 FROM imports i WHERE i.id = d.import_id) ORDER BY d.id"),
                    {}, [&p](const QSqlQuery &q) {
                        p.found.note(0, TextTable::text(TextTable::TrailDatasetOrphan)
                                            .arg(q.value(0).toLongLong())
                                            .arg(q.value(1).toLongLong()));
                    });
    if (!r)
        return r;
    const QString earlier =
        QStringLiteral("SELECT 1 FROM datasets e WHERE e.serial = d.serial AND e.no = d.no"
                       " AND e.date = d.date AND e.time = d.time AND e.id < d.id");
    return each(p.db,
                QStringLiteral("SELECT d.id, d.import_id FROM datasets d WHERE d.conflict NOT IN (0, 1)"
                               " OR (d.conflict = 1 AND NOT EXISTS (%1))"
                               " OR (d.conflict = 0 AND EXISTS (%1 AND e.meter = d.meter)) ORDER BY d.id")
                    .arg(earlier),
                {}, [&p](const QSqlQuery &q) {
                    p.found.note(p.importSeq.value(q.value(1).toLongLong(), 0),
                                 TextTable::text(TextTable::TrailConflictMark).arg(q.value(0).toLongLong()));
                });
}

QString unrecorded(qint64 id, const char *table)
{
    return TextTable::text(TextTable::TrailRowUnrecorded).arg(id).arg(QLatin1String(table));
}

// Each note and withdrawal is the one its entry recorded: action, dataset and text.
Result proveCorrections(Proof &p)
{
    return each(p.db,
                QStringLiteral("SELECT id, dataset_id, kind, text, trail_seq FROM annotations ORDER BY id"),
                {}, [&p](const QSqlQuery &q) {
                    const qint64 seq = q.value(4).toLongLong();
                    const QString kind = q.value(2).toString();
                    Entry *e = kind == QLatin1String("withdraw") ? p.named(seq, QLatin1String("withdraw"))
                               : kind == QLatin1String("note")   ? p.named(seq, QLatin1String("annotate"))
                                                                 : nullptr;
                    if (e)
                        ++e->rows;
                    if (!e || e->object != QStringLiteral("dataset:%1").arg(q.value(1).toLongLong()) ||
                        e->reason != q.value(3).toString())
                        p.found.note(seq, unrecorded(q.value(0).toLongLong(), "annotations"));
                });
}

// Control-sample definitions and limits: each row is the content its entry recorded for its name.
Result proveQc(Proof &p, const char *table, const char *action)
{
    return each(
        p.db,
        QStringLiteral("SELECT id, name, content, trail_seq FROM %1 ORDER BY id").arg(QLatin1String(table)),
        {}, [&](const QSqlQuery &q) {
            const qint64 seq = q.value(3).toLongLong();
            Entry *e = p.named(seq, QLatin1String(action));
            if (e)
                ++e->rows;
            if (!e || e->object != QStringLiteral("qc:") + q.value(1).toString() ||
                e->details != QJsonDocument::fromJson(q.value(2).toString().toUtf8()).object())
                p.found.note(seq, unrecorded(q.value(0).toLongLong(), table));
        });
}

// The datasets a delivery entry names: by the hash over their ids where it recorded one, else within
// its first and last id.
bool deliveredAsRecorded(const Entry &e, QList<qint64> ids)
{
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.cbegin(), ids.cend()) != ids.cend())
        return false;
    if (e.details.contains(QLatin1String("dataset_ids_sha256"))) {
        QByteArray list;
        for (const qint64 id : ids)
            list += QByteArray::number(id) + '\n';
        return QString::fromLatin1(QCryptographicHash::hash(list, QCryptographicHash::Sha256).toHex()) ==
               text(e.details, "dataset_ids_sha256");
    }
    return ids.isEmpty() ||
           (ids.first() >= integer(e.details, "first_id") && ids.last() <= integer(e.details, "last_id"));
}

// Each delivery row is its entry's: file, profile, repeat, and a dataset of the meter it delivered.
Result proveDeliveries(Proof &p)
{
    QHash<qint64, QList<qint64>> delivered;
    const Result r = each(
        p.db,
        QStringLiteral("SELECT x.id, x.dataset_id, x.profile, x.path, x.file_sha256, x.again, x.trail_seq,"
                       " d.serial FROM delivery_deliveries x LEFT JOIN datasets d ON d.id = x.dataset_id"
                       " ORDER BY x.id"),
        {}, [&](const QSqlQuery &q) {
            const qint64 seq = q.value(6).toLongLong();
            Entry *e = p.named(seq, QLatin1String("deliver"));
            if (e) {
                ++e->rows;
                delivered[seq].append(q.value(1).toLongLong());
            }
            if (!e || e->object != q.value(3).toString() || e->fileSha256 != q.value(4).toString() ||
                text(e->details, "profile") != q.value(2).toString() ||
                e->details.value(QLatin1String("again")).toBool() != (q.value(5).toInt() != 0) ||
                q.value(7).isNull() || text(e->details, "serial") != q.value(7).toString())
                p.found.note(seq, unrecorded(q.value(0).toLongLong(), "delivery_deliveries"));
        });
    for (auto at = delivered.cbegin(); at != delivered.cend(); ++at)
        if (!deliveredAsRecorded(p.entries[at.key()], at.value()))
            p.found.note(
                at.key(),
                TextTable::text(TextTable::TrailRowsChanged).arg(QLatin1String("delivery_deliveries")));
    return r;
}

// Each sample ID is one of the pairs its worklist's entry recorded.
Result proveSampleIds(Proof &p)
{
    QHash<qint64, QSet<QString>> pairs;
    auto pairsOf = [&pairs](const Entry &e) -> const QSet<QString> & {
        auto at = pairs.find(e.seq);
        if (at == pairs.end()) {
            at = pairs.insert(e.seq, {});
            const QJsonArray recorded = e.details.value(QLatin1String("datasets")).toArray();
            for (const auto &pair : recorded) {
                const QJsonArray idAndSample = pair.toArray();
                at->insert(QString::number(idAndSample[0].toInteger()) + QChar(0x1F) +
                           idAndSample[1].toString());
            }
        }
        return *at;
    };
    return each(
        p.db,
        QStringLiteral("SELECT id, dataset_id, sample_id, worklist, trail_seq FROM delivery_sample_ids"
                       " ORDER BY id"),
        {}, [&](const QSqlQuery &q) {
            const qint64 seq = q.value(4).toLongLong();
            Entry *e = p.named(seq, QLatin1String("sample-ids"));
            if (e)
                ++e->rows;
            const QString pair =
                QString::number(q.value(1).toLongLong()) + QChar(0x1F) + q.value(2).toString();
            if (!e || e->object != q.value(3).toString() || !pairsOf(*e).contains(pair))
                p.found.note(seq, unrecorded(q.value(0).toLongLong(), "delivery_sample_ids"));
        });
}

// Every entry has exactly the rows it recorded: none removed, none added under its number.
void proveRowCounts(Proof &p)
{
    for (const Entry &e : std::as_const(p.entries)) {
        const char *table = nullptr;
        for (const Accounting &a : kAccounting)
            if (e.action == QLatin1String(a.action))
                table = a.table;
        qint64 expected = 1;
        if (e.action == QLatin1String("deliver"))
            expected = integer(e.details, "datasets");
        else if (e.action == QLatin1String("sample-ids"))
            expected = e.details.value(QLatin1String("datasets")).toArray().size();
        if (e.rows == expected)
            continue;
        if (e.action == QLatin1String("import") && e.rows == 0)
            p.found.note(e.seq,
                         TextTable::text(TextTable::TrailImportRemoved).arg(integer(e.details, "import")));
        else
            p.found.note(e.seq, TextTable::text(TextTable::TrailRowsMissing)
                                    .arg(expected)
                                    .arg(QLatin1String(table))
                                    .arg(e.rows));
    }
}

} // namespace

Result verify(ArchiveDatabase &db, const CDevice &device, TrailVerdict *verdict)
{
    Proof p{db, device, {}, {}, {}, {}, 0};
    if (Result r = readEntries(p); !r)
        return r;
    QList<ImportRow> imports;
    if (Result r = readImports(p, &imports); !r)
        return r;
    for (const ImportRow &import : std::as_const(imports))
        if (Result r = proveImport(p, import); !r)
            return r;
    for (const auto &step : {proveDatasetLinks, proveCorrections, proveDeliveries, proveSampleIds})
        if (Result r = step(p); !r)
            return r;
    if (Result r = proveQc(p, "qc_definitions", "qc-define"); !r)
        return r;
    if (Result r = proveQc(p, "qc_revisions", "qc-limits"); !r)
        return r;
    proveRowCounts(p);
    verdict->imports += p.imports;
    if (p.found.seq >= 0)
        verdict->breakAt(p.found.seq, p.found.problem);
    return {};
}

Result storedDatasets(ArchiveDatabase &db, qint64 importId, qint64 *count, QString *sha256)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *count = 0;
    const Result r =
        each(db, QStringLiteral("SELECT content_sha256 FROM datasets WHERE import_id = ? ORDER BY id"),
             {importId}, [&](const QSqlQuery &q) {
                 ++*count;
                 hash.addData(q.value(0).toByteArray());
             });
    *sha256 = sha256Hex(hash);
    return r;
}

} // namespace ArchiveProof
