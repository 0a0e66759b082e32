#include "ArchiveDatabase.h"

#include "TextTable.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <iterator>

#include <sys/vfs.h>

namespace {

// The SQLite schema. The server's is the administrator's script (archive-postgresql.sql), the same
// tables with the server's types, rights instead of triggers.
const char *const kSQLiteSchema[] = {
    "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE imports ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, uid TEXT NOT NULL UNIQUE,"
    " imported_utc TEXT NOT NULL, utc_offset INTEGER NOT NULL, source TEXT NOT NULL,"
    " meter TEXT NOT NULL, serial TEXT NOT NULL, firmware TEXT NOT NULL, variant TEXT NOT NULL,"
    " port TEXT NOT NULL, baud INTEGER NOT NULL, file_name TEXT NOT NULL, document_date TEXT NOT NULL,"
    " login TEXT NOT NULL, os_uid INTEGER NOT NULL, os_user TEXT NOT NULL, os_full_name TEXT NOT NULL,"
    " host TEXT NOT NULL, program_version TEXT NOT NULL,"
    " raw_sha256 TEXT NOT NULL, raw_size INTEGER NOT NULL, raw BLOB NOT NULL,"
    " new_count INTEGER NOT NULL, repeat_count INTEGER NOT NULL, conflict_count INTEGER NOT NULL)",
    "CREATE TABLE datasets ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, import_id INTEGER NOT NULL REFERENCES imports(id),"
    " meter TEXT NOT NULL, serial TEXT NOT NULL, layout INTEGER NOT NULL,"
    " no TEXT NOT NULL, date TEXT NOT NULL, time TEXT NOT NULL, day TEXT,"
    " sample_id TEXT NOT NULL, program TEXT NOT NULL, cit TEXT NOT NULL, code TEXT NOT NULL,"
    " dilution TEXT NOT NULL, value1 TEXT NOT NULL, unit1 TEXT NOT NULL, status1 TEXT NOT NULL,"
    " value2 TEXT NOT NULL, unit2 TEXT NOT NULL, status2 TEXT NOT NULL,"
    " cal_date TEXT NOT NULL, cal_time TEXT NOT NULL, line TEXT NOT NULL,"
    " content_sha256 BLOB NOT NULL, conflict INTEGER NOT NULL,"
    " UNIQUE (serial, no, date, time, content_sha256))",
    // A meter's datasets over a period (the duplicate check), also of one program (the query the
    // archive answers most) without reading the rows of the other programs. Every index costs each
    // insert its share: the few that the filters need.
    "CREATE INDEX datasets_serial_day_program ON datasets (serial, day, program)",
    "CREATE INDEX datasets_day ON datasets (day)",
    "CREATE INDEX datasets_import ON datasets (import_id)",
    // Imports kept here while the server could not be reached, and those sent since.
    "CREATE TABLE outbox (import_uid TEXT NOT NULL, target TEXT NOT NULL, queued_utc TEXT NOT NULL,"
    " PRIMARY KEY (import_uid, target))",
    "CREATE TABLE sent (import_uid TEXT NOT NULL, target TEXT NOT NULL, sent_utc TEXT NOT NULL,"
    " PRIMARY KEY (import_uid, target))",
    // Archived data is evidence: no statement of the program or of anyone else changes it.
    "CREATE TRIGGER imports_no_update BEFORE UPDATE ON imports"
    " BEGIN SELECT RAISE(ABORT, 'archived imports are never changed'); END",
    "CREATE TRIGGER imports_no_delete BEFORE DELETE ON imports"
    " BEGIN SELECT RAISE(ABORT, 'archived imports are never deleted'); END",
    "CREATE TRIGGER datasets_no_update BEFORE UPDATE ON datasets"
    " BEGIN SELECT RAISE(ABORT, 'archived datasets are never changed'); END",
    "CREATE TRIGGER datasets_no_delete BEFORE DELETE ON datasets"
    " BEGIN SELECT RAISE(ABORT, 'archived datasets are never deleted'); END",
};

// Version 2: the activity trail, and the annotations and withdrawals that correct a dataset without
// changing it.
const char *const kToVersion2[] = {
    "CREATE TABLE trail ("
    " seq BIGINT PRIMARY KEY, at_utc TEXT NOT NULL, utc_offset INTEGER NOT NULL, clock_back INTEGER NOT NULL,"
    " os_uid INTEGER NOT NULL, os_user TEXT NOT NULL, os_full_name TEXT NOT NULL, login TEXT NOT NULL,"
    " host TEXT NOT NULL, program_version TEXT NOT NULL, action TEXT NOT NULL, object TEXT NOT NULL,"
    " details TEXT NOT NULL, reason TEXT NOT NULL, file_sha256 TEXT NOT NULL, prev_hash TEXT NOT NULL,"
    " hash TEXT NOT NULL)",
    "CREATE INDEX trail_file ON trail (file_sha256)",
    "CREATE INDEX trail_object ON trail (object)",
    "CREATE TABLE annotations ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, dataset_id INTEGER NOT NULL REFERENCES datasets(id),"
    " kind TEXT NOT NULL, text TEXT NOT NULL, trail_seq BIGINT NOT NULL)",
    "CREATE INDEX annotations_dataset ON annotations (dataset_id)",
    "CREATE TRIGGER trail_no_update BEFORE UPDATE ON trail"
    " BEGIN SELECT RAISE(ABORT, 'trail entries are never changed'); END",
    "CREATE TRIGGER trail_no_delete BEFORE DELETE ON trail"
    " BEGIN SELECT RAISE(ABORT, 'trail entries are never deleted'); END",
    "CREATE TRIGGER annotations_no_update BEFORE UPDATE ON annotations"
    " BEGIN SELECT RAISE(ABORT, 'annotations are never changed'); END",
    "CREATE TRIGGER annotations_no_delete BEFORE DELETE ON annotations"
    " BEGIN SELECT RAISE(ABORT, 'annotations are never deleted'); END",
};

// Version 3: control samples. A definition's every version, and every revision of its limits, each
// with its trail entry: the newest row of a name is the one in force.
const char *const kToVersion3[] = {
    "CREATE TABLE qc_definitions ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, content TEXT NOT NULL,"
    " trail_seq BIGINT NOT NULL)",
    "CREATE INDEX qc_definitions_name ON qc_definitions (name)",
    "CREATE TABLE qc_revisions ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, content TEXT NOT NULL,"
    " trail_seq BIGINT NOT NULL)",
    "CREATE INDEX qc_revisions_name ON qc_revisions (name)",
    "CREATE TRIGGER qc_definitions_no_update BEFORE UPDATE ON qc_definitions"
    " BEGIN SELECT RAISE(ABORT, 'control sample definitions are never changed'); END",
    "CREATE TRIGGER qc_definitions_no_delete BEFORE DELETE ON qc_definitions"
    " BEGIN SELECT RAISE(ABORT, 'control sample definitions are never deleted'); END",
    "CREATE TRIGGER qc_revisions_no_update BEFORE UPDATE ON qc_revisions"
    " BEGIN SELECT RAISE(ABORT, 'control limits are never changed'); END",
    "CREATE TRIGGER qc_revisions_no_delete BEFORE DELETE ON qc_revisions"
    " BEGIN SELECT RAISE(ABORT, 'control limits are never deleted'); END",
};

// Version 4: deliveries to the lab's other systems, one row per dataset and destination (profile),
// and the lab's own sample IDs given to datasets by a worklist. Both are evidence: never changed.
const char *const kToVersion4[] = {
    "CREATE TABLE delivery_deliveries ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, dataset_id INTEGER NOT NULL REFERENCES datasets(id),"
    " profile TEXT NOT NULL, path TEXT NOT NULL, file_sha256 TEXT NOT NULL, delivered_utc TEXT NOT NULL,"
    " again INTEGER NOT NULL, trail_seq BIGINT NOT NULL)",
    "CREATE INDEX delivery_deliveries_dataset ON delivery_deliveries (dataset_id, profile)",
    "CREATE TABLE delivery_sample_ids ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, dataset_id INTEGER NOT NULL REFERENCES datasets(id),"
    " sample_id TEXT NOT NULL, worklist TEXT NOT NULL, trail_seq BIGINT NOT NULL)",
    "CREATE INDEX delivery_sample_ids_dataset ON delivery_sample_ids (dataset_id)",
    "CREATE TRIGGER delivery_deliveries_no_update BEFORE UPDATE ON delivery_deliveries"
    " BEGIN SELECT RAISE(ABORT, 'deliveries are never changed'); END",
    "CREATE TRIGGER delivery_deliveries_no_delete BEFORE DELETE ON delivery_deliveries"
    " BEGIN SELECT RAISE(ABORT, 'deliveries are never deleted'); END",
    "CREATE TRIGGER delivery_sample_ids_no_update BEFORE UPDATE ON delivery_sample_ids"
    " BEGIN SELECT RAISE(ABORT, 'sample IDs are never changed'); END",
    "CREATE TRIGGER delivery_sample_ids_no_delete BEFORE DELETE ON delivery_sample_ids"
    " BEGIN SELECT RAISE(ABORT, 'sample IDs are never deleted'); END",
};

// Version 5: a delivery's intent, committed before its file appears, and the steps it reached, so the
// next deliverer finishes what a crash left and no dataset reaches a profile twice. Never changed. The
// step stands alone: tables already there (an archive brought back to an older version) are kept.
const char *const kToVersion5Delivery[] = {
    "CREATE TABLE IF NOT EXISTS delivery_intents ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, profile TEXT NOT NULL, path TEXT NOT NULL,"
    " temporary TEXT NOT NULL, serial TEXT NOT NULL, dataset_ids TEXT NOT NULL, file_sha256 TEXT NOT NULL,"
    " created_utc TEXT NOT NULL, again INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS delivery_intents_profile ON delivery_intents (profile)",
    "CREATE TABLE IF NOT EXISTS delivery_intent_steps ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, intent_id INTEGER NOT NULL REFERENCES delivery_intents(id),"
    " step TEXT NOT NULL, at_utc TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS delivery_intent_steps_intent ON delivery_intent_steps (intent_id)",
    "CREATE TRIGGER IF NOT EXISTS delivery_intents_no_update BEFORE UPDATE ON delivery_intents"
    " BEGIN SELECT RAISE(ABORT, 'delivery intents are never changed'); END",
    "CREATE TRIGGER IF NOT EXISTS delivery_intents_no_delete BEFORE DELETE ON delivery_intents"
    " BEGIN SELECT RAISE(ABORT, 'delivery intents are never deleted'); END",
    "CREATE TRIGGER IF NOT EXISTS delivery_intent_steps_no_update BEFORE UPDATE ON delivery_intent_steps"
    " BEGIN SELECT RAISE(ABORT, 'delivery steps are never changed'); END",
    "CREATE TRIGGER IF NOT EXISTS delivery_intent_steps_no_delete BEFORE DELETE ON delivery_intent_steps"
    " BEGIN SELECT RAISE(ABORT, 'delivery steps are never deleted'); END",
};

// Steps from each version to the next (SQLite; a server's schema is the administrator's script).
struct Migration {
    int from;
    const char *const *statements;
    int count;
};
const Migration kMigrations[] = {
    {1, kToVersion2, int(std::size(kToVersion2))},
    {2, kToVersion3, int(std::size(kToVersion3))},
    {3, kToVersion4, int(std::size(kToVersion4))},
    {4, kToVersion5Delivery, int(std::size(kToVersion5Delivery))},
};
constexpr int kMigrationCount = int(std::size(kMigrations));

// Runs the steps from version `from` up to the current one.
bool migrate(QSqlQuery &q, int from)
{
    for (int v = from; v < ArchiveDatabase::kSchemaVersion; ++v)
        for (int m = 0; m < kMigrationCount; ++m)
            if (kMigrations[m].from == v)
                for (int s = 0; s < kMigrations[m].count; ++s)
                    if (!q.exec(QString::fromLatin1(kMigrations[m].statements[s])))
                        return false;
    return true;
}

// File systems on which SQLite's locking cannot be trusted.
bool networkFileSystem(const QString &folder, QString *name)
{
    struct statfs info {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969UL:
        *name = QStringLiteral("NFS");
        return true;
    case 0x517BUL:
    case 0xFF534D42UL:
    case 0xFE534D42UL:
        *name = QStringLiteral("SMB/CIFS");
        return true;
    case 0x65735546UL:
        *name = QStringLiteral("FUSE");
        return true;
    case 0x01021997UL:
        *name = QStringLiteral("9P");
        return true;
    case 0x00C36400UL:
        *name = QStringLiteral("Ceph");
        return true;
    case 0x5346414FUL:
        *name = QStringLiteral("AFS");
        return true;
    default:
        return false;
    }
}

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("meravo-archive-%1").arg(counter.fetchAndAddRelaxed(1));
}

ArchiveDatabase::Result made(ArchiveDatabase::Result::Failure failure, const QString &message)
{
    return {failure, message};
}

} // namespace

ArchiveDatabase::ArchiveDatabase(const QString &location)
    : m_location(location), m_connection(nextConnectionName()),
      m_engine(location.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive) ? PostgreSQL : SQLite)
{
    m_display = m_location;
    if (m_engine == PostgreSQL) {
        const QUrl url(m_location);
        const QString socket = QUrlQuery(url).queryItemValue(QStringLiteral("host"));
        const QString host =
            url.host().isEmpty() ? (socket.isEmpty() ? QStringLiteral("localhost") : socket) : url.host();
        m_display =
            host + (url.port() > 0 ? QLatin1Char(':') + QString::number(url.port()) : QString()) + url.path();
    }
}

ArchiveDatabase::~ArchiveDatabase()
{
    {
        QSqlDatabase db = database();
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

UntranslatedDriverMessages::UntranslatedDriverMessages()
{
    const locale_t base = ::duplocale(::uselocale(nullptr));
    m_messages = base ? ::newlocale(LC_MESSAGES_MASK, "C", base) : nullptr;
    if (m_messages)
        m_previous = ::uselocale(m_messages);
    else if (base)
        ::freelocale(base);
}

UntranslatedDriverMessages::~UntranslatedDriverMessages()
{
    if (m_messages) {
        ::uselocale(m_previous);
        ::freelocale(m_messages);
    }
}

ArchiveDatabase::Result ArchiveDatabase::open()
{
    if (m_open)
        return {};
    Result result = m_engine == SQLite ? openSQLite() : openServer();
    m_open = bool(result);
    return result;
}

ArchiveDatabase::Result ArchiveDatabase::openSQLite()
{
    const QFileInfo file(m_location);
    const QString folder = file.absolutePath();
    if (!QDir().mkpath(folder))
        return made(Result::CannotWrite,
                    TextTable::text(TextTable::ArchiveCannotWrite).arg(m_display, folder));
    QString fsName;
    if (networkFileSystem(folder, &fsName))
        return made(Result::NetworkFileSystem,
                    TextTable::text(TextTable::ArchiveNetworkFs).arg(m_display, fsName));
    bool fresh = !file.exists();
    if (!fresh) {
        if (!file.isFile())
            return made(
                Result::Damaged,
                TextTable::text(TextTable::ArchiveDamaged).arg(m_display, QStringLiteral("not a file")));
        QFile probe(m_location);
        if (!probe.open(QIODevice::ReadOnly))
            return made(Result::CannotWrite,
                        TextTable::text(TextTable::ArchiveCannotWrite).arg(m_display, probe.errorString()));
        const QByteArray head = probe.read(16);
        // An empty file is what an interrupted first creation leaves; anything else must be SQLite's.
        if (!head.isEmpty() && head != QByteArray("SQLite format 3\0", 16))
            return made(Result::Damaged, TextTable::text(TextTable::ArchiveDamaged)
                                             .arg(m_display, QStringLiteral("no SQLite database")));
        fresh = head.isEmpty();
    } else if (!QFileInfo(folder).isWritable()) {
        return made(Result::CannotWrite,
                    TextTable::text(TextTable::ArchiveCannotWrite).arg(m_display, folder));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_location);
    // Another program's write (the desktop program and CLI runs at once) is waited for, not failed.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=20000"));
    if (!db.open())
        return failure(db.lastError());
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return failure(q.lastError());
    // A large import's pages stay in memory until its commit instead of spilling into the log and
    // being read back: up to 64 MiB, only taken when the work needs it.
    for (const char *pragma :
         {"PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON", "PRAGMA cache_size=-65536"})
        if (!q.exec(QString::fromLatin1(pragma)))
            return failure(q.lastError());
    return checkSchema(fresh);
}

ArchiveDatabase::Result ArchiveDatabase::openServer()
{
    const QUrl url(m_location, QUrl::StrictMode);
    if (!url.isValid() || url.path().size() < 2)
        return made(Result::Other, TextTable::text(TextTable::ArchiveBadLocation).arg(m_location));
    if (!url.password().isEmpty())
        return made(Result::Other, TextTable::text(TextTable::ArchivePasswordInLocation).arg(m_display));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    if (!db.isValid())
        return made(
            Result::Other,
            TextTable::text(TextTable::ArchiveFailed).arg(m_display, QStringLiteral("no PostgreSQL driver")));
    db.setDatabaseName(url.path().mid(1));
    if (!url.host().isEmpty())
        db.setHostName(url.host());
    if (url.port() > 0)
        db.setPort(url.port());
    if (!url.userName().isEmpty())
        db.setUserName(url.userName());
    QStringList options;
    bool timeout = false;
    const QList<QPair<QString, QString>> items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto &[key, value] : items) {
        if (key == QLatin1String("password"))
            return made(Result::Other, TextTable::text(TextTable::ArchivePasswordInLocation).arg(m_display));
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt());
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else if (key.contains(QLatin1Char(';')) || value.contains(QLatin1Char(';')))
            return made(Result::Other, TextTable::text(TextTable::ArchiveBadLocation).arg(m_location));
        else
            options.append(key + QLatin1Char('=') + value);
        timeout = timeout || key == QLatin1String("connect_timeout");
    }
    // A server that does not answer must not hold an import for minutes.
    if (!timeout)
        options.append(QStringLiteral("connect_timeout=5"));
    options.append(QStringLiteral("application_name=meravo"));
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open())
        return serverOpenFailure(db, timeout);
    return checkSchema(false);
}

ArchiveDatabase::Result ArchiveDatabase::serverOpenFailure(const QSqlDatabase &db, bool timeout)
{
    Result result = failure(db.lastError());
    if (result.failure != Result::Other)
        return result;
    // libpq speaks the user's language, so its text may not tell: the server itself does, by
    // answering a ping (then it refused this login) or not.
    const QString text = db.lastError().text().trimmed();
    const QByteArray conninfo =
        (m_location + (m_location.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) +
         (timeout ? QString() : QStringLiteral("connect_timeout=5")))
            .toUtf8();
    return PQping(conninfo.constData()) == PQPING_NO_RESPONSE
               ? made(Result::Unreachable,
                      TextTable::text(TextTable::ArchiveUnreachable).arg(m_display, text))
               : made(Result::LoginRefused,
                      TextTable::text(TextTable::ArchiveLoginRefused).arg(m_display, text));
}

ArchiveDatabase::Result ArchiveDatabase::checkSchema(bool mayCreate)
{
    QSqlDatabase db = database();
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema_version'")) && q.next()) {
        bool ok = false;
        const int version = q.value(0).toString().toInt(&ok);
        q.finish();
        if (!ok)
            return made(Result::Damaged, TextTable::text(TextTable::ArchiveDamaged)
                                             .arg(m_display, QStringLiteral("no schema version")));
        if (version > kSchemaVersion)
            return made(
                Result::NewerSchema,
                TextTable::text(TextTable::ArchiveNewer).arg(m_display).arg(version).arg(kSchemaVersion));
        if (version == kSchemaVersion)
            return {};
        // A server's schema is brought forward by its administrator, with the rights to do it.
        if (m_engine == PostgreSQL)
            return made(Result::NoSchema, TextTable::text(TextTable::ArchiveServerOlder)
                                              .arg(m_display)
                                              .arg(version)
                                              .arg(kSchemaVersion));
        // Forward, all steps in one transaction: an interrupted migration leaves the old archive.
        if (Result r = begin(); !r)
            return r;
        return stepsForward(q, version, "UPDATE meta SET value = ? WHERE key = 'schema_version'");
    }
    const QSqlError error = q.lastError();
    q.finish();
    if (m_engine == PostgreSQL) {
        const Result r = failure(error);
        if (error.nativeErrorCode() == QLatin1String("42P01"))
            return made(Result::NoSchema, TextTable::text(TextTable::ArchiveNoSchema).arg(m_display));
        return r.failure == Result::Other
                   ? made(Result::Damaged,
                          TextTable::text(TextTable::ArchiveDamaged).arg(m_display, error.text()))
                   : r;
    }
    // An SQLite file with tables but without ours is somebody else's database: never written.
    if (!mayCreate) {
        if (q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && q.next() &&
            q.value(0).toInt() == 0) {
            q.finish();
        } else {
            const QString why =
                q.lastError().isValid() ? q.lastError().text() : QStringLiteral("not an archive");
            return made(Result::Damaged, TextTable::text(TextTable::ArchiveDamaged).arg(m_display, why));
        }
    }
    return createSchema();
}

ArchiveDatabase::Result ArchiveDatabase::createSchema()
{
    if (Result r = begin(); !r)
        return r;
    QSqlQuery q(database());
    // Two programs making a new archive at once: the write lock lets one create it, the other then
    // finds it made and uses it.
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'meta'")) || !q.next())
        return abandon(q.lastError());
    if (q.value(0).toInt() > 0) {
        q.finish();
        rollback();
        return checkSchema(false);
    }
    // The first version, then every step: a new archive is made the way an old one is brought forward.
    for (const char *statement : kSQLiteSchema)
        if (!q.exec(QString::fromLatin1(statement)))
            return abandon(q.lastError());
    return stepsForward(q, 1, "INSERT INTO meta (key, value) VALUES ('schema_version', ?)");
}

ArchiveDatabase::Result ArchiveDatabase::stepsForward(QSqlQuery &q, int from, const char *versionStatement)
{
    if (!migrate(q, from))
        return abandon(q.lastError());
    q.prepare(QString::fromLatin1(versionStatement));
    q.addBindValue(QString::number(kSchemaVersion));
    if (!q.exec())
        return abandon(q.lastError());
    return commit();
}

ArchiveDatabase::Result ArchiveDatabase::abandon(const QSqlError &error)
{
    const Result r = failure(error);
    rollback();
    return r;
}

ArchiveDatabase::Result ArchiveDatabase::begin()
{
    QSqlQuery q(database());
    if (!q.exec(m_engine == SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")))
        return failure(q.lastError());
    return {};
}

ArchiveDatabase::Result ArchiveDatabase::commit()
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const Result r = failure(q.lastError());
        rollback();
        return r;
    }
    return {};
}

void ArchiveDatabase::rollback()
{
    // A server that went away took its transaction with it.
    if (!database().isOpen())
        return;
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
}

ArchiveDatabase::Result ArchiveDatabase::failure(const QSqlError &error) const
{
    const QString code = error.nativeErrorCode();
    const QString text = error.text().trimmed();
    const QString lower = text.toLower();
    if (m_engine == SQLite) {
        // SQLite's primary result codes (the extended ones keep them in the low byte).
        switch (code.toInt() & 0xFF) {
        case 13: // full
            return made(Result::DiskFull, TextTable::text(TextTable::ArchiveDiskFull).arg(m_display));
        case 11: // corrupt
        case 26: // not a database
            return made(Result::Damaged, TextTable::text(TextTable::ArchiveDamaged).arg(m_display, text));
        case 8:  // read-only
        case 14: // cannot open
        case 23: // not authorised
        case 3:  // permission
            return made(Result::CannotWrite,
                        TextTable::text(TextTable::ArchiveCannotWrite).arg(m_display, text));
        case 5: // busy
        case 6: // locked
            return made(Result::Busy, TextTable::text(TextTable::ArchiveBusy).arg(m_display, text));
        case 10: // I/O error: a full disk shows as one too
            if (lower.contains(QLatin1String("disk is full")))
                return made(Result::DiskFull, TextTable::text(TextTable::ArchiveDiskFull).arg(m_display));
            return made(Result::CannotWrite,
                        TextTable::text(TextTable::ArchiveCannotWrite).arg(m_display, text));
        default:
            return made(Result::Other, TextTable::text(TextTable::ArchiveFailed).arg(m_display, text));
        }
    }
    // libpq gives no code for a connection that failed: its text is all there is.
    if (code.startsWith(QLatin1String("28")) || lower.contains(QLatin1String("password authentication")) ||
        lower.contains(QLatin1String("pg_hba.conf")) ||
        lower.contains(QLatin1String("no password supplied")) ||
        (lower.contains(QLatin1String("role")) && lower.contains(QLatin1String("does not exist"))))
        return made(Result::LoginRefused,
                    TextTable::text(TextTable::ArchiveLoginRefused).arg(m_display, text));
    if (lower.contains(QLatin1String("certificate")) || lower.contains(QLatin1String("ssl")))
        return made(Result::Certificate, TextTable::text(TextTable::ArchiveCertificate).arg(m_display, text));
    if (code == QLatin1String("42501"))
        return made(Result::NoRights, TextTable::text(TextTable::ArchiveNoRights).arg(m_display, text));
    if (code == QLatin1String("3D000"))
        return made(Result::NoSchema, TextTable::text(TextTable::ArchiveNoSchema).arg(m_display));
    if (code == QLatin1String("53100"))
        return made(Result::DiskFull, TextTable::text(TextTable::ArchiveDiskFull).arg(m_display));
    if (code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")) ||
        lower.contains(QLatin1String("could not connect")) || lower.contains(QLatin1String("connection")) ||
        lower.contains(QLatin1String("server closed")) || lower.contains(QLatin1String("timeout")) ||
        lower.contains(QLatin1String("no connection")))
        return made(Result::Unreachable, TextTable::text(TextTable::ArchiveUnreachable).arg(m_display, text));
    // A connection that broke (the server stopped, the network went) whatever language libpq spoke.
    if (code.isEmpty() && connectionLost())
        return made(Result::Unreachable, TextTable::text(TextTable::ArchiveUnreachable).arg(m_display, text));
    return made(Result::Other, TextTable::text(TextTable::ArchiveFailed).arg(m_display, text));
}

sqlite3 *ArchiveDatabase::sqliteHandle() const
{
    if (m_engine != SQLite || !database().driver())
        return nullptr;
    const QVariant handle = database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

ArchiveDatabase::Result ArchiveDatabase::sqliteFailure() const
{
    sqlite3 *handle = sqliteHandle();
    return failure(QSqlError(QString::fromUtf8(sqlite3_errmsg(handle)), QString(), QSqlError::StatementError,
                             QString::number(sqlite3_extended_errcode(handle))));
}

bool ArchiveDatabase::connectionLost() const
{
    const QVariant handle = database().driver() ? database().driver()->handle() : QVariant();
    // Qt names the type after libpq's struct.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return false;
    const PGconn *connection = *static_cast<PGconn *const *>(handle.constData());
    return !connection || PQstatus(connection) == CONNECTION_BAD;
}

qint64 ArchiveDatabase::sizeOnDisk() const
{
    if (m_engine == SQLite)
        return QFileInfo(m_location).size() + QFileInfo(m_location + QStringLiteral("-wal")).size();
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("SELECT pg_database_size(current_database())")) && q.next())
        return q.value(0).toLongLong();
    return -1;
}
