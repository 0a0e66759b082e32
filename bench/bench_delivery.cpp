// Delivery through a profile: formatting and writing 100,000 datasets (target: at least 500,000 per
// second), the whole delivery out of an SQLite archive with its records, and the CPU the device
// watcher costs while nothing is plugged in.
// Usage: bench_delivery [IDLE_SECONDS]  (default 5; 60 for the figure of the notes)
#include "Archive.h"
#include "BenchSupport.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "Delivery.h"
#include "DeviceWatcher.h"
#include "FileWrites.h"
#include "MeterSim.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    constexpr int kDatasets = 100000;

    const QString ini = home.filePath(QStringLiteral("lims.ini"));
    QFile file(ini);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("[Profile]\nColumns=SampleId,Date,Time,Program,Value1,Unit1,Status1\n"
                   "Headers=sample,date,time,method,result,unit,flag\nSeparator=;\nDecimalMark=,\n"
                   "Encoding=UTF-8\nLineEnd=CRLF\nDateFormat=yyyy-MM-dd\nStatuses=All\n") < 0)
        return 1;
    file.close();
    ExportProfile profile;
    QString error;
    if (!ExportProfile::read(ini, &profile, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    // The rows as the archive gives them.
    CSerialLink link;
    CCommunication communication(&link);
    CDevice device(&link, communication);
    ImportRecord record = ImportRecord::fromMeter(
        QString::fromLatin1(MeterSim::acceptedAnswer(SimDatasets::stationRecords(kDatasets))),
        QDateTime::currentDateTime());
    record.meter = QStringLiteral("Lumora");
    record.serial = QStringLiteral("B1");
    QList<ArchivedDataset> archived;
    if (!record.datasets(device, &archived))
        return 1;
    QList<DeliveryRow> rows;
    rows.reserve(archived.size());
    for (const ArchivedDataset &a : archived) {
        DeliveryRow row;
        row.id = rows.size() + 1;
        row.meter = record.meter;
        row.serial = record.serial;
        row.fields = a.fields;
        row.day = a.day;
        row.sampleId = QStringLiteral("LIMS-%1").arg(row.id);
        row.importedUtc = record.importedUtc;
        rows.append(row);
    }
    Bench::note(QStringLiteral("%1 datasets through the profile of the example (CRLF, decimal comma)")
                    .arg(rows.size()));
    std::vector<double> rates;
    for (int run = 0; run < 5; ++run) {
        const Bench::Stopwatch watch;
        const QByteArray bytes = profile.format(rows);
        FileWrites::ReplaceByRename out(home.filePath(QStringLiteral("out%1.csv").arg(run)));
        if (!out.open() || !out.write(bytes) || !out.commitNew()) {
            std::fprintf(stderr, "%s\n", qPrintable(out.errorString()));
            return 1;
        }
        rates.push_back(double(rows.size()) / watch.wallSeconds());
    }
    const double rate = Bench::median(rates);
    Bench::figure("format and write", rate, "/s", ">= 500000 datasets/s", rate >= 500000);

    // The whole delivery: the choice of datasets, the file and a record per dataset in the archive.
    ArchiveSettings settings;
    settings.enabled = true;
    settings.location = home.filePath(QStringLiteral("archive.sqlite"));
    Archive archive(device, settings);
    Archive::Summary summary;
    if (!archive.keep(record, &summary))
        return 1;
    QDir().mkpath(home.filePath(QStringLiteral("drop")));
    const Bench::Stopwatch whole;
    const DeliveryOutcome outcome = Delivery::deliverPending(archive, profile, QStringLiteral("bench"),
                                                             home.filePath(QStringLiteral("drop")));
    if (!outcome.result) {
        std::fprintf(stderr, "%s\n", qPrintable(outcome.result.message));
        return 1;
    }
    Bench::figure("delivery from the archive (SQLite)", double(outcome.delivered) / whole.wallSeconds(),
                  "/s");

    // Many meters at once (a lab's day after a network outage): the pending rows are read once and
    // each meter gets its file, so the time grows with the datasets, not with meters x datasets.
    constexpr int kMeters = 100;
    settings.location = home.filePath(QStringLiteral("meters.sqlite"));
    Archive many(device, settings);
    const QByteArray answer = MeterSim::acceptedAnswer(SimDatasets::stationRecords(1000));
    for (int m = 0; m < kMeters; ++m) {
        ImportRecord meter =
            ImportRecord::fromMeter(QString::fromLatin1(answer), QDateTime::currentDateTime());
        meter.meter = QStringLiteral("Lumora");
        meter.serial = QStringLiteral("M%1").arg(m);
        if (!many.keep(meter, &summary))
            return 1;
    }
    QDir().mkpath(home.filePath(QStringLiteral("drop-many")));
    const Bench::Stopwatch meters;
    const DeliveryOutcome manyOutcome = Delivery::deliverPending(many, profile, QStringLiteral("bench"),
                                                                 home.filePath(QStringLiteral("drop-many")));
    if (!manyOutcome.result || manyOutcome.files.size() != kMeters) {
        std::fprintf(stderr, "%s\n", qPrintable(manyOutcome.result.message));
        return 1;
    }
    Bench::figure(qPrintable(QStringLiteral("delivery of %1 meters x 1000 datasets (SQLite)").arg(kMeters)),
                  double(manyOutcome.delivered) / meters.wallSeconds(), "/s");

    // The watcher with nothing plugged in.
    DeviceWatcher watcher({home.filePath(QStringLiteral("by-id"))},
                          {home.filePath(QStringLiteral("ttyUSB0"))});
    if (!watcher.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    Bench::note(QStringLiteral("the device watcher idle for %1 s").arg(idleSeconds));
    const Bench::Stopwatch idle;
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    Bench::figure("watcher idle CPU share", idle.cpuPercent(), "%", "< 0.1 %", idle.cpuPercent() < 0.1);
    return 0;
}
