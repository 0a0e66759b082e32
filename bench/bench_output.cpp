// The document's outputs at scale: a workbook of many datasets (time, memory, and beside it the same
// measured-value file converted by LibreOffice when soffice is installed), and a PDF printout.
// Usage: bench_output [WORKBOOK_DATASETS [PDF_DATASETS]]  (default 100000 and 10000)
#include "BenchSupport.h"
#include "CExportExcel.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "CPrint.h"
#include "GuiTestSupport.h"
#include "PrintJobs.h"
#include "SharedObjects.h"
#include "SimDatasets.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

MeasuredValues values(qint64 count)
{
    return {QStringLiteral("Lumora"), QStringLiteral("000001"), QStringLiteral("bench"),
            QDateTime::currentDateTime(),
            Cp1252::decode("\r\n" + SimDatasets::generatedRecords(QStringLiteral("Lumora"), count) +
                           "\r\n!\r\n>")};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 workbookCount = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;
    const qint64 pdfCount = argc > 2 ? QByteArray(argv[2]).toLongLong() : 10000;
    GuiSandbox sandbox;
    QTemporaryDir dir;
    SharedObjects shared;

    {
        const MeasuredValues document = values(workbookCount);
        const QString workbook = dir.filePath(QStringLiteral("values.xlsx"));
        std::vector<double> seconds;
        double extraMiB = 0;
        for (int run = 0; run < 3; ++run) {
            Bench::resetPeak();
            const qint64 before = Bench::statusKiB("VmRSS:");
            const Bench::Stopwatch watch;
            if (!shared.exportExcel->SetMVals(document, workbook)) {
                std::fprintf(stderr, "bench_output: the workbook was not written\n");
                return 1;
            }
            seconds.push_back(watch.wallSeconds());
            extraMiB = std::max(extraMiB, double(Bench::statusKiB("VmHWM:") - before) / 1024.0);
        }
        const double ours = Bench::median(seconds);
        Bench::note(QStringLiteral("workbook of %1 datasets, %2 MiB")
                        .arg(workbookCount)
                        .arg(double(QFileInfo(workbook).size()) / 1048576.0, 0, 'f', 1));
        Bench::figure("workbook export, median of 3", ours, "s", "< 1 s", ours < 1.0);
        Bench::figure("workbook export, memory added", extraMiB, "MiB", "<= 100 MiB", extraMiB <= 100);
        Bench::figure("process peak memory", Bench::peakMemoryMiB(), "MiB");

        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty()) {
            Bench::note(QStringLiteral("soffice is not installed: no comparison"));
        } else {
            const QString file = dir.filePath(QStringLiteral("values.csv"));
            if (!shared.measVal->SaveFile(document, file))
                return 1;
            const QStringList arguments = {QStringLiteral("-env:UserInstallation=file://") +
                                               dir.filePath(QStringLiteral("profile")),
                                           QStringLiteral("--headless"),
                                           QStringLiteral("--infilter=CSV:59,34,76"),
                                           QStringLiteral("--convert-to"),
                                           QStringLiteral("xlsx"),
                                           QStringLiteral("--outdir"),
                                           dir.filePath(QStringLiteral("lo")),
                                           file};
            // The first run sets up the profile; the second is timed.
            QProcess::execute(soffice, arguments);
            const Bench::Stopwatch watch;
            QProcess::execute(soffice, arguments);
            const double theirs = watch.wallSeconds();
            Bench::figure("LibreOffice, same file to workbook", theirs, "s");
            Bench::figure("LibreOffice / workbook export", theirs / ours, "x", ">= 5", theirs / ours >= 5);
        }
    }

    {
        const MeasuredValues document = values(pdfCount);
        PrintJobs::Job job{[&document](CPrint &print) { return print.PrintMVals(document); }, {}};
        std::vector<double> seconds;
        for (int run = 0; run < 3; ++run) {
            const Bench::Stopwatch watch;
            if (!PrintJobs::writePdf(*shared.print, job, dir.filePath(QStringLiteral("values.pdf")))) {
                std::fprintf(stderr, "bench_output: the PDF file was not written\n");
                return 1;
            }
            seconds.push_back(watch.wallSeconds());
        }
        Bench::note(QStringLiteral("PDF of %1 datasets, %2 MiB")
                        .arg(pdfCount)
                        .arg(double(QFileInfo(dir.filePath(QStringLiteral("values.pdf"))).size()) / 1048576.0,
                             0, 'f', 1));
        const double pdf = Bench::median(seconds);
        Bench::figure("PDF printout, median of 3", pdf, "s", "< 3 s", pdf < 3.0);
    }
    return 0;
}
