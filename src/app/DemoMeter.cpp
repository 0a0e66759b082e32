#include "DemoMeter.h"

#include "CIni.h"
#include "EndingSignals.h"
#include "ProgramFolder.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What the signal handler needs, kept where it may read it: plain values, no Qt.
struct SignalCleanup {
    pid_t pid = 0;
    std::array<char, 4096> link{};
    std::array<char, 4096> folder{};
};
SignalCleanup g_cleanup;

bool exited(pid_t pid)
{
    int status = 0;
    const pid_t result = ::waitpid(pid, &status, WNOHANG);
    return result == pid || (result < 0 && errno == ECHILD);
}

// Runs inside the signal handler (EndingSignals): async-signal-safe calls only. The program then ends
// by the same signal, as it would have without the demo.
void endSimulator()
{
    const pid_t pid = g_cleanup.pid;
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        const timespec pause{0, 20 * 1000 * 1000};
        bool gone = exited(pid);
        for (int i = 0; !gone && i < 100; ++i) {
            ::nanosleep(&pause, nullptr);
            gone = exited(pid);
        }
        if (!gone) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        // A simulator killed hard could not remove its own line.
        ::unlink(g_cleanup.link.data());
        ::rmdir(g_cleanup.folder.data());
    }
}

// Demo folders of earlier runs that a signal the program could not catch (kill -9) left behind: this
// user's, empty (a running demo's holds its line) and older than a minute. Never anything else.
void removeStaleFolders()
{
    const QString pattern = QCoreApplication::applicationName() + QStringLiteral("-??????");
    const QDir temp(QDir::tempPath());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    for (const QFileInfo &info :
         temp.entryInfoList({pattern}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (info.isSymLink() || info.ownerId() != ::geteuid() || info.lastModified() > before)
            continue;
        ::rmdir(QFile::encodeName(info.absoluteFilePath()).constData()); // only when empty
    }
}

void copyPath(std::array<char, 4096> &target, const QString &path)
{
    const QByteArray bytes = QFile::encodeName(path);
    target.fill('\0');
    std::memcpy(target.data(), bytes.constData(), std::min(std::size_t(bytes.size()), target.size() - 1));
}

} // namespace

DemoMeter::~DemoMeter()
{
    stop();
}

QStringList DemoMeter::arguments(const QString &linkPath, bool onlyKlaro7)
{
    QStringList arguments{QStringLiteral("--link"), linkPath, QStringLiteral("--serial"),
                          QStringLiteral("240117")};
    if (onlyKlaro7) {
        arguments << QStringLiteral("--model") << QStringLiteral("Klaro 7 T") << QStringLiteral("--firmware")
                  << QStringLiteral("2.50") << QStringLiteral("--datasets") << QStringLiteral("250");
        return arguments;
    }
    // A day of a river station's three programs: a table and a chart worth looking at.
    arguments << QStringLiteral("--station-datasets") << QStringLiteral("3000");
    arguments << QStringLiteral("--model") << QStringLiteral("Lumora Turb") << QStringLiteral("--firmware")
              << QStringLiteral("2.10") << QStringLiteral("--variant") << QStringLiteral("030909")
              << QStringLiteral("--ph-points") << QStringLiteral("3") << QStringLiteral("--program")
              << QStringLiteral("901,PO4,16,436,0.0,2.0,0.0,1.0,0.01,PO4-P,mg/l,1,1,0")
              << QStringLiteral("--program")
              << QStringLiteral("915,NO3,24,525,0.05,1.8,0.012,0.875,0.1,NO3-N,mg/l,0,1,1");
    return arguments;
}

bool DemoMeter::start(QString *error)
{
    const QString program = ProgramFolder::file(QStringLiteral("metersim"));
    if (!QFileInfo(program).isExecutable()) {
        *error = TextTable::text(TextTable::DemoSimulatorMissing).arg(QDir::toNativeSeparators(program));
        return false;
    }
    removeStaleFolders();
    if (!m_folder.isValid()) {
        *error = TextTable::text(TextTable::DemoNotStarted).arg(m_folder.errorString());
        return false;
    }
    m_process.setProgram(program);
    m_process.setArguments(
        arguments(m_folder.filePath(QStringLiteral("meter")), ProgramFolder::onlyKlaro7(CIni())));
    const pid_t parent = ::getpid();
    // The kernel ends the simulator when the program dies without running any handler (SIGKILL, a crash).
    m_process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
    });
    m_process.start();
    QString reason;
    const QDeadlineTimer deadline(kReadyTimeoutMs);
    if (m_process.waitForStarted(kReadyTimeoutMs)) {
        while (m_link.isEmpty()) {
            if (m_process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
                if (line.startsWith(QLatin1String("ready ")))
                    m_link = line.mid(6);
                continue;
            }
            if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime())))
                break;
        }
        if (m_link.isEmpty()) {
            reason = QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
            if (reason.isEmpty() && m_process.state() != QProcess::NotRunning)
                reason = TextTable::text(TextTable::DemoNotReady).arg(kReadyTimeoutMs / 1000);
        }
    }
    if (m_link.isEmpty()) {
        if (reason.isEmpty())
            reason = m_process.errorString();
        stop();
        *error = TextTable::text(TextTable::DemoNotStarted).arg(reason);
        return false;
    }
    g_cleanup.pid = pid_t(m_process.processId());
    copyPath(g_cleanup.link, m_link);
    copyPath(g_cleanup.folder, m_folder.path());
    EndingSignals::add(endSimulator);
    qputenv("MERAVO_PORTS", QFile::encodeName(m_link));
    return true;
}

void DemoMeter::stop()
{
    if (g_cleanup.pid != 0) {
        EndingSignals::remove(endSimulator);
        g_cleanup.pid = 0;
    }
    if (m_process.state() == QProcess::NotRunning)
        return;
    // SIGTERM lets the simulator remove its line.
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
