// Delivery to the lab's systems on both engines: every profile option read back by Python's csv
// module, refused profiles and worklists, each dataset delivered once under the faults of a drop
// folder and through a crash at every step, a polling reader that must never see a partial file, and
// the watcher with device links that come and go.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "CrashPoints.h"
#include "Delivery.h"
#include "PgServer.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "Worklist.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSqlite = QStringLiteral("sqlite");
const QString kServer = QStringLiteral("postgresql");

// The rows Python's csv module reads from a file in the encoding and with the separator given.
QJsonArray pythonRows(const QString &path, const QString &encoding, const QString &separator)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding=sys.argv[2]) as f:\n"
                                 "    print(json.dumps(list(csv.reader(f, delimiter=sys.argv[3]))))"),
                  path, encoding, separator});
    python.waitForFinished();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

QStringList visibleFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool haveRoot()
{
    return ::geteuid() == 0;
}

// The steps of one file's delivery where the world may end, in order; the commits are the steps
// named "before-...-commit".
const char *const kDeliverSteps[] = {
    "deliver-before-intent-commit",
    "deliver-intent-committed",
    "deliver-temporary-written",
    "deliver-temporary-synced",
    "deliver-before-written-commit",
    "deliver-written-committed",
    "deliver-renamed",
    "deliver-folder-synced",
    "deliver-before-done-commit",
    "deliver-done-committed",
};

// The test's own hook: at the step named, the archive's connections lose their transaction, so the
// commit that follows fails as one whose server went away.
QByteArray g_failAt;
void failCommitAt(const char *step)
{
    if (g_failAt != step)
        return;
    g_failAt.clear();
    for (const QString &name : QSqlDatabase::connectionNames()) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        q.exec(db.driverName() == QLatin1String("QPSQL")
                   ? QStringLiteral("SELECT pg_terminate_backend(pg_backend_pid())")
                   : QStringLiteral("ROLLBACK"));
    }
}

ProcessRun runCli(const QString &program, const QStringList &arguments,
                  const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(120000);
    ProcessRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A measured-value file of generated records, as the program saves it.
QByteArray measuredValueFile(const CDevice &device, const QString &serial, int datasets)
{
    const MeasuredValues values{QStringLiteral("Lumora"), serial, QStringLiteral("anna"),
                                QDateTime(QDate(2026, 5, 4), QTime(9, 0)),
                                QString::fromLatin1(MeterSim::acceptedAnswer(
                                    SimDatasets::generatedRecords(QStringLiteral("Lumora"), datasets)))};
    QString text;
    CMeasVal(device).BuildFileText(text, values);
    return Cp1252::encode(text);
}

} // namespace

class TestDelivery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void profileOutputReadsBack_data();
    void profileOutputReadsBack();
    void badInputIsNamed_data();
    void badInputIsNamed();
    void worklistGivesSampleIds();
    void deliveredOnceUnderFaults_data();
    void deliveredOnceUnderFaults();
    void concurrentDeliverersDeliverOnce_data();
    void concurrentDeliverersDeliverOnce();
    void limsReaderSeesOnlyWholeFiles();
    void watcherImportsOncePerAppearance();
    void deliveredOnceThroughCrash_data();
    void deliveredOnceThroughCrash();
    void worklistFieldsRead_data();
    void worklistFieldsRead();
    void worklistIdMeasuredTwiceIsTold();
    void deliverExitsAndCounts_data();
    void deliverExitsAndCounts();
    void importWithNothingNewDeliversPending();

private:
    // Every dataset of the archive in exactly one file of folder, each file whole and recorded with
    // its datasets, bytes and trail entry; the count of files.
    void checkExactlyOnce(Archive &archive, const QString &folder, int datasets);
    QString writeProfile(const QString &name, const QString &ini);
    // An archive of the engine with count generated datasets of each meter serial; null when the
    // engine is missing here.
    std::unique_ptr<Archive> archiveWith(const QString &engine, const QStringList &serials, int count = 30);
    ExportProfile profile(const QString &ini);
    QString m_location;
    QTemporaryDir m_home;
    int m_files = 0;
    CSerialLink m_link;
    CCommunication m_communication{&m_link};
    CDevice m_device{&m_link, m_communication};
};

void TestDelivery::initTestCase()
{
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (m_home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    qputenv("MERAVO_SYSTEM_PROFILES", m_home.filePath(QStringLiteral("none")).toLocal8Bit());
    for (const char *name : {"PGHOST", "PGPORT", "PGUSER", "PGDATABASE", "PGSERVICE"})
        qunsetenv(name);
}

std::unique_ptr<Archive> TestDelivery::archiveWith(const QString &engine, const QStringList &serials,
                                                   int count)
{
    if (engine == kSqlite) {
        m_location = m_home.filePath(QStringLiteral("archive%1.sqlite").arg(++m_files));
    } else {
        PgServer &server = PgServer::shared();
        if (!server.skipReason().isEmpty())
            return nullptr;
        m_location = server.location(server.createArchive());
    }
    ArchiveSettings settings;
    settings.enabled = true;
    settings.location = m_location;
    ArchiveSettings::storeForUser(settings);
    auto archive = std::make_unique<Archive>(m_device, settings);
    for (const QString &serial : serials) {
        ImportRecord record =
            ImportRecord::fromMeter(QString::fromLatin1(MeterSim::acceptedAnswer(
                                        SimDatasets::generatedRecords(QStringLiteral("Lumora"), count))),
                                    QDateTime(QDate(2026, 5, 4), QTime(9, 0)));
        record.meter = QStringLiteral("Lumora");
        record.serial = serial;
        record.login = QStringLiteral("anna");
        Archive::Summary summary;
        const Archive::Result result = archive->keep(record, &summary);
        if (!result)
            qFatal("%s", qPrintable(result.message));
    }
    return archive;
}

ExportProfile TestDelivery::profile(const QString &ini)
{
    const QString path = m_home.filePath(QStringLiteral("p%1.ini").arg(++m_files));
    writeBytes(path, ini.toUtf8());
    ExportProfile p;
    QString error;
    if (!ExportProfile::read(path, &p, &error))
        qFatal("%s", qPrintable(error));
    p.name = QStringLiteral("lims");
    return p;
}

#define NEED(archive)                                                                                        \
    if (!(archive))                                                                                          \
    QSKIP(qPrintable(PgServer::shared().skipReason()))

void TestDelivery::profileOutputReadsBack_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("encoding"); // Python's name
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("rows");          // data rows
    QTest::addColumn<QStringList>("first"); // header or first row as read back
    QTest::addColumn<QStringList>("second");
    // Dataset 1 of the generated records: 01.01.26 00:07:13, ID 1, program 107, 0.37 mg/l OK.
    QTest::newRow("defaults") << "Columns=No,Date,Time,Value1"
                              << "utf-8"
                              << ";" << QByteArray("\r\n") << 30
                              << QStringList{"No", "Date", "Time", "Value1"}
                              << QStringList{"1", "2026-01-01", "00:07:13", "0.37"};
    QTest::newRow("issue example") << "Columns=SampleId,Date,Time,Program,Value1,Unit1,Status1\n"
                                      "Headers=sample,date,time,method,result,unit,flag\nSeparator=;\n"
                                      "DecimalMark=,\nEncoding=UTF-8\nLineEnd=CRLF\nDateFormat=yyyy-MM-dd\n"
                                      "Statuses=OK"
                                   << "utf-8"
                                   << ";" << QByteArray("\r\n") << 29
                                   << QStringList{"sample", "date", "time", "method",
                                                  "result", "unit", "flag"}
                                   << QStringList{"", "2026-01-01", "00:07:13", "107", "0,37", "mg/l", "OK"};
    QTest::newRow("tab, LF, no header, forms")
        << "Columns=Date,Time,Value\nSeparator=Tab\nLineEnd=LF\nHeader=no\nDateFormat=dd.MM.yyyy\nTimeFormat="
           "HH:mm"
        << "utf-8"
        << "\t" << QByteArray("\n") << 30 << QStringList{"01.01.2026", "00:07", "0.37"}
        << QStringList{"01.01.2026", "00:14", "0.74"};
    QTest::newRow("forms in another order")
        << "Columns=Date,Time\nLineEnd=LF\nHeader=no\nDateFormat=MM/dd/yy\nTimeFormat=h:mm:ss AP"
        << "utf-8"
        << ";" << QByteArray("\n") << 30 << QStringList{"01/01/26", "12:07:13 AM"}
        << QStringList{"01/01/26", "12:14:26 AM"};
    QTest::newRow("comma separator, quotes, CR")
        << "Columns=Id,Unit\nHeaders=say \"hi\",c\nSeparator=,\nLineEnd=CR"
        << "utf-8"
        << "," << QByteArray("\r") << 30 << QStringList{"say \"hi\"", "c"} << QStringList{"1", "mg/l"};
    QTest::newRow("Windows-1252") << "Columns=Meter,SerialNumber,ImportedBy\nHeaders=Gerät,Nr,Prüfer\n"
                                     "Encoding=Windows-1252"
                                  << "cp1252"
                                  << ";" << QByteArray("\r\n") << 30 << QStringList{"Gerät", "Nr", "Prüfer"}
                                  << QStringList{"Lumora", "S1", "anna"};
    QTest::newRow("UTF-8 with BOM") << "Columns=No,Status\nHeaders=Résultat,État\nEncoding=UTF-8-BOM"
                                    << "utf-8-sig"
                                    << ";" << QByteArray("\r\n") << 30 << QStringList{"Résultat", "État"}
                                    << QStringList{"1", "OK"};
    QTest::newRow("programs, sample ID fallback")
        << "Columns=SampleId,Program\nPrograms=107,114\nUnmappedSampleId=Id"
        << "utf-8"
        << ";" << QByteArray("\r\n") << 2 << QStringList{"SampleId", "Program"} << QStringList{"1", "107"};
    QTest::newRow("other meter only") << "Columns=No\nMeters=S9"
                                      << "utf-8"
                                      << ";" << QByteArray("\r\n") << 0 << QStringList() << QStringList();
}

// Every option as a LIMS reads it: Python's csv module in the profile's encoding.
void TestDelivery::profileOutputReadsBack()
{
    QFETCH(QString, ini);
    QFETCH(QString, encoding);
    QFETCH(QString, separator);
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, rows);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    const auto archive = archiveWith(kSqlite, {QStringLiteral("S1")});
    const QString folder = m_home.filePath(QStringLiteral("out%1").arg(++m_files));
    QDir().mkpath(folder);
    const DeliveryOutcome outcome = Delivery::deliverPending(
        *archive, profile(QStringLiteral("[Profile]\n") + ini), QStringLiteral("anna"), folder);
    QVERIFY2(outcome.result, qPrintable(outcome.result.message));
    QCOMPARE(outcome.delivered, qint64(rows));
    QCOMPARE(outcome.files.size(), qsizetype(rows > 0 ? 1 : 0));
    if (rows == 0)
        return;
    const QByteArray bytes = readBytes(outcome.files.first());
    // Every line break is the profile's.
    QCOMPARE(bytes.count(lineEnd) * lineEnd.size(), bytes.count('\n') + bytes.count('\r'));
    const QJsonArray read = pythonRows(outcome.files.first(), encoding, separator);
    const bool header = !ini.contains(QLatin1String("Header=no"));
    QCOMPARE(read.size(), qsizetype(rows + (header ? 1 : 0)));
    for (int i = 0; i < 2; ++i) {
        QStringList got;
        for (const QJsonValue &v : read.at(i).toArray())
            got.append(v.toString());
        QCOMPARE(got, i == 0 ? first : second);
    }
}

void TestDelivery::badInputIsNamed_data()
{
    QTest::addColumn<bool>("worklist");
    QTest::addColumn<QByteArray>("content"); // "BIG": a file of 200 MB
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown column") << false << QByteArray("[Profile]\nColumns=No,Value7\n") << 2 << "Value7";
    QTest::newRow("two separators") << false << QByteArray("[Profile]\nColumns=No\nSeparator=;,\n") << 3
                                    << ";,";
    QTest::newRow("key twice") << false << QByteArray("[Profile]\nSeparator=;\nColumns=No\nseparator=,\n")
                               << 4 << "line 2";
    QTest::newRow("separator is the mark")
        << false << QByteArray("[Profile]\nColumns=No\nSeparator=,\nDecimalMark=,\n") << 4 << "decimal";
    QTest::newRow("not UTF-8") << false << QByteArray("[Profile]\nColumns=No\nHeaders=Ger\xe4t\n") << 3
                               << "UTF-8";
    QTest::newRow("header count") << false << QByteArray("[Profile]\nColumns=No,Date\nHeaders=a\n") << 3
                                  << "1";
    QTest::newRow("200 MB profile") << false << QByteArray("BIG") << 1 << "KiB";
    QTest::newRow("date form YYYY-MM-DD")
        << false << QByteArray("[Profile]\nColumns=No\nDateFormat=YYYY-MM-DD\n") << 3
        << "DateFormat=YYYY-MM-DD";
    QTest::newRow("date form dd.mm.yyyy")
        << false << QByteArray("[Profile]\nColumns=No\ndateformat=dd.mm.yyyy\n") << 3
        << "dateformat=dd.mm.yyyy";
    QTest::newRow("date form, day twice")
        << false << QByteArray("[Profile]\nColumns=No\nDateFormat=dd.MM.yyyy (d)\n") << 3 << "DateFormat";
    QTest::newRow("time form hh:MM:ss")
        << false << QByteArray("[Profile]\nColumns=No\nTimeFormat=hh:MM:ss\n") << 3 << "TimeFormat=hh:MM:ss";
    QTest::newRow("relative folder") << false << QByteArray("[Profile]\nColumns=No\nFolder=lims/inbox\n") << 3
                                     << "Folder=lims/inbox";
    QTest::newRow("worklist IDs twice")
        << true << QByteArray("Id;SampleId\n7;A\n8;B\n7;C\n") << 4 << "line 2";
    QTest::newRow("worklist without header") << true << QByteArray("7;A\n8;B\n") << 1 << "SampleId";
    QTest::newRow("worklist in Windows-1252")
        << true << QByteArray("Id;SampleId\n7;M\xfcller\n") << 2 << "UTF-8";
    QTest::newRow("200 MB worklist") << true << QByteArray("BIG") << 1 << "KiB";
}

// A message naming file and line, and nothing taken from the file.
void TestDelivery::badInputIsNamed()
{
    QFETCH(bool, worklist);
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, why);
    const QString path = m_home.filePath(QStringLiteral("bad%1.ini").arg(++m_files));
    if (content == "BIG") {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(200LL * 1024 * 1024));
    } else {
        writeBytes(path, content);
    }
    QString error;
    if (worklist) {
        Worklist list;
        QVERIFY(!list.read(path, &error));
        QVERIFY(list.entries().isEmpty());
    } else {
        ExportProfile p;
        QVERIFY(!ExportProfile::read(path, &p, &error));
        QVERIFY(p.columns.isEmpty());
    }
    QVERIFY2(error.startsWith(TextTable::text(TextTable::ProfileError).arg(path).arg(line).arg(QString())),
             qPrintable(error));
    QVERIFY2(error.contains(why), qPrintable(error));
    QFile::remove(path);
}

// The mapping lives in the archive: a later delivery (on both engines) names the same samples, and
// what the worklist and the series do not share is told.
void TestDelivery::worklistGivesSampleIds()
{
    for (const QString &engine : {kSqlite, kServer}) {
        const auto archive = archiveWith(engine, {QStringLiteral("S1")}, 3);
        NEED(archive);
        const QString path = m_home.filePath(QStringLiteral("worklist%1.csv").arg(++m_files));
        writeBytes(path, "\xEF\xBB\xBFId,SampleId,Program\n1,\"LIMS-1, A\",107\n2,LIMS-2,999\n77,LIMS-77,\n");
        Worklist list;
        QString error;
        QVERIFY2(list.read(path, &error), qPrintable(error));
        QList<ArchivedRow> rows;
        QVERIFY(archive->query(ArchiveFilter(), 0, 0, &rows));
        QList<qint64> ids;
        for (const ArchivedRow &row : rows)
            ids.append(row.id);
        Worklist::Report report;
        QVERIFY(list.apply(*archive, ids, QStringLiteral("anna"), &report));
        QCOMPARE(report.mapped, qint64(2));
        QCOMPARE(report.notListed, QStringList{QStringLiteral("3")});
        QCOMPARE(report.neverMeasured, QStringList{QStringLiteral("77")});
        QCOMPARE(report.wrongProgram.size(), qsizetype(1));
        const QString folder = m_home.filePath(QStringLiteral("wl%1").arg(++m_files));
        QDir().mkpath(folder);
        const DeliveryOutcome outcome = Delivery::deliverPending(
            *archive, profile(QStringLiteral("[Profile]\nColumns=SampleId,No\nSeparator=,")),
            QStringLiteral("anna"), folder);
        QVERIFY2(outcome.result, qPrintable(outcome.result.message));
        const QJsonArray read =
            pythonRows(outcome.files.value(0), QStringLiteral("utf-8"), QStringLiteral(","));
        QCOMPARE(read.at(1).toArray().at(0).toString(), QStringLiteral("LIMS-1, A"));
        QCOMPARE(read.at(2).toArray().at(0).toString(), QStringLiteral("LIMS-2"));
        QCOMPARE(read.at(3).toArray().at(0).toString(), QString());
    }
}

void TestDelivery::deliveredOnceUnderFaults_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("fault");
    for (const QString &engine : {kSqlite, kServer})
        for (const char *fault : {"folder missing", "folder removed", "read-only mount", "full tmpfs"})
            QTest::addRow("%s, %s", qPrintable(engine), fault) << engine << QString::fromLatin1(fault);
}

// A folder that cannot take the file leaves nothing visible and the datasets pending; once it can,
// they arrive exactly once.
void TestDelivery::deliveredOnceUnderFaults()
{
    QFETCH(QString, engine);
    QFETCH(QString, fault);
    const auto archive = archiveWith(engine, {QStringLiteral("S1")}, 2000);
    NEED(archive);
    const QString folder = m_home.filePath(QStringLiteral("drop%1").arg(++m_files));
    bool mounted = false;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {folder});
    });
    if (fault != QLatin1String("folder missing"))
        QVERIFY(QDir().mkpath(folder));
    if (fault.contains(QLatin1String("mount")) || fault.contains(QLatin1String("tmpfs"))) {
        const QString options = fault.contains(QLatin1String("read-only")) ? QStringLiteral("ro,size=1m")
                                                                           : QStringLiteral("size=16k");
        if (!haveRoot() ||
            QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", options, "tmpfs", folder}) != 0)
            QSKIP("no file system can be mounted here (needs root)");
        mounted = true;
    }
    const ExportProfile p =
        profile(QStringLiteral("[Profile]\nColumns=No,Date,Time,Value1,Unit1\nFolder=") + folder);
    if (fault == QLatin1String("folder removed"))
        QVERIFY(QDir(folder).removeRecursively());
    DeliveryOutcome outcome = Delivery::deliverPending(*archive, p, QStringLiteral("anna"));
    QVERIFY(!outcome.result);
    QVERIFY(outcome.waiting);
    QCOMPARE(outcome.delivered, qint64(0));
    QVERIFY(outcome.result.message.contains(folder));
    if (QFileInfo::exists(folder))
        QCOMPARE(visibleFiles(folder), QStringList());
    // The share is back.
    if (mounted) {
        QVERIFY(QProcess::execute(QStringLiteral("umount"), {folder}) == 0);
        mounted = false;
    }
    QVERIFY(QDir().mkpath(folder));
    outcome = Delivery::deliverPending(*archive, p, QStringLiteral("anna"));
    QVERIFY2(outcome.result, qPrintable(outcome.result.message));
    QCOMPARE(outcome.delivered, qint64(2000));
    QCOMPARE(Delivery::deliverPending(*archive, p, QStringLiteral("anna")).delivered, qint64(0));
    QCOMPARE(visibleFiles(folder).size(), qsizetype(1));
    QCOMPARE(pythonRows(outcome.files.first(), QStringLiteral("utf-8"), QStringLiteral(";")).size(),
             qsizetype(2001));
}

void TestDelivery::concurrentDeliverersDeliverOnce_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << kSqlite;
    QTest::newRow("postgresql") << kServer;
}

// Several programs delivering at once (the watcher, the desktop program, a timer): every dataset in
// exactly one file.
void TestDelivery::concurrentDeliverersDeliverOnce()
{
    QFETCH(QString, engine);
    const auto archive =
        archiveWith(engine, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}, 500);
    NEED(archive);
    const QString folder = m_home.filePath(QStringLiteral("many%1").arg(++m_files));
    QDir().mkpath(folder);
    const QString profiles = m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/Meravo/profiles"));
    QDir().mkpath(profiles);
    writeBytes(profiles + QStringLiteral("/lims.ini"),
               ("[Profile]\nColumns=SerialNumber,No\nFolder=" + folder).toUtf8());
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 4; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), {QStringLiteral("deliver")});
    }
    for (auto &process : processes) {
        QVERIFY(process->waitForFinished(120000));
        QCOMPARE(process->exitCode(), 0);
    }
    // Once more on purpose: each meter's datasets in one more file; a reversed range is refused.
    auto run = [](const QStringList &arguments) {
        QProcess process;
        process.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), arguments);
        process.waitForFinished(120000);
        return process.exitCode();
    };
    QCOMPARE(run({QStringLiteral("deliver"), QStringLiteral("--again"), QStringLiteral("9-2")}), 2);
    const QString again = m_home.filePath(QStringLiteral("again%1").arg(++m_files));
    QDir().mkpath(again);
    QCOMPARE(run({QStringLiteral("deliver"), QStringLiteral("--again"), QStringLiteral("1-1500"),
                  QStringLiteral("--to"), again}),
             0);
    QCOMPARE(visibleFiles(again).size(), qsizetype(3));
    QFile::remove(profiles + QStringLiteral("/lims.ini"));
    QSet<QString> seen;
    const QStringList files = visibleFiles(folder);
    QCOMPARE(files.size(), qsizetype(3));
    for (const QString &file : files) {
        const QJsonArray rows =
            pythonRows(QDir(folder).filePath(file), QStringLiteral("utf-8"), QStringLiteral(";"));
        for (int i = 1; i < rows.size(); ++i) {
            const QString key = rows.at(i).toArray().at(0).toString() + QLatin1Char('/') +
                                rows.at(i).toArray().at(1).toString();
            QVERIFY2(!seen.contains(key), qPrintable(key));
            seen.insert(key);
        }
    }
    QCOMPARE(seen.size(), qsizetype(1500));
}

// A LIMS polling the folder with inotify sees each delivery arrive whole under its final name: no
// final name is ever written into.
void TestDelivery::limsReaderSeesOnlyWholeFiles()
{
    if (QStandardPaths::findExecutable(QStringLiteral("inotifywait")).isEmpty())
        QSKIP("inotifywait (inotify-tools) is not installed");
    const auto archive = archiveWith(kSqlite, {});
    const QString folder = m_home.filePath(QStringLiteral("lims%1").arg(++m_files));
    QDir().mkpath(folder);
    QProcess reader;
    reader.start(QStringLiteral("inotifywait"),
                 {"-m", "-q", "-e", "close_write,moved_to,create", "--format", "%e %f", folder});
    QVERIFY(reader.waitForStarted());
    QTest::qWait(300);
    const ExportProfile p = profile(QStringLiteral("[Profile]\nColumns=No,Value1\nFolder=") + folder);
    for (int i = 0; i < 20; ++i) {
        ImportRecord record =
            ImportRecord::fromMeter(QString::fromLatin1(MeterSim::acceptedAnswer(
                                        SimDatasets::generatedRecords(QStringLiteral("Lumora"), 300))),
                                    QDateTime::currentDateTime());
        record.meter = QStringLiteral("Lumora");
        record.serial = QStringLiteral("L%1").arg(i);
        Archive::Summary summary;
        QVERIFY(archive->keep(record, &summary));
        QVERIFY(Delivery::deliverPending(*archive, p, QStringLiteral("anna")).result);
    }
    QTest::qWait(300);
    reader.terminate();
    reader.waitForFinished();
    const QStringList events =
        QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    int arrived = 0;
    for (const QString &event : events) {
        const QString name = event.section(QLatin1Char(' '), 1);
        if (name.startsWith(QLatin1Char('.')))
            continue;
        QVERIFY2(event.startsWith(QLatin1String("MOVED_TO")), qPrintable(event));
        ++arrived;
    }
    QCOMPARE(arrived, 20);
}

// Links of a simulated meter appearing and going in a watched folder: one import per appearance,
// none while it stays, none of a meter unplugged half-way (it comes again at the next appearance).
void TestDelivery::watcherImportsOncePerAppearance()
{
    const auto archive = archiveWith(kSqlite, {});
    SimBench bench(1);
    const MeterIdentity identity = meterIdentity(QStringLiteral("Lumora"), QString(), QStringLiteral("W1"));
    const QString byId = m_home.filePath(QStringLiteral("by-id%1").arg(++m_files));
    const QString link = byId + QStringLiteral("/usb-meter");
    QProcess watcher;
    watcher.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                  {QStringLiteral("watch"), QStringLiteral("--device-folder"), byId});
    QVERIFY(watcher.waitForStarted());
    const auto stop = qScopeGuard([&] {
        watcher.terminate();
        watcher.waitForFinished();
    });
    QString out;
    auto waitFor = [&](int imports) {
        for (int i = 0; i < 600 && out.count(QLatin1String("\timported\t")) < imports; ++i) {
            spin(50);
            out += QString::fromUtf8(watcher.readAllStandardOutput());
        }
        return out.count(QLatin1String("\timported\t")) == imports;
    };
    spin(300);
    QDir().mkpath(byId); // the folder comes with the first adapter
    qint64 count = -1;
    {
        // Unplugged when the datasets are asked for: nothing archived.
        MeterSim &meter = bench.addMeter(1, identity);
        SimDatasets datasets(meter);
        datasets.generate(40);
        meter.faults().hangupCommands = {QStringLiteral("U.581")};
        QVERIFY(QFile::link(bench.devicePath(1), link));
        QVERIFY2(waitFor(1), qPrintable(out + QString::fromUtf8(watcher.readAllStandardError())));
        QVERIFY2(out.contains(QLatin1String("\timported\t") + link + QLatin1String("\t3")), qPrintable(out));
        QVERIFY(archive->count(ArchiveFilter(), &count));
        QCOMPARE(count, qint64(0));
        QFile::remove(link);
    }
    MeterSim &again = bench.addMeter(1, identity);
    SimDatasets datasets(again);
    datasets.generate(40);
    for (int appearance = 2; appearance <= 3; ++appearance) {
        spin(200);
        QVERIFY(QFile::link(bench.devicePath(1), link));
        QVERIFY2(waitFor(appearance), qPrintable(out));
        spin(1000); // stays connected: no second import
        QCOMPARE(out.count(QLatin1String("\timported\t")), qsizetype(appearance));
        QFile::remove(link);
    }
    QVERIFY(archive->count(ArchiveFilter(), &count));
    QCOMPARE(count, qint64(40));
}

QString TestDelivery::writeProfile(const QString &name, const QString &ini)
{
    const QString profiles = m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/Meravo/profiles"));
    QDir().mkpath(profiles);
    const QString path = profiles + QLatin1Char('/') + name + QStringLiteral(".ini");
    writeBytes(path, ini.toUtf8());
    return path;
}

void TestDelivery::checkExactlyOnce(Archive &archive, const QString &folder, int datasets)
{
    // What the folder holds now and what the LIMS took from it before.
    QHash<QString, QByteArray> files;
    for (const QString &where : {folder, folder + QStringLiteral("-taken")})
        for (const QString &name : visibleFiles(where)) {
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name + QStringLiteral(" is left")));
            QVERIFY2(!files.contains(name), qPrintable(name + QStringLiteral(" came twice")));
            files.insert(name, readBytes(QDir(where).filePath(name)));
        }
    QHash<QString, QString> fileOf; // dataset (serial/No) -> file
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        QVERIFY2(file.value().endsWith("\r\n"), qPrintable(file.key()));
        const QList<QByteArray> lines = file.value().chopped(2).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines.at(i).trimmed().split(';');
            const QString key = QString::fromUtf8(fields.value(0) + '/' + fields.value(1));
            QVERIFY2(!fileOf.contains(key), qPrintable(key + QStringLiteral(" twice: ") + fileOf.value(key) +
                                                       QStringLiteral(", ") + file.key()));
            fileOf.insert(key, file.key());
        }
    }
    QCOMPARE(fileOf.size(), qsizetype(datasets));
    // The records: one per dataset, naming a file with its bytes and its trail entry.
    QHash<QString, QList<qint64>> idsOf;
    QHash<QString, QPair<QString, qint64>> recordOf; // file name -> SHA-256, trail seq
    QVERIFY(archive.transaction([&](ArchiveDatabase &db) -> Archive::Result {
        QSqlQuery q(db.database());
        q.exec(QStringLiteral("SELECT dataset_id, path, file_sha256, trail_seq FROM delivery_deliveries"
                              " WHERE again = 0 ORDER BY dataset_id"));
        while (q.next()) {
            const QString name = QFileInfo(q.value(1).toString()).fileName();
            idsOf[name].append(q.value(0).toLongLong());
            recordOf.insert(name, {q.value(2).toString(), q.value(3).toLongLong()});
        }
        return {};
    }));
    QCOMPARE(QSet<QString>(recordOf.keyBegin(), recordOf.keyEnd()),
             QSet<QString>(files.keyBegin(), files.keyEnd()));
    TrailFilter filter;
    filter.action = QStringLiteral("deliver");
    QList<TrailEntry> entries;
    QVERIFY(archive.trail(filter, &entries));
    QCOMPARE(entries.size(), files.size());
    for (const TrailEntry &entry : entries) {
        const QString name = QFileInfo(entry.object).fileName();
        QVERIFY2(files.contains(name), qPrintable(name));
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(files.value(name), QCryptographicHash::Sha256).toHex());
        QCOMPARE(recordOf.value(name), qMakePair(sha, entry.seq));
        QCOMPARE(entry.fileSha256, sha);
        QCOMPARE(idsOf.value(name).size(), qsizetype(files.value(name).count('\n') - 1));
        const QJsonObject details = QJsonDocument::fromJson(entry.details.toUtf8()).object();
        QCOMPARE(details.value(QStringLiteral("dataset_ids_sha256")).toString(),
                 Delivery::datasetIdsSha256(idsOf.value(name)));
        QCOMPARE(details.value(QStringLiteral("datasets")).toInteger(), qint64(idsOf.value(name).size()));
    }
}

void TestDelivery::deliveredOnceThroughCrash_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("fault"); // kill (-9 at the step), commit (the commit at the step fails), list
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("taken"); // the LIMS takes the files it sees before the next run
    for (const QString &engine : {kSqlite, kServer}) {
        QTest::addRow("%s, the steps", qPrintable(engine)) << engine << "list" << QString() << false;
        for (const char *step : kDeliverSteps)
            for (const bool taken : {false, true}) {
                const char *lims = taken ? "taken" : "left";
                QTest::addRow("%s, kill, %s, %s", qPrintable(engine), step, lims)
                    << engine << "kill" << QString::fromLatin1(step) << taken;
                if (QByteArray(step).endsWith("-commit"))
                    QTest::addRow("%s, failed commit, %s, %s", qPrintable(engine), step, lims)
                        << engine << "commit" << QString::fromLatin1(step) << taken;
            }
    }
}

// Three meters' files, the work ended at each step of the second file in turn (kill -9, a commit
// that fails), then deliver once more: every dataset in the folder exactly once, no partial or
// temporary file under a final name, and the records agreeing with the files.
void TestDelivery::deliveredOnceThroughCrash()
{
    QFETCH(QString, engine);
    QFETCH(QString, fault);
    QFETCH(QString, step);
    QFETCH(bool, taken);
    constexpr int kEach = 40;
    auto archive =
        archiveWith(engine, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}, kEach);
    NEED(archive);
    const QString folder = m_home.filePath(QStringLiteral("crash%1").arg(++m_files));
    QDir().mkpath(folder);
    QDir().mkpath(folder + QStringLiteral("-taken"));
    const QString ini =
        writeProfile(QStringLiteral("lims"),
                     QStringLiteral("[Profile]\nColumns=SerialNumber,No,Value1\nFolder=") + folder);
    const auto removeProfile = qScopeGuard([&] { QFile::remove(ini); });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString crashLog = m_home.filePath(QStringLiteral("crash%1.log").arg(++m_files));
    environment.insert(QStringLiteral("MERAVO_CRASH_LOG"), crashLog);
    const QString crashtest = QStringLiteral(MERAVO_BIN_DIR "/meravo-cli-crashtest");
    if (fault == QLatin1String("list")) {
        QCOMPARE(runCli(crashtest, {QStringLiteral("deliver")}, environment).exitCode, 0);
        QStringList steps;
        for (const QByteArray &line : readBytes(crashLog).split('\n'))
            if (line.startsWith("deliver-") && !steps.contains(QString::fromLatin1(line)))
                steps.append(QString::fromLatin1(line));
        QStringList listed;
        for (const char *listedStep : kDeliverSteps)
            listed.append(QString::fromLatin1(listedStep));
        // Every step the work reaches has its rows above, in this order.
        QCOMPARE(steps, listed);
        checkExactlyOnce(*archive, folder, 3 * kEach);
        return;
    }
    if (fault == QLatin1String("kill")) {
        environment.insert(QStringLiteral("MERAVO_CRASH_AT"), step + QStringLiteral("#2"));
        QCOMPARE(runCli(crashtest, {QStringLiteral("deliver")}, environment).exitCode, -1);
    } else {
        ExportProfile p;
        QString error;
        QVERIFY2(ExportProfile::read(ini, &p, &error), qPrintable(error));
        // The first file goes through; the second one's commit fails.
        g_failAt = step.toLatin1();
        int reached = 0;
        static int *s_reached = nullptr;
        s_reached = &reached;
        CrashPoints::setHook([](const char *at) {
            if (g_failAt == at && ++*s_reached == 2)
                failCommitAt(at);
        });
        const DeliveryOutcome outcome = Delivery::deliverPending(*archive, p, QStringLiteral("anna"));
        CrashPoints::setHook(nullptr);
        QVERIFY(!outcome.result);
        QCOMPARE(outcome.files.size(), qsizetype(1));
    }
    // Between the runs a reader sees whole files only, each under its final name.
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        const QByteArray bytes = readBytes(QDir(folder).filePath(name));
        QCOMPARE(bytes.count('\n'), qsizetype(kEach + 1));
        if (taken)
            QVERIFY(QFile::rename(QDir(folder).filePath(name), folder + QStringLiteral("-taken/") + name));
    }
    archive.reset();
    environment.remove(QStringLiteral("MERAVO_CRASH_LOG"));
    const ProcessRun again =
        runCli(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), {QStringLiteral("deliver")}, environment);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    ArchiveSettings settings;
    settings.enabled = true;
    settings.location = m_location;
    Archive reopened(m_device, settings);
    checkExactlyOnce(reopened, folder, 3 * kEach);
}

void TestDelivery::worklistFieldsRead_data()
{
    QTest::addColumn<QByteArray>("line"); // after the header Id;SampleId
    QTest::addColumn<QString>("sample");  // null: refused
    QTest::addColumn<QString>("why");
    QTest::newRow("quotes inside") << QByteArray("7;ab\"c\"d") << "ab\"c\"d" << QString();
    QTest::newRow("quoted separator") << QByteArray("7;\"a;b\"") << "a;b" << QString();
    QTest::newRow("doubled quote") << QByteArray("7;\"say \"\"hi\"\"\"") << "say \"hi\"" << QString();
    QTest::newRow("NUL") << QByteArray("7;A\0B", 5) << QString() << "7";
    QTest::newRow("escape") << QByteArray("7;A\x1b[2JB") << QString() << "7";
    QTest::newRow("FIFO") << QByteArray("FIFO") << QString() << TextTable::text(TextTable::WorklistNotAFile);
}

// Each field as the lab wrote it, or the line refused with its reason; a pipe refused at once.
void TestDelivery::worklistFieldsRead()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, sample);
    QFETCH(QString, why);
    const QString path = m_home.filePath(QStringLiteral("fields%1.csv").arg(++m_files));
    if (line == "FIFO")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        writeBytes(path, "Id;SampleId\n" + line + "\n");
    Worklist list;
    QString error;
    QCOMPARE(list.read(path, &error), !sample.isNull());
    if (sample.isNull())
        QVERIFY2(error.contains(why), qPrintable(error));
    else
        QCOMPARE(list.entries().value(QStringLiteral("7")).sampleId, sample);
}

// Two meters with the same IDs: both datasets of a listed ID get its sample ID, and the report says so.
void TestDelivery::worklistIdMeasuredTwiceIsTold()
{
    const auto archive = archiveWith(kSqlite, {QStringLiteral("S1"), QStringLiteral("S2")}, 2);
    const QString path = m_home.filePath(QStringLiteral("twice%1.csv").arg(++m_files));
    writeBytes(path, "Id;SampleId\n1;LIMS-1\n");
    Worklist list;
    QString error;
    QVERIFY2(list.read(path, &error), qPrintable(error));
    Worklist::Report report;
    QVERIFY(list.apply(*archive, {1, 2, 3, 4}, QStringLiteral("anna"), &report));
    QCOMPARE(report.measuredTwice.size(), qsizetype(1));
    QVERIFY2(report.text().contains(QStringLiteral("LIMS-1 (1, 3)")), qPrintable(report.text()));
}

void TestDelivery::deliverExitsAndCounts_data()
{
    QTest::addColumn<QString>("ini");         // FOLDER: the drop folder
    QTest::addColumn<QStringList>("options"); // of deliver
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QList<int>>("counts"); // of the delivered lines
    const QString columns = QStringLiteral("[Profile]\nColumns=No\n");
    QTest::newRow("two meters") << columns + "Folder=FOLDER" << QStringList() << 0 << QList<int>{5, 5};
    QTest::newRow("date typo") << columns + "DateFormat=YYYY-MM-DD\nFolder=FOLDER" << QStringList() << 2
                               << QList<int>();
    QTest::newRow("date typo, --profile") << columns + "DateFormat=dd.mm.yyyy\nFolder=FOLDER"
                                          << QStringList{"--profile", "lims"} << 2 << QList<int>();
    QTest::newRow("relative folder") << columns + "Folder=inbox" << QStringList() << 2 << QList<int>();
    QTest::newRow("foreign link") << columns + "Folder=LINK" << QStringList() << 2 << QList<int>();
    QTest::newRow("held") << "[Profile]\nColumns=SampleId,No\nEncoding=Windows-1252\nFolder=FOLDER"
                          << QStringList() << 5 << QList<int>{5, 4};
}

// What a timer sees: the exit code, and each file's own count.
void TestDelivery::deliverExitsAndCounts()
{
    QFETCH(QString, ini);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QList<int>, counts);
    const auto archive = archiveWith(kSqlite, {QStringLiteral("S1"), QStringLiteral("S2")}, 5);
    const QString folder = m_home.filePath(QStringLiteral("exits%1").arg(++m_files));
    QDir().mkpath(folder);
    if (ini.contains(QLatin1String("LINK"))) {
        // A link another account placed in a shared sticky folder, as in /tmp.
        if (!haveRoot())
            QSKIP("needs root to place a link as another account");
        const QString shared = m_home.filePath(QStringLiteral("sticky%1").arg(++m_files));
        QDir().mkpath(shared);
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const QString link = shared + QStringLiteral("/inbox");
        QVERIFY(QFile::link(folder, link));
        QCOMPARE(::lchown(QFile::encodeName(link).constData(), 65534, 65534), 0);
        ini.replace(QLatin1String("LINK"), link);
    }
    if (ini.contains(QLatin1String("Windows-1252"))) {
        // A sample ID the code page lacks, for the first dataset of S2.
        const QString list = m_home.filePath(QStringLiteral("omega%1.csv").arg(++m_files));
        writeBytes(list, "Id;SampleId\n1;W-\xCE\xA9\n");
        Worklist worklist;
        QString error;
        QVERIFY2(worklist.read(list, &error), qPrintable(error));
        Worklist::Report report;
        QVERIFY(worklist.apply(*archive, {6}, QStringLiteral("anna"), &report));
    }
    const QString path =
        writeProfile(QStringLiteral("lims"), QString(ini).replace(QLatin1String("FOLDER"), folder));
    const auto removeProfile = qScopeGuard([&] { QFile::remove(path); });
    const ProcessRun run =
        runCli(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), QStringList{QStringLiteral("deliver")} + options,
               QProcessEnvironment::systemEnvironment());
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QList<int> printed;
    for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        printed.append(line.section(QLatin1Char('\t'), 2, 2).toInt());
    QCOMPARE(printed, counts);
    QCOMPARE(visibleFiles(folder).size(), counts.size());
    // A held dataset is named, never written altered, and stays pending: the next run holds it again.
    if (exitCode == 5) {
        QVERIFY2(run.err.contains(QStringLiteral("W-\u03A9")), qPrintable(run.err));
        QVERIFY(!readBytes(QDir(folder).filePath(visibleFiles(folder).constLast())).contains('?'));
    }
    const ProcessRun again =
        runCli(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), QStringList{QStringLiteral("deliver")} + options,
               QProcessEnvironment::systemEnvironment());
    QCOMPARE(again.exitCode, exitCode);
    QCOMPARE(again.out, QString());
}

// An import that finds nothing new still delivers what a profile made since waits for.
void TestDelivery::importWithNothingNewDeliversPending()
{
    const auto archive = archiveWith(kSqlite, {});
    const QString file = m_home.filePath(QStringLiteral("values%1.csv").arg(++m_files));
    writeBytes(file, measuredValueFile(m_device, QStringLiteral("P1"), 4));
    const QString cli = QStringLiteral(MERAVO_BIN_DIR "/meravo-cli");
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QCOMPARE(runCli(cli, {QStringLiteral("archive"), QStringLiteral("add"), file}, environment).exitCode, 0);
    const QString folder = m_home.filePath(QStringLiteral("later%1").arg(++m_files));
    QDir().mkpath(folder);
    const QString path =
        writeProfile(QStringLiteral("later"), QStringLiteral("[Profile]\nColumns=No\nFolder=") + folder);
    const auto removeProfile = qScopeGuard([&] { QFile::remove(path); });
    const ProcessRun again =
        runCli(cli, {QStringLiteral("archive"), QStringLiteral("add"), file}, environment);
    QVERIFY2(again.err.contains(QLatin1String("0 new")), qPrintable(again.err));
    QCOMPARE(visibleFiles(folder).size(), qsizetype(1));
}

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
