// meravo-cli's program, calibration-record and calibration-line commands as a user runs them,
// against a simulated meter served from this process's event loop.
#include "CCalProtocol.h"
#include "SharedObjects.h"
#include "SimCalRecords.h"
#include "SimDatasets.h"
#include "SimPrograms.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <tuple>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
};

// Runs meravo-cli to its end while the event loop keeps serving the simulated meter; sizeLimited: under
// a file-size limit of 512 bytes.
CliRun cli(const QStringList &arguments, bool sizeLimited = false)
{
    QProcess process;
    process.setProgram(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"));
    process.setArguments(arguments);
    if (sizeLimited) {
        process.setArguments(QStringList{"-c", "ulimit -f 1; exec \"$0\" \"$@\"", process.program()} +
                             arguments);
        process.setProgram(QStringLiteral("/bin/sh"));
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start();
    limit.start(60000);
    if (process.waitForStarted(10000))
        loop.exec();
    CliRun result;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// Every entry of the folder with its kind, permissions and bytes: what a refused write must leave alone.
QStringList snapshot(const QString &folder)
{
    QStringList entries;
    const auto filter = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo &info : QDir(folder).entryInfoList(filter)) {
        const QChar kind = info.isSymLink() ? u'l' : info.isFile() ? u'f' : u'o';
        entries << info.fileName() + kind + QString::number(info.permissions()) +
                       QString::fromLatin1(info.isFile() ? readBytes(info.filePath()) : QByteArray());
    }
    return entries;
}

} // namespace

class TestCliPrograms : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void programsRoundTrip();
    void fullMeterRefusesNewProgram();
    void commandsFollowTheModelsCapabilities();
    void calibrationRecordToFile();
    void calibrationLineAndRange();
    void withoutMeterExitsOne();
    void metersimConfiguredFromCommandLine();
    void writersReplaceOnlyWhatTheyMay_data();
    void writersReplaceOnlyWhatTheyMay();
    void unusableMeterAnswersFailAndWriteNothing_data();
    void unusableMeterAnswersFailAndWriteNothing();

private:
    QTemporaryDir m_home;
};

void TestCliPrograms::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The child processes inherit a private home.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/config")).toLocal8Bit());
}

void TestCliPrograms::programsRoundTrip()
{
    SimBench bench(2);
    MeterSim &sim = bench.addMeter(2);
    SimPrograms programs(sim);
    QVERIFY(programs.put(QStringLiteral("910,X,16,436,0,5,0.1,0.2,0.1,F,u,1,1,1")));
    QVERIFY(programs.put(QStringLiteral("901,ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0")));

    CliRun r = cli({"programs", "list"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outLines(), QStringList({"901", "910"}));
    r = cli({"programs", "show", "910"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outLines().first(), QStringLiteral("NO: 910"));
    QCOMPARE(r.outLines().last(), QStringLiteral("CALREQ: 1"));
    QCOMPARE(r.outLines().size(), 14);
    QCOMPARE(cli({"programs", "show", "905"}).exitCode, 1);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("PROG 901.csv"));
    r = cli({"programs", "get", "901", "-o", file, "--user", "Ann"});
    QCOMPARE(r.exitCode, 0);
    QByteArray text = readBytes(file);
    QVERIFY(
        text.startsWith("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ\r\n"
                        "901;ABCDE;16;436;0.0;2.0;0.0;1.0;0.01;Fe;mg/l;Ann;0;1;0\r\n"));

    // Stored as new under another number, then over the same number.
    text.replace("901;ABCDE", "905;NEW");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text);
    out.close();
    r = cli({"programs", "put", file});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outLines(), QStringList({"stored 905"}));
    QCOMPARE(programs.programs().value(QStringLiteral("905")).at(1), QStringLiteral("NEW"));
    r = cli({"programs", "put", file});
    QCOMPARE(r.outLines(), QStringList({"modified 905"}));
    QVERIFY(sim.commandLog().contains(
        QStringLiteral("U.502#14,905,NEW,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0")));

    QCOMPARE(cli({"programs", "delete", "901"}).exitCode, 0);
    QCOMPARE(programs.programs().keys(), QStringList({"905", "910"}));
    QCOMPARE(cli({"programs", "delete", "901"}).exitCode, 1);
    QCOMPARE(cli({"programs", "delete-all"}).exitCode, 0);
    QVERIFY(programs.programs().isEmpty());

    // A file that is not a program file is refused before the meter is asked.
    sim.clearLog();
    r = cli({"programs", "put", dir.filePath(QStringLiteral("missing.csv"))});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(TextTable::text(TextTable::FileReadError)));
    QVERIFY(sim.commandLog().isEmpty());
    // So is a program the editor could not have written; the message names the field.
    const QByteArray rest = ";16;436;0.0;2.0;0.0;1.0;0.01;Fe;mg/l;Ann;0;1;0\r\nPAIRS_OF_VARIATES" +
                            QByteArray("\r\n;").repeated(10);
    const QList<QPair<QByteArray, QString>> bad = {{"901;" + QByteArray(70, 'M') + rest, "Model"},
                                                   {QByteArray("901;A") + '\0' + 'B' + rest, "Model"},
                                                   {QByteArray(5000, '9') + ";M" + rest, "Program No"}};
    for (const auto &[line, blamed] : bad) {
        writeBytes(file,
                   "NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ\r\n" +
                       line);
        r = cli({"programs", "put", file});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral(" %1 ").arg(blamed)), qPrintable(r.err));
        QVERIFY(sim.commandLog().isEmpty());
    }
    // A program as the meter itself may hold it (cuvette and wavelength outside the editor's lists)
    // goes back with --force only.
    writeBytes(file, "NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ\r\n"
                     "915;M;24;525;0.0;2.0;0.0;1.0;0.01;Fe;mg/l;Ann;0;1;0\r\nPAIRS_OF_VARIATES" +
                         QByteArray("\r\n;").repeated(10));
    r = cli({"programs", "put", file});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("--force")), qPrintable(r.err));
    QVERIFY(sim.commandLog().isEmpty());
    r = cli({"programs", "put", file, "--force"});
    QCOMPARE(r.outLines(), QStringList({"stored 915"}));
    QCOMPARE(cli({"programs", "frobnicate"}).exitCode, 64);
    QCOMPARE(cli({"programs", "get", "901"}).exitCode, 64);
}

void TestCliPrograms::fullMeterRefusesNewProgram()
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1);
    SimPrograms programs(sim);
    const QString rest = QStringLiteral(",M,16,436,0,1,0,1,0.1,F,u,0,0,0");
    for (int n = 900; n <= 999; ++n)
        QVERIFY(n == 950 || programs.put(QString::number(n) + rest));
    // The hundredth program sits under a number outside the range: 950 is free but has no room.
    const QByteArray numbers =
        QStringList(programs.programs().keys()).join(QStringLiteral("\r\n")).toLatin1();
    programs.listAnswer = MeterSim::acceptedAnswer("899\r\n" + numbers);
    programs.readAnswers.insert(
        "899", MeterSim::acceptedAnswer(SimPrograms::readPayload(("899" + rest).split(u','))));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.csv"));
    writeBytes(file,
               "NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER\r\n950;M;16;436;0;1;0;1;0.1;F;u;x\r\n"
               "PAIRS_OF_VARIATES\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;");
    const CliRun r = cli({"programs", "put", file});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(TextTable::text(TextTable::AllProgramSlotsOccupied)));
    QVERIFY(r.err.contains(TextTable::text(TextTable::EraseProgramFirst)));
}

void TestCliPrograms::commandsFollowTheModelsCapabilities()
{
    // Model, command, the text that refuses it before the meter is asked for the data.
    const QList<std::tuple<QString, QStringList, int>> cases = {
        {"Klaro 7 T", {"programs", "list"}, TextTable::NoProgramsOnMeter},
        {"Klaro 7 IR", {"calrecord", "ph"}, TextTable::NoPHRecordOnMeter},
        {"Lumora", {"calrecord", "turb"}, TextTable::NoTurbidityRecordOnMeter}};
    for (const auto &[model, arguments, text] : cases) {
        SimBench bench(1);
        MeterIdentity id;
        id.model = model;
        id.firmware = QStringLiteral("2.50");
        MeterSim &sim = bench.addMeter(1, id);
        SimPrograms programs(sim);
        SimCalRecords records(sim);
        const CliRun r = cli(arguments);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(TextTable::text(text).arg(model)), qPrintable(r.err));
        QCOMPARE(sim.commandLog().filter(QRegularExpression(QStringLiteral("^U\\.5[128]"))), QStringList());
    }
}

void TestCliPrograms::calibrationRecordToFile()
{
    SimBench bench(1);
    MeterIdentity id;
    id.model = QStringLiteral("Klaro 7 T");
    id.firmware = QStringLiteral("2.50");
    MeterSim &sim = bench.addMeter(1, id);
    SimCalRecords records(sim);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("CalProt Turb"));
    // A ";" in the name would break the file's layout; it is taken as "." as the login dialog does.
    const CliRun r = cli({"calrecord", "turb", "-o", file, "--user", "Bob;Ann"});
    QCOMPARE(r.exitCode, 0);
    // The Klaro 7 is asked for the extended record.
    QVERIFY(sim.commandLog().contains(QStringLiteral("U.587")));
    QVERIFY(r.outLines().contains(QStringLiteral("Mode: 5-P StdCAL")));
    QVERIFY(r.outLines().contains(QStringLiteral("Standard 5: 4000")));
    SharedObjects shared;
    QVERIFY(shared.calProtocol->ReadFromFile(file));
    QCOMPARE(shared.calProtocol->record().User, QStringLiteral("Bob.Ann"));
    QCOMPARE(shared.calProtocol->record().Meter, QStringLiteral("Klaro 7 T"));

    records.turbidityExtended = "0,2026,3,14,9,5,0,90,M,6,1,2,3,4,5,6";
    QCOMPARE(cli({"calrecord", "turb"}).exitCode, 1);
    QCOMPARE(cli({"calrecord", "conductivity"}).exitCode, 64);
}

void TestCliPrograms::calibrationLineAndRange()
{
    CliRun r = cli({"calline", "0,0.05", "1,0.25", "2,0.44", "3,0.66"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outLines(), QStringList({"A0: 4.700E-02", "A1: 2.020E-01  1/(mg/l)", "YQ: 3.500E-01",
                                        "XQ: 1.500E+00  mg/l", "N: 4", "SX0: 4.696E-02  mg/l", "VX0: 3.1  %",
                                        "XN: 5.039E-01  mg/l", "XB: 7.469E-01  mg/l"}));
    r = cli({"calline", "1,1", "2,2"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(TextTable::text(TextTable::TooFewValuePairs)));
    // Equal values without an exact binary form leave rounding noise, not a line.
    for (const QStringList &pairs :
         {QStringList{"2,1", "2,2", "2,3"}, QStringList{"0.1,0.1", "0.1,0.2", "0.1,0.35"},
          QStringList{"0.5,0.7", "1.1,0.7", "2.3,0.7"}}) {
        r = cli(QStringList{"calline"} + pairs);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(TextTable::text(TextTable::CalculationError)));
    }

    QCOMPARE(cli({"checkrange", "0", "10", "0", "0.2"}).outLines(), QStringList({"ok"}));
    r = cli({"checkrange", "0", "10.5", "0", "0.2"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.outLines(), QStringList({TextTable::text(TextTable::MeasuringRangeExceeded),
                                        TextTable::text(TextTable::CheckRangeAndSlope)}));
    QCOMPARE(cli({"checkrange", "--", "-10", "1", "0", "-0.2"}).exitCode, 0);
    QCOMPARE(cli({"checkrange", "0", "x", "0", "0.2"}).exitCode, 64);
}

void TestCliPrograms::withoutMeterExitsOne()
{
    SimBench bench(1);
    const CliRun r = cli({"programs", "list"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(TextTable::text(TextTable::NoMeterRecognized)));
}

void TestCliPrograms::metersimConfiguredFromCommandLine()
{
    QTemporaryDir dir;
    const QString programsFile = dir.filePath(QStringLiteral("programs.txt"));
    const QString recordsFile = dir.filePath(QStringLiteral("records.txt"));
    QFile p(programsFile);
    QVERIFY(p.open(QIODevice::WriteOnly));
    p.write("903,M,16,436,0,5,0,1,0.1,F,u,0,0,0\n");
    p.close();
    QFile c(recordsFile);
    QVERIFY(c.open(QIODevice::WriteOnly));
    c.write("# the short record\nturb=0,2025,12,31,23,59,58,30\n");
    c.close();
    const QString link = dir.filePath(QStringLiteral("COM1"));
    QProcess sim;
    sim.start(QStringLiteral(MERAVO_BIN_DIR "/metersim"),
              {"--link", link, "--programs", programsFile, "--program", "901,A,16,436,0,5,0,1,0.1,F,u,0,0,0",
               "--records", recordsFile, "--ph-points", "3", "--model", "Lumora Turb"});
    QVERIFY(sim.waitForReadyRead(10000));
    QCOMPARE(sim.readLine().trimmed(), ("ready " + link).toLocal8Bit());
    const QByteArray previous = qgetenv("MERAVO_PORTS");
    qputenv("MERAVO_PORTS", link.toLocal8Bit());
    const CliRun list = cli({"programs", "list"});
    const CliRun ph = cli({"calrecord", "ph"});
    const CliRun turb = cli({"calrecord", "turb"});
    qputenv("MERAVO_PORTS", previous);
    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(list.outLines(), QStringList({"901", "903"}));
    QVERIFY(ph.outLines().contains(QStringLiteral("Points: 3")));
    QVERIFY(turb.outLines().contains(QStringLiteral("Interval (d): 30")));
    // A bad configuration is refused before the line comes up.
    QProcess bad;
    bad.start(QStringLiteral(MERAVO_BIN_DIR "/metersim"), {"--link", link, "--ph-points", "4"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
}

void TestCliPrograms::writersReplaceOnlyWhatTheyMay_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("setup");  // makes "out" beside a regular "file"
    QTest::addColumn<QString>("reason"); // empty: the write goes through the link "out" to its target
    const std::tuple<const char *, QStringList, int> writers[] = {
        {"datasets", {"datasets", "-o"}, 4},
        {"export", {"export", "in.csv"}, 5},
        {"programs", {"programs", "get", "901", "-o"}, 1},
        {"calrecord", {"calrecord", "turb", "-o"}, 1}};
    const std::tuple<const char *, const char *, QString> targets[] = {
        {"fifo", "mkfifo out", TextTable::text(TextTable::NotRegularFile)},
        {"loop", "ln -s back out && ln -s out back", QString::fromLocal8Bit(std::strerror(ELOOP))},
        {"read-only", "cp file out && chmod 444 out", TextTable::text(TextTable::ReadOnlyFile)},
        {"size limit", "cp file out", QString::fromLocal8Bit(std::strerror(EFBIG))},
        {"link", "ln -s file out", QString()},
        {"dangling link", "ln -s new out", QString()}};
    for (const auto &[name, command, failure] : writers)
        for (const auto &[target, setup, reason] : targets)
            // Program and record files are smaller than the limit.
            if (failure != 1 || std::strcmp(target, "size limit") != 0)
                QTest::addRow("%s, %s", name, target)
                    << command << failure << QString::fromLatin1(setup) << reason;
}

void TestCliPrograms::writersReplaceOnlyWhatTheyMay()
{
    QFETCH(QStringList, command);
    QFETCH(int, failure);
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    SimBench bench(1);
    MeterIdentity id;
    // A model that keeps both programs and turbidity records.
    id.model = QStringLiteral("Lumora Turb");
    MeterSim &sim = bench.addMeter(1, id);
    SimCalRecords records(sim);
    SimPrograms programs(sim);
    QVERIFY(programs.put(QStringLiteral("901,ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0")));
    SimDatasets datasets(sim);
    datasets.generate(100);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    writeBytes(QStringLiteral("in.csv"), "METER;S/N;USER;DATE;TIME\r\nKlaro 7 T;1;u;1/2/2026;3:4:5\r\n\r\n"
                                         "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME" +
                                             QByteArray("\r\n1;d;t;5;0.5").repeated(100));
    writeBytes(QStringLiteral("file"), "old");
    QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {"-c", setup}), 0);
    const QStringList before = snapshot(dir.path());
    const bool limited = QByteArray(QTest::currentDataTag()).endsWith("size limit");
    const CliRun r = cli(command << dir.filePath(QStringLiteral("out")), limited);
    QDir::setCurrent(QDir::rootPath());
    if (reason.isEmpty()) {
        QCOMPARE(r.exitCode, 0);
        const QFileInfo out(dir.filePath(QStringLiteral("out")));
        QVERIFY(out.isSymLink() && readBytes(out.symLinkTarget()).size() > 3);
        return;
    }
    QCOMPARE(r.exitCode, failure);
    QVERIFY2(r.err.contains(reason), qPrintable(r.err));
    QCOMPARE(snapshot(dir.path()), before);
}

void TestCliPrograms::unusableMeterAnswersFailAndWriteNothing_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE: the output file
    QTest::addColumn<QString>("breakCode");
    QTest::addColumn<QString>("joinedCode");
    QTest::addColumn<QByteArray>("phRecord");
    QTest::addColumn<QByteArray>("turbRecord");
    const QStringList ph = {"calrecord", "ph", "-o", "FILE"};
    const QStringList turb = {"calrecord", "turb", "-o", "FILE"};
    const QStringList get = {"programs", "get", "901", "-o", "FILE"};
    const QString no;
    const QByteArray none;
    auto code = [](const char *text) { return QString::fromLatin1(text); };
    QTest::newRow("pH record, line break in a field") << ph << code("U.586") << no << none << none;
    QTest::newRow("turbidity record, late answer joined") << turb << no << code("U.585") << none << none;
    QTest::newRow("pH record, negative point count")
        << ph << no << no << QByteArray("0,2026,3,15,10,20,30,1,59.16,-3.2,3,7,0,0,-1,") << none;
    QTest::newRow("turbidity record, negative standard count")
        << turb << no << no << none << QByteArray("0,2026,3,14,9,5,0,90,5-P StdCAL,-1");
    QTest::newRow("program, line break in a field") << get << code("U.513") << no << none << none;
    QTest::newRow("program, late answer joined") << get << no << code("U.513") << none << none;
    QTest::newRow("identification, line break in the serial number")
        << QStringList{"identify"} << code("U.596") << no << none << none;
}

void TestCliPrograms::unusableMeterAnswersFailAndWriteNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, breakCode);
    QFETCH(QString, joinedCode);
    QFETCH(QByteArray, phRecord);
    QFETCH(QByteArray, turbRecord);
    SimBench bench(1);
    MeterIdentity id;
    id.model = QStringLiteral("Lumora Turb"); // keeps programs and both kinds of record
    id.firmware = QStringLiteral("2.50");
    MeterSim &sim = bench.addMeter(1, id);
    SimCalRecords records(sim);
    SimPrograms programs(sim);
    // The line break lands in the resolution, a field nothing else checks.
    QVERIFY(programs.put(QStringLiteral("901,A,16,436,0,5,0,1,0.1,Citation,mg/l,0,0,0")));
    records.ph = phRecord.isEmpty() ? records.ph : phRecord;
    records.turbidity = turbRecord.isEmpty() ? records.turbidity : turbRecord;
    sim.faults().breakCommands = {breakCode};
    sim.faults().joinedCommands = {joinedCode};
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.csv"));
    writeBytes(file, "earlier file");
    arguments.replaceInStrings(QStringLiteral("FILE"), file);
    const CliRun r = cli(arguments);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(!r.out.contains(QStringLiteral("Points:")), qPrintable(r.out));
    QCOMPARE(readBytes(file), QByteArray("earlier file"));
}

QTEST_GUILESS_MAIN(TestCliPrograms)
#include "tst_cli_programs.moc"
