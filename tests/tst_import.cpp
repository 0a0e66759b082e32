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

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

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

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void importReadsEveryDataset();
    void importFromMeasuredValueFile();
    void emptyMeter();
    void failedOpeningCommandSendsNothingMore();
    void rejectedDatasetCommandEndsTheWalk();
    void pacedTransferTakesTheLineTime();
    void cancelDuringTransferSendsStop();
    void hangUpInTheMiddleFailsOnce();
};

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
    QCOMPARE(raw, QStringLiteral("\r\n1;d;t;5;900;;;;1.5;mg/l;OK;;;\r\n2;d;t;5;900;;;;\u00b5g;mg/l;OK;;;\r\n!\r\n>"));
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

void TestImport::rejectedDatasetCommandEndsTheWalk()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora"));
    SimDatasets datasets(sim);
    datasets.generate(3);
    sim.faults().rejectCommands = {QStringLiteral("U.581")};
    CSerialLink link;
    SharedObjects shared(&link);
    QString raw;
    // The link repeats a rejected command once and hands back the second answer as it is.
    QVERIFY(shared.importMVal->GetMVals(raw));
    QCOMPARE(raw, QStringLiteral("\r\n?\r\n>"));
    QCOMPARE(records(raw, 14), 0);
    QCOMPARE(datasets.stopCommands(), 0);
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
    ErrorRecorder errors;
    QString raw;
    QVERIFY(!shared.importMVal->GetMVals(raw));
    QVERIFY(raw.isEmpty());
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY(!link.running());
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
