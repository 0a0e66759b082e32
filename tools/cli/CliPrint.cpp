// meravo-cli print: a measured-value file or a calibration record as a PDF file, with the layout of
// the desktop program's printout.
#include "CCalProtocol.h"
#include "CliCommands.h"
#include "CMeasVal.h"
#include "CPrint.h"
#include "PrintJobs.h"
#include "TextTable.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace Cli {
namespace {

enum PrintExit { kMissing = 2, kUnreadable = 3, kInvalid = 4, kNotWritten = 5 };

} // namespace

int print(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("PDF file to write."),
                                 QStringLiteral("OUT.pdf"));
    parser.addOption(pdf);
    const QCommandLineOption table(QStringLiteral("table"),
                                   QStringLiteral("Measured values as a table with a header on every page."));
    parser.addOption(table);
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli print FILE --pdf OUT.pdf [--table]\n\n"
                           "Writes the printout of a measured-value file or of a calibration record "
                           "file (told from the file itself) as a PDF file, with the pages the "
                           "desktop program prints and its Page Setup. --table prints measured "
                           "values as the desktop program's table printout: columns, with the "
                           "meter, serial number, user, column headers and page number on every "
                           "page. Needs no display. An "
                           "existing OUT.pdf is replaced only when the whole file was written.\n"
                           "Exit 0: written. 2: FILE does not exist. 3: FILE cannot be read. "
                           "4: FILE is neither a measured-value file nor a calibration record. "
                           "5: the PDF file was not written."),
            1, 1, &exitCode))
        return exitCode;
    if (!parser.isSet(pdf) || parser.value(pdf).isEmpty()) {
        printError(QStringLiteral("meravo-cli print: --pdf OUT.pdf is missing"));
        return kUsageError;
    }
    const QString in = parser.positionalArguments().at(0);
    const QString out = parser.value(pdf);

    Session session;
    PrintJobs::Job job;
    MeasuredValues document;
    const qint16 opened = session.shared.measVal->OpenFile(document, in);
    tellFileFailure(session, session.shared.measVal->lastResult());
    switch (opened) {
    case CMeasVal::Opened:
        if (parser.isSet(table))
            job.print = [&document](CPrint &print) { return print.PrintMValsTable(document); };
        else
            job.print = [&document](CPrint &print) { return print.PrintMVals(document); };
        break;
    case CMeasVal::FileMissing:
        printError(TextTable::text(TextTable::FileMissing).arg(in));
        return kMissing;
    case CMeasVal::InvalidFormat:
        // Not measured values: perhaps a calibration record.
        if (!session.shared.calProtocol->ReadFromFile(in)) {
            tellFileFailure(session, session.shared.calProtocol->lastFileResult());
            printError(TextTable::text(TextTable::InvalidCsvFormat));
            return kInvalid;
        }
        if (const QString why = session.shared.calProtocol->implausibility(); !why.isEmpty()) {
            printError(TextTable::text(TextTable::InvalidCsvFormat) + u' ' + why);
            return kInvalid;
        }
        job.print = [](CPrint &print) { return print.PrintCalProtocol(); };
        break;
    default:
        printError(TextTable::text(TextTable::FileReadError));
        return kUnreadable;
    }
    if (!PrintJobs::writePdf(*session.shared.print, job, out)) {
        printError(TextTable::text(TextTable::PdfNotWritten));
        return kNotWritten;
    }
    return 0;
}

} // namespace Cli
