// Wall time of the meter search: a full failing scan over silent ports, and finding a meter at once.
// Usage: bench_scan [REPEATS]  (repeats of the finding scans, default 5)
#include "BenchSupport.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CSerialLink.h"
#include "SharedObjects.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <functional>

namespace {

// Finds the meter repeatedly and prints best, median and worst wall time.
// Without a target only the figures are printed.
void timeFinding(const char *name, int repeats, const char *target, double limit,
                 const std::function<bool()> &find)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const Bench::Stopwatch watch;
        const bool found = find();
        times.push_back(watch.wallSeconds());
        if (!found) {
            std::fprintf(stderr, "%s: the meter was not found\n", name);
            std::exit(1);
        }
    }
    const double worst = *std::max_element(times.begin(), times.end());
    const QByteArray base(name);
    Bench::figure((base + "_best").constData(), *std::min_element(times.begin(), times.end()), "s");
    Bench::figure((base + "_median").constData(), Bench::median(times), "s");
    if (target)
        Bench::figure((base + "_worst").constData(), worst, "s", target, worst < limit);
    else
        Bench::figure((base + "_worst").constData(), worst, "s");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ErrorRecorder errors;

    {
        Bench::note(QStringLiteral("failing scan: 4 silent ports, 2 passes x 5 baud rates"));
        SimBench bench(4);
        for (int n = 1; n <= 4; ++n)
            bench.addSilentPort(n);
        CSerialLink link;
        SharedObjects shared(&link);
        // A pass starts when the first port of the pass is shown.
        QElapsedTimer clock;
        std::vector<qint64> passStarts;
        QObject::connect(&link, &CSerialLink::interfaceTextChanged, [&](const QString &text) {
            if (text == QStringLiteral("COM 1 "))
                passStarts.push_back(clock.nsecsElapsed());
        });
        clock.start();
        const Bench::Stopwatch watch;
        const bool found = shared.communication->Scan();
        const double wall = watch.wallSeconds();
        const double cpuShare = watch.cpuPercent();
        const qint64 end = clock.nsecsElapsed();
        if (found) {
            std::fprintf(stderr, "a silent port answered the scan\n");
            return 1;
        }
        double longest = 0;
        for (size_t i = 0; i < passStarts.size(); ++i) {
            const qint64 stop = i + 1 < passStarts.size() ? passStarts[i + 1] : end;
            longest = std::max(longest, double(stop - passStarts[i]) / 1e9);
        }
        Bench::figure("failing_scan_wall", wall, "s", "about 20 s, at most 2 answer times (2 s) per pass",
                      wall <= 20.5 && longest <= 2.05);
        Bench::figure("failing_scan_passes", double(passStarts.size()), "", "10", passStarts.size() == 10);
        Bench::figure("failing_scan_pass_mean", passStarts.empty() ? 0.0 : wall / double(passStarts.size()),
                      "s");
        Bench::figure("failing_scan_pass_longest", longest, "s", "at most 2 s", longest <= 2.05);
        Bench::figure("failing_scan_cpu_share", cpuShare, "%");
        Bench::figure("failing_scan_result_port", shared.communication->COMPort(), "", "0",
                      shared.communication->COMPort() == 0);
    }

    {
        Bench::note(
            QStringLiteral(
                "finding a meter at 4800 baud on port 1 (the only port), paced at the line rate, %1 runs")
                .arg(repeats));
        SimBench bench(1);
        // The meter sends at the line rate, as a real one does.
        bench.addMeter(1).faults().pace = true;
        CSerialLink link;
        SharedObjects shared(&link);
        timeFinding("find_meter_4800_port1", repeats, "under 1.5 s", 1.5, [&] {
            return shared.communication->Scan() && shared.communication->COMPort() == 1 &&
                   shared.communication->Baudrate() == QStringLiteral("4800");
        });

        Bench::note(QStringLiteral("recognising that meter (scan and identification), %1 runs").arg(repeats));
        timeFinding("recognise_meter_4800_port1", repeats, nullptr, 0, [&] {
            QString name;
            QString serial;
            return shared.device->Recognise(name, serial, false) == CDevice::Recognised;
        });
    }

    {
        Bench::note(QStringLiteral("finding a meter at 4800 baud on port 1 with silent ports 2 to 4, %1 runs")
                        .arg(repeats));
        SimBench bench(4);
        bench.addMeter(1).faults().pace = true;
        for (int n = 2; n <= 4; ++n)
            bench.addSilentPort(n);
        CSerialLink link;
        SharedObjects shared(&link);
        // The pass awaits every probed port, so the silent ones cost one answer time (1 to 2 s).
        timeFinding("find_meter_4800_port1_of_4", repeats, "at most one answer time, 2 s", 2.05,
                    [&] { return shared.communication->Scan() && shared.communication->COMPort() == 1; });
    }

    Bench::figure("peak_memory", Bench::peakMemoryMiB(), "MiB");
    Bench::figure("error_reports", double(errors.reports.size()), "", "0", errors.reports.isEmpty());
    for (const QString &report : errors.reports)
        Bench::note(QStringLiteral("error report: ") + report);
    return 0;
}
