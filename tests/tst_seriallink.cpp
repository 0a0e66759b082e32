// The serial link against simulated meters on real ptys: scan, framing, time-outs, stop, faults.
#include "CCommunication.h"
#include "CSerialLink.h"
#include "EndingSignals.h"
#include "SharedObjects.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

const QString kProbe = QStringLiteral("U.400\r\n");
const QString kVersion = QStringLiteral("U.597\r\n");

MeterIdentity meterAt(int baud)
{
    MeterIdentity id;
    id.baud = baud;
    return id;
}

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT
private slots:
    void scanFindsMeterAt19200InSecondBaudPass();
    void scanTakesAnsweringPortAmongSilentOnes();
    void scanPrefersHighestAnsweringPort();
    void scanWithoutPortsFailsAtOnceTwice();
    void scanReachesHighPortNumbers();
    void answerWithinAnswerTimeIsAccepted();
    void lateAnswerIsLostAndRepeatedOnce();
    void silentMeterCostsBetweenNAndNPlusOneSecondsPerTry();
    void stopEndsWaitAtOnce_data();
    void stopEndsWaitAtOnce();
    void silenceIsToldWhileTheMeterSendsNothing_data();
    void silenceIsToldWhileTheMeterSendsNothing();
    void stopWinsOverArrivingAnswer();
    void sendAfterDeinitFailsWithoutWaiting();
    void answerSplitAtEveryByteBoundary();
    void rejectedCommandIsRepeatedOnce();
    void endlessStreamIsCappedAndReported();
    void hangUpIsReportedOnceAndFailsFast();
    void portHeldByAnotherProgramIsToldApart();
    void progressCountsBytesAndLineEnds();
    void secondExchangeInsideAWaitIsRefused();
};

void TestSerialLink::scanFindsMeterAt19200InSecondBaudPass()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1, meterAt(19200));
    FakeLinkClock quietLines; // the ports that keep quiet are waited out at once
    quietLines.skipIdleAfter(250);
    CSerialLink link;
    link.setClock(&quietLines);
    QSignalSpy baudTexts(&link, &CSerialLink::baudTextChanged);
    int port = -1;
    QString baud;
    QVERIFY(link.COMScanPorts(port, baud));
    QCOMPARE(port, 1);
    QCOMPARE(baud, QStringLiteral("19200"));
    QVERIFY(link.isControlOpen(0));
    QCOMPARE(link.controlPort(0), 1);
    QVERIFY(!link.running()); // the caller must COMInit before the next exchange
    QCOMPARE(link.answerTime(), 1);
    QCOMPARE(baudTexts.first().first().toString(), QStringLiteral("4800 Baud"));
    QCOMPARE(baudTexts.last().first().toString(), QStringLiteral("19200 Baud"));
    // The meter heard the probe at 4800 too, but kept quiet at the wrong rate.
    QCOMPARE(meter.commandLog(), QStringList({QStringLiteral("U.400"), QStringLiteral("U.400")}));
}

void TestSerialLink::scanTakesAnsweringPortAmongSilentOnes()
{
    SimBench bench(5);
    bench.addSilentPort(1);
    bench.addMeter(3);
    bench.addSilentPort(5);
    FakeLinkClock quietLines; // the ports that keep quiet are waited out at once
    quietLines.skipIdleAfter(250);
    CSerialLink link;
    link.setClock(&quietLines);
    QSignalSpy panels(&link, &CSerialLink::interfaceTextChanged);
    SharedObjects shared(&link);
    QVERIFY(shared.communication->Scan());
    QCOMPARE(shared.communication->COMPort(), 3);
    QCOMPARE(shared.communication->Baudrate(), QStringLiteral("4800"));
    QCOMPARE(panels.last().first().toString(), QStringLiteral("COM 1 3 5 "));
    QCOMPARE(link.controlCount(), 3);
    // Every existing port got the probe; the silent ones were asked and did not answer.
    QCOMPARE(bench.meter(5)->commandLog(), QStringList{QStringLiteral("U.400")});
}

void TestSerialLink::scanPrefersHighestAnsweringPort()
{
    SimBench bench(4);
    bench.addMeter(2);
    bench.addMeter(4);
    CSerialLink link;
    int port = 0;
    QString baud;
    QVERIFY(link.COMScanPorts(port, baud));
    QCOMPARE(port, 4);
}

void TestSerialLink::scanWithoutPortsFailsAtOnceTwice()
{
    SimBench bench(3); // three port numbers, no device behind any
    CSerialLink link;
    SharedObjects shared(&link);
    ErrorRecorder errors;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!shared.communication->Scan());
    QVERIFY2(timer.elapsed() < 1000, "no port: no pass waits");
    QCOMPARE(shared.communication->COMPort(), 0);
    QCOMPARE(shared.communication->Baudrate(), QString());
    QVERIFY(errors.reports.isEmpty());
}

void TestSerialLink::scanReachesHighPortNumbers()
{
    SimBench bench(256);
    bench.addMeter(256);
    bench.addSilentPort(10);
    FakeLinkClock quietLines; // the ports that keep quiet are waited out at once
    quietLines.skipIdleAfter(250);
    CSerialLink link;
    link.setClock(&quietLines);
    int port = 0;
    QString baud;
    QVERIFY(link.COMScanPorts(port, baud));
    QCOMPARE(port, 256);

    SimBench twelve(12);
    twelve.addMeter(12);
    QVERIFY(link.COMScanPorts(port, baud));
    QCOMPARE(port, 12);
}

void TestSerialLink::answerWithinAnswerTimeIsAccepted()
{
    // The answer comes in the last millisecond of the answer time, whatever the phase of the seconds.
    for (int phase : {0, 999}) {
        SimBench bench(1);
        MeterSim &meter = bench.addMeter(1);
        FakeLinkClock clock(phase);
        CSerialLink link;
        link.setClock(&clock);
        connect(&meter, &MeterSim::commandReceived, &link,
                [&clock] { clock.advance(clock.untilAlarm() - 1); });
        QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
        QString answer;
        QVERIFY(link.COMSendAndReceive(kVersion, answer));
        QCOMPARE(answer, QStringLiteral("\r\n2.00\r\n!\r\n>"));
        QCOMPARE(meter.commandLog().size(), 1);
        QCOMPARE(clock.msecsNow(), 5000 - phase - 1);
        QVERIFY(link.lastResult().ok());
    }
}

void TestSerialLink::lateAnswerIsLostAndRepeatedOnce()
{
    for (int phase : {0, 999}) {
        SimBench bench(1);
        MeterSim &meter = bench.addMeter(1);
        meter.faults().delayMs = 60000;
        FakeLinkClock clock(phase);
        CSerialLink link;
        link.setClock(&clock);
        connect(&meter, &MeterSim::commandReceived, &link, [&clock] { clock.advance(6000); });
        QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
        QString answer = QStringLiteral("stale");
        QVERIFY(!link.COMSendAndReceive(kVersion, answer));
        QVERIFY(answer.isEmpty());
        QCOMPARE(meter.commandLog(), QStringList({QStringLiteral("U.597"), QStringLiteral("U.597")}));
        // Each try was to end when the seconds reading passed 4 after its start.
        QCOMPARE(clock.alarms, QList<qint64>({5000 - phase, 11000 - phase}));
    }
}

void TestSerialLink::silentMeterCostsBetweenNAndNPlusOneSecondsPerTry()
{
    for (int phase : {0, 999}) {
        SimBench bench(1);
        MeterSim &silent = bench.addSilentPort(1);
        FakeLinkClock clock(phase);
        CSerialLink link;
        link.setClock(&clock);
        // The time runs on to a millisecond before the alarm, a wake-up comes early, then the last
        // millisecond passes: the early wake-up must not end the wait.
        connect(&silent, &MeterSim::commandReceived, &link, [&clock, &link] {
            clock.advance(clock.untilAlarm() - 1);
            clock.nudge();
            QTimer::singleShot(0, &link, [&clock] { clock.advance(1); });
        });
        QVERIFY(link.COMInit(1, QStringLiteral("4800"), 1));
        QString answer;
        QVERIFY(!link.COMSendAndReceive(kProbe, answer));
        QCOMPARE(link.lastResult().failure, LinkFailure::NoAnswer);
        // The first try ends when the seconds reading passes 1; the second starts on a whole second.
        QCOMPARE(clock.alarms, QList<qint64>({2000 - phase, 2000 - phase, 4000 - phase, 4000 - phase}));
        QCOMPARE(clock.msecsNow(), 4000 - phase);
    }
}

void TestSerialLink::stopEndsWaitAtOnce_data()
{
    // 0: the wait dialog's Cancel; a signal number: that signal while stops are caught; -1: the
    // application quits (its event loops return at once from then on).
    QTest::addColumn<int>("stop");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("the application quits") << -1;
}

void TestSerialLink::stopEndsWaitAtOnce()
{
    QFETCH(int, stop);
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.faults().delayMs = 3000;
    CSerialLink link;
    const EndingSignals::StopCatcher stops;
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    QTimer::singleShot(200, &link, [&link, stop] {
        if (stop == 0)
            link.COMStop();
        else if (stop > 0)
            ::kill(::getpid(), stop);
        else
            QCoreApplication::quit();
    });
    QString answer;
    bool answered = true;
    QElapsedTimer timer;
    timer.start();
    if (stop < 0) {
        // The exchange runs inside the application's loop, as the watcher's imports do.
        QTimer::singleShot(0, &link, [&] { answered = link.COMSendAndReceive(kVersion, answer); });
        QCoreApplication::exec();
    } else {
        answered = link.COMSendAndReceive(kVersion, answer);
    }
    QVERIFY(!answered);
    QVERIFY(answer.isEmpty());
    QCOMPARE(link.lastResult().failure, LinkFailure::Stopped);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    // The repetition failed at once: it was sent, but not waited for.
    QTRY_COMPARE(meter.commandLog().size(), 2);
}

void TestSerialLink::silenceIsToldWhileTheMeterSendsNothing_data()
{
    QTest::addColumn<QByteArray>("sent"); // what the meter sends before it falls silent
    QTest::addColumn<QList<qint64>>("told");
    QList<qint64> bothTries;
    for (qint64 s = 2; s <= 21; ++s)
        bothTries.append(s);
    bothTries.append(0);
    QTest::newRow("silent meter: counted through the repetition") << QByteArray() << bothTries;
    // The repetition goes out after 11 silent seconds; its bytes start the count again.
    QList<qint64> eachTry;
    for (qint64 s = 2; s <= 10; ++s)
        eachTry.append(s);
    eachTry = eachTry + QList<qint64>{11, 0} + eachTry + QList<qint64>{0};
    QTest::newRow("stalled after some bytes: counted from the last byte")
        << QByteArray("\r\n1;2;3\r\n") << eachTry;
}

// The answer time of 10 s runs out twice on the hand-moved clock; every whole second from the second
// one on is told, and 0 when bytes come again or the exchange ends.
void TestSerialLink::silenceIsToldWhileTheMeterSendsNothing()
{
    QFETCH(QByteArray, sent);
    QFETCH(QList<qint64>, told);
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.setHandler(QStringLiteral("U.581"), [sent](const QString &) {
        return sent.isEmpty() ? SimReply::silent() : SimReply::raw(sent);
    });
    FakeLinkClock clock;
    CSerialLink link;
    link.setClock(&clock);
    QSignalSpy silence(&link, &CSerialLink::meterSilent);
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 10));
    // Moves on when nothing happens for a while: after the bytes that do come.
    clock.skipIdleAfter(100);
    QString answer;
    QVERIFY(!link.COMSendAndReceive(QStringLiteral("U.581\r\n"), answer));
    QCOMPARE(link.lastResult().failure, LinkFailure::NoAnswer);
    QList<qint64> seconds;
    for (const QList<QVariant> &signal : silence)
        seconds.append(signal.at(0).toLongLong());
    QCOMPARE(seconds, told);
}

void TestSerialLink::stopWinsOverArrivingAnswer()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    CSerialLink link;
    // The stop comes in the same moment the meter sends its whole answer.
    connect(&meter, &MeterSim::answerSent, &link, [&link] { link.COMStop(); });
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    QString answer;
    QVERIFY(!link.COMSendAndReceive(kVersion, answer));
    QVERIFY(answer.isEmpty());
}

void TestSerialLink::sendAfterDeinitFailsWithoutWaiting()
{
    SimBench bench(1);
    bench.addMeter(1);
    CSerialLink link;
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    QVERIFY(link.COMDeinit());
    QVERIFY(link.isControlOpen(0)); // deinit leaves the port open
    QString answer;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!link.COMSendAndReceive(kVersion, answer));
    QVERIFY(timer.elapsed() < 200);
    QVERIFY(answer.isEmpty());
    // COMContinue makes the same link usable again.
    QVERIFY(link.COMContinue());
    QVERIFY(link.COMSendAndReceive(kVersion, answer));
}

void TestSerialLink::answerSplitAtEveryByteBoundary()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.faults().splitPauseMs = 15;
    CSerialLink link;
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    const QString expected = QStringLiteral("\r\n2.00\r\n!\r\n>");
    for (int cut = 1; cut < expected.size(); ++cut) {
        meter.faults().splitAt = {cut};
        QString answer;
        QVERIFY2(link.COMSendAndReceive(kVersion, answer), qPrintable(QString::number(cut)));
        QCOMPARE(answer, expected);
    }
    // Every byte on its own.
    meter.faults().splitAt.clear();
    for (int cut = 1; cut < expected.size(); ++cut)
        meter.faults().splitAt.append(cut);
    QString answer;
    QVERIFY(link.COMSendAndReceive(kVersion, answer));
    QCOMPARE(answer, expected);
    // An end marker that merely appears inside the payload does not end the answer early.
    meter.faults().splitAt.clear();
    meter.identity().firmware = QStringLiteral("1.9\r\n?\r\n>x");
    QVERIFY(link.COMSendAndReceive(kVersion, answer));
    QCOMPARE(answer, QStringLiteral("\r\n1.9\r\n?\r\n>x\r\n!\r\n>"));
}

void TestSerialLink::rejectedCommandIsRepeatedOnce()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.faults().rejectCommands = {QStringLiteral("U.597")};
    meter.faults().rejectCount = 1;
    CSerialLink link;
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    QString answer;
    QVERIFY(link.COMSendAndReceive(kVersion, answer));
    QCOMPARE(answer, QStringLiteral("\r\n2.00\r\n!\r\n>"));
    QCOMPARE(meter.commandLog().size(), 2);

    // Rejected twice: the second rejection is handed over as a success; the caller checks the marker.
    meter.clearLog();
    meter.faults().rejectCount = -1;
    QVERIFY(link.COMSendAndReceive(kVersion, answer));
    QCOMPARE(answer, CCommunication::answerError());
    QCOMPARE(link.lastResult().failure, LinkFailure::Rejected);
    QCOMPARE(meter.commandLog().size(), 2);
}

void TestSerialLink::endlessStreamIsCappedAndReported()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.faults().endlessCommands = {QStringLiteral("U.581")};
    CSerialLink link;
    link.setAnswerCap(512 * 1024);
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 600));
    QString answer;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!link.COMSendAndReceive(QStringLiteral("U.581\r\n"), answer));
    QVERIFY(answer.isEmpty());
    QVERIFY2(timer.elapsed() < 20000, "the cap ends the exchange, not the 600-second answer time");
    QCOMPARE(link.lastResult().failure, LinkFailure::TooLong);
    const QStringList told = link.lastResult().messages();
    QCOMPARE(told.size(), 1); // once per exchange, not once per try
    QVERIFY(told.first().contains(QStringLiteral("524288")));
}

void TestSerialLink::hangUpIsReportedOnceAndFailsFast()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.faults().hangupCommands = {QStringLiteral("U.596")};
    CSerialLink link;
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    QString answer;
    QVERIFY(link.COMSendAndReceive(QStringLiteral("U.595\r\n"), answer));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!link.COMSendAndReceive(QStringLiteral("U.596\r\n"), answer));
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
    QStringList told = link.lastResult().messages();
    QCOMPARE(told.size(), 1);
    QVERIFY(told.first().startsWith(QStringLiteral("The connection to the meter on COM 1")));
    QVERIFY(!link.isControlOpen(0));
    QCOMPARE(link.lastResult().failure, LinkFailure::LineLost);
    // The vanished port is told as such when the link is opened again.
    QVERIFY(!link.COMInit(1, QStringLiteral("4800"), 4));
    told = link.lastResult().messages();
    QCOMPARE(told.size(), 1);
    QVERIFY(told.last().contains(QStringLiteral("no longer there")));
    QCOMPARE(link.lastResult().failure, LinkFailure::Vanished);
}

void TestSerialLink::portHeldByAnotherProgramIsToldApart()
{
    SimBench bench(1);
    bench.addMeter(1);
    QSerialPort other(bench.devicePath(1));
    QVERIFY(other.open(QIODevice::ReadWrite));
    CSerialLink link;
    QVERIFY(!link.COMInit(1, QStringLiteral("4800"), 4));
    // Both attempts failed; the user is told once.
    QCOMPARE(link.lastResult().failure, LinkFailure::InUse);
    QCOMPARE(link.lastResult().messages(),
             QStringList{TextTable::text(TextTable::PortInUse)
                             .arg(QStringLiteral("COM 1 (%1)").arg(bench.devicePath(1)))});
    // During a search the port counts as not answering and is reported once, not once per pass.
    SharedObjects shared(&link);
    QVERIFY(!shared.communication->Scan());
    QCOMPARE(shared.communication->lastResult().messages().size(), 1);
    other.close();
    QVERIFY(shared.communication->Scan());
}

void TestSerialLink::progressCountsBytesAndLineEnds()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    QByteArray records;
    for (int i = 1; i <= 50; ++i)
        records += QByteArray::number(i) + ";01.02.2026;10:00:00\r\n";
    meter.setHandler(QStringLiteral("U.581"),
                     [records](const QString &) { return SimReply::raw("\r\n" + records + "!\r\n>"); });
    meter.identity().baud = 19200;
    meter.faults().pace = true;
    CSerialLink link;
    QSignalSpy progress(&link, &CSerialLink::transferProgress);
    QVERIFY(link.COMInit(1, QStringLiteral("19200"), 4));
    QString answer;
    QVERIFY(link.COMSendAndReceive(QStringLiteral("U.581\r\n"), answer));
    QVERIFY(progress.size() >= 2); // some while the answer arrived, one at the end
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(answer.size()));
    QCOMPARE(progress.last().at(1).toLongLong(), 52);
}

void TestSerialLink::secondExchangeInsideAWaitIsRefused()
{
    SimBench bench(1);
    MeterSim &meter = bench.addMeter(1);
    meter.faults().delayMs = 600;
    CSerialLink link;
    SharedObjects shared(&link);
    QVERIFY(link.COMInit(1, QStringLiteral("4800"), 4));
    QList<bool> second; // the link busy, then COMInit, COMSendAndReceive and Scan inside the wait
    QStringList told;
    QTimer::singleShot(150, &link, [&] {
        QString answer;
        second = {link.exchangeRunning(), link.COMInit(1, QStringLiteral("4800"), 4)};
        told += link.lastResult().messages();
        second.append(link.COMSendAndReceive(QStringLiteral("U.595\r\n"), answer));
        told += link.lastResult().messages();
        second.append(shared.communication->Scan());
        told += shared.communication->lastResult().messages();
    });
    QString answer;
    QVERIFY(link.COMSendAndReceive(kVersion, answer));
    QCOMPARE(answer, QStringLiteral("\r\n2.00\r\n!\r\n>"));
    QCOMPARE(second, QList<bool>({true, false, false, false}));
    QCOMPARE(told, QStringList(3, TextTable::text(TextTable::ExchangeRunning)));
    QCOMPARE(meter.commandLog(), QStringList{QStringLiteral("U.597")});
    // Once the exchange is over the link serves the next one.
    QVERIFY(link.COMSendAndReceive(QStringLiteral("U.595\r\n"), answer));
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
