// The activity trail: one entry per action, and every kind of tampering found by verify.
#include "Archive.h"
#include "CCalProtocol.h"
#include "CDevice.h"
#include "CLogin.h"
#include "CUsrDefProg.h"
#include "SharedObjects.h"
#include "SimCalRecords.h"
#include "SimPrograms.h"
#include "SystemAccount.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

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
    void anchorFindsARewrittenChain();
    void withdrawnDatasetStaysWithdrawn();
    void fileCheckAndClockBack();
    void olderArchiveIsBroughtForward();

private:
    // Two imports, a file written, a note and a withdrawal: entries 1 to 5.
    void fill();
    QString addFile(const QByteArray &bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedObjects> m_shared;
    std::unique_ptr<Archive> m_archive;
    QString m_path;
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

void TestTrail::fill()
{
    for (const QByteArray &bytes :
         {measuredValues(QStringLiteral("A1"), 1, 5), measuredValues(QStringLiteral("B2"), 1, 3)}) {
        ImportRecord record;
        QVERIFY(ImportRecord::fromFile(addFile(bytes), bytes, QDateTime::currentDateTime(), &record));
        record.login = QStringLiteral("Jürgen");
        Archive::Summary summary;
        QVERIFY2(m_archive->keep(record, &summary), qPrintable(m_archive->keep(record, &summary).message));
    }
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
    const Run back = run(cli(), {QStringLiteral("trail"), QStringLiteral("verify")},
                         {QStringLiteral("faketime"), QStringLiteral("2020-01-01 00:00:00")});
    QCOMPARE(back.exitCode, 0);
    const Run shown =
        run(cli(), {QStringLiteral("trail"), QStringLiteral("show"), QStringLiteral("--action"),
                    QStringLiteral("trail-verify"), QStringLiteral("--format"), QStringLiteral("json")});
    QVERIFY(shown.out.contains(QStringLiteral("\"ClockBack\": \"1\"")));
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
