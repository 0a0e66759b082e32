// CPU cost of waiting for a meter that never answers: the wait must sleep in the event loop, not spin.
// Usage: bench_silent_wait [ANSWER_TIME_S]  (default 5: the unanswered command is sent twice, so the
// exchange waits two answer times, about 10 to 12 seconds)
#include "BenchSupport.h"
#include "CSerialLink.h"
#include "TestSupport.h"

#include <QCoreApplication>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int answerTime = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    ErrorRecorder errors;
    SimBench bench(1);
    bench.addSilentPort(1);
    CSerialLink link;
    if (!link.COMInit(1, QStringLiteral("4800"), answerTime)) {
        std::fprintf(stderr, "cannot open the simulated port: %s\n", qPrintable(errors.reports.join(u'\n')));
        return 1;
    }
    Bench::note(QStringLiteral("one COMSendAndReceive on a silent port, answer time %1 s (two waits)")
                    .arg(answerTime));

    QString answer;
    const Bench::Stopwatch watch;
    const bool answered = link.COMSendAndReceive(QStringLiteral("U.400\r\n"), answer);
    const double wall = watch.wallSeconds();
    const double cpu = watch.cpuSeconds();
    link.COMDeinit();

    if (answered) {
        std::fprintf(stderr, "the silent port answered\n");
        return 1;
    }
    const double low = 2.0 * answerTime;
    const double high = 2.0 * (answerTime + 1);
    const QByteArray range = QStringLiteral("%1 to %2 s").arg(low).arg(high).toLatin1();
    Bench::figure("silent_wait_wall", wall, "s", range.constData(),
                  wall >= low - 0.05 && wall <= high + 0.25);
    Bench::figure("silent_wait_cpu", cpu * 1000.0, "ms");
    Bench::figure("silent_wait_cpu_share", 100.0 * cpu / wall, "%", "below 0.5 %", 100.0 * cpu / wall < 0.5);
    Bench::figure("peak_memory", Bench::peakMemoryMiB(), "MiB");
    Bench::figure("error_reports", double(errors.reports.size()), "", "0", errors.reports.isEmpty());
    return 0;
}
