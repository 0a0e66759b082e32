// The lab's archive on both engines: a real SQLite file and this executable's own PostgreSQL server,
// written in-process and by meravo-cli processes, with the faults as they happen.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CIni.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "PgServer.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QEventLoop>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSqlite = QStringLiteral("sqlite");
const QString kServer = QStringLiteral("postgresql");

using Run = ProcessRun;

Run cli(const QStringList &arguments)
{
    return runServed(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), arguments);
}

QString sqliteTool(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {file, sql});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}

// The records of a meter as the dataset command answers them.
enum Records { Generated, GeneratedChanged, Station };
QByteArray records(Records which, const QString &model, int count)
{
    if (which == Station)
        return SimDatasets::stationRecords(count);
    QByteArray bytes = SimDatasets::generatedRecords(model, count);
    if (which == GeneratedChanged) // the third dataset with another status: same key, other content
        bytes.replace(bytes.indexOf(";OK", bytes.indexOf("\r\n3;")), 3, ";E3");
    return bytes;
}

// A measured-value file of the records, as the program saves it.
QByteArray fileBytes(const CDevice &device, const QString &model, const QString &serial,
                     const QByteArray &recs)
{
    const MeasuredValues values{model, serial, QStringLiteral("anna"),
                                QDateTime(QDate(2026, 5, 4), QTime(9, 0)),
                                QString::fromLatin1(MeterSim::acceptedAnswer(recs))};
    QString text;
    CMeasVal(device).BuildFileText(text, values);
    return Cp1252::encode(text);
}

} // namespace

class TestArchive : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void importsAreKeptOnce_data();
    void importsAreKeptOnce();
    void serverAwayLosesAndDoublesNothing_data();
    void serverAwayLosesAndDoublesNothing();
    void refusedArchiveStillWritesTheFile_data();
    void refusedArchiveStillWritesTheFile();
    void killedImporterLeavesAllOrNone();
    void concurrentImportersAllComplete();
    void badFiltersGetAMessage_data();
    void badFiltersGetAMessage();
    void serverRefusesChanges_data();
    void serverRefusesChanges();
    void exitCodes_data();
    void exitCodes();
    void backupNeverEatsTheArchive_data();
    void backupNeverEatsTheArchive();
    void aMeterIsModelAndSerial_data();
    void aMeterIsModelAndSerial();
    void theArchiveIsPrivate_data();
    void theArchiveIsPrivate();
    void noPasswordInTheLocation_data();
    void noPasswordInTheLocation();
    void trailCheckReadsOnlyFiles_data();
    void trailCheckReadsOnlyFiles();
    void syncCountsWhatItSent_data();
    void syncCountsWhatItSent();

private:
    // A new, empty archive of the engine; empty when the engine is missing.
    QString newArchive(const QString &engine);
    void pointAt(const QString &location, bool enabled = true);
    QStringList writeFiles(int count, int datasets, const QString &prefix);
    // Keeps count datasets of a meter (model, serial); the summary's new, repeated, conflicting.
    QList<qint64> keepMeter(Archive &archive, const QString &model, const QString &serial, int count);

    QTemporaryDir m_home;
    int m_archives = 0;
    CSerialLink m_link;
    CCommunication m_communication{&m_link};
    CDevice m_device{&m_link, m_communication};
};

void TestArchive::initTestCase()
{
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (m_home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    for (const char *name : {"PGHOST", "PGPORT", "PGUSER", "PGDATABASE", "PGSERVICE"})
        qunsetenv(name);
}

QString TestArchive::newArchive(const QString &engine)
{
    if (engine == kSqlite)
        return m_home.filePath(QStringLiteral("archive%1.sqlite").arg(++m_archives));
    PgServer &server = PgServer::shared();
    if (!server.skipReason().isEmpty())
        return QString();
    return server.location(server.createArchive());
}

void TestArchive::pointAt(const QString &location, bool enabled)
{
    ArchiveSettings settings;
    settings.enabled = enabled;
    settings.location = location;
    ArchiveSettings::storeForUser(settings);
}

QStringList TestArchive::writeFiles(int count, int datasets, const QString &prefix)
{
    QStringList paths;
    const QByteArray recs = SimDatasets::generatedRecords(QStringLiteral("Lumora"), datasets);
    for (int i = 0; i < count; ++i) {
        paths.append(m_home.filePath(QStringLiteral("%1-%2.csv").arg(prefix).arg(i)));
        // Other meters, the same datasets: every file's are new.
        writeBytes(paths.last(),
                   fileBytes(m_device, QStringLiteral("Lumora"), prefix + QString::number(i), recs));
    }
    return paths;
}

#define NEED_ARCHIVE(location)                                                                               \
    if ((location).isEmpty())                                                                                \
    QSKIP(qPrintable(PgServer::shared().skipReason()))

struct Step {
    const char *model;
    Records records;
    bool asFile;
    int added, repeated, conflicting;
};
Q_DECLARE_METATYPE(Step)

void TestArchive::importsAreKeptOnce_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QList<Step>>("steps");
    const struct {
        const char *name;
        QList<Step> steps;
    } cases[] = {
        {"new", {{"Lumora", Generated, false, 30, 0, 0}}},
        {"repeat", {{"Lumora", Generated, false, 30, 0, 0}, {"Lumora", Generated, false, 0, 30, 0}}},
        {"conflict", {{"Lumora", Generated, false, 30, 0, 0}, {"Lumora", GeneratedChanged, false, 0, 29, 1}}},
        {"erased meter", {{"Lumora", Generated, false, 30, 0, 0}, {"Lumora", Station, false, 30, 0, 0}}},
        {"7 fields", {{"Klaro 4 IR", Generated, false, 30, 0, 0}, {"Klaro 4 IR", Generated, true, 0, 30, 0}}},
        {"10 fields",
         {{"Klaro 7 T", Generated, false, 30, 0, 0}, {"Klaro 7 T", GeneratedChanged, false, 0, 29, 1}}},
        {"file then meter", {{"Lumora", Station, true, 30, 0, 0}, {"Lumora", Station, false, 0, 30, 0}}},
    };
    for (const QString &engine : {kSqlite, kServer})
        for (const auto &c : cases)
            QTest::addRow("%s, %s", qPrintable(engine), c.name) << engine << c.steps;
}

// New, repeated and conflicting datasets over every layout, from a meter and from files; the original
// bytes of each import reproduce its rows.
void TestArchive::importsAreKeptOnce()
{
    QFETCH(QString, engine);
    QFETCH(QList<Step>, steps);
    const QString location = newArchive(engine);
    NEED_ARCHIVE(location);
    Archive archive(m_device, ArchiveSettings{true, location});
    qint64 expected = 0;
    for (const Step &step : steps) {
        const QString model = QLatin1String(step.model);
        const QByteArray recs = records(step.records, model, 30);
        ImportRecord record;
        if (step.asFile)
            QVERIFY(ImportRecord::fromFile(QStringLiteral("old.csv"), fileBytes(m_device, model, "S1", recs),
                                           QDateTime::currentDateTime(), &record));
        else
            record = ImportRecord::fromMeter(QString::fromLatin1(MeterSim::acceptedAnswer(recs)),
                                             QDateTime::currentDateTime());
        record.meter = model;
        record.serial = QStringLiteral("S1");
        Archive::Summary summary;
        const Archive::Result result = archive.keep(record, &summary);
        QVERIFY2(result, qPrintable(result.message));
        QCOMPARE(QList<qint64>({summary.added, summary.repeated, summary.conflicting}),
                 QList<qint64>({step.added, step.repeated, step.conflicting}));
        expected += step.added + step.conflicting;
    }
    QList<ArchivedRow> rows;
    QVERIFY(archive.query({}, 0, 0, &rows));
    QCOMPARE(qint64(rows.size()), expected);
    const int layout = SimDatasets::fieldCount(QLatin1String(steps.first().model));
    for (const ArchivedRow &row : rows) {
        QCOMPARE(row.layout, layout);
        const QStringList fields = row.line.split(QLatin1Char(';'));
        QCOMPARE(row.fields[DatasetFields::Value1],
                 fields.value(DatasetFields::positionOf(layout, DatasetFields::Value1)));
        // The import's original bytes, read again, hold the row's line.
        QByteArray raw;
        bool found = false;
        QVERIFY(archive.raw(row.importId, &raw, &found) && found);
        ImportRecord again;
        again.raw = raw;
        again.meter = row.meter;
        again.source = raw.startsWith("METER;") ? ImportRecord::FromFile : ImportRecord::FromMeter;
        QList<ArchivedDataset> parsed;
        QVERIFY(again.datasets(m_device, &parsed));
        QVERIFY(std::any_of(parsed.begin(), parsed.end(), [&](const ArchivedDataset &d) {
            return d.line == row.line && d.fields == row.fields;
        }));
    }
}

void TestArchive::serverAwayLosesAndDoublesNothing_data()
{
    QTest::addColumn<bool>("duringSync");
    QTest::newRow("stopped during an import") << false;
    QTest::newRow("stopped during a sync") << true;
}

// The server stops part-way: the import waits on this PC and reaches the server exactly once.
void TestArchive::serverAwayLosesAndDoublesNothing()
{
    QFETCH(bool, duringSync);
    const QString location = newArchive(kServer);
    NEED_ARCHIVE(location);
    PgServer &server = PgServer::shared();
    QFile::remove(ArchiveSettings::localPath());
    Archive archive(m_device, ArchiveSettings{true, location});
    QList<ImportRecord> imports;
    for (const char *serial : {"A", "B", "C"}) {
        imports.append(ImportRecord::fromMeter(
            QString::fromLatin1(MeterSim::acceptedAnswer(records(Generated, QStringLiteral("Lumora"), 200))),
            QDateTime::currentDateTime()));
        imports.last().meter = QStringLiteral("Lumora");
        imports.last().serial = QLatin1String(serial);
    }
    bool stopped = false;
    const Archive::Progress stopOnce = [&](qint64 done, qint64) {
        if (done == 1 && !stopped)
            stopped = server.stop();
        return true;
    };
    Archive::Summary summary;
    if (duringSync) {
        QVERIFY(server.stop());
        for (const ImportRecord &r : imports)
            QVERIFY(archive.keep(r, &summary) && summary.keptLocally);
        QVERIFY(server.start());
        const Archive::SyncOutcome first = archive.sync(stopOnce);
        QCOMPARE(first.sent, qint64(1));
        QCOMPARE(first.result.failure, Archive::Result::Unreachable);
    } else {
        const Archive::Result result = archive.keepAll(imports, &summary, stopOnce);
        QVERIFY2(result && summary.keptLocally, qPrintable(result.message));
        QCOMPARE(summary.added, qint64(600));
    }
    QVERIFY(stopped && server.start());
    // What waits is sent by the command, once: a second run finds nothing to send.
    pointAt(location);
    const Run rest = cli({QStringLiteral("archive"), QStringLiteral("sync")});
    QVERIFY2(rest.exitCode == 0 && rest.err.contains(QLatin1String(" sent, 0 waiting")),
             qPrintable(rest.err));
    QCOMPARE(cli({QStringLiteral("archive"), QStringLiteral("sync")}).err.trimmed(),
             QStringLiteral("0 sent, 0 waiting"));
    QString counts;
    QVERIFY(server.sql(
        location.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1),
        QStringLiteral("SELECT (SELECT count(*) FROM imports) || ' ' || (SELECT count(*) FROM datasets)"),
        &counts));
    QCOMPARE(counts, QStringLiteral("3 600"));
}

void TestArchive::refusedArchiveStillWritesTheFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("exitCode");
    const struct {
        const char *name, *damage, *message;
        int exitCode;
    } rows[] = {
        {"truncated", "truncated", "damaged", 5},
        {"random bytes", "random", "damaged", 5},
        {"no database", "text", "damaged", 5},
        {"newer schema", "newer", "newer version", 5},
        {"read-only folder", "readonly", "cannot be created or written", 5},
        {"full disk", "full", "disk is full", 5},
        {"switched off", "off", "", 0},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.damage) << QString::fromLatin1(r.message)
                              << r.exitCode;
}

// An archive that cannot take the import: a message, the measured-value file written all the same, the
// archive left as it was.
void TestArchive::refusedArchiveStillWritesTheFile()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    QFETCH(int, exitCode);
    QTemporaryDir folder(m_home.filePath(QStringLiteral("folderXXXXXX")));
    const QString file = folder.filePath(QStringLiteral("archive.sqlite"));
    pointAt(file, damage != QLatin1String("off"));
    bool mounted = false;
    const auto restore = qScopeGuard([&] {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {folder.path()});
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (damage != QLatin1String("full") && damage != QLatin1String("off")) {
        QCOMPARE(
            cli(QStringList{QStringLiteral("archive"), QStringLiteral("add")} + writeFiles(4, 500, damage))
                .exitCode,
            0);
        QCOMPARE(sqliteTool(file, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")).right(5),
                 QStringLiteral("0|0|0"));
    }
    if (damage == QLatin1String("truncated"))
        QVERIFY(QFile::resize(file, QFileInfo(file).size() / 2));
    else if (damage == QLatin1String("random")) {
        QByteArray noise(200000, Qt::Uninitialized);
        for (char &c : noise)
            c = char(std::rand());
        writeBytes(file, noise);
    } else if (damage == QLatin1String("text"))
        writeBytes(file, "METER;S/N;USER;DATE;TIME\r\n");
    else if (damage == QLatin1String("newer"))
        sqliteTool(file, QStringLiteral("UPDATE meta SET value = '99' WHERE key = 'schema_version'"));
    else if (damage == QLatin1String("off")) {
        // Every workflow as without an archive: none is made.
    } else if (::geteuid() != 0) { // permissions bind everybody but root
        if (damage == QLatin1String("full"))
            QSKIP("a full disk needs a small tmpfs, which only root mounts");
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    } else {
        const QString options =
            damage == QLatin1String("full") ? QStringLiteral("size=256k") : QStringLiteral("size=8m");
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                               QStringLiteral("tmpfs"), folder.path()}) != 0)
            QSKIP("this machine lets no tmpfs be mounted here");
        mounted = true;
        if (damage == QLatin1String("full")) {
            writeBytes(file + QStringLiteral(".filler"), QByteArray(200 * 1024, 'x'));
        } else {
            QCOMPARE(
                cli(QStringList{QStringLiteral("archive"), QStringLiteral("add")} + writeFiles(2, 50, damage))
                    .exitCode,
                0);
            QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                                       {QStringLiteral("-o"), QStringLiteral("remount,ro"), folder.path()}),
                     0);
        }
    }
    const QByteArray before = readBytes(file);
    SimBench bench(1);
    SimDatasets datasets(bench.addMeter(1));
    datasets.generate(2000);
    const QString out = m_home.filePath(damage + QStringLiteral(".csv"));
    const Run run = cli({QStringLiteral("datasets"), QStringLiteral("-o"), out});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    MeasuredValues values;
    QVERIFY(CMeasVal::ParseFileText(Cp1252::decode(readBytes(out)), values));
    if (damage == QLatin1String("full"))
        QCOMPARE(sqliteTool(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    else
        QVERIFY(readBytes(file) == before);
}

// kill -9 in the middle of one large transaction: the archive holds the whole import or none of it.
void TestArchive::killedImporterLeavesAllOrNone()
{
    const QString file = newArchive(kSqlite);
    pointAt(file);
    QCOMPARE(cli({QStringLiteral("archive"), QStringLiteral("add"),
                  writeFiles(1, 10, QStringLiteral("first")).first()})
                 .exitCode,
             0);
    const QStringList files = writeFiles(100, 500, QStringLiteral("big"));
    QProcess importer;
    importer.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                   QStringList{QStringLiteral("archive"), QStringLiteral("add")} + files);
    QVERIFY(importer.waitForStarted());
    // The write-ahead log grows once the transaction writes its pages, before its commit is complete.
    while (importer.state() == QProcess::Running && QFileInfo(file + QStringLiteral("-wal")).size() < 65536)
        QTest::qWait(2);
    if (importer.state() == QProcess::Running)
        ::kill(pid_t(importer.processId()), SIGKILL);
    else
        qInfo("the import had ended before the kill: it must then be whole");
    importer.waitForFinished();
    QCOMPARE(sqliteTool(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    const QString count = sqliteTool(file, QStringLiteral("SELECT count(*) FROM datasets"));
    QVERIFY2(count == QLatin1String("10") || count == QLatin1String("50010"), qPrintable(count));
}

// Three importers at once on one SQLite archive: each waits for the others, none fails, nothing is lost.
void TestArchive::concurrentImportersAllComplete()
{
    const QString file = newArchive(kSqlite);
    pointAt(file);
    const QStringList shared = writeFiles(4, 500, QStringLiteral("shared"));
    QList<QProcess *> importers;
    for (int i = 0; i < 3; ++i) {
        importers.append(new QProcess(this));
        importers.last()->start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                                QStringList{QStringLiteral("archive"), QStringLiteral("add")} + shared +
                                    writeFiles(4, 500, QStringLiteral("own%1-").arg(i)));
    }
    for (QProcess *p : importers) {
        QVERIFY(p->waitForFinished(120000));
        QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        delete p;
    }
    QCOMPARE(sqliteTool(file, QStringLiteral("SELECT count(*) FROM datasets")), QStringLiteral("8000"));
}

void TestArchive::badFiltersGetAMessage_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("filter");
    QTest::addColumn<int>("exitCode");
    const QString longText(100000, QLatin1Char('x'));
    for (const QString &engine : {kSqlite, kServer}) {
        const QByteArray e = engine.toLatin1();
        QTest::addRow("%s, no such day", e.data()) << engine << QStringList{"--from", "2026-02-30"} << 2;
        QTest::addRow("%s, no such month", e.data()) << engine << QStringList{"--to", "2026-13-01"} << 2;
        QTest::addRow("%s, dates reversed", e.data())
            << engine << QStringList{"--from", "2026-03-02", "--to", "2026-03-01"} << 2;
        QTest::addRow("%s, quotes", e.data()) << engine << QStringList{"--meter", "x' OR '1'='1"} << 0;
        QTest::addRow("%s, pattern characters", e.data()) << engine << QStringList{"--id", "%_\\'\""} << 0;
        QTest::addRow("%s, long text", e.data()) << engine << QStringList{"--id", longText} << 2;
    }
}

// Filter text is data, never SQL: a message for what cannot run, no rows for what matches nothing.
void TestArchive::badFiltersGetAMessage()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, filter);
    QFETCH(int, exitCode);
    const QString location = newArchive(engine);
    NEED_ARCHIVE(location);
    pointAt(location);
    QCOMPARE(cli(QStringList{QStringLiteral("archive"), QStringLiteral("add")} +
                 writeFiles(1, 20, QStringLiteral("filter")))
                 .exitCode,
             0);
    const Run run = cli(QStringList{QStringLiteral("archive"), QStringLiteral("query")} + filter);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out.count(QLatin1Char('\n')), exitCode == 0 ? 1 : 0);
    QVERIFY2(exitCode == 0 ? run.err.isEmpty() : run.err.size() > 10 && run.err.size() < 300,
             qPrintable(run.err.left(300)));
    // And the same filter in-process, the window's way, where a long text may be 10 MB (a command line
    // takes at most 128 KiB an argument).
    ArchiveFilter f;
    f.idText = filter.last().size() > 1000 ? QString(10 << 20, QLatin1Char('x')) : filter.last();
    QList<ArchivedRow> rows;
    Archive archive(m_device, ArchiveSettings{true, location});
    const Archive::Result result = archive.query(f, 0, 0, &rows);
    QVERIFY2(result || result.failure == Archive::Result::BadFilter, qPrintable(result.message.left(300)));
    QVERIFY(rows.isEmpty());
}

void TestArchive::serverRefusesChanges_data()
{
    QTest::addColumn<QString>("statement");
    for (const char *s : {"UPDATE imports SET login = 'x'", "DELETE FROM imports", "TRUNCATE imports CASCADE",
                          "UPDATE datasets SET value1 = '0'", "DELETE FROM datasets", "TRUNCATE datasets",
                          "UPDATE trail SET login = 'x'", "DELETE FROM trail", "TRUNCATE trail",
                          "UPDATE annotations SET text = 'x'", "DELETE FROM annotations",
                          "TRUNCATE annotations", "UPDATE meta SET value = '2'",
                          "UPDATE qc_definitions SET content = ''", "DELETE FROM qc_revisions"})
        QTest::newRow(s) << QString::fromLatin1(s);
}

// The program's login may add and read, and the server itself refuses every change of what is archived.
void TestArchive::serverRefusesChanges()
{
    QFETCH(QString, statement);
    const QString location = newArchive(kServer);
    NEED_ARCHIVE(location);
    pointAt(location);
    QCOMPARE(cli(QStringList{QStringLiteral("archive"), QStringLiteral("add")} +
                 writeFiles(1, 5, QStringLiteral("rights")))
                 .exitCode,
             0);
    const QString database = location.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
    QString output;
    QVERIFY(!PgServer::shared().sql(database, statement, &output, QLatin1String(PgServer::kLogin)));
    QVERIFY2(output.contains(QLatin1String("permission denied")), qPrintable(output));
    QVERIFY(PgServer::shared().sql(database, QStringLiteral("SELECT count(*) FROM datasets"), &output,
                                   QLatin1String(PgServer::kLogin)));
    QCOMPARE(output, QStringLiteral("5"));
}

void TestArchive::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no action") << QStringList{} << true << 64;
    QTest::newRow("unknown action") << QStringList{"forget"} << true << 64;
    QTest::newRow("help") << QStringList{"--help"} << true << 0;
    QTest::newRow("status") << QStringList{"status"} << true << 0;
    QTest::newRow("switched off") << QStringList{"status"} << false << 4;
    QTest::newRow("raw of no number") << QStringList{"raw", "first"} << true << 2;
    QTest::newRow("raw of no import") << QStringList{"raw", "99"} << true << 2;
    QTest::newRow("raw") << QStringList{"raw", "1"} << true << 0;
    QTest::newRow("file refused") << QStringList{"add", "/nonexistent.csv"} << true << 3;
    QTest::newRow("bad format") << QStringList{"query", "--format", "xml"} << true << 64;
    QTest::newRow("json") << QStringList{"query", "--format", "json"} << true << 0;
    QTest::newRow("export not written") << QStringList{"export", "/nonexistent/out.csv"} << true << 5;
    QTest::newRow("export") << QStringList{"export", "OUT.xlsx"} << true << 0;
    QTest::newRow("sync of a file archive") << QStringList{"sync"} << true << 0;
    QTest::newRow("backup") << QStringList{"backup", "OUT.sqlite"} << true << 0;
    QTest::newRow("backup not written") << QStringList{"backup", "/nonexistent/b.sqlite"} << true << 5;
}

void TestArchive::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, enabled);
    QFETCH(int, exitCode);
    const QString file = newArchive(kSqlite);
    pointAt(file);
    QCOMPARE(cli(QStringList{QStringLiteral("archive"), QStringLiteral("add")} +
                 writeFiles(1, 20, QStringLiteral("codes")))
                 .exitCode,
             0);
    pointAt(file, enabled);
    arguments.replaceInStrings(QStringLiteral("OUT"), m_home.filePath(QStringLiteral("out")));
    const Run run = cli(QStringList{QStringLiteral("archive")} + arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    if (arguments.value(0) == QLatin1String("backup") && exitCode == 0)
        QCOMPARE(sqliteTool(arguments.value(1), QStringLiteral("SELECT count(*) FROM datasets")),
                 QStringLiteral("20"));
}

QList<qint64> TestArchive::keepMeter(Archive &archive, const QString &model, const QString &serial, int count)
{
    ImportRecord record = ImportRecord::fromMeter(
        QString::fromLatin1(MeterSim::acceptedAnswer(records(Generated, model, count))),
        QDateTime::currentDateTime());
    record.meter = model;
    record.serial = serial;
    Archive::Summary summary;
    const Archive::Result result = archive.keep(record, &summary);
    if (!result)
        qWarning("%s", qPrintable(result.message));
    return {summary.added, summary.repeated, summary.conflicting};
}

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

uid_t nobody()
{
    const passwd *entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : 65534;
}

} // namespace

void TestArchive::backupNeverEatsTheArchive_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("exitCode");
    const struct {
        const char *name, *target;
        bool force;
        int exitCode;
    } rows[] = {
        {"own file", "ARCHIVE", false, 5},
        {"own file, forced", "ARCHIVE", true, 5},
        {"its log", "ARCHIVE-wal", true, 5},
        {"its index", "ARCHIVE-shm", true, 5},
        {"through a link", "LINK", true, 5},
        {"another spelling", "SPELLED", true, 5},
        {"a hard link", "HARD", true, 5},
        {"another archive", "OTHER", false, 5},
        {"another archive, forced", "OTHER", true, 0},
        {"a new file", "NEW", false, 0},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.target) << r.force << r.exitCode;
}

// A backup onto the archive's own files, by any name, is refused and the archive stays whole; another
// file is replaced only when asked, by a whole copy as private as the archive.
void TestArchive::backupNeverEatsTheArchive()
{
    QFETCH(QString, target);
    QFETCH(bool, force);
    QFETCH(int, exitCode);
    const QString add = QStringLiteral("add");
    const QString other = newArchive(kSqlite);
    pointAt(other);
    QCOMPARE(
        cli(QStringList{QStringLiteral("archive"), add} + writeFiles(1, 5, QStringLiteral("other"))).exitCode,
        0);
    const QString file = newArchive(kSqlite);
    pointAt(file);
    QCOMPARE(
        cli(QStringList{QStringLiteral("archive"), add} + writeFiles(1, 20, QStringLiteral("kept"))).exitCode,
        0);
    const QFileInfo info(file);
    const QString link = m_home.filePath(QStringLiteral("link%1.sqlite").arg(m_archives));
    const QString hard = m_home.filePath(QStringLiteral("hard%1.sqlite").arg(m_archives));
    QVERIFY(QFile::link(file, link));
    QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(hard).constData()), 0);
    const QMap<QString, QString> paths = {
        {QStringLiteral("ARCHIVE"), file},
        {QStringLiteral("ARCHIVE-wal"), file + QStringLiteral("-wal")},
        {QStringLiteral("ARCHIVE-shm"), file + QStringLiteral("-shm")},
        {QStringLiteral("LINK"), link},
        {QStringLiteral("SPELLED"), info.absolutePath() + QStringLiteral("/./") + info.fileName()},
        {QStringLiteral("HARD"), hard},
        {QStringLiteral("OTHER"), other},
        {QStringLiteral("NEW"), m_home.filePath(QStringLiteral("new%1.sqlite").arg(m_archives))}};
    const QString path = paths.value(target);
    const QByteArray otherBefore = readBytes(other);
    QStringList arguments{QStringLiteral("archive"), QStringLiteral("backup"), path};
    if (force)
        arguments.append(QStringLiteral("--force"));
    const Run run = cli(arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    // The archive is whole and takes the next import.
    QCOMPARE(cli(QStringList{QStringLiteral("archive"), add} + writeFiles(1, 20, QStringLiteral("after")))
                 .exitCode,
             0);
    QCOMPARE(sqliteTool(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    QCOMPARE(sqliteTool(file, QStringLiteral("SELECT count(*) FROM datasets")), QStringLiteral("40"));
    if (exitCode == 0) {
        QCOMPARE(sqliteTool(path, QStringLiteral("SELECT count(*) FROM datasets")), QStringLiteral("20"));
        QCOMPARE(modeOf(path), mode_t(0600));
    } else if (target == QLatin1String("OTHER")) {
        QVERIFY(readBytes(other) == otherBefore);
    }
}

void TestArchive::aMeterIsModelAndSerial_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("older");
    for (const QString &engine : {kSqlite, kServer})
        for (const bool older : {false, true})
            QTest::addRow("%s, %s", qPrintable(engine), older ? "brought forward from schema 4" : "new")
                << engine << older;
}

// Two meters of different models with the same serial number are two meters, also in an archive made
// before: its rows, ids, notes and guards come through the step forward.
void TestArchive::aMeterIsModelAndSerial()
{
    QFETCH(QString, engine);
    QFETCH(bool, older);
    const QString location = newArchive(engine);
    NEED_ARCHIVE(location);
    const QString database = location.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
    PgServer &server = PgServer::shared();
    qint64 noted = 0;
    {
        Archive archive(m_device, ArchiveSettings{true, location});
        QCOMPARE(keepMeter(archive, QStringLiteral("Lumora"), QStringLiteral("S1"), 30),
                 QList<qint64>({30, 0, 0}));
        QList<ArchivedRow> rows;
        QVERIFY(archive.query({}, 0, 0, &rows) && rows.size() == 30);
        noted = rows.at(7).id;
        QVERIFY(archive.annotate(noted, QStringLiteral("checked"), QStringLiteral("anna")));
    }
    if (older && engine == kSqlite) {
        // The table as schema 4 made it: the serial alone in the unique key.
        QString table =
            sqliteTool(location, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'datasets'"));
        table
            .replace(QRegularExpression(QStringLiteral("CREATE TABLE \"?datasets\"?")),
                     QStringLiteral("CREATE TABLE d4"))
            .replace(QStringLiteral("UNIQUE (meter, serial,"), QStringLiteral("UNIQUE (serial,"));
        const QString back = QStringLiteral("PRAGMA foreign_keys=OFF; BEGIN; %1; INSERT INTO d4 SELECT * "
                                            "FROM datasets; DROP TABLE datasets;"
                                            " ALTER TABLE d4 RENAME TO datasets; UPDATE meta SET value = '4' "
                                            "WHERE key = 'schema_version'; COMMIT;")
                                 .arg(table);
        QCOMPARE(sqliteTool(location, back), QString());
    } else if (older) {
        QVERIFY(server.sql(
            database,
            QStringLiteral("ALTER TABLE datasets DROP CONSTRAINT datasets_meter_key;"
                           " ALTER TABLE datasets ADD UNIQUE (serial, no, date, time, content_sha256);"
                           " DROP TABLE delivery_intent_steps; DROP TABLE delivery_intents;"
                           " UPDATE meta SET value = '4' WHERE key = 'schema_version'")));
        Archive refusing(m_device, ArchiveSettings{true, location});
        const Archive::Result result = refusing.open();
        QCOMPARE(result.failure, Archive::Result::NoSchema);
        QVERIFY2(result.message.contains(QLatin1String("archive-postgresql-upgrade.sql")),
                 qPrintable(result.message));
        QString output;
        QVERIFY2(server.sql(database, QString::fromUtf8(readBytes(QStringLiteral(MERAVO_ARCHIVE_UPGRADE))),
                            &output),
                 qPrintable(output));
    }
    Archive archive(m_device, ArchiveSettings{true, location});
    QCOMPARE(keepMeter(archive, QStringLiteral("Klaro 4 IR"), QStringLiteral("S1"), 30),
             QList<qint64>({30, 0, 0}));
    QCOMPARE(keepMeter(archive, QStringLiteral("Lumora"), QStringLiteral("S1"), 30),
             QList<qint64>({0, 30, 0}));
    ArchiveStatus status;
    QVERIFY(archive.status(&status));
    QCOMPARE(QList<qint64>({status.datasets, status.conflicts, status.meters}), QList<qint64>({60, 0, 2}));
    QList<ArchivedRow> rows;
    QVERIFY(archive.query({}, 0, 0, &rows));
    const auto note =
        std::find_if(rows.cbegin(), rows.cend(), [&](const ArchivedRow &r) { return r.id == noted; });
    QVERIFY(note != rows.cend() && note->notes == QStringList{QStringLiteral("checked")});
    if (engine == kSqlite) {
        // Ids go on after the kept ones, and what is archived is still guarded.
        QCOMPARE(sqliteTool(location, QStringLiteral("SELECT min(id) || ' ' || max(id) FROM datasets")),
                 QStringLiteral("1 60"));
        QVERIFY(sqliteTool(location, QStringLiteral("DELETE FROM datasets"))
                    .contains(QLatin1String("never deleted")));
        QVERIFY(sqliteTool(location, QStringLiteral("UPDATE datasets SET value1 = '0'"))
                    .contains(QLatin1String("never changed")));
    }
}

void TestArchive::theArchiveIsPrivate_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("message");
    const struct {
        const char *name, *setup;
        bool opens;
        const char *message;
    } rows[] = {
        {"default archive, umask 022", "default", true, ""},
        {"older default archive, readable by all", "default-0644", true, ""},
        {"writable by all", "o+w", false, "every account"},
        {"in a folder writable by all", "folder o+w", false, "every account"},
        {"another account's", "foreign", false, "belongs to the account"},
        {"shared set-up", "shared", true, ""},
        {"shared set-up, writable by all", "shared o+w", false, "every account"},
        {"shared set-up, not the group's to write", "shared g-w", false, "not writable by its group"},
        {"read-only, also for root", "0444", false, "read-only"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.setup) << r.opens << QString::fromLatin1(r.message);
}

// The archive is its account's own, with the files SQLite makes beside it; another account's is used
// only in the administrator's shared set-up, named in Settings.ini; rights that let others change it,
// or make it read-only, refuse it.
void TestArchive::theArchiveIsPrivate()
{
    QFETCH(QString, setup);
    QFETCH(bool, opens);
    QFETCH(QString, message);
    const mode_t previousMask = ::umask(022);
    const auto restore = qScopeGuard([previousMask] { ::umask(previousMask); });
    QTemporaryDir root(m_home.filePath(QStringLiteral("rightsXXXXXX")));
    const bool isDefault = setup.startsWith(QLatin1String("default"));
    const bool shared = setup.startsWith(QLatin1String("shared"));
    const QString folder = isDefault ? QFileInfo(ArchiveSettings::localPath()).absolutePath()
                                     : root.filePath(QStringLiteral("lab"));
    const QString file =
        isDefault ? ArchiveSettings::localPath() : folder + QStringLiteral("/archive.sqlite");
    QDir(folder).removeRecursively();
    if (setup == QLatin1String("default-0644")) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        writeBytes(file, QByteArray());
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);
    } else if (!isDefault) {
        // The archive made first by its owner, then given the rights of the row.
        QVERIFY(QDir().mkpath(folder));
        {
            Archive made(m_device, ArchiveSettings{true, file});
            QCOMPARE(keepMeter(made, QStringLiteral("Lumora"), QStringLiteral("S1"), 5),
                     QList<qint64>({5, 0, 0}));
        }
        const QByteArray f = QFile::encodeName(file);
        const QByteArray d = QFile::encodeName(folder);
        if (setup == QLatin1String("o+w"))
            QCOMPARE(::chmod(f.constData(), 0606), 0);
        else if (setup == QLatin1String("folder o+w"))
            QCOMPARE(::chmod(d.constData(), 0777), 0);
        else if (setup == QLatin1String("foreign"))
            QCOMPARE(::chown(f.constData(), nobody(), ::getegid()), 0);
        else if (setup == QLatin1String("0444"))
            QCOMPARE(::chmod(f.constData(), 0444), 0);
        else if (shared) { // the administrator's: another account's file of a group this account is in
            QCOMPARE(::chmod(d.constData(), 02770), 0);
            QCOMPARE(::chown(f.constData(), nobody(), ::getegid()), 0);
            const mode_t mode = setup == QLatin1String("shared o+w")   ? 0666
                                : setup == QLatin1String("shared g-w") ? 0640
                                                                       : 0660;
            QCOMPARE(::chmod(f.constData(), mode), 0);
        }
    }
    // The administrator names the shared location in Settings.ini; the default one nobody names.
    QTemporaryDir program(m_home.filePath(QStringLiteral("programXXXXXX")));
    writeBytes(program.filePath(QStringLiteral("Settings.ini")),
               isDefault ? QByteArray("[Archive]\n")
                         : "[Archive]\nLocation=" + QFile::encodeName(file) + "\n");
    const QByteArray before = qgetenv("MERAVO_PROGRAM_DIR");
    qputenv("MERAVO_PROGRAM_DIR", QFile::encodeName(program.path()));
    const auto back = qScopeGuard([before] { qputenv("MERAVO_PROGRAM_DIR", before); });
    QSettings(QStringLiteral("Meravo"), QStringLiteral("Meravo")).remove(QStringLiteral("Archive/Location"));
    CIni ini;
    ArchiveSettings settings = ArchiveSettings::read(ini);
    QCOMPARE(settings.location, file);
    QCOMPARE(settings.shared, !isDefault);
    // The other rows as a location of one's own.
    settings.shared = shared;
    const QByteArray bytes = readBytes(file);
    Archive archive(m_device, settings);
    const Archive::Result result = archive.open();
    QVERIFY2(bool(result) == opens && result.message.contains(message), qPrintable(result.message));
    if (!opens) {
        QVERIFY(readBytes(file) == bytes);
        return;
    }
    QCOMPARE(keepMeter(archive, QStringLiteral("Lumora"), QStringLiteral("S2"), 5), QList<qint64>({5, 0, 0}));
    const mode_t expected = shared ? 0660 : 0600;
    for (const QString &f : {file, file + QStringLiteral("-wal"), file + QStringLiteral("-shm")})
        QVERIFY2(modeOf(f) == expected, qPrintable(QStringLiteral("%1: %2").arg(f).arg(modeOf(f), 0, 8)));
    if (!shared)
        QCOMPARE(modeOf(folder), mode_t(0700));
}

void TestArchive::noPasswordInTheLocation_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("refused");
    const struct {
        const char *name, *location;
        bool refused;
    } rows[] = {
        {"user and password", "postgresql://lab_pc1:Secret42@/DB?host=SOCK", true},
        {"password key", "postgresql:///DB?host=SOCK&user=lab_pc1&password=Secret42", true},
        {"password inside a value",
         "postgresql:///DB?host=SOCK&user=lab_pc1&application_name=x%20password=Secret42", true},
        {"quoted inside a value",
         "postgresql:///DB?host=SOCK&user=lab_pc1&application_name=x%27%20password%3D%27Secret42", true},
        {"encoded key", "postgresql:///DB?host=SOCK&user=lab_pc1&%70assword=Secret42", true},
        {"key's password", "postgresql:///DB?host=SOCK&user=lab_pc1&sslpassword=Secret42", true},
        {"server option", "postgresql:///DB?host=SOCK&user=lab_pc1&options=-c%20password%3DSecret42", true},
        {"postgres scheme", "postgres://lab_pc1:Secret42@/DB?host=SOCK", true},
        {"password file", "postgresql:///DB?host=SOCK&user=lab_pc1&passfile=/nonexistent", false},
        {"a name with a space", "postgresql:///DB?host=SOCK&user=lab_pc1&application_name=x%20y", false},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.location) << r.refused;
}

// A password in the location is refused in every spelling libpq would read, before any connection;
// the locations without one connect as before.
void TestArchive::noPasswordInTheLocation()
{
    QFETCH(QString, location);
    QFETCH(bool, refused);
    const QString server = newArchive(kServer);
    NEED_ARCHIVE(server);
    const QString database = server.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
    const QString socket = QUrlQuery(QUrl(server)).queryItemValue(QStringLiteral("host"));
    location.replace(QStringLiteral("DB"), database).replace(QStringLiteral("SOCK"), socket);
    Archive archive(m_device, ArchiveSettings{true, location});
    const Archive::Result result = archive.open();
    if (refused) {
        QVERIFY2(!result && result.message.contains(QLatin1String("password")), qPrintable(result.message));
        QVERIFY2(!result.message.contains(QLatin1String("Secret42")), qPrintable(result.message));
    } else {
        QVERIFY2(result, qPrintable(result.message));
    }
}

void TestArchive::trailCheckReadsOnlyFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("pipe without a writer") << "fifo" << 2;
    QTest::newRow("endless device") << "/dev/zero" << 2;
    QTest::newRow("folder") << "folder" << 2;
    QTest::newRow("file the program did not write") << "file" << 1;
}

// trail check answers at once for what is no file, instead of waiting on a pipe or reading forever.
void TestArchive::trailCheckReadsOnlyFiles()
{
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    pointAt(newArchive(kSqlite));
    QString path = kind;
    if (kind == QLatin1String("fifo")) {
        path = m_home.filePath(QStringLiteral("pipe%1").arg(++m_archives));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        path = m_home.path();
    } else if (kind == QLatin1String("file")) {
        path = m_home.filePath(QStringLiteral("some.txt"));
        writeBytes(path, QByteArray(5 << 20, 'x'));
    }
    QProcess check;
    check.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                {QStringLiteral("trail"), QStringLiteral("check"), path});
    const bool ended = check.waitForFinished(15000);
    if (!ended)
        check.kill();
    QVERIFY(ended);
    QCOMPARE(check.exitCode(), exitCode);
    if (kind == QLatin1String("file")) // libcrypto's digest agrees with Qt's
        QVERIFY(check.readAllStandardOutput().contains(
            QCryptographicHash::hash(QByteArray(5 << 20, 'x'), QCryptographicHash::Sha256).toHex()));
}

void TestArchive::syncCountsWhatItSent_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("two syncs at once") << "concurrent";
    QTest::newRow("its notes of what was sent removed") << "notes removed";
}

// What waited is sent once, and "sent" counts only what the server took in now; the server's entries
// keep where and when the work was first kept.
void TestArchive::syncCountsWhatItSent()
{
    QFETCH(QString, fault);
    const QString location = newArchive(kServer);
    NEED_ARCHIVE(location);
    PgServer &server = PgServer::shared();
    const QString database = location.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
    QFile::remove(ArchiveSettings::localPath());
    {
        Archive archive(m_device, ArchiveSettings{true, location});
        QVERIFY(server.stop());
        for (const char *serial : {"A", "B", "C"})
            keepMeter(archive, QStringLiteral("Lumora"), QLatin1String(serial), 20);
        TrailAction printed;
        printed.action = QStringLiteral("print");
        printed.object = QStringLiteral("printout");
        QVERIFY(archive.record(printed));
        QVERIFY(server.start());
    }
    pointAt(location);
    const QStringList sync{QStringLiteral("archive"), QStringLiteral("sync")};
    const auto sentOf = [](const QString &err) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+) sent")).match(err);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    int sent = 0;
    if (fault == QLatin1String("concurrent")) {
        QList<QProcess *> syncs{new QProcess(this), new QProcess(this)};
        for (QProcess *p : syncs)
            p->start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), sync);
        for (QProcess *p : syncs) {
            QVERIFY(p->waitForFinished(60000));
            const QString err = QString::fromUtf8(p->readAllStandardError());
            QVERIFY2(p->exitCode() == 0, qPrintable(err));
            sent += sentOf(err);
            delete p;
        }
    } else {
        sent = sentOf(cli(sync).err);
        sqliteTool(ArchiveSettings::localPath(), QStringLiteral("DELETE FROM sent"));
        const Run again = cli(sync);
        QCOMPARE(again.err.trimmed(), QStringLiteral("0 sent, 4 already on the server, 0 waiting"));
    }
    QCOMPARE(sent, 4);
    QString counts;
    QVERIFY(server.sql(
        database,
        QStringLiteral("SELECT (SELECT count(*) FROM imports) || ' ' || (SELECT count(*) FROM datasets)"
                       " || ' ' || (SELECT count(*) FROM trail WHERE action IN ('import', 'print'))"),
        &counts));
    QCOMPARE(counts, QStringLiteral("3 60 4"));
    // Each entry the server took keeps the time it was first written on this PC.
    QString details;
    QVERIFY(server.sql(
        database, QStringLiteral("SELECT details FROM trail WHERE action = 'import' ORDER BY seq LIMIT 1"),
        &details));
    const QJsonObject keptOn =
        QJsonDocument::fromJson(details.toUtf8()).object().value(QStringLiteral("kept_on")).toObject();
    const QString firstKept =
        sqliteTool(ArchiveSettings::localPath(),
                   QStringLiteral("SELECT at_utc FROM trail WHERE action = 'import' ORDER BY seq LIMIT 1"));
    QCOMPARE(keptOn.value(QStringLiteral("at")).toString(), firstKept);
}

QTEST_MAIN(TestArchive)
#include "tst_archive.moc"
