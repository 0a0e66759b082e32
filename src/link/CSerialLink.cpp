#include "CSerialLink.h"

#include "AnswerFramer.h"
#include "CCommunication.h"
#include "CommLog.h"
#include "Cp1252.h"
#include "CrashPoints.h"
#include "EndingSignals.h"
#include "Protocol.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaMethod>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <optional>

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

// Marks the link busy for as long as it lives.
class BusyScope {
public:
    BusyScope(CSerialLink &link, bool &flag) : m_link(link), m_flag(flag)
    {
        m_flag = true;
        emit m_link.exchangeRunningChanged(true);
    }
    ~BusyScope()
    {
        m_flag = false;
        emit m_link.exchangeRunningChanged(false);
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    CSerialLink &m_link;
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

LinkResult CSerialLink::busyResult()
{
    return {LinkFailure::Busy, TextTable::text(TextTable::ExchangeRunning), {}};
}

bool CSerialLink::COMScanPorts(int &intPortNum, QString &strBaudrate)
{
    // The out-arguments may be the running exchange's port and baud rate: left as they are.
    if (m_busy) {
        m_last = busyResult();
        return false;
    }
    const BusyScope busy(*this, m_busy);
    m_told.clear();
    intPortNum = 0;
    strBaudrate.clear();
    if (!m_inSearch)
        m_reportedInSearch.clear();
    m_running = true;
    m_answerTime = 1;
    logLine(QStringLiteral("search: probing every port at each baud rate"));
    bool found = false;
    for (const QString &baud : baudRates()) {
        if (stopping() || found)
            break;
        QCoreApplication::processEvents();
        found = ScanPortsAtBaud(baud, intPortNum);
        if (found)
            strBaudrate = baud;
    }
    m_running = false;
    if (!found)
        intPortNum = 0;
    m_last = {found ? LinkFailure::None : LinkFailure::NoAnswer, {}, m_told};
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
    for (int n = CPortMap::kFirstPort; n <= CPortMap::kLastPort && !stopping(); ++n) {
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
    for (const QString &text : WaitForAnswers(indexes, answers, false).messages()) {
        if (!m_told.contains(text))
            tellInSearch(text);
    }
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

LinkResult CSerialLink::TryOpenPort(int index, int portNum, const QString &baud)
{
    Control &ctl = control(index);
    if (ctl.port.isOpen() && ctl.portNum != portNum)
        ctl.port.close();
    const QString device = m_portMap.device(portNum);
    const QString name = m_portMap.displayName(portNum);
    if (!ctl.port.isOpen()) {
        ctl.portNum = portNum;
        ctl.broken = false;
        LinkResult failure;
        if (device.isEmpty()) {
            failure = {LinkFailure::Vanished, TextTable::text(TextTable::PortVanished).arg(name)};
        } else {
            ctl.port.setPortName(device);
            if (!ctl.port.open(QIODevice::ReadWrite))
                failure = CPortMap::classifyOpenFailure(device, name, ctl.port.errorString());
        }
        if (!failure.ok()) {
            logLine(QStringLiteral("open %1 failed: %2").arg(name, failure.message));
            return failure;
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
    return {};
}

bool CSerialLink::OpenPort(int index, int portNum, const QString &baud)
{
    m_last = TryOpenPort(index, portNum, baud);
    if (m_last.ok())
        return true;
    // Within one search the same port and cause are told once, not once per pass.
    if (!m_running || !m_inSearch || !m_reportedInSearch.contains(m_last.message))
        tellInSearch(m_last.message);
    else
        m_last.message.clear();
    return false;
}

void CSerialLink::tellInSearch(const QString &text)
{
    if (m_inSearch)
        m_reportedInSearch.insert(text);
    m_told.append(text);
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
    if (m_busy) {
        m_last = busyResult();
        return false;
    }
    m_answerTime = intMaxAnswTime_s;
    m_running = true;
    m_last = TryOpenPort(0, intPortNum, strBaudrate);
    if (m_last.ok())
        return true;
    control(0).port.close();
    // The second attempt's failure would repeat the first message word for word: it is told once.
    m_last = m_last.then(TryOpenPort(0, intPortNum, strBaudrate));
    return m_last.ok();
}

bool CSerialLink::BeginExchange(int intPortNum, const QString &strBaudrate)
{
    // Port 0 is "no meter found", not a port: nothing is opened and the user learns what to do.
    if (intPortNum < 1) {
        logLine(QStringLiteral("no exchange: no meter has been found"));
        m_last = {LinkFailure::Vanished, TextTable::text(TextTable::NoMeterPort), {}};
        return false;
    }
    if (!COMInit(intPortNum, strBaudrate, 4))
        return false;
    const LinkResult opened = m_last;
    QString answer;
    const bool answered = COMSendAndReceive(probeCommand(), answer);
    m_last = opened.then(m_last);
    if (answered)
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

bool CSerialLink::stopping() const
{
    return !m_running || EndingSignals::stopRequested();
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
    if (m_busy) {
        strAnswer.clear();
        m_last = busyResult();
        return false;
    }
    const BusyScope busy(*this, m_busy);
    m_timedOutSeconds = 0;
    m_quietSinceMs = clock().msecsNow();
    m_silenceTold = 0;
    bool answered = SendAndWait(strSend, strAnswer);
    if (!answered || m_last.failure == LinkFailure::Rejected) {
        const LinkResult first = m_last;
        answered = SendAndWait(strSend, strAnswer);
        m_last = first.then(m_last);
    }
    if (std::exchange(m_silenceTold, 0) > 0)
        emit meterSilent(0);
    return answered;
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
    m_last = WaitForAnswers({0}, answers, true);
    answer = answers[0];
    logFlush();
    return !answer.isEmpty();
}

struct CSerialLink::Wait {
    Control *ctl;
    AnswerFramer framer;
    bool pending = true;
    bool ok = false;
    LinkFailure failure = LinkFailure::None;
    // What the user is told about this control's failure (a lost line, an answer past the cap).
    QString message{};
};

// The clocks of one wait: its start for the log, the answer time in whole seconds, and the pace of the
// progress signal.
struct CSerialLink::WaitTimes {
    explicit WaitTimes(const LinkClock &clock) : seconds(clock)
    {
        waited.start();
        progress.start();
    }
    QElapsedTimer waited;
    QElapsedTimer progress;
    SecondsClock seconds;
};

void CSerialLink::EndPending(std::vector<Wait> &waits, LinkFailure failure, const QString &why,
                             qint64 waitedMs)
{
    for (Wait &wait : waits) {
        if (!wait.pending)
            continue;
        wait.failure = failure;
        logLine(QStringLiteral("%1 %2 after %3 ms, %4 bytes")
                    .arg(why, m_portMap.displayName(wait.ctl->portNum))
                    .arg(waitedMs)
                    .arg(wait.framer.bytes()));
        wait.pending = false;
    }
}

void CSerialLink::FailWait(Wait &wait, LinkFailure failure, const QString &message, const QString &why,
                           qint64 waitedMs)
{
    wait.failure = failure;
    wait.message = message;
    logLine(QStringLiteral("error: %1 on %2 after %3 ms, %4 bytes")
                .arg(why, m_portMap.displayName(wait.ctl->portNum))
                .arg(waitedMs)
                .arg(wait.framer.bytes()));
    wait.pending = false;
}

bool CSerialLink::ReadAvailable(Wait &wait, qint64 waitedMs)
{
    Control &ctl = *wait.ctl;
    if (ctl.broken) {
        ctl.broken = false;
        ctl.port.close();
        // The platform's text for a dead line is often a stale one; say what the user can check.
        FailWait(wait, LinkFailure::LineLost,
                 TextTable::text(TextTable::LinkLost).arg(m_portMap.displayName(ctl.portNum)),
                 QStringLiteral("link lost"), waitedMs);
        return false;
    }
    if (!ctl.port.isOpen()) {
        wait.pending = false;
        wait.failure = LinkFailure::LineLost;
        return false;
    }
    const QByteArray chunk = ctl.port.readAll();
    if (chunk.isEmpty())
        return false;
    const qint64 before = wait.framer.bytes();
    if (logging() && before < kLogDetailBytes)
        m_log->write(QStringLiteral("RX %1 +%2 ms: %3")
                         .arg(m_portMap.displayName(ctl.portNum))
                         .arg(waitedMs)
                         .arg(CommLog::escape(chunk.constData(),
                                              std::min<qsizetype>(chunk.size(), kLogDetailBytes - before))));
    if (wait.framer.feed(chunk) != AnswerFramer::State::TooLong)
        return wait.framer.finished();
    FailWait(wait, LinkFailure::TooLong, TextTable::text(TextTable::AnswerTooLong).arg(m_answerCap),
             QStringLiteral("answer too long"), waitedMs);
    return false;
}

namespace {

template <typename Waits> bool anyPending(const Waits &waits)
{
    return std::any_of(waits.begin(), waits.end(), [](const auto &wait) { return wait.pending; });
}

} // namespace

CSerialLink::WaitState CSerialLink::WaitStep(std::vector<Wait> &waits, WaitTimes &times, bool reportProgress)
{
    // The running flag is looked at before a finished answer is taken: a stop ends the wait at once,
    // even when the end marker arrives in the same moment.
    if (stopping()) {
        EndPending(waits, LinkFailure::Stopped, QStringLiteral("stopped"), times.waited.elapsed());
        return WaitState::Ended;
    }
    for (Wait &wait : waits) {
        if (wait.pending && wait.framer.finished()) {
            wait.pending = false;
            wait.ok = true;
        }
    }
    if (!anyPending(waits))
        return WaitState::Ended;
    bool anyMore = false;
    const qint64 bytesBefore = waits[0].framer.bytes();
    for (Wait &wait : waits) {
        if (wait.pending)
            anyMore = ReadAvailable(wait, times.waited.elapsed()) || anyMore;
    }
    if (waits[0].framer.bytes() != bytesBefore)
        m_quietSinceMs = clock().msecsNow();
    if (reportProgress && times.progress.elapsed() >= 100) {
        times.progress.restart();
        emit transferProgress(waits[0].framer.bytes(), waits[0].framer.lineEnds());
    }
    if (times.seconds.elapsedSeconds() > m_answerTime) {
        if (anyPending(waits))
            m_timedOutSeconds += times.seconds.elapsedSeconds();
        EndPending(waits, LinkFailure::NoAnswer, QStringLiteral("time-out (%1 s) on").arg(m_answerTime),
                   times.waited.elapsed());
        return WaitState::Ended;
    }
    if (!anyPending(waits))
        return WaitState::Ended;
    return anyMore ? WaitState::Reading : WaitState::Idle;
}

LinkResult CSerialLink::WaitForAnswers(const std::vector<int> &indexes, std::vector<QString> &answers,
                                       bool reportProgress)
{
    answers.assign(indexes.size(), QString());
    if (indexes.empty())
        return {};
    std::vector<Wait> waits;
    waits.reserve(indexes.size());
    for (int index : indexes)
        waits.push_back(Wait{&control(index), AnswerFramer(m_answerCap)});

    QEventLoop loop;
    connect(this, &CSerialLink::stopRequested, &loop, &QEventLoop::quit);
    for (Wait &wait : waits) {
        connect(&wait.ctl->port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
        connect(&wait.ctl->port, &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
    }
    // A stop signal wakes the wait as a Cancel does (the notifier is made before the flag is first
    // looked at, so a signal in between still wakes it).
    std::optional<QSocketNotifier> signalled;
    if (const int stopFd = EndingSignals::stopDescriptor(); stopFd >= 0) {
        signalled.emplace(stopFd, QSocketNotifier::Read);
        connect(&*signalled, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    }
    LinkClock &alarm = clock();
    WaitTimes times(alarm);
    CrashPoints::reach("meter-wait");
    for (WaitState state = WaitStep(waits, times, reportProgress); state != WaitState::Ended;
         state = WaitStep(waits, times, reportProgress)) {
        if (state == WaitState::Reading) {
            QCoreApplication::processEvents();
            continue;
        }
        // Nothing to do until bytes arrive, the user stops, a port breaks, the time runs out or another
        // second of silence is to be told.
        qint64 sleepMs = times.seconds.msUntilBeyond(m_answerTime);
        if (const qint64 toTell = TellSilence(reportProgress); toTell >= 0)
            sleepMs = std::min(sleepMs, toTell);
        alarm.setAlarm(sleepMs, [&loop] { loop.quit(); });
        if (loop.exec() < 0) {
            // The application is quitting: its event loops return at once, so nothing could wake this
            // wait any more and it would spin until the answer time ran out.
            EndPending(waits, LinkFailure::Stopped, QStringLiteral("stopped (the program ends) on"),
                       times.waited.elapsed());
            break;
        }
    }
    alarm.cancelAlarm();
    if (reportProgress)
        emit transferProgress(waits[0].framer.bytes(), waits[0].framer.lineEnds());
    for (size_t i = 0; i < waits.size(); ++i)
        answers[i] = waits[i].ok ? waits[i].framer.answer() : QString();
    LogAnswers(waits, times.waited.elapsed());
    return WaitResult(waits);
}

qint64 CSerialLink::TellSilence(bool reportProgress)
{
    if (!reportProgress || !isSignalConnected(QMetaMethod::fromSignal(&CSerialLink::meterSilent)))
        return -1;
    const qint64 quietMs = std::max<qint64>(0, clock().msecsNow() - m_quietSinceMs);
    const qint64 seconds = quietMs / 1000;
    if (seconds != m_silenceTold && (seconds >= kSilenceTold || m_silenceTold > 0)) {
        m_silenceTold = seconds >= kSilenceTold ? seconds : 0;
        emit meterSilent(m_silenceTold);
    }
    return 1000 - quietMs % 1000;
}

LinkResult CSerialLink::WaitResult(const std::vector<Wait> &waits)
{
    const Wait &first = waits[0];
    LinkResult result{first.failure, first.message, {}};
    if (first.ok && first.framer.state() == AnswerFramer::State::Rejected)
        result.failure = LinkFailure::Rejected;
    // The other controls of a search fail without ending it; what they have to tell goes with it.
    for (size_t i = 1; i < waits.size(); ++i) {
        if (!waits[i].message.isEmpty())
            result.earlier.append(waits[i].message);
    }
    return result;
}

void CSerialLink::LogAnswers(const std::vector<Wait> &waits, qint64 waitedMs)
{
    if (!logging())
        return;
    for (const Wait &wait : waits) {
        if (!wait.ok)
            continue;
        const QString port = m_portMap.displayName(wait.ctl->portNum);
        const QString &answer = wait.framer.answer();
        if (wait.framer.bytes() >= kLogDetailBytes) {
            m_log->write(QStringLiteral("RX %1: %2 bytes, %3 lines in %4 ms; first: %5")
                             .arg(port)
                             .arg(wait.framer.bytes())
                             .arg(wait.framer.lineEnds())
                             .arg(waitedMs)
                             .arg(escaped(firstLine(answer))));
            m_log->write(QStringLiteral("RX %1: last: %2").arg(port, escaped(lastLine(answer))));
        }
        m_log->write(QStringLiteral("answer %1 complete after %2 ms, %3 bytes")
                         .arg(port)
                         .arg(waitedMs)
                         .arg(wait.framer.bytes()));
    }
}
