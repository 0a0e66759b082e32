#include "ArchiveDatabase.h"

#include "ArchiveFileRights.h"
#include "ArchiveSettings.h"
#include "TextTable.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
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

// Version 5: a meter is its model and serial number. Two meters of different models with the same
// serial keep their datasets apart. SQLite keeps a UNIQUE clause in the table's definition, so the
// table is made anew under its name with the same rows and ids, its indexes and its guards against
// change (run with foreign keys off: the rows that refer to datasets keep their ids).
const char *const kToVersion5[] = {
    "CREATE TABLE datasets_v5 ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, import_id INTEGER NOT NULL REFERENCES imports(id),"
    " meter TEXT NOT NULL, serial TEXT NOT NULL, layout INTEGER NOT NULL,"
    " no TEXT NOT NULL, date TEXT NOT NULL, time TEXT NOT NULL, day TEXT,"
    " sample_id TEXT NOT NULL, program TEXT NOT NULL, cit TEXT NOT NULL, code TEXT NOT NULL,"
    " dilution TEXT NOT NULL, value1 TEXT NOT NULL, unit1 TEXT NOT NULL, status1 TEXT NOT NULL,"
    " value2 TEXT NOT NULL, unit2 TEXT NOT NULL, status2 TEXT NOT NULL,"
    " cal_date TEXT NOT NULL, cal_time TEXT NOT NULL, line TEXT NOT NULL,"
    " content_sha256 BLOB NOT NULL, conflict INTEGER NOT NULL,"
    " UNIQUE (meter, serial, no, date, time, content_sha256))",
    "INSERT INTO datasets_v5 SELECT id, import_id, meter, serial, layout, no, date, time, day, sample_id,"
    " program, cit, code, dilution, value1, unit1, status1, value2, unit2, status2, cal_date, cal_time,"
    " line, content_sha256, conflict FROM datasets ORDER BY id",
    // The ids go on where they were, also past rows a rolled-back import had taken.
    "UPDATE sqlite_sequence SET seq = (SELECT seq FROM sqlite_sequence WHERE name = 'datasets')"
    " WHERE name = 'datasets_v5' AND EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'datasets')",
    "DROP TABLE datasets",
    "ALTER TABLE datasets_v5 RENAME TO datasets",
    "CREATE INDEX datasets_serial_day_program ON datasets (serial, day, program)",
    "CREATE INDEX datasets_day ON datasets (day)",
    "CREATE INDEX datasets_import ON datasets (import_id)",
    "CREATE TRIGGER datasets_no_update BEFORE UPDATE ON datasets"
    " BEGIN SELECT RAISE(ABORT, 'archived datasets are never changed'); END",
    "CREATE TRIGGER datasets_no_delete BEFORE DELETE ON datasets"
    " BEGIN SELECT RAISE(ABORT, 'archived datasets are never deleted'); END",
};

// Version 6: a delivery's intent, committed before its file appears, and the steps it reached, so the
// next deliverer finishes what a crash left and no dataset reaches a profile twice. Never changed. The
// step stands alone: tables already there (an archive brought back to an older version) are kept.
const char *const kToVersion6[] = {
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
    {1, kToVersion2, int(std::size(kToVersion2))}, // the trail, notes and withdrawals
    {2, kToVersion3, int(std::size(kToVersion3))}, // control samples
    {3, kToVersion4, int(std::size(kToVersion4))}, // deliveries and sample IDs
    {4, kToVersion5, int(std::size(kToVersion5))}, // a meter is its model and serial
    {5, kToVersion6, int(std::size(kToVersion6))}, // delivery intents
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

ArchiveDatabase::ArchiveDatabase(const QString &location, bool shared)
    : m_location(location), m_connection(nextConnectionName()),
      m_engine(location.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive) ? PostgreSQL : SQLite),
      m_shared(shared)
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
    using ArchiveFileRights::Setup;
    const Setup setup = m_shared ? Setup::Shared : Setup::Private;
    const QString folder = QFileInfo(m_location).absolutePath();
    if (const QString why = ArchiveFileRights::makeFolder(folder, setup); !why.isEmpty())
        return made(Result::CannotWrite, TextTable::text(TextTable::ArchiveCannotWrite).arg(m_display, why));
    QString fsName;
    if (networkFileSystem(folder, &fsName))
        return made(Result::NetworkFileSystem,
                    TextTable::text(TextTable::ArchiveNetworkFs).arg(m_display, fsName));
    // The default archive is this account's alone, also one an older version made readable by others.
    const bool isDefault = QFileInfo(m_location).absoluteFilePath() ==
                           QFileInfo(ArchiveSettings::localPath()).absoluteFilePath();
    if (const QString why = ArchiveFileRights::prepare(m_location, setup, isDefault); !why.isEmpty())
        return made(Result::NoRights, why);
    const QFileInfo file(m_location);
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
    const Result result = checkSchema(fresh);
    ArchiveFileRights::settleCompanions(m_location, setup);
    return result;
}

namespace {

// A value inside libpq's key=value text: quoted, so a space or a quote in it never starts another key.
QString conninfoValue(const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Any key that carries a password (password, sslpassword); the file of passwords is libpq's convention.
bool passwordKey(const QString &key)
{
    return key.contains(QLatin1String("password"), Qt::CaseInsensitive);
}

// libpq's own reading of a text (a URI or key=value pairs): (key, value) of every key set in it; false
// when libpq cannot read it.
bool parseConninfo(const QByteArray &text, QList<QPair<QString, QString>> *settings)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(text.constData(), &error);
    PQfreemem(error);
    if (!options)
        return false;
    for (const PQconninfoOption *o = options; o->keyword; ++o)
        if (o->val)
            settings->append({QString::fromUtf8(o->keyword), QString::fromUtf8(o->val)});
    PQconninfoFree(options);
    return true;
}

} // namespace

ArchiveDatabase::Result ArchiveDatabase::serverSettings(QList<QPair<QString, QString>> *settings) const
{
    const Result refused =
        made(Result::Other, TextTable::text(TextTable::ArchivePasswordInLocation).arg(m_display));
    // A password key, or a text that spells one for whatever reads it as text later: looked for also
    // in what libpq would not read, so no message ever shows it.
    static const QRegularExpression spelled(QStringLiteral("password\\s*="),
                                            QRegularExpression::CaseInsensitiveOption);
    if (!QUrl(m_location).password().isEmpty() ||
        QUrl::fromPercentEncoding(m_location.toUtf8()).contains(spelled))
        return refused;
    if (!parseConninfo(m_location.toUtf8(), settings))
        return made(Result::Other, TextTable::text(TextTable::ArchiveBadLocation).arg(m_location));
    for (const auto &[key, value] : std::as_const(*settings))
        if ((passwordKey(key) && !value.isEmpty()) || value.contains(spelled))
            return refused;
    return {};
}

ArchiveDatabase::Result ArchiveDatabase::openServer()
{
    QList<QPair<QString, QString>> settings;
    if (Result r = serverSettings(&settings); !r)
        return r;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    if (!db.isValid())
        return made(
            Result::Other,
            TextTable::text(TextTable::ArchiveFailed).arg(m_display, QStringLiteral("no PostgreSQL driver")));
    QStringList options;
    bool timeout = false;
    for (const auto &[key, value] : std::as_const(settings)) {
        bool number = true;
        if (key == QLatin1String("dbname"))
            db.setDatabaseName(value);
        else if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt(&number));
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else if (!passwordKey(key))
            options.append(key + QLatin1Char('=') + conninfoValue(value));
        // Qt turns every ';' of the options into a space.
        if (!number || value.contains(QLatin1Char(';')))
            return made(Result::Other, TextTable::text(TextTable::ArchiveBadLocation).arg(m_location));
        timeout = timeout || key == QLatin1String("connect_timeout");
    }
    if (db.databaseName().isEmpty())
        return made(Result::Other, TextTable::text(TextTable::ArchiveBadLocation).arg(m_location));
    // A server that does not answer must not hold an import for minutes.
    if (!timeout)
        options.append(QStringLiteral("connect_timeout=5"));
    options.append(QStringLiteral("application_name=meravo"));
    // The options as libpq will read them hold no password either.
    QList<QPair<QString, QString>> reread;
    if (!parseConninfo(options.join(QLatin1Char(' ')).toUtf8(), &reread) ||
        std::any_of(reread.cbegin(), reread.cend(), [](const auto &kv) { return passwordKey(kv.first); }))
        return made(Result::Other, TextTable::text(TextTable::ArchivePasswordInLocation).arg(m_display));
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
        // Forward, all steps in one transaction: an interrupted migration leaves the old archive. A step
        // that makes a table anew keeps the ids others refer to; SQLite takes this switch only outside
        // a transaction.
        q.exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
        Result r = begin();
        if (r)
            r = stepsForward(q, version, "UPDATE meta SET value = ? WHERE key = 'schema_version'");
        q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        return r;
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
