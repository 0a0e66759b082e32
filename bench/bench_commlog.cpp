// What the communication log costs: an import of 2,000 datasets through the simulator with and without
// the log (alternating runs, medians), and the CPU share of a silent wait with the log on.
// Usage: bench_commlog [RUNS] [ANSWER_TIME_S]  (defaults 5 and 2)
#include "BenchSupport.h"
#include "CImportMVal.h"
#include "CommLog.h"
#include "CSerialLink.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

constexpr int kDatasets = 2000;

// Seconds of one import; negative when it failed.
double importOnce(CommLog *log)
{
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meterIdentity(QStringLiteral("Klaro 7 IR")));
    SimDatasets datasets(sim);
    datasets.generate(kDatasets);
    CSerialLink link;
    link.setLog(log);
    SharedObjects shared(&link);
    QString raw;
    const Bench::Stopwatch watch;
    const bool ok = shared.importMVal->GetMVals(raw);
    const double wall = watch.wallSeconds();
    return ok && raw.toLatin1() == datasets.answer() ? wall : -1.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int answerTime = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    ErrorRecorder errors;
    QTemporaryDir folder;
    CommLog log;
    if (!log.open(folder.path())) {
        std::fprintf(stderr, "cannot open the log in %s\n", qPrintable(folder.path()));
        return 1;
    }

    Bench::note(QStringLiteral("import of %1 datasets, %2 runs each, alternating").arg(kDatasets).arg(runs));
    std::vector<double> without, with;
    for (int r = 0; r < runs; ++r) {
        without.push_back(importOnce(nullptr));
        with.push_back(importOnce(&log));
    }
    if (*std::min_element(without.begin(), without.end()) < 0 ||
        *std::min_element(with.begin(), with.end()) < 0) {
        std::fprintf(stderr, "an import failed: %s\n", qPrintable(errors.reports.join(u'\n')));
        return 1;
    }
    const double plain = Bench::median(without);
    const double logged = Bench::median(with);
    const auto spread = [](const std::vector<double> &v) {
        return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
    };
    const double noise = std::max(spread(without), spread(with));
    Bench::figure("import_without_log", plain * 1000.0, "ms");
    Bench::figure("import_with_log", logged * 1000.0, "ms");
    const QByteArray target =
        QStringLiteral("within the run-to-run spread, %1 ms").arg(noise * 1000.0, 0, 'f', 1).toLatin1();
    Bench::figure("import_log_difference", (logged - plain) * 1000.0, "ms", target.constData(),
                  std::abs(logged - plain) <= noise);
    log.flush();
    qint64 logBytes = 0;
    for (const QString &file : log.runFiles())
        logBytes += QFileInfo(file).size();
    Bench::figure("log_bytes_all_imports", double(logBytes), "B");

    SimBench bench(1);
    bench.addSilentPort(1);
    CSerialLink link;
    link.setLog(&log);
    if (!link.COMInit(1, QStringLiteral("4800"), answerTime)) {
        std::fprintf(stderr, "cannot open the simulated port: %s\n", qPrintable(errors.reports.join(u'\n')));
        return 1;
    }
    Bench::note(QStringLiteral("silent wait with the log on, answer time %1 s (two waits)").arg(answerTime));
    QString answer;
    const Bench::Stopwatch watch;
    link.COMSendAndReceive(QStringLiteral("U.400\r\n"), answer);
    const double share = watch.cpuPercent();
    link.COMDeinit();
    Bench::figure("silent_wait_cpu_share_with_log", share, "%", "below 0.5 %", share < 0.5);
    Bench::figure("error_reports", double(errors.reports.size()), "", "0", errors.reports.isEmpty());
    return 0;
}
