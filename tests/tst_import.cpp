// Dataset readout from simulated meters on real ptys: the command sequence, answer times, an empty
// meter, transfer time at the line rate, cancel and hang-up in the middle of a long answer.
#include "CCommunication.h"
#include "CImportMVal.h"
#include "CSerialLink.h"
#include "RecordWalk.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"

#include "CExportExcel.h"
#include "CMeasVal.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

MeterIdentity meter(const char *model, int baud = 4800)
{
    MeterIdentity id;
    id.model = QString::fromLatin1(model);
    id.baud = baud;
    return id;
}

qsizetype records(const QString &raw, int fields)
{
    RecordWalk walk(raw, fields);
    while (walk.next()) {
    }
    return walk.recordNumber();
}

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs meravo-cli while the event loop serves the simulated meters.
CliRun runCli(const QStringList &arguments)
{
    QProcess process;
    process.setProgram(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"));
    process.setArguments(arguments);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    process.start();
    if (process.waitForStarted(10000))
        loop.exec();
    CliRun run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void stalledImportSaysItTimedOutAndAfterHowLong();
    void importReadsEveryDataset();
    void importFromMeasuredValueFile();
    void emptyMeter();
    void failedOpeningCommandSendsNothingMore();
    void rejectedDatasetCommandFailsTheImport();
    void pacedTransferTakesTheLineTime();
    void cancelDuringTransferSendsStop();
    void hangUpInTheMiddleFailsOnce();
    void failuresReachTheCallerAsValues();
    void cliPrintsAndSavesDatasets();
    void cliExportStatuses();

private:
    QTemporaryDir m_home;
};

void TestImport::initTestCase()
{
    // The CLI keeps every import in the user's archive and writes its log: a private profile.
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (m_home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
}

void TestImport::importReadsEveryDataset()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Klaro 7 IR"));
    SimDatasets datasets(sim);
    datasets.generate(250);
    CSerialLink link;
    SharedObjects shared(&link);
    int answerTimeAtDatasets = 0;
    connect(&sim, &MeterSim::commandReceived, this, [&](const QString &line) {
        if (line == QLatin1String("U.581"))
            answerTimeAtDatasets = link.answerTime();
    });
    QString raw = QStringLiteral("old");
    QVERIFY(shared.importMVal->GetMVals(raw));
    QCOMPARE(sim.commandLog(), QStringList({QStringLiteral("U.400"), QStringLiteral("U.581")}));
    QCOMPARE(answerTimeAtDatasets, 600);
    QVERIFY(!link.running());
    QCOMPARE(raw.toLatin1(), datasets.answer());
    QCOMPARE(records(raw, 10), 250);
    RecordWalk walk(raw, 10);
    QVERIFY(walk.next());
    QCOMPARE(walk.fields().size(), 10);
    QCOMPARE(walk.field(0), u"1");
}

void TestImport::importFromMeasuredValueFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("METER;S/N;USER;DATE;TIME\r\nLumora;1;u;1/2/2026;3:4:5\r\n\r\n"
               "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2\r\n"
               "1;d;t;5;900;;;;1.5;mg/l;OK;;;\r\n2;d;t;5;900;;;;\xb5g;mg/l;OK;;;");
    file.close();
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora"));
    SimDatasets datasets(sim);
    QVERIFY(datasets.loadFile(path));
    QCOMPARE(datasets.count(), 2);
    CSerialLink link;
    SharedObjects shared(&link);
    QString raw;
    QVERIFY(shared.importMVal->GetMVals(raw));
    QCOMPARE(raw, QStringLiteral(
                      "\r\n1;d;t;5;900;;;;1.5;mg/l;OK;;;\r\n2;d;t;5;900;;;;\u00b5g;mg/l;OK;;;\r\n!\r\n>"));
}

void TestImport::emptyMeter()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Klaro 4 T"));
    SimDatasets datasets(sim);
    CSerialLink link;
    SharedObjects shared(&link);
    QString raw;
    QVERIFY(shared.importMVal->GetMVals(raw));
    QCOMPARE(raw, QStringLiteral("\r\n!\r\n>"));
    QCOMPARE(records(raw, 7), 0);
    QCOMPARE(datasets.stopCommands(), 0);
}

void TestImport::failedOpeningCommandSendsNothingMore()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora"));
    SimDatasets datasets(sim);
    datasets.generate(3);
    sim.faults().hangupCommands = {QStringLiteral("U.400")};
    CSerialLink link;
    SharedObjects shared(&link);
    ErrorRecorder errors;
    QString raw = QStringLiteral("old");
    QVERIFY(!shared.importMVal->GetMVals(raw));
    QVERIFY(raw.isEmpty());
    QCOMPARE(sim.commandLog(), QStringList{QStringLiteral("U.400")});
    QVERIFY(!link.running());
    // Without a port the import fails before any command.
    SimBench none(1);
    QVERIFY(!shared.importMVal->GetMVals(raw));
}

void TestImport::rejectedDatasetCommandFailsTheImport()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora"));
    SimDatasets datasets(sim);
    datasets.generate(3);
    sim.faults().rejectCommands = {QStringLiteral("U.581")};
    CSerialLink link;
    SharedObjects shared(&link);
    QString raw;
    // The link repeats a rejected command once and hands back the second answer: no datasets, no success.
    QVERIFY(!shared.importMVal->GetMVals(raw));
    QCOMPARE(raw, QString());
    QCOMPARE(datasets.stopCommands(), 1);
}

void TestImport::pacedTransferTakesTheLineTime()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora", 19200));
    sim.faults().pace = true;
    SimDatasets datasets(sim);
    datasets.generate(80);
    CSerialLink link;
    SharedObjects shared(&link);
    QVERIFY(shared.communication->Scan());
    QCOMPARE(shared.communication->Baudrate(), QStringLiteral("19200"));
    QElapsedTimer clock;
    qint64 started = -1;
    qint64 lastProgress = -1;
    qint64 lastBytes = 0;
    qint64 lastLines = 0;
    connect(&sim, &MeterSim::commandReceived, this, [&](const QString &line) {
        if (line == QLatin1String("U.581")) {
            clock.start();
            started = 0;
        }
    });
    connect(&link, &CSerialLink::transferProgress, this, [&](qint64 bytes, qint64 lines) {
        if (started >= 0) {
            lastProgress = clock.elapsed();
            lastBytes = bytes;
            lastLines = lines;
        }
    });
    QString raw;
    QVERIFY(shared.importMVal->GetMVals(raw));
    const qint64 bytes = datasets.answer().size();
    QCOMPARE(lastBytes, bytes);
    QCOMPARE(lastLines, qint64(80 + 2));
    const double expectedMs = double(bytes) * 10.0 / 19200.0 * 1000.0;
    qInfo("%lld bytes: transfer %lld ms, line time %.0f ms", bytes, lastProgress, expectedMs);
    QVERIFY2(std::abs(double(lastProgress) - expectedMs) <= 0.05 * expectedMs,
             qPrintable(QStringLiteral("transfer %1 ms, line time %2 ms").arg(lastProgress).arg(expectedMs)));
}

void TestImport::cancelDuringTransferSendsStop()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora"));
    sim.faults().pace = true;
    SimDatasets datasets(sim);
    datasets.generate(2000);
    CSerialLink link;
    SharedObjects shared(&link);
    int answerTimeAtStop = 0;
    connect(&sim, &MeterSim::commandReceived, this, [&](const QString &line) {
        if (line == QLatin1String("U.999"))
            answerTimeAtStop = link.answerTime();
    });
    // The wait dialog's Cancel, once part of the answer is in.
    connect(&link, &CSerialLink::transferProgress, this, [&](qint64 bytes, qint64) {
        if (bytes > 1000 && link.running())
            link.COMStop();
    });
    QElapsedTimer clock;
    clock.start();
    QString raw = QStringLiteral("old");
    QVERIFY(!shared.importMVal->GetMVals(raw));
    QVERIFY(raw.isEmpty());
    QVERIFY2(clock.elapsed() < 5000, "the cancel ends the transfer");
    QCOMPARE(datasets.stopCommands(), 1);
    QCOMPARE(answerTimeAtStop, 4);
    // The stop command comes last, whatever the link repeated before it.
    QCOMPARE(sim.commandLog().mid(0, 2), QStringList({QStringLiteral("U.400"), QStringLiteral("U.581")}));
    QCOMPARE(sim.commandLog().last(), QStringLiteral("U.999"));
    QVERIFY(!link.running());
}

void TestImport::hangUpInTheMiddleFailsOnce()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora"));
    SimDatasets datasets(sim);
    datasets.generate(100);
    datasets.hangupAfter = 700;
    CSerialLink link;
    SharedObjects shared(&link);
    QString raw;
    QVERIFY(!shared.importMVal->GetMVals(raw));
    QVERIFY(raw.isEmpty());
    QCOMPARE(shared.importMVal->linkResult().failure, LinkFailure::LineLost);
    QCOMPARE(shared.importMVal->linkResult().messages().size(), 1);
    QVERIFY(!link.running());
}

// Each way the line can fail an import reaches the caller as a value with the words to tell, and nothing
// goes to the error handler on the way (a report no recorder expects fails the test).
void TestImport::failuresReachTheCallerAsValues()
{
    const QString port = QStringLiteral("COM 1 (%1)");
    const struct {
        const char *name;
        std::function<void(SimBench &, CSerialLink &, QSerialPort &)> fault;
        LinkFailure failure;
        QString told; // %1: the port
    } cases[] = {
        {"vanished", [](SimBench &bench, CSerialLink &, QSerialPort &) { bench.meter(1)->close(); },
         LinkFailure::Vanished, TextTable::text(TextTable::PortVanished)},
        {"in use",
         [](SimBench &bench, CSerialLink &, QSerialPort &holder) {
             holder.setPortName(bench.devicePath(1));
             QVERIFY(holder.open(QIODevice::ReadWrite));
         },
         LinkFailure::InUse, TextTable::text(TextTable::PortInUse)},
        {"stopped",
         [](SimBench &bench, CSerialLink &link, QSerialPort &) {
             QObject::connect(bench.meter(1), &MeterSim::commandReceived, &link,
                              [&link](const QString &line) {
                                  if (line == QLatin1String("U.581"))
                                      link.COMStop();
                              });
         },
         LinkFailure::Stopped, QString()},
        {"too long", [](SimBench &, CSerialLink &link, QSerialPort &) { link.setAnswerCap(4096); },
         LinkFailure::TooLong, TextTable::text(TextTable::AnswerTooLong).arg(4096)},
        {"rejected",
         [](SimBench &bench, CSerialLink &, QSerialPort &) {
             bench.meter(1)->faults().rejectCommands = {QStringLiteral("U.581")};
         },
         LinkFailure::Rejected, QString()},
    };
    for (const auto &c : cases) {
        SimBench bench(1);
        SimDatasets datasets(bench.addMeter(1, meter("Lumora")));
        datasets.generate(500);
        CSerialLink link;
        SharedObjects shared(&link);
        QSerialPort holder;
        c.fault(bench, link, holder);
        QString raw;
        QVERIFY2(!shared.importMVal->GetMVals(raw), c.name);
        QVERIFY2(raw.isEmpty(), c.name);
        const LinkResult &result = shared.importMVal->linkResult();
        QVERIFY2(result.failure == c.failure, c.name);
        QStringList told;
        if (!c.told.isEmpty())
            told.append(c.told.contains(QLatin1String("%1")) ? c.told.arg(port.arg(bench.devicePath(1)))
                                                             : c.told);
        QCOMPARE(result.messages(), told);
    }
}

void TestImport::cliPrintsAndSavesDatasets()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.csv"));
    QFile file(in);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("METER;S/N;USER;DATE;TIME\r\nKlaro 4 T;1;u;1/2/2026;3:4:5\r\n\r\n"
               "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME\r\n"
               "1;d;t;5;0.5;NTU;OK;F;cd;ct\r\n2;d;t;5;;NTU");
    file.close();
    SimBench bench(1);
    MeterIdentity id = meter("Klaro 4 T");
    id.firmware = QStringLiteral("2.00");
    id.serial = QStringLiteral("K4-9");
    MeterSim &sim = bench.addMeter(1, id);
    SimDatasets datasets(sim);
    QVERIFY(datasets.loadFile(in));

    // The model's seven fields a line; stderr is no terminal, so no progress line: only the archive's
    // summary.
    CliRun run = runCli({QStringLiteral("datasets")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("1;d;t;5;0.5;NTU;OK\n2;d;t;5;;NTU;\n"));
    QCOMPARE(run.err, QStringLiteral("Archive: 2 new, 0 already archived, 0 conflicting.\n"));

    const QString out = dir.filePath(QStringLiteral("out.csv"));
    run = runCli({QStringLiteral("datasets"), QStringLiteral("-o"), out});
    QCOMPARE(run.exitCode, 0);
    SharedObjects shared;
    MeasuredValues doc;
    QCOMPARE(shared.measVal->OpenFile(doc, out), qint16(CMeasVal::Opened));
    QCOMPARE(doc.meter, QStringLiteral("Klaro 4 T"));
    QCOMPARE(doc.serialNumber, QStringLiteral("K4-9"));
    QCOMPARE(doc.user, QStringLiteral("---"));
    QVERIFY(qAbs(doc.date.secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(doc.datasets.toLatin1(), datasets.answer());

    run = runCli({QStringLiteral("datasets"), QStringLiteral("-o"), out, QStringLiteral("--user"),
                  QStringLiteral("Ann;Lee")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(shared.measVal->OpenFile(doc, out), qint16(CMeasVal::Opened));
    // A typed name is taken as the login takes it, so the file reads back.
    QCOMPARE(doc.user, QStringLiteral("Ann.Lee"));

    // A rejected answer, and a late one joined with the repetition's, fail and leave the file as it was.
    const QByteArray saved = readBytes(out);
    for (const QByteArray &answer : {QByteArray("\r\n?\r\n>"), datasets.answer() + datasets.answer()}) {
        sim.setHandler(QStringLiteral("U.581"), [answer](const QString &) { return SimReply::raw(answer); });
        QCOMPARE(runCli({QStringLiteral("datasets"), QStringLiteral("-o"), out}).exitCode, 3);
        QCOMPARE(readBytes(out), saved);
    }

    sim.faults().hangupCommands = {QStringLiteral("U.581")};
    run = runCli({QStringLiteral("datasets")});
    QCOMPARE(run.exitCode, 3);
    QVERIFY(run.err.contains(TextTable::text(TextTable::ImportError)));
}

void TestImport::cliExportStatuses()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.csv"));
    const QString out = dir.filePath(QStringLiteral("out.xls"));
    CliRun run = runCli({QStringLiteral("export"), in, out});
    QCOMPARE(run.exitCode, 2);
    QFile file(in);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(runCli({QStringLiteral("export"), in, out}).exitCode, 3);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("meter;s/n;user;date;time\r\n");
    file.close();
    run = runCli({QStringLiteral("export"), in, out});
    QCOMPARE(run.exitCode, 4);
    QVERIFY(run.err.contains(TextTable::text(TextTable::InvalidCsvFormat)));

    SharedObjects shared;
    QString raw = QStringLiteral("\r\n");
    for (int k = 1; k <= CExportExcel::kMaxDatasets + 1; ++k)
        raw += QStringLiteral("%1;d\r\n").arg(k);
    raw += QStringLiteral("!\r\n>");
    QVERIFY(shared.measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"),
                                      QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), raw},
                                     in));
    run = runCli({QStringLiteral("export"), in, out});
    QCOMPARE(run.exitCode, 5);
    QVERIFY(run.err.contains(TextTable::text(TextTable::ExportError)));
    QVERIFY(!QFile::exists(out));

    raw = QStringLiteral("\r\n1;d\r\n!\r\n>");
    QVERIFY(shared.measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"),
                                      QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), raw},
                                     in));
    run = runCli({QStringLiteral("export"), in, out});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(file.exists(out));
    QFile xls(out);
    QVERIFY(xls.open(QIODevice::ReadOnly));
    const QByteArray bytes = xls.readAll();
    QVERIFY(bytes.startsWith(QByteArray("\x09\x00\x04\x00\x02\x00\x10\x00", 8)));
    QVERIFY(bytes.endsWith(QByteArray("\x0A\x00\x00\x00", 4)));
}

// A meter that stops sending in the middle: both tries of 600 s run out (on a hand-moved clock), and
// the user learns that it timed out and after how long, not only "Import error!".
void TestImport::stalledImportSaysItTimedOutAndAfterHowLong()
{
    SimRig rig(meter("Lumora"));
    SimDatasets datasets(*rig.sim);
    datasets.generate(100);
    datasets.stallAfter = 700;
    QVERIFY(rig.connect());
    rig.useFakeClock().skipIdleAfter(250);
    QString raw;
    QVERIFY(!rig.shared.importMVal->GetMVals(raw));
    QCOMPARE(rig.shared.importMVal->linkResult().failure, LinkFailure::NoAnswer);
    QCOMPARE(rig.shared.importMVal->linkResult().messages(),
             QStringList{TextTable::text(TextTable::ImportTimedOut).arg(2 * 601)});
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
