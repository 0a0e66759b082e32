// The chart of a document's measured values with many datasets: building the series, opening the chart
// beside the table until it is painted, redrawing while panning and zooming, and the memory it takes.
// Usage: bench_chart [DATASETS]  (default 100000)
#include "BenchSupport.h"
#include "ChartSeries.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "ValueChart.h"

#include <QApplication>
#include <QChartView>
#include <QDateTime>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;

    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(1400, 900);
    main.show();
    QApplication::processEvents();
    std::printf("datasets: %lld\n", count);

    // Building the series alone, for the station's three programs and for the simulator's data, which
    // changes the program with every dataset (900 series).
    struct Kind {
        const char *name;
        QByteArray records;
    };
    const Kind kinds[] = {
        {"three programs", SimDatasets::stationRecords(count)},
        {"simulator, 900 programs", SimDatasets::generatedRecords(QStringLiteral("Lumora"), count)}};
    for (const Kind &kind : kinds) {
        const QString raw = Cp1252::decode("\r\n" + kind.records + "\r\n!\r\n>");
        std::vector<double> runs;
        qsizetype series = 0;
        for (int i = 0; i < 5; ++i) {
            const Bench::Stopwatch watch;
            const ChartSeries built = ChartSeries::build(raw, 14, 1);
            runs.push_back(watch.wallSeconds() * 1000.0);
            series = built.series().size();
        }
        Bench::note(QStringLiteral("%1: %2 series").arg(QString::fromLatin1(kind.name)).arg(series));
        Bench::figure((QByteArray("series built, ") + kind.name).constData(), Bench::median(runs), "ms");
    }

    for (const Kind &kind : kinds) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("datasets.csv"));
        const QString raw = Cp1252::decode("\r\n" + kind.records + "\r\n!\r\n>");
        if (!main.shared().measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("000001"),
                                              QStringLiteral("bench"), QDateTime::currentDateTime(), raw},
                                             path)) {
            std::fprintf(stderr, "bench_chart: cannot write the file\n");
            return 1;
        }
        frmDocument *doc = main.OpenDocumentWindow(path);
        QApplication::processEvents();
        Bench::note(QString::fromLatin1(kind.name));

        Bench::resetPeak();
        const qint64 before = Bench::statusKiB("VmRSS:");
        const Bench::Stopwatch open;
        doc->setChartShown(true);
        QApplication::processEvents();
        ValueChart &chart = *doc->chart();
        chart.view()->viewport()->repaint();
        const double openSeconds = open.wallSeconds();
        const double extraMiB = double(Bench::statusKiB("VmHWM:") - before) / 1024.0;
        Bench::figure("chart open, painted", openSeconds, "s", "under 1 s", openSeconds < 1.0);
        Bench::figure("extra memory while opening", extraMiB, "MiB");
        Bench::figure("points handed to Qt Charts", double(chart.drawnPointCount()), "");

        // Panning across the whole span in small steps, then zooming in and out, each step painted.
        auto perStep = [&](auto step, int steps) {
            std::vector<double> ms;
            for (int i = 0; i < steps; ++i) {
                const Bench::Stopwatch watch;
                step(i);
                chart.view()->viewport()->repaint();
                ms.push_back(watch.wallSeconds() * 1000.0);
            }
            return ms;
        };
        chart.zoom(0.25, 1.0, 0.0);
        // The points chosen and handed over alone, without painting.
        std::vector<double> handOver;
        for (int i = 0; i < 50; ++i) {
            const Bench::Stopwatch watch;
            chart.pan(i % 2 ? 0.02 : -0.02, 0.0);
            handOver.push_back(watch.wallSeconds() * 1000.0);
        }
        Bench::figure("pan, points chosen, median", Bench::median(handOver), "ms");
        const std::vector<double> pan = perStep([&](int) { chart.pan(0.02, 0.0); }, 150);
        chart.resetView();
        const std::vector<double> zoom =
            perStep([&](int i) { chart.zoom(i < 20 ? 0.8 : 1.25, 1.0, 0.37, 0.5); }, 40);
        const double panMedian = Bench::median(pan), zoomMedian = Bench::median(zoom);
        Bench::figure("pan redraw, median", panMedian, "ms", "under 33 ms (30 a second)", panMedian < 33.0);
        Bench::figure("pan redraw, worst", *std::max_element(pan.begin(), pan.end()), "ms");
        Bench::figure("zoom redraw, median", zoomMedian, "ms", "under 33 ms (30 a second)",
                      zoomMedian < 33.0);
        Bench::figure("zoom redraw, worst", *std::max_element(zoom.begin(), zoom.end()), "ms");
        doc->setChartShown(false);
        doc->closeWindow();
        QApplication::processEvents();
    }
    Bench::figure("peak resident memory", Bench::peakMemoryMiB(), "MiB");
    return 0;
}
