#include "CSerialLink.h"

#include "CCommunication.h"
#include "CommLog.h"
#include "Cp1252.h"
#include "ErrorFrame.h"
#include "Protocol.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTime>
#include <QTimer>

#include <cstring>

namespace {

const QStringList &baudRates()
{
    static const QStringList rates = {QStringLiteral("4800"), QStringLiteral("19200"), QStringLiteral("9600"),
                                      QStringLiteral("2400"), QStringLiteral("1200")};
    return rates;
}

const QString &probeCommand()
{
    static const QString probe = Protocol::line(Protocol::Attention);
    return probe;
}

// Counts whole seconds the way a time-of-day clock's seconds reading changes, but on a monotonic clock:
// a wait with answer time N ends between N and N + 1 seconds after it started, also across midnight
// or a clock change.
class SecondsClock {
public:
    explicit SecondsClock(const LinkClock &clock)
        : m_clock(clock), m_startMs(clock.msecsNow()), m_phaseMs(clock.msecOfSecond())
    {
    }
    qint64 elapsedSeconds() const { return (elapsedMs() + m_phaseMs) / 1000; }
    // Milliseconds until elapsedSeconds() first exceeds n.
    qint64 msUntilBeyond(int n) const
    {
        return std::max<qint64>(0, (qint64(n) + 1) * 1000 - m_phaseMs - elapsedMs());
    }

private:
    qint64 elapsedMs() const { return m_clock.msecsNow() - m_startMs; }
    const LinkClock &m_clock;
    qint64 m_startMs;
    qint64 m_phaseMs;
};

class SystemClock : public LinkClock {
public:
    SystemClock()
    {
        m_elapsed.start();
        m_alarm.setSingleShot(true);
        m_alarm.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_alarm, &QTimer::timeout, &m_alarm, [this] {
            if (m_wake)
                m_wake();
        });
    }
    qint64 msecsNow() const override { return m_elapsed.elapsed(); }
    int msecOfSecond() const override { return QTime::currentTime().msec(); }
    void setAlarm(qint64 ms, std::function<void()> wake) override
    {
        m_wake = std::move(wake);
        m_alarm.start(int(std::min<qint64>(ms, 24 * 3600 * 1000)));
    }
    void cancelAlarm() override
    {
        m_alarm.stop();
        m_wake = nullptr;
    }

private:
    QElapsedTimer m_elapsed;
    QTimer m_alarm;
    std::function<void()> m_wake;
};

bool isEndMarker(const QString &tail)
{
    return tail == CCommunication::answerOK() || tail == CCommunication::answerError();
}

// Marks the link busy for as long as it lives.
class BusyScope {
public:
    explicit BusyScope(bool &flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &m_flag;
};

// Answers up to this size are logged byte for byte with their arrival times; of a longer one (an import)
// only its size and first and last lines, so the log costs nothing per dataset.
constexpr qint64 kLogDetailBytes = 1024;

// The first and the last dataset of a long answer: the line ends around them and the end marker left out.
bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

QString firstLine(const QString &answer)
{
    qsizetype start = 0;
    while (start < answer.size() && isLineEnd(answer[start]))
        ++start;
    const qsizetype end = answer.indexOf(QLatin1Char('\n'), start);
    return answer.mid(start, (end < 0 ? answer.size() : end) - start).trimmed();
}

QString lastLine(const QString &answer)
{
    qsizetype end = answer.size() - CCommunication::kLenAnswerEnd;
    while (end > 0 && isLineEnd(answer[end - 1]))
        --end;
    const qsizetype start = end > 0 ? answer.lastIndexOf(QLatin1Char('\n'), end - 1) + 1 : 0;
    return answer.mid(start, end - start);
}

// Cut before it is encoded: a 16 MiB field costs no more than a short one (one byte a character).
QString escaped(const QString &text)
{
    if (text.size() <= CommLog::kMaxFieldBytes)
        return CommLog::escape(Cp1252::encode(text));
    return CommLog::escape(Cp1252::encode(text.left(CommLog::kMaxFieldBytes))) +
           CommLog::cutNote(text.size());
}

} // namespace

std::unique_ptr<LinkClock> LinkClock::createSystem()
{
    return std::make_unique<SystemClock>();
}

struct CSerialLink::Control {
    QSerialPort port;
    int portNum = 0;
    // Set when the port broke during use (unplugged, far end hung up); it is closed then and the
    // failure is reported once.
    bool broken = false;
};

CSerialLink::CSerialLink(QObject *parent) : QObject(parent)
{
    control(0);
}

CSerialLink::~CSerialLink() = default;

bool CSerialLink::logging() const
{
    return m_log != nullptr && m_log->active();
}

void CSerialLink::logLine(const QString &text)
{
    if (logging())
        m_log->write(text);
}

void CSerialLink::logFlush()
{
    if (m_log != nullptr)
        m_log->flush();
}

CSerialLink::Control &CSerialLink::control(int index)
{
    while (int(m_controls.size()) <= index) {
        auto ctl = std::make_unique<Control>();
        Control *raw = ctl.get();
        connect(&raw->port, &QSerialPort::errorOccurred, this,
                [this, raw](QSerialPort::SerialPortError error) {
                    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
                        error != QSerialPort::ResourceError)
                        return;
                    if (raw->broken || !raw->port.isOpen())
                        return;
                    // Qt keeps signalling a dead line at full speed while the port stays open: close it (not
                    // from inside its own notifier) and let the waiting code report it once.
                    raw->broken = true;
                    QMetaObject::invokeMethod(
                        this, [raw] { raw->port.close(); }, Qt::QueuedConnection);
                });
        m_controls.push_back(std::move(ctl));
    }
    return *m_controls[size_t(index)];
}

bool CSerialLink::isControlOpen(int index) const
{
    return index >= 0 && index < int(m_controls.size()) && m_controls[size_t(index)]->port.isOpen();
}

int CSerialLink::controlPort(int index) const
{
    return (index >= 0 && index < int(m_controls.size())) ? m_controls[size_t(index)]->portNum : 0;
}

void CSerialLink::beginSearch()
{
    m_reportedInSearch.clear();
    m_inSearch = true;
}

void CSerialLink::endSearch()
{
    m_inSearch = false;
}

bool CSerialLink::refuseWhileRunning() const
{
    if (!m_busy)
        return false;
    ErrorFrame::report(TextTable::text(TextTable::ExchangeRunning));
    return true;
}

bool CSerialLink::COMScanPorts(int &intPortNum, QString &strBaudrate)
{
    // The out-arguments may be the running exchange's port and baud rate: left as they are.
    if (refuseWhileRunning())
        return false;
    const BusyScope busy(m_busy);
    m_capReported = false;
    intPortNum = 0;
    strBaudrate.clear();
    if (!m_inSearch)
        m_reportedInSearch.clear();
    m_running = true;
    m_answerTime = 1;
    logLine(QStringLiteral("search: probing every port at each baud rate"));
    bool found = false;
    for (const QString &baud : baudRates()) {
        if (!m_running || found)
            break;
        QCoreApplication::processEvents();
        found = ScanPortsAtBaud(baud, intPortNum);
        if (found)
            strBaudrate = baud;
    }
    m_running = false;
    if (!found)
        intPortNum = 0;
    logLine(found ? QStringLiteral("search: %1 answered at %2 baud")
                        .arg(m_portMap.displayName(intPortNum), strBaudrate)
                  : QStringLiteral("search: no port answered"));
    logFlush();
    return found;
}

bool CSerialLink::ScanPortsAtBaud(const QString &baud, int &portNum)
{
    if (!CloseAllPorts())
        return false;
    portNum = 0;
    m_portMap.refresh();

    QString panel = QStringLiteral("COM ");
    std::vector<int> probed; // control k probes port probed[k]
    const QByteArray probe = Cp1252::encode(probeCommand());
    for (int n = CPortMap::kFirstPort; n <= CPortMap::kLastPort && m_running; ++n) {
        QCoreApplication::processEvents();
        if (!m_portMap.portExists(n))
            continue;
        panel += QString::number(n) + QLatin1Char(' ');
        emit interfaceTextChanged(panel);
        emit baudTextChanged(baud + QStringLiteral(" Baud"));
        const int k = int(probed.size());
        control(k);
        probed.push_back(n);
        if (OpenPort(k, n, baud)) {
            Control &ctl = control(k);
            logLine(QStringLiteral("TX %1: %2").arg(m_portMap.displayName(n), CommLog::escape(probe)));
            ctl.port.write(probe);
            ctl.port.flush();
        }
    }

    // Every existing port has the probe before any answer is read; the answers are awaited together,
    // so a pass costs one answer time, not one per port. The highest answering port wins.
    std::vector<int> indexes(probed.size());
    for (size_t k = 0; k < probed.size(); ++k)
        indexes[k] = int(k);
    std::vector<QString> answers;
    WaitForAnswers(indexes, answers, false);
    int found = 0;
    for (size_t k = 0; k < probed.size(); ++k) {
        if (!answers[k].isEmpty())
            found = probed[k];
        control(int(k)).port.close();
    }
    if (found == 0)
        return false;
    if (!OpenPort(0, found, baud))
        return false;
    portNum = found;
    return true;
}

bool CSerialLink::OpenPort(int index, int portNum, const QString &baud)
{
    Control &ctl = control(index);
    if (ctl.port.isOpen() && ctl.portNum != portNum)
        ctl.port.close();
    const QString device = m_portMap.device(portNum);
    const QString name = m_portMap.displayName(portNum);
    if (!ctl.port.isOpen()) {
        ctl.portNum = portNum;
        ctl.broken = false;
        QString failure;
        if (device.isEmpty()) {
            failure = TextTable::text(TextTable::PortVanished).arg(name);
        } else {
            ctl.port.setPortName(device);
            if (!ctl.port.open(QIODevice::ReadWrite))
                failure = CPortMap::describeOpenFailure(device, name, ctl.port.errorString());
        }
        if (!failure.isEmpty()) {
            logLine(QStringLiteral("open %1 failed: %2").arg(name, failure));
            // Within one search the same port and cause are told once, not once per pass.
            if (!m_running || !m_inSearch || !m_reportedInSearch.contains(failure)) {
                if (m_inSearch)
                    m_reportedInSearch.insert(failure);
                ErrorFrame::report(failure);
            }
            return false;
        }
    }
    // A pty or an adapter may refuse some line settings it has no use for; that is no failure.
    ctl.port.setFlowControl(QSerialPort::HardwareControl);
    ctl.port.setBaudRate(baud.toInt());
    ctl.port.setDataBits(QSerialPort::Data8);
    ctl.port.setParity(QSerialPort::NoParity);
    ctl.port.setStopBits(QSerialPort::OneStop);
    // Bytes left from before can be waiting right after opening.
    ctl.port.clear();
    ctl.port.readAll();
    logLine(QStringLiteral("open %1 at %2 baud").arg(name, baud));
    return true;
}

bool CSerialLink::CloseAllPorts()
{
    for (auto &ctl : m_controls) {
        if (ctl->port.isOpen())
            ctl->port.close();
    }
    return true;
}

bool CSerialLink::COMInit(int intPortNum, const QString &strBaudrate, int intMaxAnswTime_s)
{
    // Reopening the port would empty the running exchange's receive buffer.
    if (refuseWhileRunning())
        return false;
    m_answerTime = intMaxAnswTime_s;
    m_running = true;
    if (OpenPort(0, intPortNum, strBaudrate))
        return true;
    control(0).port.close();
    // The second attempt's failure would repeat the first message word for word.
    ErrorFrame::ScopedHandler quiet([](const QString &) {});
    return OpenPort(0, intPortNum, strBaudrate);
}

bool CSerialLink::BeginExchange(int intPortNum, const QString &strBaudrate)
{
    // Port 0 is "no meter found", not a port: nothing is opened and the user learns what to do.
    if (intPortNum < 1) {
        logLine(QStringLiteral("no exchange: no meter has been found"));
        ErrorFrame::report(TextTable::text(TextTable::NoMeterPort));
        return false;
    }
    if (!COMInit(intPortNum, strBaudrate, 4))
        return false;
    QString answer;
    if (COMSendAndReceive(probeCommand(), answer))
        return true;
    COMDeinit();
    return false;
}

bool CSerialLink::COMDeinit()
{
    if (m_running)
        logLine(QStringLiteral("exchange ended"));
    logFlush();
    m_running = false;
    emit stopRequested();
    return true;
}

bool CSerialLink::COMStop()
{
    if (m_running)
        logLine(QStringLiteral("stop requested"));
    m_running = false;
    emit stopRequested();
    return true;
}

bool CSerialLink::COMContinue()
{
    m_running = true;
    return true;
}

bool CSerialLink::COMChangeAnswerTime(int intMaxAnswTime_s)
{
    m_answerTime = intMaxAnswTime_s;
    return true;
}

bool CSerialLink::COMSendAndReceive(const QString &strSend, QString &strAnswer)
{
    if (refuseWhileRunning()) {
        strAnswer.clear();
        return false;
    }
    const BusyScope busy(m_busy);
    m_capReported = false;
    m_timedOutSeconds = 0;
    if (SendAndWait(strSend, strAnswer) &&
        strAnswer.right(CCommunication::kLenAnswerEnd) != CCommunication::answerError())
        return true;
    return SendAndWait(strSend, strAnswer);
}

bool CSerialLink::SendAndWait(const QString &command, QString &answer)
{
    answer.clear();
    Control &ctl = control(0);
    if (ctl.port.isOpen()) {
        ctl.port.clear();
        ctl.port.readAll();
        logLine(QStringLiteral("TX %1: %2").arg(m_portMap.displayName(ctl.portNum), escaped(command)));
        ctl.port.write(Cp1252::encode(command));
        ctl.port.flush();
    } else {
        logLine(QStringLiteral("TX %1: %2 not sent, the port is closed")
                    .arg(m_portMap.displayName(ctl.portNum), escaped(command)));
    }
    std::vector<QString> answers;
    WaitForAnswers({0}, answers, true);
    answer = answers[0];
    logFlush();
    return !answer.isEmpty();
}

void CSerialLink::WaitForAnswers(const std::vector<int> &indexes, std::vector<QString> &answers,
                                 bool reportProgress)
{
    const size_t count = indexes.size();
    answers.assign(count, QString());
    if (count == 0)
        return;

    struct Slot {
        Control *ctl;
        QString answer;
        QString tail;
        qint64 bytes = 0;
        qint64 lineEnds = 0;
        bool pending = true;
        bool ok = false;
    };
    std::vector<Slot> waits;
    waits.reserve(count);
    for (int index : indexes)
        waits.push_back(Slot{&control(index), {}, {}});

    QEventLoop loop;
    connect(this, &CSerialLink::stopRequested, &loop, &QEventLoop::quit);
    for (Slot &slot : waits) {
        connect(&slot.ctl->port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
        connect(&slot.ctl->port, &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
    }

    QElapsedTimer progressTimer;
    progressTimer.start();
    QElapsedTimer waited;
    waited.start();
    const bool log = logging();
    // What ended a slot's wait early, for the log line that closes it.
    auto ended = [this, &waited, log](const Slot &slot, const QString &why) {
        if (log)
            m_log->write(QStringLiteral("%1 %2 after %3 ms, %4 bytes")
                             .arg(why, m_portMap.displayName(slot.ctl->portNum))
                             .arg(waited.elapsed())
                             .arg(slot.bytes));
    };
    LinkClock &alarm = clock();
    const SecondsClock seconds(alarm);
    QByteArray chunk;
    size_t open = count;
    auto fail = [&open](Slot &slot) {
        slot.pending = false;
        slot.answer.clear();
        --open;
    };

    while (true) {
        // The running flag is looked at before anything is read: a stop ends the wait at once, even
        // when the end marker arrives in the same moment.
        if (!m_running) {
            for (Slot &slot : waits)
                if (slot.pending) {
                    ended(slot, QStringLiteral("stopped"));
                    fail(slot);
                }
            break;
        }
        for (Slot &slot : waits) {
            if (slot.pending && isEndMarker(slot.tail)) {
                slot.pending = false;
                slot.ok = true;
                --open;
            }
        }
        if (open == 0)
            break;

        bool anyMore = false;
        for (Slot &slot : waits) {
            if (!slot.pending)
                continue;
            Control &ctl = *slot.ctl;
            if (ctl.broken) {
                // The platform's text for a dead line is often a stale one; say what the user can check.
                ErrorFrame::report(
                    TextTable::text(TextTable::LinkLost).arg(m_portMap.displayName(ctl.portNum)));
                ctl.broken = false;
                ctl.port.close();
                ended(slot, QStringLiteral("error: link lost on"));
                fail(slot);
                continue;
            }
            if (!ctl.port.isOpen()) {
                fail(slot);
                continue;
            }
            chunk = ctl.port.readAll();
            if (!chunk.isEmpty()) {
                if (log && slot.bytes < kLogDetailBytes)
                    m_log->write(QStringLiteral("RX %1 +%2 ms: %3")
                                     .arg(m_portMap.displayName(ctl.portNum))
                                     .arg(waited.elapsed())
                                     .arg(CommLog::escape(
                                         chunk.constData(),
                                         std::min<qsizetype>(chunk.size(), kLogDetailBytes - slot.bytes))));
                Cp1252::appendDecoded(slot.answer, chunk.constData(), chunk.size());
                slot.bytes += chunk.size();
                for (const char *p = chunk.constData(), *end = p + chunk.size();
                     (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))) != nullptr; ++p)
                    ++slot.lineEnds;
                slot.tail = slot.answer.right(CCommunication::kLenAnswerEnd);
                if (slot.bytes > m_answerCap) {
                    if (!m_capReported)
                        ErrorFrame::report(TextTable::text(TextTable::AnswerTooLong).arg(m_answerCap));
                    m_capReported = true;
                    ended(slot, QStringLiteral("error: answer too long on"));
                    fail(slot);
                    continue;
                }
                anyMore = anyMore || isEndMarker(slot.tail);
            }
        }
        if (reportProgress && progressTimer.elapsed() >= 100) {
            progressTimer.restart();
            emit transferProgress(waits[0].bytes, waits[0].lineEnds);
        }
        if (seconds.elapsedSeconds() > m_answerTime) {
            if (std::any_of(waits.begin(), waits.end(), [](const Slot &slot) { return slot.pending; }))
                m_timedOutSeconds += seconds.elapsedSeconds();
            for (Slot &slot : waits)
                if (slot.pending) {
                    ended(slot, QStringLiteral("time-out (%1 s) on").arg(m_answerTime));
                    fail(slot);
                }
            break;
        }
        if (open == 0)
            break;
        if (anyMore) {
            QCoreApplication::processEvents();
            continue;
        }
        // Nothing to do until bytes arrive, the user stops, a port breaks or the time runs out.
        alarm.setAlarm(seconds.msUntilBeyond(m_answerTime), [&loop] { loop.quit(); });
        loop.exec();
    }
    alarm.cancelAlarm();
    if (reportProgress)
        emit transferProgress(waits[0].bytes, waits[0].lineEnds);
    for (size_t i = 0; i < count; ++i)
        answers[i] = waits[i].ok ? waits[i].answer : QString();
    if (!log)
        return;
    for (const Slot &slot : waits) {
        if (!slot.ok)
            continue;
        const QString port = m_portMap.displayName(slot.ctl->portNum);
        if (slot.bytes >= kLogDetailBytes) {
            m_log->write(QStringLiteral("RX %1: %2 bytes, %3 lines in %4 ms; first: %5")
                             .arg(port)
                             .arg(slot.bytes)
                             .arg(slot.lineEnds)
                             .arg(waited.elapsed())
                             .arg(escaped(firstLine(slot.answer))));
            m_log->write(QStringLiteral("RX %1: last: %2").arg(port, escaped(lastLine(slot.answer))));
        }
        m_log->write(QStringLiteral("answer %1 complete after %2 ms, %3 bytes")
                         .arg(port)
                         .arg(waited.elapsed())
                         .arg(slot.bytes));
    }
}
