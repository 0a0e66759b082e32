#pragma once
// The serial controls and the command/answer exchange with the meter. Waiting never spins: a local
// event loop wakes on received bytes, on a stop and on the time-out, so windows stay responsive and
// a Cancel in the wait dialog reaches COMStop.
#include "CPortMap.h"
#include "LinkResult.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QSerialPort;
class CommLog;

// What the answer-time rule reads, and the alarm that wakes a wait when the time is up. The link's own
// clock is the monotonic one with a timer; tests put in a clock they move by hand, so a time-out is
// proved without waiting it out.
class LinkClock {
public:
    virtual ~LinkClock() = default;
    static std::unique_ptr<LinkClock> createSystem();
    // Milliseconds on a monotonic clock.
    virtual qint64 msecsNow() const = 0;
    // The milliseconds into the current second of the time of day (where its seconds reading turns).
    virtual int msecOfSecond() const = 0;
    // Calls wake once, from the event loop, ms milliseconds from now; replaces an alarm set before.
    virtual void setAlarm(qint64 ms, std::function<void()> wake) = 0;
    virtual void cancelAlarm() = 0;
};

class CSerialLink : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultAnswerCap = 64 * 1024 * 1024;
    // Seconds without a byte from which meterSilent tells them.
    static constexpr int kSilenceTold = 2;

    explicit CSerialLink(QObject *parent = nullptr);
    ~CSerialLink() override;

    bool COMScanPorts(int &intPortNum, QString &strBaudrate);
    bool COMInit(int intPortNum, const QString &strBaudrate, int intMaxAnswTime_s);
    bool COMDeinit();
    bool COMStop();
    bool COMContinue();
    bool COMChangeAnswerTime(int intMaxAnswTime_s);
    bool COMSendAndReceive(const QString &strSend, QString &strAnswer);

    // The opening of every exchange with the meter: COMInit with an answer time of 4 seconds, then
    // "U.400" (its answer is not used). When the meter does not answer the exchange is ended again.
    bool BeginExchange(int intPortNum, const QString &strBaudrate);

    // Closes every serial control (a scan pass starts so; the program closes them when it ends).
    bool CloseAllPorts();

    // A search (both scan passes) reports each unusable port once, not once per pass.
    void beginSearch();
    void endSearch();

    bool running() const { return m_running; }
    // True while a scan or a command exchange waits on the line. The wait lets window events run, so
    // a second command could start inside it: the link refuses it (a Busy result) instead of
    // interleaving.
    bool exchangeRunning() const { return m_busy; }
    // The refusal of a command while an exchange runs, as the link gives it.
    static LinkResult busyResult();
    int answerTime() const { return m_answerTime; }
    // How the last COMInit, BeginExchange, COMSendAndReceive or COMScanPorts ended, with what the user
    // is to be told about it: the link itself tells nobody.
    const LinkResult &lastResult() const { return m_last; }
    // The seconds the last COMSendAndReceive waited in vain before its answer time ran out (both
    // tries); 0 when no answer timed out.
    qint64 timedOutSeconds() const { return m_timedOutSeconds; }
    int controlCount() const { return int(m_controls.size()); }
    bool isControlOpen(int index) const;
    int controlPort(int index) const;

    // An answer longer than this ends the exchange as failed (a device that never stops sending).
    void setAnswerCap(qint64 bytes) { m_answerCap = bytes; }
    qint64 answerCap() const { return m_answerCap; }

    CPortMap &portMap() { return m_portMap; }
    const CPortMap &portMap() const { return m_portMap; }

    // Replaces the clock of the time-outs (not owned; nullptr puts the link's own one back).
    void setClock(LinkClock *clock) { m_clock = clock; }

    // The communication log every exchange goes to (not owned; nullptr logs nothing).
    void setLog(CommLog *log) { m_log = log; }
    CommLog *log() const { return m_log; }

signals:
    // Status-bar texts of the scan: "COM 1 3 " and "9600 Baud".
    void interfaceTextChanged(const QString &text);
    void baudTextChanged(const QString &text);
    // While an answer arrives on the exchange control: bytes so far and line ends (datasets) so far.
    void transferProgress(qint64 bytes, qint64 lineEnds);
    // While an answer is awaited: how many whole seconds the meter has sent nothing (from
    // kSilenceTold on, once a second; through the repetition), and 0 when bytes came again or the wait
    // ended after such a report, so a person sees a stalled meter and can stop it knowingly. The link
    // wakes for it only while something listens.
    void meterSilent(qint64 seconds);
    // Wakes every wait when the running flag is cleared.
    void stopRequested();
    // When exchangeRunning() turns on and off: what must not run inside an exchange's wait (it lets
    // window events run) can hold off until it ends, without each command remembering to.
    void exchangeRunningChanged(bool running);

private:
    struct Control;
    struct Wait;
    struct WaitTimes;
    enum class WaitState { Ended, Reading, Idle };

    bool ScanPortsAtBaud(const QString &baud, int &portNum);
    // Opens (or keeps) the port on a control and sets its line; OpenPort, for a scan, also keeps the
    // failure's words to tell (once per search).
    LinkResult TryOpenPort(int index, int portNum, const QString &baud);
    bool OpenPort(int index, int portNum, const QString &baud);
    void tellInSearch(const QString &text);
    bool SendAndWait(const QString &command, QString &answer);
    // Waits on several controls at once with one start time; answers[i] is empty where none came. The
    // result is that of the first control's wait.
    LinkResult WaitForAnswers(const std::vector<int> &indexes, std::vector<QString> &answers,
                              bool reportProgress);
    // One look at the waits: ended (all answered, stopped or timed out), bytes were read (look again at
    // once), or idle (sleep until something happens).
    WaitState WaitStep(std::vector<Wait> &waits, WaitTimes &times, bool reportProgress);
    // Moves what the line holds into the wait's framer; true when that ended the answer.
    bool ReadAvailable(Wait &wait, qint64 waitedMs);
    void FailWait(Wait &wait, LinkFailure failure, const QString &message, const QString &why,
                  qint64 waitedMs);
    // Ends the waits still open as failed, with the reason in the log.
    void EndPending(std::vector<Wait> &waits, LinkFailure failure, const QString &why, qint64 waitedMs);
    static LinkResult WaitResult(const std::vector<Wait> &waits);
    void LogAnswers(const std::vector<Wait> &waits, qint64 waitedMs);
    // Tells the silence of the first control when it reached another whole second; the milliseconds
    // until the next one (-1: nobody listens).
    qint64 TellSilence(bool reportProgress);
    // A stop asked for by the user: COMStop, or a stop signal while the program catches them.
    bool stopping() const;
    Control &control(int index);

    std::vector<std::unique_ptr<Control>> m_controls;
    CPortMap m_portMap;
    int m_answerTime = 4;
    qint64 m_timedOutSeconds = 0;
    // On the link clock: the last bytes from the meter, or the start of the exchange.
    qint64 m_quietSinceMs = 0;
    qint64 m_silenceTold = 0;
    LinkResult m_last;
    bool m_running = false;
    bool m_busy = false;
    // What a scan has to tell (ports it could not use, lines lost on the way), each text once a search.
    QStringList m_told;
    qint64 m_answerCap = kDefaultAnswerCap;
    QSet<QString> m_reportedInSearch;
    bool m_inSearch = false;
    std::unique_ptr<LinkClock> m_systemClock = LinkClock::createSystem();
    LinkClock *m_clock = nullptr;
    CommLog *m_log = nullptr;
    bool logging() const;
    void logLine(const QString &text);
    void logFlush();
    LinkClock &clock() { return m_clock ? *m_clock : *m_systemClock; }
};
