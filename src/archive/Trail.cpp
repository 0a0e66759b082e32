#include "Trail.h"

#include "ProgramVersion.h"
#include "SystemAccount.h"
#include "TextTable.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlQuery>

#include <array>
#include <memory>

#include <sqlite3.h>

namespace Trail {
namespace {

const QString kColumns = QStringLiteral("seq, at_utc, utc_offset, clock_back, os_uid, os_user, os_full_name, "
                                        "login, host, program_version, action,"
                                        " object, details, reason, file_sha256, prev_hash, hash");

// Every entry of the whole chain's trail is written under this lock on a server, so the entries of
// all PCs form one chain.
constexpr qint64 kChainLock = 0x4D65726176;

QVariant bound(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QString isoUtc(const QDateTime &at)
{
    return at.toUTC().toString(Qt::ISODateWithMs);
}

TrailEntry readEntry(const QSqlQuery &q)
{
    TrailEntry e;
    int c = 0;
    e.seq = q.value(c++).toLongLong();
    e.atUtc = QDateTime::fromString(q.value(c++).toString(), Qt::ISODateWithMs);
    e.utcOffset = q.value(c++).toInt();
    e.clockBack = q.value(c++).toInt() != 0;
    e.osUid = q.value(c++).toLongLong();
    e.osUser = q.value(c++).toString();
    e.osFullName = q.value(c++).toString();
    e.login = q.value(c++).toString();
    e.host = q.value(c++).toString();
    e.programVersion = q.value(c++).toString();
    e.action = q.value(c++).toString();
    e.object = q.value(c++).toString();
    e.details = q.value(c++).toString();
    e.reason = q.value(c++).toString();
    e.fileSha256 = q.value(c++).toString();
    e.prevHash = q.value(c++).toString();
    e.hash = q.value(c++).toString();
    return e;
}

bool run(QSqlQuery &q, const ArchiveDatabase &db, Result *result)
{
    if (q.exec())
        return true;
    *result = db.failure(q.lastError());
    return false;
}

// limit 0: every entry.
Result select(ArchiveDatabase &db, const QString &where, QVariantList parameters, QList<TrailEntry> *list,
              qint64 limit = 0)
{
    list->clear();
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT %1 FROM trail WHERE %2 ORDER BY seq").arg(kColumns, where);
    if (limit > 0) {
        sql += QStringLiteral(" LIMIT ?");
        parameters.append(limit);
    }
    q.prepare(sql);
    for (const QVariant &p : parameters)
        q.addBindValue(p);
    Result result;
    if (!run(q, db, &result))
        return result;
    while (q.next())
        list->append(readEntry(q));
    return result;
}

} // namespace

} // namespace Trail

namespace {

// JSON's string form exactly as Qt's compact writer gives it (the form every seal so far was made
// in), written straight into one buffer: the verification of a long chain spends its time here.
void appendJsonString(QByteArray &out, QStringView text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    while (p != end) {
        const char16_t u = *p++;
        if (u >= 0x20 && u < 0x80 && u != u'"' && u != u'\\') {
            out += char(u);
            continue;
        }
        if (u < 0x80) {
            out += '\\';
            switch (u) {
            case u'"':
                out += '"';
                break;
            case u'\\':
                out += '\\';
                break;
            case 0x08:
                out += 'b';
                break;
            case 0x0c:
                out += 'f';
                break;
            case 0x0a:
                out += 'n';
                break;
            case 0x0d:
                out += 'r';
                break;
            case 0x09:
                out += 't';
                break;
            default:
                out += "u00";
                out += kHex[u >> 4];
                out += kHex[u & 0xf];
            }
            continue;
        }
        char32_t code = u;
        const bool high = QChar::isHighSurrogate(u);
        if (high && p != end && QChar::isLowSurrogate(*p)) {
            code = QChar::surrogateToUcs4(u, *p++);
        } else if (high || QChar::isLowSurrogate(u)) {
            // A surrogate without its other half has no UTF-8 form: the escape keeps it.
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[(u >> shift) & 0xf];
            continue;
        }
        if (code < 0x800) {
            out += char(0xc0 | (code >> 6));
        } else if (code < 0x10000) {
            out += char(0xe0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3f));
        } else {
            out += char(0xf0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3f));
            out += char(0x80 | ((code >> 6) & 0x3f));
        }
        out += char(0x80 | (code & 0x3f));
    }
    out += '"';
}

} // namespace

QString TrailEntry::sealOf(const QStringView (&fields)[kSealedFields])
{
    QByteArray form;
    form.reserve(512);
    form += '[';
    for (int i = 0; i < kSealedFields; ++i) {
        if (i > 0)
            form += ',';
        appendJsonString(form, fields[i]);
    }
    form += ']';
    return QString::fromLatin1(QCryptographicHash::hash(form, QCryptographicHash::Sha256).toHex());
}

QString TrailEntry::computeHash() const
{
    const QString seqText = QString::number(seq);
    const QString at = atUtc.toUTC().toString(Qt::ISODateWithMs);
    const QString offset = QString::number(utcOffset);
    const QString uid = QString::number(osUid);
    const QStringView fields[kSealedFields] = {seqText,    at,
                                               offset,     clockBack ? u"1" : u"0",
                                               uid,        osUser,
                                               osFullName, login,
                                               host,       programVersion,
                                               action,     object,
                                               details,    reason,
                                               fileSha256, prevHash};
    return sealOf(fields);
}

namespace Trail {

Result append(ArchiveDatabase &db, const TrailAction &action, TrailEntry *written)
{
    Result result;
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    if (db.engine() == ArchiveDatabase::PostgreSQL) {
        q.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        q.addBindValue(kChainLock);
        if (!run(q, db, &result))
            return result;
    }
    TrailEntry last;
    if (!q.exec(QStringLiteral("SELECT %1 FROM trail ORDER BY seq DESC LIMIT 1").arg(kColumns)))
        return db.failure(q.lastError());
    if (q.next())
        last = readEntry(q);
    q.finish();
    // The latest time recorded so far: an entry not marked carries it, since every later entry
    // before the clock caught up again is marked.
    QDateTime latest = last.atUtc;
    if (last.clockBack) {
        if (!q.exec(
                QStringLiteral("SELECT at_utc FROM trail WHERE clock_back = 0 ORDER BY seq DESC LIMIT 1")))
            return db.failure(q.lastError());
        if (q.next())
            latest = QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs);
        q.finish();
    }

    const SystemAccount account = SystemAccount::current();
    const QDateTime now = QDateTime::currentDateTime();
    TrailEntry e;
    e.seq = last.seq + 1;
    e.atUtc = now.toUTC();
    e.utcOffset = now.offsetFromUtc();
    // A clock that runs backwards is recorded, never corrected: the entry keeps what the PC said.
    e.clockBack = last.seq > 0 && e.atUtc < latest;
    e.osUid = account.uid;
    e.osUser = account.userName;
    e.osFullName = account.fullName;
    e.login = action.login;
    e.host = account.host;
    e.programVersion = ProgramVersion::text();
    e.action = action.action;
    e.object = action.object;
    e.details = QString::fromUtf8(QJsonDocument(action.details).toJson(QJsonDocument::Compact));
    e.reason = action.reason;
    e.fileSha256 = action.fileSha256;
    e.prevHash = last.hash;
    e.hash = e.computeHash();

    q.prepare(
        QStringLiteral("INSERT INTO trail (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(kColumns));
    for (const QVariant &v :
         {QVariant(e.seq), QVariant(isoUtc(e.atUtc)), QVariant(e.utcOffset), QVariant(e.clockBack ? 1 : 0),
          QVariant(e.osUid), bound(e.osUser), bound(e.osFullName), bound(e.login), bound(e.host),
          bound(e.programVersion), bound(e.action), bound(e.object), bound(e.details), bound(e.reason),
          bound(e.fileSha256), bound(e.prevHash), bound(e.hash)})
        q.addBindValue(v);
    if (!run(q, db, &result))
        return result;
    if (written)
        *written = e;
    return result;
}

Result head(ArchiveDatabase &db, TrailEntry *entry)
{
    *entry = TrailEntry();
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM trail ORDER BY seq DESC LIMIT 1").arg(kColumns)))
        return db.failure(q.lastError());
    if (q.next())
        *entry = readEntry(q);
    return {};
}

namespace {

QString whereClause(const TrailFilter &filter, QVariantList *out)
{
    QVariantList &parameters = *out;
    QStringList where = {QStringLiteral("1=1")};
    if (filter.from.isValid()) {
        where.append(QStringLiteral("at_utc >= ?"));
        parameters.append(filter.from.startOfDay(Qt::UTC).toString(Qt::ISODateWithMs));
    }
    if (filter.to.isValid()) {
        where.append(QStringLiteral("at_utc < ?"));
        parameters.append(filter.to.addDays(1).startOfDay(Qt::UTC).toString(Qt::ISODateWithMs));
    }
    if (!filter.user.isEmpty()) {
        where.append(QStringLiteral("(login = ? OR os_user = ?)"));
        parameters += {filter.user, filter.user};
    }
    if (!filter.action.isEmpty()) {
        where.append(QStringLiteral("action = ?"));
        parameters.append(filter.action);
    }
    if (!filter.object.isEmpty()) {
        where.append(QStringLiteral("object LIKE ? ESCAPE '\\'"));
        QString escaped = filter.object;
        escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('%'), QLatin1String("\\%"))
            .replace(QLatin1Char('_'), QLatin1String("\\_"));
        parameters.append(QLatin1Char('%') + escaped + QLatin1Char('%'));
    }
    return where.join(QLatin1String(" AND "));
}

} // namespace

Result entries(ArchiveDatabase &db, const TrailFilter &filter, QList<TrailEntry> *list)
{
    QVariantList parameters;
    QString where = whereClause(filter, &parameters);
    if (filter.afterSeq > 0) {
        where += QStringLiteral(" AND seq > ?");
        parameters.append(filter.afterSeq);
    }
    return select(db, where, parameters, list, filter.limit);
}

Result count(ArchiveDatabase &db, const TrailFilter &filter, qint64 *count)
{
    *count = 0;
    QVariantList parameters;
    const QString where = whereClause(filter, &parameters);
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT count(*) FROM trail WHERE %1").arg(where));
    for (const QVariant &p : parameters)
        q.addBindValue(p);
    Result result;
    if (!run(q, db, &result))
        return result;
    if (q.next())
        *count = q.value(0).toLongLong();
    return result;
}

Result findFile(ArchiveDatabase &db, const QString &sha256, QList<TrailEntry> *list)
{
    return select(db, QStringLiteral("file_sha256 = ?"), {sha256.toLower()}, list);
}

namespace {

// The chain's rows in order, each as its texts as stored: the sealed fields, then the hash. On an
// SQLite file the rows are read past Qt's per-value wrapping, which would cost a long chain more
// than its hashing.
using RowTexts = std::array<QString, TrailEntry::kSealedFields + 1>;

Result eachRow(ArchiveDatabase &db, const std::function<bool(const RowTexts &)> &visit)
{
    const QString sql = QStringLiteral("SELECT %1 FROM trail ORDER BY seq").arg(kColumns);
    RowTexts texts;
    if (sqlite3 *handle = db.sqliteHandle()) {
        const QByteArray text = sql.toUtf8();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
            return db.sqliteFailure();
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize(statement, &sqlite3_finalize);
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int c = 0; c < int(texts.size()); ++c)
                texts[size_t(c)] =
                    QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, c)),
                                      sqlite3_column_bytes(statement, c));
            if (!visit(texts))
                return {Result::Cancelled, TextTable::text(TextTable::ArchiveCancelled)};
        }
        return step == SQLITE_DONE ? Result() : db.sqliteFailure();
    }
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    if (!q.exec(sql))
        return db.failure(q.lastError());
    while (q.next()) {
        for (int c = 0; c < int(texts.size()); ++c)
            texts[size_t(c)] = q.value(c).toString();
        if (!visit(texts))
            return {Result::Cancelled, TextTable::text(TextTable::ArchiveCancelled)};
    }
    return q.lastError().isValid() ? db.failure(q.lastError()) : Result();
}

} // namespace

bool readAnchor(const QString &text, qint64 *seq, QString *hash)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    bool ok = parts.size() == 2;
    *seq = ok ? parts[0].trimmed().toLongLong(&ok) : 0;
    *hash = parts.value(1).trimmed().toLower();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return ok && *seq > 0 && hex.match(*hash).hasMatch();
}

Result verify(ArchiveDatabase &db, TrailVerdict *verdict, qint64 anchorSeq, const QString &anchorHash,
              const Progress &progress)
{
    *verdict = TrailVerdict();
    qint64 total = 0;
    {
        QSqlQuery count(db.database());
        if (count.exec(QStringLiteral("SELECT count(*) FROM trail")) && count.next())
            total = count.value(0).toLongLong();
    }
    qint64 expected = 1;
    QString previous;
    bool anchorSeen = anchorSeq <= 0;
    // The seal is checked over the texts as stored: nothing is parsed and written again on the way.
    constexpr int kHash = TrailEntry::kSealedFields;
    constexpr int kPrevHash = kHash - 1;
    const Result result = eachRow(db, [&](const RowTexts &texts) {
        const qint64 seq = texts[0].toLongLong();
        const QString &hash = texts[kHash];
        ++verdict->entries;
        if (seq != expected) {
            verdict->breakAt(expected, TextTable::text(TextTable::TrailMissing).arg(expected).arg(seq));
        } else if (texts[kPrevHash] != previous) {
            verdict->breakAt(seq, TextTable::text(TextTable::TrailLinkBroken).arg(seq));
        } else {
            const QStringView fields[TrailEntry::kSealedFields] = {
                texts[0], texts[1], texts[2],  texts[3],  texts[4],  texts[5],  texts[6],  texts[7],
                texts[8], texts[9], texts[10], texts[11], texts[12], texts[13], texts[14], texts[15]};
            if (TrailEntry::sealOf(fields) != hash)
                verdict->breakAt(seq, TextTable::text(TextTable::TrailChanged).arg(seq));
        }
        if (seq == anchorSeq) {
            anchorSeen = true;
            if (hash != anchorHash.toLower())
                verdict->breakAt(seq, TextTable::text(TextTable::TrailAnchorDiffers).arg(seq));
        }
        expected = seq + 1;
        previous = hash;
        return !progress || verdict->entries % 10000 != 0 || progress(verdict->entries, total);
    });
    if (!result)
        return result;
    if (!anchorSeen)
        verdict->breakAt(anchorSeq, TextTable::text(TextTable::TrailAnchorMissing).arg(anchorSeq));
    return {};
}

} // namespace Trail
