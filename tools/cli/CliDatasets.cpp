// The measured-value subcommands of meravo-cli: read the meter's datasets, export a measured-value file.
#include "CDevice.h"
#include "CExportExcel.h"
#include "CImportMVal.h"
#include "CliCommands.h"
#include "CLogin.h"
#include "CMeasVal.h"
#include "RecordWalk.h"
#include "TextTable.h"

#include <QCommandLineParser>
#include <QElapsedTimer>

#include <cstdio>
#include <unistd.h>

namespace Cli {
namespace {

enum Exit { kNoMeter = 1, kFirmware = 2, kImportFailed = 3, kSaveFailed = 4, kArchiveFailed = 5 };
enum ExportExit { kMissing = 2, kUnreadable = 3, kInvalid = 4, kExportFailed = 5 };

} // namespace

int datasets(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Measured-value file to write."), QStringLiteral("FILE"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("USER of the written file (default ---)."),
                                  QStringLiteral("NAME"));
    parser.addOptions({output, user});
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli datasets [-o FILE] [--user NAME]\n\n"
                           "Searches the meter and reads all its datasets. With -o they are written as a "
                           "measured-value file, as the desktop program saves them; otherwise each "
                           "dataset is printed as one line of the model's fields, ';'-separated.\n"
                           "Exit 0: done. 1: no supported meter found. 2: firmware too old. "
                           "3: the import failed. 4: the file could not be written. 5: the datasets were "
                           "printed or written but the archive refused them (see 'archive --help').\n"
                           "The datasets are also kept in the archive; its summary goes to stderr."),
            0, 0, &exitCode))
        return exitCode;

    Session session;
    CDevice &device = *session.shared.device;
    const qint16 recognised = recogniseMeter(session);
    if (recognised != CDevice::Recognised)
        return recognised == CDevice::FirmwareTooOld ? kFirmware : kNoMeter;
    const QString meter = device.DeviceName();
    const QString serial = device.SerialNumber();

    // A progress line while a long answer arrives, for a person watching a terminal only.
    const bool showProgress = ::isatty(STDERR_FILENO) != 0;
    QElapsedTimer clock;
    clock.start();
    if (showProgress)
        QObject::connect(&session.link, &CSerialLink::transferProgress,
                         [&clock](qint64 bytes, qint64 lineEnds) {
                             const QString line = TextTable::text(TextTable::WaitProgress)
                                                      .arg(std::max<qint64>(0, lineEnds - 2))
                                                      .arg(bytes)
                                                      .arg(clock.elapsed() / 1000);
                             std::fprintf(stderr, "\r%s", qPrintable(line));
                             std::fflush(stderr);
                         });
    const QDateTime imported = QDateTime::currentDateTime();
    QString raw;
    const bool ok = session.shared.importMVal->GetMVals(raw);
    tellLinkFailure(session, session.shared.importMVal->linkResult());
    if (showProgress)
        std::fputs("\n", stderr);
    if (!ok) {
        printError(TextTable::text(TextTable::ImportError));
        return kImportFailed;
    }

    session.shared.login->setUserName(parser.value(user));
    if (parser.isSet(output)) {
        const MeasuredValues document{meter, serial, session.shared.login->UserName(), imported, raw};
        if (!session.shared.measVal->SaveFile(document, parser.value(output))) {
            tellFileFailure(session, session.shared.measVal->lastResult());
            printError(TextTable::text(TextTable::SaveError));
            return kSaveFailed;
        }
        return archiveImported(archiveImport(session, raw, imported, QString())) ? 0 : kArchiveFailed;
    }
    const int fields = int(device.TableLayout(meter).size());
    RecordWalk walk(raw, fields);
    QString line;
    while (walk.next()) {
        line.clear();
        for (int i = 0; i < fields; ++i) {
            if (i > 0)
                line += u';';
            line += walk.field(i);
        }
        printLine(line);
    }
    return archiveImported(archiveImport(session, raw, imported, QString())) ? 0 : kArchiveFailed;
}

int exportFile(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli export IN.csv OUT.xls\n\n"
                           "Opens a measured-value file and exports it as a spreadsheet file, as the "
                           "desktop program's Export does. An existing OUT.xls is replaced only when "
                           "the export succeeds.\n"
                           "Exit 0: done. 2: IN.csv does not exist. 3: IN.csv cannot be read. "
                           "4: IN.csv is no valid measured-value file. 5: the export failed."),
            2, 2, &exitCode))
        return exitCode;
    const QString in = parser.positionalArguments().at(0);
    const QString out = parser.positionalArguments().at(1);

    Session session;
    MeasuredValues document;
    const qint16 opened = session.shared.measVal->OpenFile(document, in);
    tellFileFailure(session, session.shared.measVal->lastResult());
    switch (opened) {
    case CMeasVal::Opened:
        break;
    case CMeasVal::FileMissing:
        printError(TextTable::text(TextTable::FileMissing).arg(in));
        return kMissing;
    case CMeasVal::InvalidFormat:
        printError(TextTable::text(TextTable::InvalidCsvFormat));
        return kInvalid;
    default:
        printError(TextTable::text(TextTable::FileReadError));
        return kUnreadable;
    }
    const bool exported = session.shared.exportExcel->SetMVals(document, out);
    tellFileFailure(session, session.shared.exportExcel->lastResult());
    if (!exported) {
        printError(TextTable::text(TextTable::ExportError));
        return kExportFailed;
    }
    return 0;
}

} // namespace Cli
