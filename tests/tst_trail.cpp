// The activity trail: one entry per action, and every kind of tampering found by verify, on both
// engines.
#include "Archive.h"
#include "CCalProtocol.h"
#include "CDevice.h"
#include "CLogin.h"
#include "CUsrDefProg.h"
#include "Delivery.h"
#include "PgServer.h"
#include "SharedObjects.h"
#include "SimCalRecords.h"
#include "SimPrograms.h"
#include "SystemAccount.h"
#include "TestSupport.h"
#include "Worklist.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSqlQuery>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QStringList &prefix = {})
{
    QProcess process;
    // faketime loads its library first, ahead of a sanitizer's runtime in a sanitizer build.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!prefix.isEmpty())
        environment.insert(QStringLiteral("ASAN_OPTIONS"), environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                                               QStringLiteral(":verify_asan_link_order=0"));
    process.setProcessEnvironment(environment);
    process.start(prefix.isEmpty() ? program : prefix.first(),
                  prefix.isEmpty() ? arguments : prefix.mid(1) + QStringList{program} + arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString cli()
{
    return QDir(qEnvironmentVariable("MERAVO_PROGRAM_DIR")).filePath(QStringLiteral("meravo-cli"));
}

// A measured-value file of a 14-field meter with n datasets from dataset first on.
QByteArray measuredValues(const QString &serial, int first, int n,
                          const QString &value = QStringLiteral("1.5"))
{
    QByteArray text = "METER;S/N;USER;DATE;TIME\r\nLumora;" + serial.toLatin1() +
                      ";u;3/24/2026;10:00:00\r\n\r\n"
                      "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2\r\n";
    for (int k = first; k < first + n; ++k)
        text += QByteArray::number(k) + ";24.03.26;10:" + QByteArray::number(10 + k % 50) + ":00;" +
                QByteArray::number(k) + ";902;;;;" + value.toLatin1() + ";mg/l;OK;;;\r\n";
    return text;
}

} // namespace

class TestTrail : public QObject {
    Q_OBJECT

private slots:
    void init();
    void sealIsTheCompactJsonForm_data();
    void sealIsTheCompactJsonForm();
    void everyActionLeavesOneEntry();
    void meterAndRunActionsLeaveOneEntryEach();
    void verifyNamesTheTamperedEntry_data();
    void verifyNamesTheTamperedEntry();
    void verifyAccountsForEveryRow_data();
    void verifyAccountsForEveryRow();
    void anchorFindsARewrittenChain();
    void withdrawnDatasetStaysWithdrawn();
    void fileCheckAndClockBack();
    void olderArchiveIsBroughtForward();

private:
    // Two imports, a file written, a note and a withdrawal: entries 1 to 5.
    void fill();
    QString addFile(const QByteArray &bytes);
    void keep(const QByteArray &bytes);
    // fill(), then a conflicting dataset, control limits, two deliveries and sample IDs: entries 1-11.
    void fillEvidence();
    // A new archive of the engine in m_archive; false when the engine is missing.
    bool useEngine(const QString &engine);
    // Runs statements on the archive behind the program's back: as the file's owner (the triggers
    // dropped), the server's superuser, or the program's own login (what it may: INSERT).
    void tamper(const QString &engine, const QString &sql, bool asLogin);
    // Import entries as they were written before they recorded their datasets, the chain sealed anew.
    void asBeforeDatasetKeys(const QString &engine);
    QString location(const QString &engine, bool asLogin) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedObjects> m_shared;
    std::unique_ptr<Archive> m_archive;
    QString m_path;
    QString m_database; // on the test server
};

void TestTrail::init()
{
    m_archive.reset();
    m_shared.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("archive.sqlite"));
    m_shared = std::make_unique<SharedObjects>();
    ArchiveSettings settings;
    settings.location = m_path;
    m_archive = std::make_unique<Archive>(*m_shared->device, settings);
    // The CLI finds the same archive through the user's settings; a new archive for each case is no
    // change of settings to be entered in it.
    ArchiveSettings::storeForUser(settings);
    QSettings(QStringLiteral("Meravo"), QStringLiteral("Meravo")).remove(QStringLiteral("Trail"));
}

QString TestTrail::addFile(const QByteArray &bytes)
{
    static int n = 0;
    const QString path = m_dir->filePath(QStringLiteral("m%1.csv").arg(++n));
    writeBytes(path, bytes);
    return path;
}

void TestTrail::keep(const QByteArray &bytes)
{
    ImportRecord record;
    QVERIFY(ImportRecord::fromFile(addFile(bytes), bytes, QDateTime::currentDateTime(), &record));
    record.login = QStringLiteral("Jürgen");
    Archive::Summary summary;
    const Archive::Result kept = m_archive->keep(record, &summary);
    QVERIFY2(kept, qPrintable(kept.message));
}

void TestTrail::fill()
{
    keep(measuredValues(QStringLiteral("A1"), 1, 5));
    keep(measuredValues(QStringLiteral("B2"), 1, 3));
    TrailAction saved{QStringLiteral("save"), QStringLiteral("/tmp/x.csv"), {}, QString(),
                      QStringLiteral("ab"),   QStringLiteral("Jürgen")};
    QVERIFY(m_archive->record(saved));
    QVERIFY(m_archive->annotate(1, QStringLiteral("diluted 1:10 by hand, value x10"), QStringLiteral("Ana")));
    QVERIFY(m_archive->withdraw(2, QStringLiteral("cuvette scratched"), QStringLiteral("Ana")));
}

void TestTrail::sealIsTheCompactJsonForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QStringLiteral("C:/lab/run 1.csv");
    QTest::newRow("quotes and backslashes") << QStringLiteral("a\"b\\c\\\"");
    QTest::newRow("control characters") << QString::fromUtf16(u"\x01\b\f\n\r\t\x1f\x7f end");
    QTest::newRow("non-ASCII") << QStringLiteral("Jürgen Ølstrøm, µS/cm, 水質");
    QTest::newRow("outside the BMP") << QString::fromUtf16(u"\U0001F9EA tube");
    QTest::newRow("lone surrogates") << QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") +
                                            QChar(0xDC00) + QChar(0xD83E);
}

// The seal is written by the trail's own JSON writer; it must give, byte for byte, the form Qt's
// writer gives, in which every seal of an existing archive was made.
void TestTrail::sealIsTheCompactJsonForm()
{
    QFETCH(QString, text);
    TrailEntry e;
    e.seq = 42;
    e.atUtc = QDateTime(QDate(2026, 3, 24), QTime(10, 0, 0, 5), Qt::UTC);
    e.osUser = e.login = e.object = e.details = e.reason = text;
    const QJsonArray fields = {QStringLiteral("42"),
                               QStringLiteral("2026-03-24T10:00:00.005Z"),
                               QStringLiteral("0"),
                               QStringLiteral("0"),
                               QStringLiteral("-1"),
                               text,
                               QString(),
                               text,
                               QString(),
                               QString(),
                               QString(),
                               text,
                               text,
                               text,
                               QString(),
                               QString()};
    const QByteArray form = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    QCOMPARE(e.computeHash(),
             QString::fromLatin1(QCryptographicHash::hash(form, QCryptographicHash::Sha256).toHex()));
}

void TestTrail::everyActionLeavesOneEntry()
{
    fill();
    QList<TrailEntry> entries;
    QVERIFY(m_archive->trail(TrailFilter(), &entries));
    QStringList actions;
    for (const TrailEntry &e : entries) {
        actions.append(e.action);
        QCOMPARE(e.hash, e.computeHash());
        QVERIFY(!e.osUser.isEmpty() && !e.host.isEmpty());
    }
    QCOMPARE(actions, (QStringList{"import", "import", "save", "annotate", "withdraw"}));
    QCOMPARE(entries[1].prevHash, entries[0].hash);
    QCOMPARE(entries[0].login, QStringLiteral("Jürgen"));
    QCOMPARE(entries[4].reason, QStringLiteral("cuvette scratched"));
    // An action and its entry are one: a correction of a dataset that is not there leaves neither.
    QVERIFY(!m_archive->annotate(999, QStringLiteral("x"), QStringLiteral("Ana")));
    QVERIFY(!m_archive->withdraw(1, QStringLiteral("  "), QStringLiteral("Ana")));
    QVERIFY(m_archive->trail(TrailFilter(), &entries));
    QCOMPARE(entries.size(), 5);
    TrailVerdict verdict;
    QVERIFY(m_archive->verify(&verdict));
    QVERIFY2(verdict.intact, qPrintable(verdict.problem));
    QCOMPARE(verdict.imports, 2);
}

void TestTrail::meterAndRunActionsLeaveOneEntryEach()
{
    SimRig rig(meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.50"), QStringLiteral("123456")));
    SimPrograms programs(*rig.sim);
    SimCalRecords records(*rig.sim);
    records.ph = SimCalRecords::phRecord(2);
    const QString example = QStringLiteral("ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0");
    QVERIFY(programs.put(QStringLiteral("903,") + example));
    QVERIFY(rig.connect());
    SharedObjects &shared = rig.shared;
    shared.recordActivity();
    shared.login->setUserName(QStringLiteral("Jürgen"));
    QVERIFY(shared.usrDefProg->Update());
    const auto withModel = [&](const QString &number, const QString &model) {
        ProgramRecord p = ProgramRecord::fromMeter((number + u',' + example).split(u','));
        p.MODEL = model;
        return p;
    };
    const auto archiveSwitched = [&](bool on) {
        ArchiveSettings settings;
        settings.location = m_path;
        settings.enabled = on;
        ArchiveSettings::storeForUser(settings);
        shared.archive->reload();
        shared.recordActivity();
    };
    struct Step {
        std::function<bool()> act;
        const char *action;
        const char *object;
        const char *detail; // a path into the details that must hold the value
        QString value;
    };
    const Step steps[] = {
        {[&] { return shared.usrDefProg->AddNew(withModel(QStringLiteral("905"), QStringLiteral("NEW"))); },
         "program-store", "program:905", "after/MODEL", QStringLiteral("NEW")},
        {[&] { return shared.usrDefProg->Modify(withModel(QStringLiteral("903"), QStringLiteral("CHG"))); },
         "program-modify", "program:903", "before/MODEL", QStringLiteral("ABCDE")},
        {[&] { return shared.usrDefProg->Delete(QStringLiteral("905")); }, "program-erase", "program:905",
         "before/MODEL", QStringLiteral("NEW")},
        {[&] { return shared.usrDefProg->DeleteAll(); }, "program-erase-all", "programs", "serial",
         QStringLiteral("123456")},
        {[&] { return shared.calProtocol->UpdateFromMeter(true, false); }, "calrecord-read",
         "calrecord:123456", "kind", QStringLiteral("pH")},
        {[&] { return shared.recordLogin(QString()), true; }, "login", "user:Jürgen", "fixedToAccount",
         QStringLiteral("false")},
        {[&] {
             shared.login->setUserName(QStringLiteral("Ana"));
             return shared.recordLogin(QStringLiteral("Jürgen")), true;
         },
         "change-user", "user:Ana", "previous", QStringLiteral("Jürgen")},
        // Turned off, nothing can be entered; turned on again, the entry says it was off.
        {[&] { return archiveSwitched(false), archiveSwitched(true), true; }, "settings", "settings",
         "before/ArchiveEnabled", QStringLiteral("false")},
    };
    qint64 last = 0;
    for (const Step &step : steps) {
        QVERIFY2(step.act(), step.action);
        QList<TrailEntry> entries;
        QVERIFY(m_archive->trail(TrailFilter(), &entries));
        QCOMPARE(entries.size(), last + 1);
        const TrailEntry &e = entries.last();
        last = e.seq;
        QCOMPARE(e.action, QString::fromLatin1(step.action));
        QCOMPARE(e.object, QString::fromUtf8(step.object));
        QJsonValue value = QJsonDocument::fromJson(e.details.toUtf8()).object();
        for (const QString &key : QString::fromLatin1(step.detail).split(u'/'))
            value = value.toObject().value(key);
        QCOMPARE(value.toVariant().toString(), step.value);
    }
    // One person per account: the login is the account's, whatever is typed.
    shared.login->fixTo(SystemAccount::current().userName);
    shared.login->setUserName(QStringLiteral("Eve"));
    QCOMPARE(shared.login->UserName(), SystemAccount::current().userName.left(CLogin::kUserNameMaxLen));
    TrailVerdict verdict;
    QVERIFY(m_archive->verify(&verdict));
    QVERIFY2(verdict.intact, qPrintable(verdict.problem));
}

void TestTrail::verifyNamesTheTamperedEntry_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qint64>("seq");
    // What someone with the sqlite3 tool and the file could do; each is named by its entry.
    QTest::newRow("value changed")
        << "DROP TRIGGER trail_no_update; UPDATE trail SET login = 'Eve' WHERE seq = 3;" << qint64(3);
    QTest::newRow("entry deleted") << "DROP TRIGGER trail_no_delete; DELETE FROM trail WHERE seq = 3;"
                                   << qint64(3);
    QTest::newRow("entry inserted") << "INSERT INTO trail SELECT 6, at_utc, utc_offset, clock_back, os_uid, "
                                       "os_user, os_full_name, 'Eve', host,"
                                       " program_version, action, object, details, reason, file_sha256, "
                                       "(SELECT hash FROM trail WHERE seq = 5),"
                                       " hash FROM trail WHERE seq = 3;"
                                    << qint64(6);
    QTest::newRow("two swapped")
        << "DROP TRIGGER trail_no_update; CREATE TEMP TABLE t AS SELECT * FROM trail WHERE seq IN (3, 4);"
           " UPDATE trail SET action = (SELECT action FROM t WHERE t.seq = 7 - trail.seq),"
           " object = (SELECT object FROM t WHERE t.seq = 7 - trail.seq),"
           " details = (SELECT details FROM t WHERE t.seq = 7 - trail.seq),"
           " hash = (SELECT hash FROM t WHERE t.seq = 7 - trail.seq) WHERE seq IN (3, 4);"
        << qint64(3);
    QTest::newRow("dataset edited")
        << "DROP TRIGGER datasets_no_update; UPDATE datasets SET value1 = '0.15' WHERE id = 4;" << qint64(1);
    QTest::newRow("raw bytes replaced")
        << "DROP TRIGGER imports_no_update; UPDATE imports SET raw = (SELECT raw FROM imports WHERE id = 1),"
           " raw_sha256 = (SELECT raw_sha256 FROM imports WHERE id = 1) WHERE id = 2;"
        << qint64(2);
}

void TestTrail::verifyNamesTheTamperedEntry()
{
    QFETCH(QString, sql);
    QFETCH(qint64, seq);
    fill();
    m_archive.reset();
    const Run tamper = run(QStringLiteral("sqlite3"), {m_path, sql});
    QVERIFY2(tamper.exitCode == 0, qPrintable(tamper.err));
    const Run verify = run(cli(), {QStringLiteral("trail"), QStringLiteral("verify")});
    QCOMPARE(verify.exitCode, 1);
    QVERIFY2(verify.out.contains(QStringLiteral("entry %1:").arg(seq)), qPrintable(verify.out));
}

bool TestTrail::useEngine(const QString &engine)
{
    if (engine == QLatin1String("sqlite"))
        return true;
    PgServer &server = PgServer::shared();
    if (!server.skipReason().isEmpty())
        return false;
    m_database = server.createArchive();
    ArchiveSettings settings;
    settings.location = server.location(m_database);
    m_archive = std::make_unique<Archive>(*m_shared->device, settings);
    return !m_database.isEmpty();
}

QString TestTrail::location(const QString &engine, bool asLogin) const
{
    if (engine == QLatin1String("sqlite"))
        return m_path;
    return PgServer::shared().location(m_database,
                                       QLatin1String(asLogin ? PgServer::kLogin : PgServer::kSuperuser));
}

void TestTrail::fillEvidence()
{
    fill();
    // Dataset 3 of the first meter once more with another value: a conflict.
    keep(measuredValues(QStringLiteral("A1"), 3, 1, QStringLiteral("9.9")));
    QVERIFY(m_archive->keepQc(Archive::QcDefinitions, QStringLiteral("std"),
                              QJsonObject{{QStringLiteral("target"), 1.5}}, "Ana"));
    QVERIFY(m_archive->keepQc(Archive::QcRevisions, QStringLiteral("std"),
                              QJsonObject{{QStringLiteral("ucl"), 1.8}}, "Ana"));
    const QString folder = m_dir->filePath(QStringLiteral("lims"));
    QVERIFY(QDir().mkpath(folder));
    const QString profilePath = addFile("[Profile]\nColumns=No,Value1\n");
    ExportProfile profile;
    QString error;
    QVERIFY2(ExportProfile::read(profilePath, &profile, &error), qPrintable(error));
    const DeliveryOutcome delivered = Delivery::deliverPending(*m_archive, profile, "Ana", folder);
    QVERIFY2(delivered.result, qPrintable(delivered.result.message));
    Worklist list;
    QVERIFY2(list.read(addFile("Id;SampleId\n1;LAB-1\n2;LAB-2\n"), &error), qPrintable(error));
    Worklist::Report report;
    QVERIFY(list.apply(*m_archive, {6, 7, 8}, "Ana", &report));
    QList<TrailEntry> entries;
    QVERIFY(m_archive->trail(TrailFilter(), &entries));
    QStringList actions;
    for (const TrailEntry &e : entries)
        actions.append(e.action);
    QCOMPARE(actions, (QStringList{"import", "import", "save", "annotate", "withdraw", "import", "qc-define",
                                   "qc-limits", "deliver", "deliver", "sample-ids"}));
}

void TestTrail::tamper(const QString &engine, const QString &sql, bool asLogin)
{
    m_archive.reset();
    if (engine != QLatin1String("sqlite")) {
        QString output;
        const QString statements =
            (asLogin ? QString() : QStringLiteral("SET session_replication_role = replica; ")) + sql;
        QVERIFY2(PgServer::shared().sql(m_database, statements, &output,
                                        QLatin1String(asLogin ? PgServer::kLogin : PgServer::kSuperuser)),
                 qPrintable(output));
        return;
    }
    {
        // The file's owner with the sqlite3 library: no foreign keys unless asked, triggers dropped.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(m_path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QStringList triggers;
        QVERIFY(q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger'")));
        while (q.next())
            triggers.append(q.value(0).toString());
        QStringList statements = sql.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (!asLogin)
            for (const QString &trigger : triggers)
                statements.prepend(QStringLiteral("DROP TRIGGER ") + trigger);
        for (const QString &statement : statements)
            QVERIFY2(q.exec(statement), qPrintable(statement + q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
}

void TestTrail::asBeforeDatasetKeys(const QString &engine)
{
    m_archive.reset();
    if (engine == QLatin1String("sqlite"))
        tamper(engine, QStringLiteral("SELECT 1"), false);
    ArchiveDatabase db(location(engine, false));
    QVERIFY(db.open());
    QList<TrailEntry> entries;
    QVERIFY(Trail::entries(db, TrailFilter(), &entries));
    QSqlQuery q(db.database());
    QString previous = QStringLiteral("");
    for (TrailEntry e : entries) {
        if (e.action == QLatin1String("import")) {
            QJsonObject details = QJsonDocument::fromJson(e.details.toUtf8()).object();
            details.remove(QStringLiteral("datasets"));
            details.remove(QStringLiteral("datasets_sha256"));
            e.details = QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact));
        }
        e.prevHash = previous;
        e.hash = previous = e.computeHash();
        q.prepare(QStringLiteral("UPDATE trail SET details = ?, prev_hash = ?, hash = ? WHERE seq = ?"));
        for (const QVariant &v :
             {QVariant(e.details), QVariant(e.prevHash), QVariant(e.hash), QVariant(e.seq)})
            q.addBindValue(v);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
}

struct Tampering {
    const char *name;
    const char *sql;
    bool asLogin;     // what the program's own login may do on the server: add rows
    qint64 seq;       // the entry verify names; -1: intact
    bool old = false; // on import entries written before they recorded their datasets
};

void TestTrail::verifyAccountsForEveryRow_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("asLogin");
    QTest::addColumn<qint64>("seq");
    QTest::addColumn<bool>("old");
    // fillEvidence's rows: imports 1-3 (entries 1, 2, 6), datasets 1-5 of A1, 6-8 of B2, 9 conflicting
    // with 3; annotations 1 (note, entry 4) and 2 (withdrawal, entry 5); qc rows (entries 7, 8);
    // deliveries of A1 (entry 9) and B2 (entry 10); sample IDs of datasets 6 and 7 (entry 11).
    const QString importColumns = QStringLiteral(
        "imported_utc, utc_offset, source, meter, serial, firmware, variant, port, baud, file_name,"
        " document_date, login, os_uid, os_user, os_full_name, host, program_version, raw_sha256, raw_size, "
        "raw,"
        " new_count, repeat_count, conflict_count");
    const QString datasetColumns = QStringLiteral(
        "meter, serial, layout, date, time, day, sample_id, program, cit, code, dilution, value1, unit1,"
        " status1, value2, unit2, status2, cal_date, cal_time, line, content_sha256, conflict");
    const QString insertImport =
        QStringLiteral("INSERT INTO imports (uid, %1) SELECT 'forged', %1 FROM imports WHERE id = 1")
            .arg(importColumns);
    const QString insertDataset =
        QStringLiteral(
            "INSERT INTO datasets (import_id, no, %1) SELECT import_id, '99', %1 FROM datasets WHERE id = 7")
            .arg(datasetColumns);
    const QByteArray importInsert = insertImport.toUtf8();
    const QByteArray datasetInsert = insertDataset.toUtf8();
    const Tampering rows[] = {
        {"untouched", "SELECT 1", false, -1},
        {"import changed", "UPDATE imports SET serial = 'Z9' WHERE id = 2", false, 2},
        {"import's bytes replaced",
         "UPDATE imports SET raw = (SELECT raw FROM imports WHERE id = 1),"
         " raw_sha256 = (SELECT raw_sha256 FROM imports WHERE id = 1) WHERE id = 3",
         false, 6},
        {"import deleted with its datasets",
         "DELETE FROM datasets WHERE import_id = 2; DELETE FROM imports WHERE id = 2", false, 2},
        {"import inserted", importInsert.constData(), true, 0},
        {"import re-pointed to another uid", "UPDATE imports SET uid = 'moved' WHERE id = 2", false, 0},
        {"dataset changed", "UPDATE datasets SET value1 = '0.15' WHERE id = 7", false, 2},
        {"dataset deleted", "DELETE FROM datasets WHERE id = 4", false, 1},
        {"dataset inserted", datasetInsert.constData(), true, 2},
        {"dataset re-pointed to no import", "UPDATE datasets SET import_id = 99 WHERE id = 7", false, 0},
        {"dataset re-pointed to another import", "UPDATE datasets SET import_id = 1 WHERE id = 7", false, 1},
        {"conflict mark cleared", "UPDATE datasets SET conflict = 0 WHERE id = 9", false, 6},
        {"conflict mark set", "UPDATE datasets SET conflict = 1 WHERE id = 4", false, 1},
        {"withdrawal changed", "UPDATE annotations SET text = 'x' WHERE id = 2", false, 5},
        {"withdrawal deleted", "DELETE FROM annotations WHERE id = 2", false, 5},
        {"withdrawal inserted",
         "INSERT INTO annotations (dataset_id, kind, text, trail_seq) VALUES (3, 'withdraw', 'x', 5)", true,
         5},
        {"withdrawal inserted naming no entry",
         "INSERT INTO annotations (dataset_id, kind, text, trail_seq) VALUES (3, 'withdraw', 'x', 99)", true,
         99},
        {"withdrawal re-pointed", "UPDATE annotations SET dataset_id = 3 WHERE id = 2", false, 5},
        {"note deleted", "DELETE FROM annotations WHERE id = 1", false, 4},
        {"control limits changed", "UPDATE qc_revisions SET content = '{\"ucl\":9}' WHERE id = 1", false, 8},
        {"control sample deleted", "DELETE FROM qc_definitions WHERE id = 1", false, 7},
        {"control limits inserted",
         "INSERT INTO qc_revisions (name, content, trail_seq) SELECT name, content, trail_seq FROM "
         "qc_revisions",
         true, 8},
        {"control limits re-pointed", "UPDATE qc_revisions SET trail_seq = 7 WHERE id = 1", false, 7},
        {"deliveries emptied", "DELETE FROM delivery_deliveries", false, 9},
        {"delivery changed", "UPDATE delivery_deliveries SET path = '/elsewhere.csv' WHERE id = 1", false, 9},
        {"delivery inserted",
         "INSERT INTO delivery_deliveries (dataset_id, profile, path, file_sha256, delivered_utc, again,"
         " trail_seq) SELECT dataset_id, profile, path, file_sha256, delivered_utc, again, trail_seq"
         " FROM delivery_deliveries WHERE id = 1",
         true, 9},
        {"delivery re-pointed", "UPDATE delivery_deliveries SET dataset_id = 7 WHERE id = 1", false, 9},
        {"sample ID changed", "UPDATE delivery_sample_ids SET sample_id = 'LAB-9' WHERE id = 1", false, 11},
        {"sample ID deleted", "DELETE FROM delivery_sample_ids WHERE id = 1", false, 11},
        {"sample ID inserted",
         "INSERT INTO delivery_sample_ids (dataset_id, sample_id, worklist, trail_seq)"
         " SELECT dataset_id, sample_id, worklist, trail_seq FROM delivery_sample_ids WHERE id = 1",
         true, 11},
        {"sample ID re-pointed", "UPDATE delivery_sample_ids SET dataset_id = 8 WHERE id = 1", false, 11},
        {"entry changed", "UPDATE trail SET login = 'Eve' WHERE seq = 3", false, 3},
        {"entry deleted", "DELETE FROM trail WHERE seq = 3", false, 3},
        {"entry inserted",
         "INSERT INTO trail SELECT 12, at_utc, utc_offset, clock_back, os_uid, os_user, os_full_name, login,"
         " host, program_version, action, object, details, reason, file_sha256,"
         " (SELECT hash FROM trail WHERE seq = 11), hash FROM trail WHERE seq = 3",
         true, 12},
        {"entry re-pointed",
         "UPDATE trail SET prev_hash = (SELECT hash FROM trail WHERE seq = 1) WHERE seq = 3", false, 3},
        {"older entries, untouched", "SELECT 1", false, -1, true},
        {"older entries, dataset deleted", "DELETE FROM datasets WHERE id = 4", false, 1, true},
        {"older entries, conflict mark cleared", "UPDATE datasets SET conflict = 0 WHERE id = 9", false, 6,
         true},
    };
    for (const char *engine : {"sqlite", "postgresql"})
        for (const Tampering &t : rows)
            QTest::addRow("%s, %s", engine, t.name)
                << QString::fromLatin1(engine) << QString::fromUtf8(t.sql) << t.asLogin << t.seq << t.old;
}

// Every row that carries evidence is accounted for by the chain: each kind changed, deleted,
// inserted and re-pointed behind the program's back is named with its entry, on both engines.
void TestTrail::verifyAccountsForEveryRow()
{
    QFETCH(QString, engine);
    QFETCH(QString, sql);
    QFETCH(bool, asLogin);
    QFETCH(qint64, seq);
    QFETCH(bool, old);
    if (!useEngine(engine))
        QSKIP(qPrintable(PgServer::shared().skipReason()));
    fillEvidence();
    if (old)
        asBeforeDatasetKeys(engine);
    tamper(engine, sql, asLogin);
    ArchiveSettings settings;
    settings.location = location(engine, true);
    m_archive = std::make_unique<Archive>(*m_shared->device, settings);
    TrailVerdict verdict;
    const Archive::Result result = m_archive->verify(&verdict);
    QVERIFY2(result, qPrintable(result.message));
    QCOMPARE(verdict.intact, seq < 0);
    if (seq >= 0) {
        QCOMPARE(verdict.brokenSeq, seq);
        QVERIFY(!verdict.problem.isEmpty());
    } else {
        QCOMPARE(verdict.imports, qint64(3));
    }
}

void TestTrail::anchorFindsARewrittenChain()
{
    fill();
    const Run head = run(cli(), {QStringLiteral("trail"), QStringLiteral("head")});
    QCOMPARE(head.exitCode, 0);
    const QString anchor = head.out.trimmed();
    QVERIFY(anchor.startsWith(QLatin1String("5:")));
    QCOMPARE(
        run(cli(), {QStringLiteral("trail"), QStringLiteral("verify"), QStringLiteral("--anchor"), anchor})
            .exitCode,
        0);
    // A whole chain written anew, sound in itself, in place of the old one.
    m_archive.reset();
    QVERIFY(QFile::remove(m_path));
    init();
    fill();
    QCOMPARE(run(cli(), {QStringLiteral("trail"), QStringLiteral("verify")}).exitCode, 0);
    const Run verify =
        run(cli(), {QStringLiteral("trail"), QStringLiteral("verify"), QStringLiteral("--anchor"), anchor});
    QCOMPARE(verify.exitCode, 1);
    QVERIFY(verify.out.contains(QStringLiteral("entry 5:")));
}

void TestTrail::withdrawnDatasetStaysWithdrawn()
{
    fill();
    QList<ArchivedRow> rows;
    QVERIFY(m_archive->query(ArchiveFilter(), 0, 0, &rows));
    QCOMPARE(rows.size(), 7);
    QCOMPARE(rows.first().notes, QStringList{QStringLiteral("diluted 1:10 by hand, value x10")});
    // The same meter read again: dataset 2 is already archived, and stays withdrawn.
    const QByteArray again = measuredValues(QStringLiteral("A1"), 1, 6);
    ImportRecord record;
    QVERIFY(ImportRecord::fromFile(addFile(again), again, QDateTime::currentDateTime(), &record));
    Archive::Summary summary;
    QVERIFY(m_archive->keep(record, &summary));
    QCOMPARE(summary.text(), QStringLiteral("1 new, 5 already archived, 0 conflicting"));
    QVERIFY(m_archive->query(ArchiveFilter(), 0, 0, &rows));
    QCOMPARE(rows.size(), 8);
    ArchiveFilter all;
    all.includeWithdrawn = true;
    QVERIFY(m_archive->query(all, 0, 0, &rows));
    QCOMPARE(rows.size(), 9);
    QVERIFY(rows[1].withdrawn);
}

void TestTrail::fileCheckAndClockBack()
{
    fill();
    const QString file = addFile("written by the program");
    const QString copy = addFile("written by the program, then edited");
    // The hash as the program takes it from what it wrote.
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(readBytes(file), QCryptographicHash::Sha256).toHex());
    QVERIFY(m_archive->record({QStringLiteral("export"), file, {}, QString(), sha, QString()}));
    m_archive.reset();
    const Run known = run(cli(), {QStringLiteral("trail"), QStringLiteral("check"), file});
    QCOMPARE(known.exitCode, 0);
    QVERIFY(known.out.contains(QStringLiteral("export")));
    QCOMPARE(run(cli(), {QStringLiteral("trail"), QStringLiteral("check"), copy}).exitCode, 1);
    // A PC clock set back: the entry is kept, and marked.
    if (QStandardPaths::findExecutable(QStringLiteral("faketime")).isEmpty())
        MERAVO_READER_MISSING("faketime is not installed (scripts/setup.sh installs it)");
    // Every entry until the clock passes the latest time recorded is marked, not only the first.
    for (const char *at : {"2020-01-01 00:00:00", "2021-01-01 00:00:00", "2019-06-01 00:00:00"}) {
        const Run back = run(cli(), {QStringLiteral("trail"), QStringLiteral("verify")},
                             {QStringLiteral("faketime"), QString::fromLatin1(at)});
        QCOMPARE(back.exitCode, 0);
    }
    QCOMPARE(run(cli(), {QStringLiteral("trail"), QStringLiteral("verify")}).exitCode, 0);
    const Run shown =
        run(cli(), {QStringLiteral("trail"), QStringLiteral("show"), QStringLiteral("--action"),
                    QStringLiteral("trail-verify"), QStringLiteral("--format"), QStringLiteral("json")});
    QVERIFY(shown.out.contains(QStringLiteral("\"ClockBack\": \"1\"")));
    ArchiveSettings settings;
    settings.location = m_path;
    m_archive = std::make_unique<Archive>(*m_shared->device, settings);
    TrailFilter verifies;
    verifies.action = QStringLiteral("trail-verify");
    QList<TrailEntry> entries;
    QVERIFY(m_archive->trail(verifies, &entries));
    QList<bool> marked;
    for (const TrailEntry &e : entries)
        marked.append(e.clockBack);
    QCOMPARE(marked, (QList<bool>{true, true, true, false}));
}

void TestTrail::olderArchiveIsBroughtForward()
{
    fill();
    m_archive.reset();
    // The archive as the first version left it: no trail, no corrections.
    const Run older =
        run(QStringLiteral("sqlite3"),
            {m_path, QStringLiteral("DROP TABLE trail; DROP TABLE annotations; DROP TABLE qc_definitions;"
                                    " DROP TABLE qc_revisions;"
                                    " DROP TABLE delivery_deliveries; DROP TABLE delivery_sample_ids;"
                                    " UPDATE meta SET value = '1' WHERE key = 'schema_version';")});
    QVERIFY2(older.exitCode == 0, qPrintable(older.err));
    ArchiveSettings settings;
    settings.location = m_path;
    m_archive = std::make_unique<Archive>(*m_shared->device, settings);
    Archive::Summary summary;
    const QByteArray bytes = measuredValues(QStringLiteral("A1"), 1, 6);
    ImportRecord record;
    QVERIFY(ImportRecord::fromFile(addFile(bytes), bytes, QDateTime::currentDateTime(), &record));
    QVERIFY(m_archive->keep(record, &summary));
    QCOMPARE(summary.text(), QStringLiteral("1 new, 5 already archived, 0 conflicting"));
    QCOMPARE(run(QStringLiteral("sqlite3"), {m_path, QStringLiteral("SELECT value FROM meta")}).out.trimmed(),
             QString::number(ArchiveDatabase::kSchemaVersion));
}

QTEST_GUILESS_MAIN(TestTrail)
#include "tst_trail.moc"
