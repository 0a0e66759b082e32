// The archive window over a million archived datasets (50 meters): wall time from the menu command
// until its first page is drawn, and the memory the window takes.
// Usage: bench_archivewindow [DATASETS_PER_METER]  (default 20000, 50 meters)
#include "Archive.h"
#include "ArchiveTableModel.h"
#include "BenchSupport.h"
#include "Cp1252.h"
#include "frmArchive.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "SharedObjects.h"
#include "SimDatasets.h"

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 perMeter = argc > 1 ? QByteArray(argv[1]).toLongLong() : 20000;
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(1200, 800);
    main.show();
    QApplication::processEvents();
    QTemporaryDir dir;
    ArchiveSettings::storeForUser({true, dir.filePath(QStringLiteral("archive.sqlite"))});
    Archive &archive = *main.shared().archive;
    archive.reload();

    const QString answer = Cp1252::decode(
        "\r\n" + SimDatasets::generatedRecords(QStringLiteral("Lumora"), perMeter) + "\r\n!\r\n>");
    const Bench::Stopwatch fill;
    for (int meter = 0; meter < 50; ++meter) {
        ImportRecord record = ImportRecord::fromMeter(answer, QDateTime::currentDateTime());
        record.meter = QStringLiteral("Lumora");
        record.serial = QStringLiteral("M%1").arg(meter, 2, 10, QLatin1Char('0'));
        Archive::Summary summary;
        if (const Archive::Result r = archive.keep(record, &summary); !r) {
            std::fprintf(stderr, "bench_archivewindow: %s\n", qPrintable(r.message));
            return 1;
        }
    }
    Bench::figure("datasets archived", double(50 * perMeter), "");
    Bench::figure("filled in", fill.wallSeconds(), "s");
    // The window with a connection of its own, as after a start of the program.
    archive.reload();

    Bench::resetPeak();
    const qint64 before = Bench::statusKiB("VmRSS:");
    const Bench::Stopwatch open;
    main.MenuArchive();
    frmArchive *window = main.archiveWindow();
    QApplication::processEvents();
    window->table()->viewport()->repaint();
    const double openMs = open.wallSeconds() * 1000;
    const double extraMiB = double(Bench::statusKiB("VmHWM:") - before) / 1024.0;
    Bench::note(
        QStringLiteral("%1 rows fetched, %2").arg(window->model()->rowCount()).arg(window->countText()));
    Bench::figure("archive window open, first page drawn", openMs, "ms", "< 1000 ms", openMs < 1000);
    Bench::figure("memory the window takes", extraMiB, "MiB", "< 200 MiB", extraMiB < 200);
    return 0;
}
