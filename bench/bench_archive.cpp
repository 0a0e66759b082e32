// The archive's figures: one meter's full memory archived and read again, a query over a million
// archived datasets, the rate of adding measured-value files, and eight importers at once on the
// PostgreSQL server (this benchmark's own, on a Unix socket).
// Usage: bench_archive [REPEATS] [PART]  (default 5; times are medians; PART 1 to 4 runs one part)
#include "Archive.h"
#include "BenchSupport.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "CSerialLink.h"
#include "MeterSim.h"
#include "PgServer.h"
#include "SimDatasets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>

namespace {

struct Core {
    CSerialLink link;
    CCommunication communication{&link};
    CDevice device{&link, communication};
};

ImportRecord meterImport(const QByteArray &records, const QString &serial)
{
    ImportRecord record = ImportRecord::fromMeter(QString::fromLatin1(MeterSim::acceptedAnswer(records)),
                                                  QDateTime::currentDateTime());
    record.meter = QStringLiteral("Lumora");
    record.serial = serial;
    return record;
}

QByteArray fileBytes(const CDevice &device, const QString &serial, const QByteArray &records)
{
    const MeasuredValues values{QStringLiteral("Lumora"), serial, QStringLiteral("anna"),
                                QDateTime(QDate(2026, 5, 4), QTime(9, 0)),
                                QString::fromLatin1(MeterSim::acceptedAnswer(records))};
    QString text;
    CMeasVal(device).BuildFileText(text, values);
    return Cp1252::encode(text);
}

// One meter's datasets over three years, two programs in turn, numbered from first.
QByteArray yearsOfRecords(int meter, int count, int first)
{
    QByteArray out;
    out.reserve(qsizetype(count) * 80);
    const QDateTime start(QDate(2024, 1, 1), QTime(6, 0));
    const qint64 step = 3LL * 365 * 86400 / 20000;
    for (int k = 0; k < count; ++k) {
        const int n = first + k;
        const QDateTime at = start.addSecs(qint64(n) * step + meter * 7);
        if (k > 0)
            out += "\r\n";
        out += QByteArray::number(n + 1) + ';' + at.toString(QStringLiteral("dd.MM.yy;HH:mm:ss")).toLatin1() +
               ';' + QByteArray::number(n % 1000) + ';' + (n % 2 ? "902" : "901") + ";100273;BV;1:1;" +
               QByteArray::number(double(n % 4000) / 100.0, 'f', 2) + ";mg/l;OK;;;;";
    }
    return out;
}

double median(int repeats, const std::function<double()> &run)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i)
        times.push_back(run());
    return Bench::median(times);
}

void fail(const QString &what, const ArchiveDatabase::Result &result)
{
    Bench::note(what + QStringLiteral(": ") + result.message);
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int only = argc > 2 ? std::atoi(argv[2]) : 0;
    auto part = [only](int n) { return only == 0 || only == n; };
    QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    Core core;
    int archives = 0;
    auto newSqlite = [&] { return home.filePath(QStringLiteral("a%1.sqlite").arg(++archives)); };

    // One meter's full memory, then the same again: all of it already archived.
    if (part(1)) {
        const ImportRecord full =
            meterImport(SimDatasets::generatedRecords(QStringLiteral("Lumora"), 2000), "S1");
        std::vector<double> first;
        std::vector<double> again;
        for (int i = 0; i < repeats; ++i) {
            Archive archive(core.device, ArchiveSettings{true, newSqlite()});
            if (auto r = archive.open(); !r)
                fail(QStringLiteral("open"), r);
            for (std::vector<double> *times : {&first, &again}) {
                ImportRecord record = full;
                record.stamp(QDateTime::currentDateTime());
                Archive::Summary summary;
                const Bench::Stopwatch watch;
                if (auto r = archive.keep(record, &summary); !r)
                    fail(QStringLiteral("keep"), r);
                times->push_back(watch.wallSeconds() * 1000);
            }
        }
        Bench::figure("2,000 datasets, new", Bench::median(first), "ms", "< 50 ms",
                      Bench::median(first) < 50);
        Bench::figure("2,000 datasets, again", Bench::median(again), "ms", "< 50 ms",
                      Bench::median(again) < 50);
    }

    // A million datasets: 50 meters, three years; a query of one meter's program over the years.
    if (part(2)) {
        const QString location = newSqlite();
        Archive archive(core.device, ArchiveSettings{true, location});
        const Bench::Stopwatch fill;
        for (int meter = 0; meter < 50; ++meter) {
            QList<ImportRecord> imports;
            for (int part = 0; part < 10; ++part)
                imports.append(
                    meterImport(yearsOfRecords(meter, 2000, part * 2000), QStringLiteral("M%1").arg(meter)));
            Archive::Summary summary;
            if (auto r = archive.keepAll(imports, &summary); !r)
                fail(QStringLiteral("fill"), r);
        }
        Bench::figure("1,000,000 datasets archived in", fill.wallSeconds(), "s");
        ArchiveFilter filter;
        filter.meter = QStringLiteral("M17");
        filter.program = QStringLiteral("902");
        filter.from = QDate(2024, 1, 1);
        filter.to = QDate(2026, 12, 31);
        qsizetype rows = 0;
        const double ms = median(repeats, [&] {
            Archive fresh(core.device, ArchiveSettings{true, location});
            fresh.open();
            QList<ArchivedRow> found;
            const Bench::Stopwatch watch;
            if (auto r = fresh.query(filter, 0, 0, &found); !r)
                fail(QStringLiteral("query"), r);
            rows = found.size();
            return watch.wallSeconds() * 1000;
        });
        Bench::note(QStringLiteral("the query returns %1 rows").arg(rows));
        Bench::figure("query meter+program+dates", ms, "ms", "< 100 ms", ms < 100);
        Bench::figure("archive size", double(QFileInfo(location).size()) / 1048576.0, "MiB");
    }

    // archive add: 1,000 measured-value files of 500 datasets, read, checked and archived at once.
    if (part(3)) {
        QTemporaryDir files;
        const QByteArray records = SimDatasets::generatedRecords(QStringLiteral("Lumora"), 500);
        QStringList paths;
        for (int i = 0; i < 1000; ++i) {
            paths.append(files.filePath(QStringLiteral("f%1.csv").arg(i)));
            QFile f(paths.last());
            if (!f.open(QIODevice::WriteOnly) ||
                f.write(fileBytes(core.device, QStringLiteral("F%1").arg(i), records)) < 0)
                return 1;
        }
        Archive archive(core.device, ArchiveSettings{true, newSqlite()});
        archive.open();
        const Bench::Stopwatch watch;
        QList<ImportRecord> imports;
        for (const QString &path : paths) {
            QFile f(path);
            ImportRecord record;
            if (!f.open(QIODevice::ReadOnly) ||
                !ImportRecord::fromFile(path, f.readAll(), QDateTime::currentDateTime(), &record))
                return 1;
            imports.append(std::move(record));
        }
        Archive::Summary summary;
        if (auto r = archive.keepAll(imports, &summary); !r)
            fail(QStringLiteral("add"), r);
        const double rate = double(summary.added) / watch.wallSeconds();
        const double cpuRate = double(summary.added) / watch.cpuSeconds();
        Bench::figure("archive add, 1,000 x 500 datasets", watch.wallSeconds(), "s");
        Bench::figure("archive add, CPU time", watch.cpuSeconds(), "s");
        Bench::figure("archive add rate", rate, "/s", ">= 100,000/s", rate >= 100000);
        // On a machine shared with other work the wall time includes their time slices.
        Bench::figure("archive add rate per CPU second", cpuRate, "/s", ">= 100,000/s", cpuRate >= 100000);
    }

    // Eight meravo-cli processes adding the same 16 files, each in another order, on the server.
    if (part(4)) {
        PgServer &server = PgServer::shared();
        if (!server.skipReason().isEmpty()) {
            Bench::note(QStringLiteral("PostgreSQL skipped: ") + server.skipReason());
            return 0;
        }
        const QString database = server.createArchive();
        ArchiveSettings::storeForUser({true, server.location(database)});
        QTemporaryDir files;
        QStringList paths;
        for (int i = 0; i < 16; ++i) {
            paths.append(files.filePath(QStringLiteral("p%1.csv").arg(i)));
            QFile f(paths.last());
            f.open(QIODevice::WriteOnly);
            f.write(fileBytes(core.device, QStringLiteral("P%1").arg(i % 8),
                              yearsOfRecords(i % 8, 500, (i / 8) * 250)));
        }
        const Bench::Stopwatch watch;
        std::vector<std::unique_ptr<QProcess>> importers;
        for (int p = 0; p < 8; ++p) {
            QStringList arguments = {QStringLiteral("archive"), QStringLiteral("add")};
            for (int i = 0; i < 16; ++i)
                arguments.append(paths[(i + p * 2) % 16]);
            importers.push_back(std::make_unique<QProcess>());
            importers.back()->start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), arguments);
        }
        int failures = 0;
        for (auto &p : importers)
            if (!p->waitForFinished(600000) || p->exitCode() != 0) {
                ++failures;
                Bench::note(QString::fromLocal8Bit(p->readAllStandardError()).trimmed());
            }
        const double seconds = watch.wallSeconds();
        QString counts;
        server.sql(database,
                   QStringLiteral(
                       "SELECT count(*) || ' ' || count(DISTINCT (serial, no, date, time, content_sha256))"
                       " || ' ' || sum(conflict) FROM datasets"),
                   &counts);
        Bench::note(QStringLiteral("datasets, distinct, conflicting: %1 (the union: 6000 6000 0); failed "
                                   "processes: %2")
                        .arg(counts)
                        .arg(failures));
        Bench::figure("8 importers on PostgreSQL", seconds, "s", "the union, no error",
                      failures == 0 && counts == QLatin1String("6000 6000 0"));
    }
    return 0;
}
