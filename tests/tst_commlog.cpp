// The communication log: what an exchange leaves in it, escaping, the cap and the five runs kept.
#include "CImportMVal.h"
#include "CommLog.h"
#include "CSerialLink.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestCommLog : public QObject {
    Q_OBJECT
private slots:
    void identifyLeavesCommandsAndAnswers();
    void longImportLeavesSizeAndEndsOnly();
    void controlBytesAreEscaped_data();
    void controlBytesAreEscaped();
    void capKeepsRunStartAndLatestLines_data();
    void capKeepsRunStartAndLatestLines();
    void onlyFiveRunsAreKept_data();
    void onlyFiveRunsAreKept();
    void realExchangesAreKeptFirst_data();
    void realExchangesAreKeptFirst();
    void runningRunIsNeverRemoved();
    void runWithoutLinesLeavesNoFile();
    void hugeLinesKeepTheCap();
    void filesArePrivate();
};

void TestCommLog::identifyLeavesCommandsAndAnswers()
{
    QTemporaryDir folder;
    CommLog log;
    QVERIFY(log.open(folder.path()));
    SimRig rig(meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.05"), QStringLiteral("S\x01X")));
    rig.link.setLog(&log);
    QVERIFY(rig.connect());
    rig.link.COMDeinit();
    const QString text = log.runText();
    for (const char *expected : {"open COM 1", "at 4800 baud", "TX COM 1", "U.400\\r\\n", "U.597\\r\\n",
                                 "\\r\\n2.05\\r\\n!\\r\\n>", "U.596\\r\\n", "S\\x01X", "exchange ended"})
        QVERIFY2(text.contains(QLatin1String(expected)),
                 qPrintable(QString::fromLatin1(expected) + "\n" + text));
    // Lines are written through without waiting for the end of the run.
    QCOMPARE(readBytes(log.runFiles().first()), text.toUtf8());
}

void TestCommLog::longImportLeavesSizeAndEndsOnly()
{
    QTemporaryDir folder;
    CommLog log;
    QVERIFY(log.open(folder.path()));
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.05")));
    SimDatasets datasets(sim);
    datasets.generate(500);
    CSerialLink link;
    link.setLog(&log);
    SharedObjects shared(&link);
    QString raw;
    QVERIFY(shared.importMVal->GetMVals(raw));
    const QString text = log.runText();
    const QStringList lines = raw.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QVERIFY2(text.contains(QStringLiteral("%1 bytes").arg(datasets.answer().size())), qPrintable(text));
    // The answer ends in the end marker after the last dataset.
    QVERIFY(text.contains(QStringLiteral("first: ") + lines.first()));
    QVERIFY(text.contains(QStringLiteral("last: ") + lines[lines.size() - 3]));
    QVERIFY(lines[lines.size() - 3].startsWith(QStringLiteral("500;")));
    QVERIFY(!text.contains(lines[lines.size() / 2]));
    QVERIFY2(text.size() < 4000, qPrintable(QString::number(text.size())));
}

void TestCommLog::controlBytesAreEscaped_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("printable") << QByteArray("U.400 ok") << QStringLiteral("U.400 ok");
    QTest::newRow("line ends") << QByteArray("\r\n!\r\n>") << QStringLiteral("\\r\\n!\\r\\n>");
    QTest::newRow("tab and backslash") << QByteArray("a\t\\b") << QStringLiteral("a\\t\\\\b");
    QTest::newRow("nul and escape") << QByteArray("\x00\x1b", 2) << QStringLiteral("\\x00\\x1B");
    QTest::newRow("high bytes") << QByteArray("\xb0\xff\x7f") << QStringLiteral("\\xB0\\xFF\\x7F");
}

void TestCommLog::controlBytesAreEscaped()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(CommLog::escape(bytes), text);
}

void TestCommLog::capKeepsRunStartAndLatestLines_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("files");
    // 25 bytes a line against a cap of 800: the first half holds 16 lines, a quarter 8.
    QTest::newRow("below the cap") << 5 << 1;
    QTest::newRow("beyond the first half") << 20 << 2;
    QTest::newRow("rotated many times") << 500 << 3;
}

void TestCommLog::capKeepsRunStartAndLatestLines()
{
    QFETCH(int, lines);
    QFETCH(int, files);
    QTemporaryDir folder;
    CommLog log;
    const qint64 cap = 800;
    QVERIFY(log.open(folder.path(), cap));
    for (int i = 0; i < lines; ++i)
        log.write(QStringLiteral("line %1").arg(i, 6, 10, QLatin1Char('0')));
    log.flush();
    const QStringList parts = log.runFiles();
    QCOMPARE(parts.size(), files);
    qint64 size = 0;
    for (const QString &part : parts)
        size += QFileInfo(part).size();
    QVERIFY2(size <= cap, qPrintable(QString::number(size)));
    const QString text = log.runText();
    QVERIFY(text.contains(QStringLiteral("line 000000")));
    QVERIFY(text.contains(QStringLiteral("line %1").arg(lines - 1, 6, 10, QLatin1Char('0'))));
    // Nothing of another run is mixed in, and every part is this run's.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), files);
}

void TestCommLog::onlyFiveRunsAreKept_data()
{
    QTest::addColumn<int>("runs");
    QTest::newRow("one") << 1;
    QTest::newRow("five") << 5;
    QTest::newRow("eight, with rotated parts") << 8;
}

void TestCommLog::onlyFiveRunsAreKept()
{
    QFETCH(int, runs);
    QTemporaryDir folder;
    QStringList stems;
    for (int r = 0; r < runs; ++r) {
        CommLog log;
        QVERIFY(log.open(folder.path(), 400));
        for (int i = 0; i < 30; ++i)
            log.write(QStringLiteral("run %1 line %2").arg(r).arg(i));
        log.flush();
        stems.append(QFileInfo(log.runFiles().first()).completeBaseName());
    }
    QSet<QString> kept;
    for (const QString &name : QDir(folder.path()).entryList(QDir::Files))
        kept.insert(name.section(QLatin1Char('.'), 0, 0));
    const QStringList newest = stems.mid(std::max(0, runs - CommLog::kRunsKept));
    QCOMPARE(kept, QSet<QString>(newest.begin(), newest.end()));
}

void TestCommLog::realExchangesAreKeptFirst_data()
{
    // R: the meter answered; F: the port never opened. Kept: the runs' indexes.
    QTest::addColumn<QString>("runs");
    QTest::addColumn<QList<int>>("kept");
    QTest::newRow("seven failed after two real") << QStringLiteral("RRFFFFFFF") << QList<int>{0, 1, 6, 7, 8};
    QTest::newRow("seven failed after five real")
        << QStringLiteral("RRRRRFFFFFFF") << QList<int>{1, 2, 3, 4, 11};
    QTest::newRow("a real one among failed") << QStringLiteral("FFRFFFFFFRF") << QList<int>{2, 7, 8, 9, 10};
}

// Runs that never reached a meter go before any run that did, whatever their age, so the latest
// real exchange is there to read after any number of failed attempts.
void TestCommLog::realExchangesAreKeptFirst()
{
    QFETCH(QString, runs);
    QFETCH(QList<int>, kept);
    QTemporaryDir folder;
    SimBench bench(2); // port 2 has no device
    bench.addMeter(1);
    QStringList stems;
    for (const QChar kind : runs) {
        CommLog log;
        QVERIFY(log.open(folder.path()));
        CSerialLink link;
        link.setLog(&log);
        const bool real = kind == QLatin1Char('R');
        QCOMPARE(link.COMInit(real ? 1 : 2, QStringLiteral("4800"), 4), real);
        QString answer;
        QCOMPARE(link.COMSendAndReceive(QStringLiteral("U.597\r\n"), answer), real);
        link.COMDeinit();
        stems.append(QFileInfo(log.runFiles().first()).completeBaseName());
    }
    QSet<QString> left;
    for (const QString &name : QDir(folder.path()).entryList(QDir::Files))
        left.insert(name.section(QLatin1Char('.'), 0, 0));
    QSet<QString> expected;
    for (int index : kept)
        expected.insert(stems[index]);
    QCOMPARE(left, expected);
}

// Five short runs of other programs while one still goes on: its files stay, and its text reads back.
void TestCommLog::runningRunIsNeverRemoved()
{
    QTemporaryDir folder;
    CommLog running;
    QVERIFY(running.open(folder.path()));
    running.write(QStringLiteral("the import that still goes on"));
    running.flush();
    const QStringList files = running.runFiles();
    QCOMPARE(files.size(), 1);
    for (int r = 0; r < 2 * CommLog::kRunsKept; ++r) {
        CommLog shortRun;
        QVERIFY(shortRun.open(folder.path()));
        shortRun.write(QStringLiteral("short run %1").arg(r));
    }
    QVERIFY(QFileInfo::exists(files.first()));
    QVERIFY(running.runText().contains(QStringLiteral("the import that still goes on")));
    // The running run counts among the five kept.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), CommLog::kRunsKept);
}

// export, print, calline: a log opened but never written makes no file and pushes no run out.
void TestCommLog::runWithoutLinesLeavesNoFile()
{
    QTemporaryDir folder;
    {
        CommLog real;
        QVERIFY(real.open(folder.path()));
        real.write(QStringLiteral("a real exchange"));
    }
    for (int r = 0; r < 2 * CommLog::kRunsKept; ++r) {
        CommLog empty;
        QVERIFY(empty.open(folder.path()));
        QVERIFY(empty.runFiles().isEmpty());
    }
    const QStringList names = QDir(folder.path()).entryList(QDir::Files);
    QCOMPARE(names.size(), 1);
    QVERIFY(readBytes(QDir(folder.path()).filePath(names.first())).contains("a real exchange"));
}

// A 16 MiB field, written as a line and escaped as an answer: the run stays within its cap, the line
// is cut with its size noted, and neither takes long.
void TestCommLog::hugeLinesKeepTheCap()
{
    QTemporaryDir folder;
    CommLog log;
    QVERIFY(log.open(folder.path()));
    const qsizetype size = 16 * 1024 * 1024;
    QElapsedTimer clock;
    clock.start();
    const QByteArray field(size, '\x01');
    const QString escaped = CommLog::escape(field);
    QVERIFY2(escaped.size() < 20000, qPrintable(QString::number(escaped.size())));
    QVERIFY(escaped.endsWith(CommLog::cutNote(size)));
    log.write(QStringLiteral("RX COM 1: first: ") + escaped);
    log.write(QString(size, u'x'));
    log.write(QStringLiteral("after the long lines"));
    log.flush();
    qInfo("two 16 MiB fields logged in %lld ms", clock.elapsed());
    QVERIFY(clock.elapsed() < 2000);
    qint64 bytes = 0;
    for (const QString &part : log.runFiles())
        bytes += QFileInfo(part).size();
    QVERIFY2(bytes <= CommLog::kDefaultCap, qPrintable(QString::number(bytes)));
    const QString text = log.runText();
    QVERIFY(text.contains(QStringLiteral("[... cut, %1 characters in all]").arg(size)));
    QVERIFY(text.contains(QStringLiteral("after the long lines")));
}

void TestCommLog::filesArePrivate()
{
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("log"));
    CommLog log;
    QVERIFY(log.open(folder));
    for (int i = 0; i < 20; ++i)
        log.write(QStringLiteral("S/N S-0815, dataset %1").arg(i));
    log.flush();
    const auto mode = [](const QString &path) {
        struct stat info {};
        ::stat(QFile::encodeName(path).constData(), &info);
        return int(info.st_mode & 0777);
    };
    QCOMPARE(mode(folder), 0700);
    QVERIFY(!log.runFiles().isEmpty());
    for (const QString &file : log.runFiles())
        QCOMPARE(mode(file), 0600);
}

QTEST_GUILESS_MAIN(TestCommLog)
#include "tst_commlog.moc"
