// The archive window over a million archived datasets (50 meters): wall time from the menu command
// until its first page is drawn, and the memory the window takes. Then the Trail window over a million
// entries (put in with sqlite3: the chain's seals do not matter to reading it).
// Usage: bench_archivewindow [DATASETS_PER_METER]  (default 20000, 50 meters)
#include "Archive.h"
#include "ArchiveTableModel.h"
#include "BenchSupport.h"
#include "Cp1252.h"
#include "frmArchive.h"
#include "frmMain.h"
#include "frmTrail.h"
#include "GuiTestSupport.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "TrailTableModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
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

    const QString sql = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT (SELECT max(seq) FROM trail) + 1 UNION ALL SELECT i + 1 FROM n"
        " WHERE i < 1000000) INSERT INTO trail (seq, at_utc, utc_offset, clock_back, os_uid, os_user,"
        " os_full_name, login, host, program_version, action, object, details, reason, file_sha256,"
        " prev_hash, hash) SELECT i, '2026-03-02T09:30:00.000Z', 3600, 0, 1000, 'lab', 'Lab', 'Ann', 'pc',"
        " '1.0', CASE i % 3 WHEN 0 THEN 'print' ELSE 'save' END, 'file' || i, '{}', '', '', '', '' FROM n");
    if (QProcess::execute(QStringLiteral("sqlite3"), {dir.filePath(QStringLiteral("archive.sqlite")), sql}) !=
        0) {
        std::fprintf(stderr, "bench_archivewindow: sqlite3 could not fill the trail\n");
        return 1;
    }
    archive.reload();
    const Bench::Stopwatch trailOpen;
    frmTrail *trail = frmTrail::open(main);
    QApplication::processEvents();
    trail->table()->viewport()->repaint();
    const double trailMs = trailOpen.wallSeconds() * 1000;
    Bench::note(
        QStringLiteral("%1 rows fetched, %2").arg(trail->model()->rowCount()).arg(trail->countText()));
    Bench::figure("trail window open, first page drawn", trailMs, "ms", "< 1000 ms", trailMs < 1000);
    const Bench::Stopwatch filtered;
    trail->field("txtAction")->setText(QStringLiteral("print"));
    trail->search();
    trail->table()->viewport()->repaint();
    const double filteredMs = filtered.wallSeconds() * 1000;
    Bench::figure("trail window, filtered by action", filteredMs, "ms", "< 1000 ms", filteredMs < 1000);
    return 0;
}
