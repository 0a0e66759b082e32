#pragma once
// Shared pieces of the tests: recorded error reports and simulated meters on real ptys.
#include "ErrorFrame.h"
#include "MeterSim.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// Records every error report while it lives.
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
