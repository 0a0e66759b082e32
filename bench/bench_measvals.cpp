// Time and peak memory of the measured-value work on the 14-column layout: walking all records,
// saving and opening measured-value files, exporting spreadsheets, each at two sizes ten times apart.
// Usage: bench_measvals [REPEATS]  (default 5; times are medians)
#include "BenchSupport.h"
#include "CExportExcel.h"
#include "CImportMVal.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "RecordWalk.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>

#include <malloc.h>
#include <time.h>

namespace {

// CPU time of this thread: on a machine shared with other work, wall time of a longer run includes
// the time slices others got, so sizes are compared by CPU time.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Result {
    double seconds = 0;    // median wall time
    double cpuSeconds = 0; // median CPU time
    double extraMiB = 0;
};

// Median wall time over the repeats and the peak memory above the resident set before one run.
Result measure(int repeats, const std::function<void()> &work)
{
    std::vector<double> times;
    std::vector<double> cpuTimes;
    double extra = 0;
    for (int i = 0; i < repeats; ++i) {
        Bench::resetPeak();
        const qint64 before = Bench::statusKiB("VmRSS:");
        const double cpuStart = threadCpuSeconds();
        const Bench::Stopwatch watch;
        work();
        times.push_back(watch.wallSeconds());
        cpuTimes.push_back(threadCpuSeconds() - cpuStart);
        extra = std::max(extra, double(Bench::statusKiB("VmHWM:") - before) / 1024.0);
    }
    return {Bench::median(times), Bench::median(cpuTimes), extra};
}

QString rawText(qint64 count)
{
    return Cp1252::decode("\r\n" + SimDatasets::generatedRecords(QStringLiteral("Lumora"), count) +
                          "\r\n!\r\n>");
}

void fail(const char *what)
{
    std::fprintf(stderr, "bench_measvals: %s failed\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    // Fixed thresholds: large buffers come from and go back to the system at once, so the peak
    // resident set shows what each operation needs (glibc would otherwise keep freed buffers).
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024);
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ErrorRecorder errors;
    QTemporaryDir dir;
    SharedObjects shared;
    const QDateTime imported(QDate(2026, 12, 7), QTime(9, 0, 0));
    const QString meter = QStringLiteral("Lumora");

    struct Sizes {
        qint64 small;
        qint64 large;
    };
    double walkTimes[2] = {}, saveTimes[2] = {}, openTimes[2] = {}, exportTimes[2] = {};
    const Sizes files{10000, 100000};
    const Sizes sheets{6000, 60000};

    for (int i = 0; i < 2; ++i) {
        const qint64 n = i == 0 ? files.small : files.large;
        const QByteArray tag = QByteArray::number(n / 1000) + "k";
        const QString raw = rawText(n);
        const QString path = dir.filePath(QStringLiteral("mv%1.csv").arg(n));

        qint64 records = 0;
        const Result walk = measure(repeats, [&] {
            RecordWalk w(raw, 14);
            qint64 chars = 0;
            while (w.next())
                chars += w.field(8).size();
            records = w.recordNumber();
            if (chars == 0)
                fail("walk");
        });
        if (records != n)
            fail("walk count");
        walkTimes[i] = walk.cpuSeconds;
        Bench::figure(("walk_" + tag + "_time").constData(), walk.seconds * 1000, "ms");
        Bench::figure(("walk_" + tag + "_cpu").constData(), walk.cpuSeconds * 1000, "ms");

        const Result save = measure(repeats, [&] {
            if (!shared.measVal->SaveFile(
                    {meter, QStringLiteral("4711"), QStringLiteral("Ann"), imported, raw}, path))
                fail("save");
        });
        const double fileMiB = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
        saveTimes[i] = save.cpuSeconds;
        Bench::figure(("file_" + tag + "_size").constData(), fileMiB, "MiB");
        Bench::figure(("save_" + tag + "_time").constData(), save.seconds * 1000, "ms");
        Bench::figure(("save_" + tag + "_cpu").constData(), save.cpuSeconds * 1000, "ms");
        Bench::figure(("save_" + tag + "_extra_memory").constData(), save.extraMiB / fileMiB, "x file", "< 3",
                      save.extraMiB < 3 * fileMiB);

        const Result open = measure(repeats, [&] {
            MeasuredValues back;
            if (shared.measVal->OpenFile(back, path) != CMeasVal::Opened ||
                back.datasets.size() != raw.size())
                fail("open");
        });
        openTimes[i] = open.cpuSeconds;
        if (i == 1)
            Bench::figure(("open_" + tag + "_time").constData(), open.seconds * 1000, "ms", "< 150",
                          open.seconds < 0.15);
        else
            Bench::figure(("open_" + tag + "_time").constData(), open.seconds * 1000, "ms");
        Bench::figure(("open_" + tag + "_cpu").constData(), open.cpuSeconds * 1000, "ms");
        Bench::figure(("open_" + tag + "_extra_memory").constData(), open.extraMiB / fileMiB, "x file", "< 3",
                      open.extraMiB < 3 * fileMiB);
    }

    for (int i = 0; i < 2; ++i) {
        const qint64 n = i == 0 ? sheets.small : sheets.large;
        const QByteArray tag = QByteArray::number(n / 1000) + "k";
        const QString raw = rawText(n);
        const QString path = dir.filePath(QStringLiteral("mv%1.xls").arg(n));
        const Result result = measure(repeats, [&] {
            if (!shared.exportExcel->SetMVals(
                    {meter, QStringLiteral("4711"), QStringLiteral("Ann"), imported, raw}, path))
                fail("export");
        });
        const double fileMiB = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
        exportTimes[i] = result.cpuSeconds;
        Bench::figure(("export_" + tag + "_size").constData(), fileMiB, "MiB");
        if (i == 1)
            Bench::figure(("export_" + tag + "_time").constData(), result.seconds * 1000, "ms", "< 300",
                          result.seconds < 0.3);
        else
            Bench::figure(("export_" + tag + "_time").constData(), result.seconds * 1000, "ms");
        Bench::figure(("export_" + tag + "_cpu").constData(), result.cpuSeconds * 1000, "ms");
        Bench::figure(("export_" + tag + "_extra_memory").constData(), result.extraMiB / fileMiB, "x file",
                      "< 3", result.extraMiB < 3 * fileMiB);
    }

    // Ten times the data may cost at most twelve times the (CPU) time.
    const struct {
        const char *name;
        double *times;
    } ratios[] = {{"walk_10x_ratio", walkTimes},
                  {"save_10x_ratio", saveTimes},
                  {"open_10x_ratio", openTimes},
                  {"export_10x_ratio", exportTimes}};
    for (const auto &r : ratios) {
        const double ratio = r.times[0] > 0 ? r.times[1] / r.times[0] : 0;
        Bench::figure(r.name, ratio, "x", "<= 12", ratio <= 12);
    }
    Bench::figure("peak_memory", Bench::peakMemoryMiB(), "MiB");
    if (!errors.reports.isEmpty())
        Bench::note(QStringLiteral("error reports: ") + errors.reports.join(QStringLiteral(" | ")));
    return 0;
}
