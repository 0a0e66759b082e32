#pragma once
// Shared pieces of the tests: recorded error reports, simulated meters on real ptys, a hand-moved clock.
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "MeterSim.h"
#include "SharedObjects.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

// A program a test reads its results with (pdftotext, LibreOffice, faketime) is missing: the test skips
// on a developer's machine, but fails in CI (MERAVO_CI, set by .ci/run), where scripts/setup.sh has
// installed it and a skip would hide that the check never ran.
#define MERAVO_READER_MISSING(why)                                                                           \
    do {                                                                                                     \
        if (qEnvironmentVariableIsSet("MERAVO_CI"))                                                          \
            QFAIL(why);                                                                                      \
        QSKIP(why);                                                                                          \
    } while (0)

// Records every error report while it lives. Outside a recorder's life an error report fails the
// running test with its text.
class ErrorRecorder {
public:
    ErrorRecorder();
    QStringList reports;

private:
    ErrorFrame::ScopedHandler m_handler;
};

// A set of serial ports 1..n in a private temporary folder, some of them with a simulated meter.
// MERAVO_PORTS points at them while the bench lives; a port without a meter has no device.
class SimBench {
public:
    explicit SimBench(int portCount);
    ~SimBench();

    // Puts a simulated meter on port n and returns it (owned by the bench).
    MeterSim &addMeter(int portNum, const MeterIdentity &identity = MeterIdentity());
    // Puts a line that never answers on port n (a port with nothing attached).
    MeterSim &addSilentPort(int portNum);
    MeterSim *meter(int portNum);
    QString devicePath(int portNum) const;
    QString dir() const { return m_dir.path(); }
    // Re-applies MERAVO_PORTS (after another bench changed it).
    void apply() const;

private:
    QTemporaryDir m_dir;
    int m_count;
    std::vector<std::unique_ptr<MeterSim>> m_meters; // index n-1 is port n
    QByteArray m_previous;
    bool m_hadPrevious;
};

// A whole file's bytes ("<unreadable>" when it cannot be read), and a file written with exactly these
// bytes (a failure fails the calling test).
QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);

// Limits the size of the files this process writes while it lives, so writes fail part-way as on a
// full disk (root ignores permissions, not this limit).
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    qint64 m_previousLimit = -1;
    void (*m_handler)(int) = nullptr;
};

// Spins the event loop for ms milliseconds (the simulators answer from it).
void spin(int ms);

// A link clock that stands still until the test moves it, so a time-out is proved without waiting.
class FakeLinkClock : public LinkClock {
public:
    explicit FakeLinkClock(int msecOfSecond = 0);
    qint64 msecsNow() const override { return m_now; }
    int msecOfSecond() const override { return int((m_now + m_phase) % 1000); }
    void setAlarm(qint64 ms, std::function<void()> wake) override;
    void cancelAlarm() override { m_wake = nullptr; }
    // Moves the time on; a wait whose alarm falls due wakes.
    void advance(qint64 ms);
    // Wakes a waiting link now, due or not (as arriving bytes would).
    void nudge();
    // From now on, a wait on which nothing happens for ms real milliseconds jumps to its alarm: for a
    // line where nothing will come (a silent port, a wrong baud rate), never for an answer on its way.
    void skipIdleAfter(int ms) { m_idle.setInterval(ms); }
    // Milliseconds until the pending alarm (-1: none).
    qint64 untilAlarm() const { return m_wake ? m_due - m_now : -1; }
    // When each alarm was set to fall due.
    QList<qint64> alarms;

private:
    qint64 m_now = 0;
    int m_phase;
    qint64 m_due = 0;
    std::function<void()> m_wake;
    QTimer m_idle;
};

// A meter's identity; an empty firmware or serial keeps the simulator's.
MeterIdentity meterIdentity(const QString &model, const QString &firmware = QString(),
                            const QString &serial = QString());

// One simulated meter on port 1 and the core objects as the program wires them.
struct SimRig {
    explicit SimRig(const MeterIdentity &identity);
    // Recognises the meter, then forgets the commands that took.
    bool connect();
    // The link's time-outs from now on follow the hand-moved clock.
    FakeLinkClock &useFakeClock();

    SimBench bench{1};
    MeterSim *sim;
    FakeLinkClock clock;
    CSerialLink link;
    SharedObjects shared{&link};
};

// A program's exit and output.
struct ProcessRun {
    int exitCode = -1; // -1: it crashed, or did not end within two minutes
    QString out;
    QString err;
};
// Runs a program to its end while this process's event loop serves the simulated meters.
ProcessRun runServed(const QString &program, const QStringList &arguments);
