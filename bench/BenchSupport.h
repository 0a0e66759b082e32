#pragma once
// Small helpers of the benchmarks: process CPU time, wall time and figures printed as "name: value unit".
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace Bench {

// User plus system CPU time of the whole process (the simulators run in it too).
inline double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Peak resident set of the process in MiB.
inline double peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// A figure of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
inline qint64 statusKiB(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    return 0;
}

// Lets the peak resident set ("VmHWM:") start again from the current one.
inline void resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

// Wall and CPU time of a stretch of work.
class Stopwatch {
public:
    Stopwatch() : m_cpuStart(processCpuSeconds()) { m_wall.start(); }
    double wallSeconds() const { return double(m_wall.nsecsElapsed()) / 1e9; }
    double cpuSeconds() const { return processCpuSeconds() - m_cpuStart; }
    // CPU time as a share of wall time, in percent.
    double cpuPercent() const
    {
        const double wall = wallSeconds();
        return wall > 0 ? 100.0 * cpuSeconds() / wall : 0.0;
    }

private:
    QElapsedTimer m_wall;
    double m_cpuStart;
};

inline void figure(const char *name, double value, const char *unit)
{
    std::printf("%-36s %9.3f %s\n", (QByteArray(name) + ':').constData(), value, unit);
    std::fflush(stdout);
}

// A figure with its target beside it and whether this run met it.
inline void figure(const char *name, double value, const char *unit, const char *target, bool met)
{
    std::printf("%-36s %9.3f %-3s  (target: %s; %s)\n", (QByteArray(name) + ':').constData(), value, unit,
                target, met ? "met" : "MISSED");
    std::fflush(stdout);
}

inline void note(const QString &text)
{
    std::printf("# %s\n", qPrintable(text));
    std::fflush(stdout);
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

} // namespace Bench
