#pragma once
// A simulated meter on a pseudo-terminal: answers as a meter of the chosen model, firmware, serial
// number and variant would, only at its own baud rate, and injects the faults a real line shows.
// Commands are served by handlers keyed by their code ("U.595"); further command sets (datasets,
// programs, calibration records) register their own handlers.
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <deque>
#include <functional>

class QSocketNotifier;
class QTimer;

struct MeterIdentity {
    QString model = QStringLiteral("Lumora");
    QString firmware = QStringLiteral("2.00");
    QString serial = QStringLiteral("000001");
    QString variant; // the "U.592" payload; empty answers "000000"
    int baud = 4800;
};

struct SimFaults {
    bool silent = false;         // answers nothing at all
    QStringList silentCommands;  // command codes left unanswered
    QStringList rejectCommands;  // command codes answered with the rejected end marker
    int rejectCount = -1;        // how often they are rejected before being served (-1: always)
    int delayMs = 0;             // pause before every answer
    QList<int> splitAt;          // byte offsets at which every answer is cut into pieces
    int splitPauseMs = 30;       // pause between the pieces
    QByteArray garbage;          // bytes sent ahead of every answer
    QStringList endlessCommands; // command codes answered by a stream that never ends
    QStringList hangupCommands;  // command codes on which the line is hung up
    bool pace = false;           // send at the line rate: baud / 10 bytes per second
    QStringList breakCommands;   // command codes whose accepted payload gets a CR LF in its middle
    QStringList joinedCommands;  // command codes answered late: the first is left unanswered, the
                                 // repetition gets the held answer and its own in one piece
};

struct SimReply {
    enum Kind { Accept, Reject, Silent, Raw };
    Kind kind = Accept;
    QByteArray bytes; // the payload (Accept) or the whole answer (Raw)

    static SimReply accept(const QByteArray &payload) { return {Accept, payload}; }
    static SimReply reject() { return {Reject, {}}; }
    static SimReply silent() { return {Silent, {}}; }
    static SimReply raw(const QByteArray &answer) { return {Raw, answer}; }
};

class MeterSim : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<SimReply(const QString &line)>;

    explicit MeterSim(QObject *parent = nullptr);
    ~MeterSim() override;

    MeterIdentity &identity() { return m_identity; }
    SimFaults &faults() { return m_faults; }

    // Creates the pty and links its device at linkPath (replacing a stale link).
    bool open(const QString &linkPath, QString *error = nullptr);
    // Closes the pty and removes the link.
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString linkPath() const { return m_linkPath; }
    QString devicePath() const { return m_devicePath; }

    // The line that cuts the meter off, as an unplugged cable would.
    void hangUp();

    void setHandler(const QString &code, Handler handler);

    // Every command line received (without CR LF), answered or not.
    QStringList commandLog() const { return m_log; }
    void clearLog() { m_log.clear(); }
    // The baud rate the program set on the line (0 if unknown).
    int lineBaud() const;
    // Bytes sent to the program so far.
    qint64 bytesSent() const { return m_bytesSent; }

    // The framing of an accepted answer around a payload.
    static QByteArray acceptedAnswer(const QByteArray &payload);
    static QByteArray rejectedAnswer();

signals:
    void commandReceived(const QString &line);
    void answerSent(const QString &line);

private:
    struct Segment {
        QByteArray data;
        int delayMs = 0;
    };

    void onReadable();
    void onWritable();
    void handleLine(const QString &line);
    void queueAnswer(const QByteArray &answer);
    void scheduleNext();
    void releaseCurrent();
    void flushReady();
    void stopOutput();
    void closeFds();

    MeterIdentity m_identity;
    SimFaults m_faults;
    QHash<QString, Handler> m_handlers;
    QHash<QString, int> m_rejected;
    QHash<QString, QByteArray> m_held; // late answers of joinedCommands
    QStringList m_log;

    int m_master = -1;
    int m_slave = -1;
    QString m_linkPath;
    QString m_devicePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_timer = nullptr;
    QByteArray m_input;

    std::deque<Segment> m_segments; // waiting for their delay
    QByteArray m_current;           // the segment being released (paced)
    qint64 m_currentReleased = 0;
    QElapsedTimer m_currentClock;
    QByteArray m_ready; // released, not yet accepted by the pty
    bool m_endless = false;
    qint64 m_bytesSent = 0;
};
