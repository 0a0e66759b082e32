// A stop stops a read: SIGTERM, SIGINT and a second signal at every step of watch, archive import and
// archive export (the test copy of meravo-cli signals itself at each named step in turn), and from
// outside while the meter stalls or sends slowly. Each command ends within seconds with its documented
// exit code; the archive holds what it held before or the whole import; an export's file stays as it was.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <ctime>

namespace {

enum class Command { Watch, Import, Export };
// Where a stop comes from: the process itself at a step, or the test while the meter stalls or
// sends at its line rate.
enum class Source { Step, Stalled, Paced };

constexpr qint64 kDatasets = 40;
constexpr qint64 kSeeded = 5;
constexpr qint64 kStopBoundMs = 5000;

qint64 monotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

struct Run {
    int exitCode = -1; // -1: ended by a signal, or did not end
    QString out;
    QString err;
    QStringList steps;
    qint64 stopMs = -1; // from the (first) signal to the end
};

} // namespace

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Source)

class TestStops : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void stopEndsTheWork_data();
    void stopEndsTheWork();

private:
    // An archive with kSeeded datasets of another meter, a meter with kDatasets on its line.
    void prepare(Source source);
    Run run(Command command, const QString &stopAt, const QList<int> &signalsSent, Source source);
    qint64 archived();

    QTemporaryDir m_home;
    CSerialLink m_link;
    CCommunication m_communication{&m_link};
    CDevice m_device{&m_link, m_communication};
    std::unique_ptr<SimBench> m_bench;
    std::unique_ptr<SimDatasets> m_datasets;
    QString m_location;
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
    if (source == Source::Stalled)
        m_datasets->stallAfter = 300;
    meter.faults().pace = source == Source::Paced;

    m_location = m_home.filePath(QStringLiteral("archive%1.sqlite").arg(++m_files));
    ArchiveSettings settings;
    settings.enabled = true;
    settings.location = m_location;
    ArchiveSettings::storeForUser(settings);
    Archive archive(m_device, settings);
    ImportRecord record =
        ImportRecord::fromMeter(QString::fromLatin1(MeterSim::acceptedAnswer(
                                    SimDatasets::generatedRecords(QStringLiteral("Lumora"), kSeeded))),
                                QDateTime(QDate(2026, 5, 4), QTime(9, 0)));
    record.meter = QStringLiteral("Lumora");
    record.serial = QStringLiteral("OTHER");
    Archive::Summary summary;
    QVERIFY(archive.keep(record, &summary));
    m_exportFile = m_home.filePath(QStringLiteral("out%1/datasets.csv").arg(m_files));
    QVERIFY(QDir().mkpath(QFileInfo(m_exportFile).path()));
    writeBytes(m_exportFile, "the file as it was\n");
}

qint64 TestStops::archived()
{
    ArchiveSettings settings;
    settings.enabled = true;
    settings.location = m_location;
    Archive archive(m_device, settings);
    qint64 count = -1;
    archive.count(ArchiveFilter(), &count);
    return count;
}

Run TestStops::run(Command command, const QString &stopAt, const QList<int> &signalsSent, Source source)
{
    const QString log = m_home.filePath(QStringLiteral("steps%1.log").arg(++m_files));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MERAVO_STOP_LOG"), log);
    if (!stopAt.isEmpty()) {
        env.insert(QStringLiteral("MERAVO_STOP_AT"), stopAt);
        QStringList numbers;
        for (int signal : signalsSent)
            numbers.append(QString::number(signal));
        env.insert(QStringLiteral("MERAVO_STOP_SIGNALS"), numbers.join(QLatin1Char(',')));
    }
    QStringList arguments;
    if (command == Command::Watch)
        arguments = {QStringLiteral("watch"), QStringLiteral("--device"), m_bench->devicePath(1)};
    else if (command == Command::Import)
        arguments = {QStringLiteral("archive"), QStringLiteral("import")};
    else
        arguments = {QStringLiteral("archive"), QStringLiteral("export"), m_exportFile};
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli-stoptest"), arguments);
    Run run;
    if (!process.waitForStarted())
        return run;
    MeterSim &meter = *m_bench->meter(1);
    QList<int> fromOutside = source == Source::Step ? QList<int>() : signalsSent;
    qint64 signalledAt = -1;
    qint64 readStartedAt = -1;
    QString out;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        out += QString::fromUtf8(process.readAllStandardOutput());
        // The reading has gone on a while (stalled or slow): the signals come from outside, the second
        // while the first is being handled.
        if (readStartedAt < 0 && meter.commandLog().contains(QStringLiteral("U.581")))
            readStartedAt = monotonicMs();
        if (!fromOutside.isEmpty() && readStartedAt >= 0 && monotonicMs() - readStartedAt > 1500) {
            if (signalledAt < 0)
                signalledAt = monotonicMs();
            ::kill(pid_t(process.processId()), fromOutside.takeFirst());
        }
        // A watcher the table does not stop ends after its import.
        if (stopAt.isEmpty() && source == Source::Step && command == Command::Watch &&
            out.contains(QLatin1String("\timported\t")) && signalledAt < 0) {
            signalledAt = monotonicMs();
            process.terminate();
        }
    });
    poll.start(50);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 endedAt = monotonicMs();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = out + QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
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
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<QList<int>>("signalsSent");
    QTest::addColumn<Source>("source");
    // Rows where the stop comes once archiving began: the import is archived whole.
    QTest::addColumn<bool>("archivedWhole");

    const QList<std::pair<const char *, QList<int>>> stops = {
        {"SIGTERM", {SIGTERM}}, {"SIGINT", {SIGINT}}, {"second SIGTERM", {SIGTERM, SIGTERM}}};
    const QList<std::pair<const char *, Command>> commands = {
        {"watch", Command::Watch}, {"archive import", Command::Import}, {"archive export", Command::Export}};
    for (const auto &[commandName, command] : commands) {
        // The steps of a run without a stop, each time it reaches them.
        prepare(Source::Step);
        const Run listing = run(command, QString(), {}, Source::Step);
        if (listing.steps.isEmpty())
            qFatal("%s lists no steps: %s", commandName, qPrintable(listing.err));
        QHash<QString, int> reached;
        bool archiving = false;
        for (const QString &step : listing.steps) {
            archiving = archiving || step == QLatin1String("import-archive");
            const QString at = QStringLiteral("%1#%2").arg(step).arg(++reached[step]);
            for (const auto &[stopName, sent] : stops)
                QTest::addRow("%s, %s at %s", commandName, stopName, qPrintable(at))
                    << command << at << sent << Source::Step << archiving;
        }
        if (command == Command::Export)
            continue;
        for (const auto &[stopName, sent] : stops) {
            QTest::addRow("%s, %s while the meter stalls", commandName, stopName)
                << command << QString() << sent << Source::Stalled << false;
            QTest::addRow("%s, %s while the meter sends slowly", commandName, stopName)
                << command << QString() << sent << Source::Paced << false;
        }
    }
}

void TestStops::stopEndsTheWork()
{
    QFETCH(Command, command);
    QFETCH(QString, stopAt);
    QFETCH(QList<int>, signalsSent);
    QFETCH(Source, source);
    QFETCH(bool, archivedWhole);
    prepare(source);
    const Run result = run(command, stopAt, signalsSent, source);
    const QString said = result.out + result.err;
    QVERIFY2(result.exitCode >= 0, qPrintable(said));
    QVERIFY2(result.stopMs >= 0 && result.stopMs < kStopBoundMs,
             qPrintable(QStringLiteral("%1 ms after the signal\n").arg(result.stopMs) + said));
    const qint64 count = archived();
    if (command == Command::Export) {
        QCOMPARE(result.exitCode, 6);
        QCOMPARE(readBytes(m_exportFile), QByteArray("the file as it was\n"));
        QCOMPARE(QDir(QFileInfo(m_exportFile).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        QCOMPARE(count, kSeeded);
        return;
    }
    QCOMPARE(count, archivedWhole ? kSeeded + kDatasets : kSeeded);
    if (command == Command::Import) {
        QVERIFY2(result.exitCode == (archivedWhole ? 0 : 6), qPrintable(said));
    } else {
        QVERIFY2(result.exitCode == 0, qPrintable(said));
        // The import's line tells how it ended, as archive import would have.
        const bool imported = said.contains(QLatin1String("\timported\t"));
        if (imported || archivedWhole)
            QVERIFY2(said.contains(archivedWhole ? QLatin1String("\t0\n") : QLatin1String("\t6\n")),
                     qPrintable(said));
    }
}

QTEST_GUILESS_MAIN(TestStops)
#include "tst_stops.moc"
