#include "MeterSim.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qsizetype kEndlessRefill = 64 * 1024;

QByteArray endlessChunk()
{
    static const QByteArray chunk = [] {
        QByteArray bytes;
        while (bytes.size() < 4096)
            bytes += "1;01.01.2026;12:00:00;1;999;Endless;stream;without;end\r\n";
        return bytes;
    }();
    return chunk;
}

int speedToBaud(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

speed_t baudToSpeed(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    default:
        return B4800;
    }
}

} // namespace

MeterSim::MeterSim(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] { releaseCurrent(); });

    setHandler(QStringLiteral("U.400"), [](const QString &) { return SimReply::raw("\r\n!\r\n>"); });
    setHandler(QStringLiteral("U.597"),
               [this](const QString &) { return SimReply::accept(m_identity.firmware.toLatin1()); });
    setHandler(QStringLiteral("U.595"),
               [this](const QString &) { return SimReply::accept(m_identity.model.toLatin1()); });
    setHandler(QStringLiteral("U.596"),
               [this](const QString &) { return SimReply::accept(m_identity.serial.toLatin1()); });
    setHandler(QStringLiteral("U.592"), [this](const QString &) {
        return SimReply::accept(m_identity.variant.isEmpty() ? QByteArray("000000")
                                                             : m_identity.variant.toLatin1());
    });
}

MeterSim::~MeterSim()
{
    close();
}

QByteArray MeterSim::acceptedAnswer(const QByteArray &payload)
{
    return "\r\n" + payload + "\r\n!\r\n>";
}

QByteArray MeterSim::rejectedAnswer()
{
    return "\r\n?\r\n>";
}

void MeterSim::setHandler(const QString &code, Handler handler)
{
    m_handlers.insert(code, handler);
}

bool MeterSim::open(const QString &linkPath, QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        closeFds();
        return false;
    };
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(QStringLiteral("grantpt/unlockpt"));
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_devicePath = QString::fromLocal8Bit(name);
    // Holding the slave open keeps the line alive while the program has the port closed.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return fail(QStringLiteral("open ") + m_devicePath);
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, baudToSpeed(m_identity.baud));
    ::cfsetospeed(&settings, baudToSpeed(m_identity.baud));
    ::tcsetattr(m_slave, TCSANOW, &settings);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    const QByteArray link = QFile::encodeName(linkPath);
    const QFileInfo existing(linkPath);
    if (existing.isSymLink() || existing.exists()) {
        if (!existing.isSymLink()) {
            errno = EEXIST;
            return fail(QStringLiteral("link ") + linkPath);
        }
        ::unlink(link.constData());
    }
    if (::symlink(name, link.constData()) != 0)
        return fail(QStringLiteral("symlink ") + linkPath);
    m_linkPath = linkPath;

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { onReadable(); });
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { onWritable(); });
    return true;
}

void MeterSim::closeFds()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
}

void MeterSim::close()
{
    stopOutput();
    closeFds();
    if (!m_linkPath.isEmpty()) {
        const QFileInfo link(m_linkPath);
        if (link.isSymLink() && link.symLinkTarget() == m_devicePath)
            ::unlink(QFile::encodeName(m_linkPath).constData());
        m_linkPath.clear();
    }
}

void MeterSim::hangUp()
{
    close();
}

int MeterSim::lineBaud() const
{
    if (m_slave < 0)
        return 0;
    termios settings{};
    if (::tcgetattr(m_slave, &settings) != 0)
        return 0;
    return speedToBaud(::cfgetospeed(&settings));
}

void MeterSim::onReadable()
{
    char buffer[4096];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_input.append(buffer, n);
    }
    qsizetype end;
    while ((end = m_input.indexOf('\n')) >= 0) {
        QByteArray line = m_input.left(end);
        m_input.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        handleLine(QString::fromLatin1(line));
        if (m_master < 0)
            return;
    }
}

void MeterSim::handleLine(const QString &line)
{
    m_log.append(line);
    emit commandReceived(line);
    // A new command ends whatever the meter was still sending.
    stopOutput();
    // At another baud rate the meter sees only noise and keeps quiet.
    if (lineBaud() != m_identity.baud || m_faults.silent)
        return;

    const QString code = line.left(5);
    if (m_faults.hangupCommands.contains(code)) {
        hangUp();
        return;
    }
    if (m_faults.silentCommands.contains(code))
        return;
    if (m_faults.rejectCommands.contains(code) &&
        (m_faults.rejectCount < 0 || m_rejected.value(code) < m_faults.rejectCount)) {
        m_rejected[code] += 1;
        queueAnswer(rejectedAnswer());
        return;
    }
    if (m_faults.endlessCommands.contains(code)) {
        m_endless = true;
        queueAnswer(m_faults.garbage);
        return;
    }
    const auto handler = m_handlers.constFind(code);
    SimReply reply = handler != m_handlers.constEnd() ? (*handler)(line) : SimReply::reject();
    if (reply.kind == SimReply::Accept && m_faults.breakCommands.contains(code))
        reply.bytes.insert(reply.bytes.size() / 2, "\r\n");
    QByteArray answer;
    switch (reply.kind) {
    case SimReply::Accept:
        answer = acceptedAnswer(reply.bytes);
        break;
    case SimReply::Reject:
        answer = rejectedAnswer();
        break;
    case SimReply::Raw:
        answer = reply.bytes;
        break;
    case SimReply::Silent:
        break;
    }
    if (reply.kind != SimReply::Silent && m_faults.joinedCommands.contains(code)) {
        // The late answer comes only when the command is repeated, together with the new one.
        if (!m_held.contains(code)) {
            m_held.insert(code, answer);
            return;
        }
        answer.prepend(m_held.take(code));
    }
    if (reply.kind != SimReply::Silent)
        queueAnswer(answer);
    emit answerSent(line);
}

void MeterSim::queueAnswer(const QByteArray &answer)
{
    const QByteArray whole = m_endless ? answer : m_faults.garbage + answer;
    qsizetype from = 0;
    int delay = m_faults.delayMs;
    for (int cut : m_faults.splitAt) {
        if (cut <= from || cut >= whole.size())
            continue;
        m_segments.push_back({whole.mid(from, cut - from), delay});
        delay = m_faults.splitPauseMs;
        from = cut;
    }
    m_segments.push_back({whole.mid(from), delay});
    if (m_current.isEmpty() && !m_timer->isActive())
        scheduleNext();
}

void MeterSim::scheduleNext()
{
    if (!m_current.isEmpty())
        return;
    if (m_segments.empty() && m_endless && m_ready.size() < kEndlessRefill)
        m_segments.push_back({endlessChunk(), 0});
    if (m_segments.empty())
        return;
    Segment &next = m_segments.front();
    if (next.delayMs > 0) {
        const int delay = next.delayMs;
        next.delayMs = 0;
        m_timer->start(delay);
        return;
    }
    m_current = next.data;
    m_segments.pop_front();
    m_currentReleased = 0;
    m_currentClock.start();
    releaseCurrent();
}

void MeterSim::releaseCurrent()
{
    if (m_current.isEmpty()) {
        scheduleNext();
        return;
    }
    qsizetype take = m_current.size();
    if (m_faults.pace) {
        const qint64 bytesPerSecond = std::max(1, m_identity.baud / 10);
        const qint64 allowed = m_currentClock.elapsed() * bytesPerSecond / 1000 - m_currentReleased;
        take = qsizetype(std::clamp<qint64>(allowed, 0, m_current.size()));
    }
    m_ready.append(m_current.left(take));
    m_current.remove(0, take);
    m_currentReleased += take;
    flushReady();
    if (!m_current.isEmpty()) {
        m_timer->start(5);
        return;
    }
    scheduleNext();
}

void MeterSim::flushReady()
{
    while (!m_ready.isEmpty() && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_ready.constData(), size_t(m_ready.size()));
        if (n <= 0)
            break;
        m_ready.remove(0, n);
        m_bytesSent += n;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_ready.isEmpty() || (m_endless && !m_faults.pace));
}

void MeterSim::onWritable()
{
    flushReady();
    if (m_current.isEmpty() && !m_timer->isActive())
        scheduleNext();
}

void MeterSim::stopOutput()
{
    m_timer->stop();
    m_segments.clear();
    m_current.clear();
    m_ready.clear();
    m_endless = false;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}
