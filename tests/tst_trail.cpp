// The activity trail: one entry per action, and every kind of tampering found by verify.
#include "Archive.h"
#include "CDevice.h"
#include "SharedObjects.h"
#include "TestSupport.h"

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
    void everyActionLeavesOneEntry();
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
    // The CLI finds the same archive through the user's settings.
    ArchiveSettings::storeForUser(settings);
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
            {m_path, QStringLiteral("DROP TABLE trail; DROP TABLE annotations;"
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
             QStringLiteral("2"));
}

QTEST_GUILESS_MAIN(TestTrail)
#include "tst_trail.moc"
