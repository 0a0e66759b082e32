// A stop stops a read: SIGTERM, SIGINT and a second signal at every step of watch, archive import and
// archive export (the crash-point copy of meravo-cli signals itself at each step in turn), and from
// outside while the meter stalls or sends slowly. Each command ends within seconds with its documented
// exit code; the archive holds what it held before or the whole import; an export's file stays as it was.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <ctime>

namespace {

enum Command { Watch, Import, Export };
// Where the stop comes from: the process itself at a step, or the test while the meter stalls or sends
// at its line rate.
enum Source { AtStep, Stalled, Paced };

constexpr qint64 kDatasets = 40;
constexpr qint64 kSeeded = 5;
const QByteArray kOldFile = "the file as it was\n";

qint64 monotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

struct Run {
    int exitCode = -1; // -1: ended by a signal, or did not end
    QString said;      // stdout and stderr
    QStringList steps;
    qint64 stopMs = -1; // from the first signal to the end
};

} // namespace

class TestStops : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void stopEndsTheWork_data();
    void stopEndsTheWork();

private:
    // An archive with kSeeded datasets of another meter, and a meter with kDatasets.
    void prepare(Source source);
    Run run(Command command, const QString &stopAt, const QList<int> &sent, Source source);
    qint64 archived();

    QTemporaryDir m_home;
    CSerialLink m_link;
    CCommunication m_communication{&m_link};
    CDevice m_device{&m_link, m_communication};
    std::unique_ptr<SimBench> m_bench;
    std::unique_ptr<SimDatasets> m_datasets;
    ArchiveSettings m_settings;
    QString m_exportFile;
    int m_files = 0;
};

void TestStops::initTestCase()
{
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (m_home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    qputenv("MERAVO_SYSTEM_PROFILES", m_home.filePath(QStringLiteral("none")).toLocal8Bit());
}

void TestStops::prepare(Source source)
{
    // The bench before goes first: it puts back the port list it found.
    m_datasets.reset();
    m_bench.reset();
    m_bench = std::make_unique<SimBench>(1);
    MeterSim &meter =
        m_bench->addMeter(1, meterIdentity(QStringLiteral("Lumora"), QString(), QStringLiteral("S7")));
    m_datasets = std::make_unique<SimDatasets>(meter);
    m_datasets->generate(kDatasets);
    m_datasets->stallAfter = source == Stalled ? 300 : -1;
    meter.faults().pace = source == Paced;
    m_settings.enabled = true;
    m_settings.location = m_home.filePath(QStringLiteral("archive%1.sqlite").arg(++m_files));
    ArchiveSettings::storeForUser(m_settings);
    ImportRecord record =
        ImportRecord::fromMeter(QString::fromLatin1(MeterSim::acceptedAnswer(
                                    SimDatasets::generatedRecords(QStringLiteral("Lumora"), kSeeded))),
                                QDateTime(QDate(2026, 5, 4), QTime(9, 0)));
    record.meter = QStringLiteral("Lumora");
    record.serial = QStringLiteral("OTHER");
    Archive::Summary summary;
    QVERIFY(Archive(m_device, m_settings).keep(record, &summary));
    m_exportFile = m_home.filePath(QStringLiteral("out%1/datasets.csv").arg(m_files));
    QVERIFY(QDir().mkpath(QFileInfo(m_exportFile).path()));
    writeBytes(m_exportFile, kOldFile);
}

qint64 TestStops::archived()
{
    qint64 count = -1;
    Archive(m_device, m_settings).count(ArchiveFilter(), &count);
    return count;
}

Run TestStops::run(Command command, const QString &stopAt, const QList<int> &sent, Source source)
{
    const QString log = m_home.filePath(QStringLiteral("steps%1.log").arg(++m_files));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MERAVO_CRASH_LOG"), log);
    QStringList numbers;
    for (int signal : sent)
        numbers.append(QString::number(signal));
    if (source == AtStep && !stopAt.isEmpty()) {
        env.insert(QStringLiteral("MERAVO_CRASH_AT"), stopAt);
        env.insert(QStringLiteral("MERAVO_CRASH_SIGNALS"), numbers.join(QLatin1Char(',')));
    }
    const QList<QStringList> arguments = {
        {QStringLiteral("watch"), QStringLiteral("--device"), m_bench->devicePath(1)},
        {QStringLiteral("archive"), QStringLiteral("import")},
        {QStringLiteral("archive"), QStringLiteral("export"), m_exportFile}};
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli-crashtest"), arguments[command]);
    QList<int> fromOutside = source == AtStep ? QList<int>() : sent;
    // A watcher the table does not stop is stopped after its import.
    if (command == Watch && stopAt.isEmpty() && source == AtStep)
        fromOutside = {SIGTERM};
    qint64 readingSince = -1;
    qint64 signalledAt = -1;
    QString out;
    const qint64 deadline = monotonicMs() + 60000;
    while (process.state() != QProcess::NotRunning && monotonicMs() < deadline) {
        spin(50);
        out += QString::fromUtf8(process.readAllStandardOutput());
        if (readingSince < 0 && m_bench->meter(1)->commandLog().contains(QStringLiteral("U.581")))
            readingSince = monotonicMs();
        const bool due = source == AtStep ? out.contains(QLatin1String("\timported\t"))
                                          : readingSince >= 0 && monotonicMs() - readingSince > 1500;
        // The second signal comes 50 ms after the first, while that one is being handled.
        // (A pid of 0 would signal this test's own process group.)
        if (const qint64 pid = process.processId(); pid > 0 && !fromOutside.isEmpty() && due) {
            signalledAt = signalledAt < 0 ? monotonicMs() : signalledAt;
            ::kill(pid_t(pid), fromOutside.takeFirst());
        }
    }
    const qint64 endedAt = monotonicMs();
    Run run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.said = out + QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    for (const QString &line :
         QString::fromUtf8(readBytes(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("signalled ")))
            signalledAt = line.mid(10).toLongLong();
        else
            run.steps.append(line);
    }
    run.stopMs = signalledAt < 0 ? -1 : endedAt - signalledAt;
    return run;
}

void TestStops::stopEndsTheWork_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<int>("source");
    // The stop came once archiving began: the import is archived and delivered whole.
    QTest::addColumn<bool>("whole");
    const QList<std::pair<const char *, QList<int>>> stops = {
        {"SIGTERM", {SIGTERM}}, {"SIGINT", {SIGINT}}, {"second SIGTERM", {SIGTERM, SIGTERM}}};
    const QList<std::pair<const char *, Command>> commands = {
        {"watch", Watch}, {"archive import", Import}, {"archive export", Export}};
    for (const auto &[name, command] : commands) {
        // Every step a run without a stop reaches, each time it reaches it.
        prepare(AtStep);
        const Run listing = run(command, QString(), {}, AtStep);
        if (listing.steps.isEmpty())
            qFatal("%s reached no step: %s", name, qPrintable(listing.said));
        QHash<QString, int> reached;
        bool archiving = false;
        for (const QString &step : listing.steps) {
            archiving = archiving || step == QLatin1String("import-archive");
            const QString at = QStringLiteral("%1#%2").arg(step).arg(++reached[step]);
            for (const auto &[stopName, sent] : stops)
                QTest::addRow("%s, %s at %s", name, stopName, qPrintable(at))
                    << int(command) << at << sent << int(AtStep) << archiving;
        }
        for (const auto &[stopName, sent] : stops) {
            if (command == Export)
                continue;
            QTest::addRow("%s, %s while the meter stalls", name, stopName)
                << int(command) << QString() << sent << int(Stalled) << false;
            QTest::addRow("%s, %s while the meter sends slowly", name, stopName)
                << int(command) << QString() << sent << int(Paced) << false;
        }
    }
}

void TestStops::stopEndsTheWork()
{
    QFETCH(int, command);
    QFETCH(QString, stopAt);
    QFETCH(QList<int>, sent);
    QFETCH(int, source);
    QFETCH(bool, whole);
    prepare(Source(source));
    const Run result = run(Command(command), stopAt, sent, Source(source));
    QVERIFY2(result.exitCode >= 0, qPrintable(result.said));
    // Seconds, not the answer time of 600 s: a bound that tells a stop from a wait, no benchmark.
    QVERIFY2(result.stopMs >= 0 && result.stopMs < 5000,
             qPrintable(QStringLiteral("%1 ms after the signal\n").arg(result.stopMs) + result.said));
    QCOMPARE(archived(), whole ? kSeeded + kDatasets : kSeeded);
    const int expected = command == Watch ? 0 : whole ? 0 : 6;
    QVERIFY2(result.exitCode == expected, qPrintable(result.said));
    if (command == Export) {
        QCOMPARE(readBytes(m_exportFile), kOldFile);
        QCOMPARE(QDir(QFileInfo(m_exportFile).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    } else if (command == Watch) {
        // The import's line says how it ended, as archive import would have.
        QVERIFY2(result.said.contains(whole ? QLatin1String("\t0\n") : QLatin1String("\t6\n")),
                 qPrintable(result.said));
    }
}

QTEST_GUILESS_MAIN(TestStops)
#include "tst_stops.moc"
