// Opening a measured-value file of many datasets into a document window until the grid shows, and
// scrolling through it: wall time and the memory it takes beside the file's size.
// Usage: bench_document [DATASETS]  (default 100000)
#include "BenchSupport.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "MValTableModel.h"
#include "SharedObjects.h"
#include "SimDatasets.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTableView>

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
    main.resize(1200, 800);
    main.show();
    QApplication::processEvents();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("datasets.csv"));
    const QString raw = Cp1252::decode(
        "\r\n" + SimDatasets::generatedRecords(QStringLiteral("Lumora"), count) + "\r\n!\r\n>");
    if (!main.shared().measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("000001"),
                                          QStringLiteral("bench"), QDateTime::currentDateTime(), raw},
                                         path)) {
        std::fprintf(stderr, "bench_document: cannot write the file\n");
        return 1;
    }
    const double fileMiB = double(QFileInfo(path).size()) / (1024.0 * 1024.0);

    Bench::resetPeak();
    const qint64 before = Bench::statusKiB("VmRSS:");
    const Bench::Stopwatch open;
    frmDocument *doc = main.OpenDocumentWindow(path);
    QApplication::processEvents();
    doc->grid()->viewport()->repaint();
    const double openSeconds = open.wallSeconds();
    const double extraMiB = double(Bench::statusKiB("VmHWM:") - before) / 1024.0;
    if (doc->model()->rowCount() != count) {
        std::fprintf(stderr, "bench_document: %d rows shown, %lld expected\n", doc->model()->rowCount(),
                     count);
        return 1;
    }

    // Page by page from the top to the bottom, each page painted.
    QScrollBar *bar = doc->grid()->verticalScrollBar();
    const int pages = 200;
    const Bench::Stopwatch scroll;
    for (int i = 0; i <= pages; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * i / pages));
        doc->grid()->viewport()->repaint();
    }
    const double perPageMs = scroll.wallSeconds() * 1000.0 / (pages + 1);

    std::printf("datasets: %lld\n", count);
    std::printf("file size: %.1f MiB\n", fileMiB);
    std::printf("open into the grid: %.3f s (target under 0.5 s for 100,000)\n", openSeconds);
    std::printf("extra memory while opening: %.1f MiB = %.2f x the file (target under 3 x)\n", extraMiB,
                extraMiB / fileMiB);
    std::printf("scrolling: %.2f ms a page over %d pages\n", perPageMs, pages + 1);
    return 0;
}
