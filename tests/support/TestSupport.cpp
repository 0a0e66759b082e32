#include "TestSupport.h"

#include "CDevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

ErrorRecorder::ErrorRecorder() : m_handler([this](const QString &text) { reports.append(text); }) {}

SimBench::SimBench(int portCount)
    : m_dir(QDir::tempPath() + QStringLiteral("/meravo-ports-XXXXXX")), m_count(portCount),
      m_previous(qgetenv("MERAVO_PORTS")), m_hadPrevious(qEnvironmentVariableIsSet("MERAVO_PORTS"))
{
    m_meters.resize(size_t(portCount));
    apply();
}

SimBench::~SimBench()
{
    m_meters.clear();
    if (m_hadPrevious)
        qputenv("MERAVO_PORTS", m_previous);
    else
        qunsetenv("MERAVO_PORTS");
}

QString SimBench::devicePath(int portNum) const
{
    // Lock files of serial ports are named after the path, so every bench has its own names.
    return m_dir.filePath(QStringLiteral("port%1").arg(portNum));
}

void SimBench::apply() const
{
    QStringList devices;
    for (int n = 1; n <= m_count; ++n)
        devices.append(devicePath(n));
    qputenv("MERAVO_PORTS", devices.join(u':').toLocal8Bit());
}

MeterSim &SimBench::addMeter(int portNum, const MeterIdentity &identity)
{
    auto sim = std::make_unique<MeterSim>();
    sim->identity() = identity;
    QString error;
    if (!sim->open(devicePath(portNum), &error))
        qFatal("cannot open simulated meter: %s", qPrintable(error));
    m_meters[size_t(portNum - 1)] = std::move(sim);
    return *m_meters[size_t(portNum - 1)];
}

MeterSim &SimBench::addSilentPort(int portNum)
{
    MeterSim &sim = addMeter(portNum);
    sim.faults().silent = true;
    return sim;
}

MeterSim *SimBench::meter(int portNum)
{
    return m_meters[size_t(portNum - 1)].get();
}

void spin(int ms)
{
    QTest::qWait(ms);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_previousLimit = qint64(limit.rlim_cur);
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_previousLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}

FakeLinkClock::FakeLinkClock(int msecOfSecond) : m_phase(msecOfSecond)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    QObject::connect(&m_idle, &QTimer::timeout, &m_idle, [this] {
        if (m_wake)
            advance(m_due - m_now);
    });
}

void FakeLinkClock::setAlarm(qint64 ms, std::function<void()> wake)
{
    m_due = m_now + ms;
    m_wake = std::move(wake);
    alarms.append(m_due);
    if (m_idle.interval() > 0)
        m_idle.start();
}

void FakeLinkClock::advance(qint64 ms)
{
    m_now += ms;
    if (m_wake && m_now >= m_due)
        nudge();
}

void FakeLinkClock::nudge()
{
    if (auto wake = std::exchange(m_wake, nullptr))
        wake();
}

SimRig::SimRig(const MeterIdentity &identity) : sim(&bench.addMeter(1, identity)) {}

MeterIdentity meterIdentity(const QString &model, const QString &firmware, const QString &serial)
{
    MeterIdentity id;
    id.model = model;
    if (!firmware.isEmpty())
        id.firmware = firmware;
    if (!serial.isEmpty())
        id.serial = serial;
    return id;
}

bool SimRig::connect()
{
    QString name, serial;
    const bool ok = shared.device->Recognise(name, serial, false) == CDevice::Recognised;
    sim->clearLog();
    return ok;
}

FakeLinkClock &SimRig::useFakeClock()
{
    link.setClock(&clock);
    return clock;
}

ProcessRun runServed(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (process.waitForStarted())
        loop.exec();
    ProcessRun run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
