// meravo-cli archive: the lab's archive from the command line, and the archiving of every import.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CExportExcel.h"
#include "CImportMVal.h"
#include "CliCommands.h"
#include "CLogin.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "CrashPoints.h"
#include "CSerialLink.h"
#include "EndingSignals.h"
#include "FileWrites.h"
#include "ImportFollowUp.h"
#include "QcStore.h"
#include "TextTable.h"
#include "Worklist.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

#include <cstdio>
#include <unistd.h>

namespace Cli {
namespace {

enum Exit {
    kDone = 0,
    kNoMeter = 1,
    kSyncPending = 1,
    kFirmware = 2,
    kBadInput = 2,
    kImportFailed = 3,
    kFilesRefused = 3,
    kArchiveFailed = 4,
    kNotWritten = 5,
    kCancelled = 6,
    kOutOfControl = kImportOutOfControl,
};

const char *const kHelp =
    "meravo-cli archive <action> [options]\n\n"
    "The lab's archive: every import kept once, with the original bytes it came from. It is an SQLite "
    "file on this PC (default ~/.local/share/Meravo/archive.sqlite) or the lab's PostgreSQL server: "
    "[Archive] Location= in the user's settings (~/.config/Meravo/Meravo.conf) or in Settings.ini, a "
    "path or postgresql://host[:port]/database?options. Credentials only through ~/.pgpass, PGSERVICE "
    "or Kerberos. [Archive] Enabled=0 switches it off.\n\n"
    "Actions:\n"
    "  import [--user NAME] [-o FILE] [--worklist FILE]\n"
    "                                  search the meter, read its datasets and archive them (-o also\n"
    "                                  writes the measured-value file; --worklist gives the new\n"
    "                                  datasets the lab's sample IDs), then deliver to the profiles\n"
    "  add FILE...                     archive measured-value files (all in one transaction)\n"
    "  query [filters] [--format csv|json]   print the archived datasets\n"
    "  export [filters] OUT.xlsx|OUT.xls|OUT.csv   write them into a file\n"
    "  status                          engine, location, counts, size, imports waiting for the server\n"
    "  raw IMPORT                      write the original bytes of import number IMPORT to stdout\n"
    "  sync                            send the imports waiting on this PC to the server; one sync at a\n"
    "                                  time, 'N sent' counts only what the server took in now\n"
    "  backup [--force] OUT.sqlite     a consistent copy of an SQLite archive while it is in use, synced\n"
    "                                  before it takes its name; never onto the archive or its -wal/-shm,\n"
    "                                  an existing file only with --force\n"
    "  annotate DATASET TEXT [--user NAME]   a note beside an archived dataset (the Import and\n"
    "                                  dataset numbers are in the query output's Import and Dataset)\n"
    "  withdraw DATASET REASON [--user NAME] hide a dataset from queries and outputs; it stays archived\n\n"
    "Filters: --meter S/N, --program P, --unit U, --id TEXT (part of the sample ID), --status S,\n"
    "--code C (AR/BV/Cal or AQA/Cal column), --user NAME, --from DATE, --to DATE (ISO: 2026-03-24),\n"
    "--conflicts (only datasets whose key was archived before with other content), --withdrawn (also\n"
    "withdrawn datasets, marked in the Withdrawn column).\n\n"
    "Every import ends with 'N new, M already archived, K conflicting' on stderr.\n"
    "Exit codes: 0 done; 1 import: no supported meter, sync: imports still waiting; 2 import: firmware\n"
    "too old, otherwise an invalid filter or an unknown import; 3 import: reading the meter failed, add:\n"
    "a file was refused (the others are archived); 4 the archive is unavailable or refused the work\n"
    "(the message says why; an import's measured-value file is still written); 5 the output file was not\n"
    "written (backup: also a target refused as the archive's own file or existing without --force);\n"
    "6 cancelled or stopped (Ctrl-C, SIGTERM; the archive is as it was, an import that was already\n"
    "being archived is archived whole); 7 import, add, sync: archived (sync: sent to the\n"
    "server), and a control sample's new value is out of control (the message names it, the value\n"
    "and the test; see 'meravo-cli qc');\n"
    "64 a command line that cannot be understood.";

// Ctrl-C or SIGTERM during long work cancels it (the transaction is rolled back) instead of ending the
// process: the progress callback looks at the request.
using InterruptGuard = EndingSignals::StopCatcher;

const char *const kExportCancelled = "\nCancelled: the file was not written.\n";

// The meter read on a terminal: datasets and bytes so far, and how long the meter has sent nothing, so
// a person sees a stalled meter and can stop it knowingly (Ctrl-C). Nothing when stderr is piped.
class ReadProgress {
public:
    explicit ReadProgress(CSerialLink &link) : m_tty(::isatty(STDERR_FILENO) != 0)
    {
        if (!m_tty)
            return;
        QObject::connect(&link, &CSerialLink::transferProgress, &m_context,
                         [this](qint64 bytes, qint64 ends) {
                             m_bytes = bytes;
                             m_datasets = std::max<qint64>(0, ends - 1);
                             show();
                         });
        QObject::connect(&link, &CSerialLink::meterSilent, &m_context, [this](qint64 seconds) {
            m_silent = seconds;
            show();
        });
        // Each command's answer counts from 0; the first is the opening's, not the datasets.
        QObject::connect(&link, &CSerialLink::exchangeRunningChanged, &m_context, [this](bool running) {
            m_exchanges += running ? 1 : 0;
            m_bytes = 0;
            m_datasets = 0;
        });
    }
    ~ReadProgress()
    {
        if (m_shown > 0)
            std::fputs("\n", stderr);
    }
    ReadProgress(const ReadProgress &) = delete;
    ReadProgress &operator=(const ReadProgress &) = delete;

private:
    void show()
    {
        QString line = QStringLiteral("reading the meter");
        if (m_exchanges > 1)
            line += QStringLiteral(": %1 datasets, %2 bytes").arg(m_datasets).arg(m_bytes);
        if (m_silent > 0)
            line += QStringLiteral("; ") + TextTable::text(TextTable::MeterSilentFor).arg(m_silent);
        // Blanks over what a longer line before left.
        const qsizetype width = line.size();
        line = line.leftJustified(std::max(width, m_shown));
        m_shown = width;
        std::fputs(qPrintable(QLatin1Char('\r') + line), stderr);
        std::fflush(stderr);
    }

    const bool m_tty;
    QObject m_context;
    qint64 m_bytes = 0;
    qint64 m_datasets = 0;
    qint64 m_silent = 0;
    int m_exchanges = 0;
    qsizetype m_shown = 0;
};

int stoppedByUser()
{
    printError(QStringLiteral("Stopped by the user: nothing of this import was archived."));
    return kCancelled;
}

// Count, rate and time left on a terminal; nothing when stderr is piped.
Archive::Progress progressLine(const QString &what)
{
    const bool tty = ::isatty(STDERR_FILENO) != 0;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    return [tty, clock, what](qint64 done, qint64 total) {
        if (tty) {
            const double seconds = std::max(0.001, double(clock->elapsed()) / 1000.0);
            const double rate = double(done) / seconds;
            QString line = QStringLiteral("\r%1: %2").arg(what).arg(done);
            if (total > 0)
                line += QStringLiteral(" of %1, %2/s, %3 s left")
                            .arg(total)
                            .arg(qint64(rate))
                            .arg(rate > 0 ? qint64(double(total - done) / rate) : 0);
            else
                line += QStringLiteral(", %1/s").arg(qint64(rate));
            std::fputs(qPrintable(line), stderr);
            std::fflush(stderr);
        }
        return !EndingSignals::stopRequested();
    };
}

void endProgress()
{
    if (::isatty(STDERR_FILENO))
        std::fputs("\n", stderr);
}

int failed(const Archive::Result &result)
{
    printError(result.message);
    return result.failure == Archive::Result::Cancelled ? kCancelled : kArchiveFailed;
}

struct FilterOptions {
    QCommandLineOption meter{QStringLiteral("meter"), QStringLiteral("Serial number of the meter."),
                             QStringLiteral("S/N")};
    QCommandLineOption program{QStringLiteral("program"), QStringLiteral("Program number."),
                               QStringLiteral("P")};
    QCommandLineOption unit{QStringLiteral("unit"), QStringLiteral("Unit (of value 1 or 2)."),
                            QStringLiteral("U")};
    QCommandLineOption id{QStringLiteral("id"), QStringLiteral("Part of the sample ID."),
                          QStringLiteral("TEXT")};
    QCommandLineOption status{QStringLiteral("status"), QStringLiteral("Status (of value 1 or 2)."),
                              QStringLiteral("S")};
    QCommandLineOption code{QStringLiteral("code"), QStringLiteral("AR/BV/Cal or AQA/Cal code."),
                            QStringLiteral("C")};
    QCommandLineOption user{QStringLiteral("user"), QStringLiteral("Login name at the import."),
                            QStringLiteral("NAME")};
    QCommandLineOption from{QStringLiteral("from"), QStringLiteral("First date (2026-03-24)."),
                            QStringLiteral("DATE")};
    QCommandLineOption to{QStringLiteral("to"), QStringLiteral("Last date (2026-03-24)."),
                          QStringLiteral("DATE")};
    QCommandLineOption conflicts{QStringLiteral("conflicts"), QStringLiteral("Only conflicting datasets.")};
    QCommandLineOption withdrawn{QStringLiteral("withdrawn"), QStringLiteral("Also withdrawn datasets.")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({meter, program, unit, id, status, code, user, from, to, conflicts, withdrawn});
    }

    // False, with the message printed, for a filter that cannot run.
    bool read(const QCommandLineParser &parser, ArchiveFilter *filter) const
    {
        filter->meter = parser.value(meter);
        filter->program = parser.value(program);
        filter->unit = parser.value(unit);
        filter->idText = parser.value(id);
        filter->status = parser.value(status);
        filter->code = parser.value(code);
        filter->user = parser.value(user);
        filter->conflictsOnly = parser.isSet(conflicts);
        filter->includeWithdrawn = parser.isSet(withdrawn);
        for (const auto &[option, date] : {std::pair{&from, &filter->from}, std::pair{&to, &filter->to}}) {
            if (parser.isSet(*option) && !ArchiveFilter::readDate(parser.value(*option), date)) {
                // Bad input may be long or hold line breaks: the message quotes a short, clean piece.
                printError(TextTable::text(TextTable::ArchiveFilterDate)
                               .arg(parser.value(*option).left(40).simplified()));
                return false;
            }
        }
        const QString problem = filter->problem();
        if (!problem.isEmpty()) {
            printError(problem);
            return false;
        }
        return true;
    }
};

QStringList outputNames()
{
    QStringList names = {QStringLiteral("Meter"), QStringLiteral("SerialNumber")};
    for (int f = 0; f < DatasetFields::Count; ++f)
        names.append(DatasetFields::name(DatasetFields::Field(f)));
    names += {QStringLiteral("ImportedAt"), QStringLiteral("ImportedBy"), QStringLiteral("Import"),
              QStringLiteral("Conflict"),   QStringLiteral("Dataset"),    QStringLiteral("Withdrawn"),
              QStringLiteral("Notes")};
    return names;
}

QStringList outputValues(const ArchivedRow &row)
{
    QStringList values = {row.meter, row.serial};
    for (const QString &f : row.fields)
        values.append(f);
    values += {row.importedUtc.toString(Qt::ISODate),
               row.login,
               QString::number(row.importId),
               row.conflict ? QStringLiteral("1") : QStringLiteral("0"),
               QString::number(row.id),
               row.withdrawn ? QStringLiteral("1") : QStringLiteral("0"),
               row.notes.join(QStringLiteral(" | "))};
    return values;
}

QByteArray csvText(const QList<ArchivedRow> &rows)
{
    QString text;
    QStringList header;
    for (const QString &n : outputNames())
        header.append(csvField(n));
    text += header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const ArchivedRow &row : rows) {
        QStringList fields;
        for (const QString &v : outputValues(row))
            fields.append(csvField(v));
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QByteArray jsonText(const QList<ArchivedRow> &rows)
{
    const QStringList names = outputNames();
    QJsonArray array;
    for (const ArchivedRow &row : rows) {
        const QStringList values = outputValues(row);
        QJsonObject object;
        for (qsizetype i = 0; i < names.size(); ++i)
            object.insert(names[i], values[i]);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

// The rows as one document of the first meter's layout: the existing export writes it unchanged.
MeasuredValues asDocument(const QList<ArchivedRow> &rows, const QString &user)
{
    MeasuredValues document;
    document.meter = rows.isEmpty() ? QString() : rows.first().meter;
    document.serialNumber = rows.isEmpty() ? QString() : rows.first().serial;
    document.user = user;
    document.date = QDateTime::currentDateTime();
    QString text = QStringLiteral("\r\n");
    for (const ArchivedRow &row : rows)
        text += row.line + QStringLiteral("\r\n");
    text += QStringLiteral("!\r\n>");
    document.datasets = std::move(text);
    return document;
}

int importFromMeter(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Also write a measured-value file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login name (default ---)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption worklist(
        QStringLiteral("worklist"), QStringLiteral("Give the new datasets the sample IDs of this worklist."),
        QStringLiteral("FILE"));
    parser.addOptions({output, user, worklist});
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 0, 0, &exitCode))
        return exitCode;
    // From here a stop ends the meter read (exit 6, nothing archived); an import already being archived
    // is archived and delivered whole.
    const EndingSignals::StopCatcher stops;
    Session session;
    if (parser.isSet(worklist) && !loadWorklist(session.shared, parser.value(worklist)))
        return kBadInput;
    session.shared.login->setUserName(parser.value(user));
    return importMeter(session, parser.isSet(output) ? parser.value(output) : QString());
}

int add(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 1, -1, &exitCode))
        return exitCode;
    Session session;
    Archive &archive = *session.shared.archive;
    QList<ImportRecord> records;
    bool refused = false;
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString &path : parser.positionalArguments()) {
        ImportRecord record;
        if (QString problem; !ImportRecord::readFile(path, now, &record, &problem)) {
            printError(problem);
            refused = true;
            continue;
        }
        record.login = record.account.userName;
        records.append(std::move(record));
    }
    Archive::Summary summary;
    InterruptGuard guard;
    const Archive::Result result = archive.keepAll(records, &summary, progressLine(QStringLiteral("files")));
    endProgress();
    if (!result)
        return failed(result);
    const ImportFollowUp followUp = followUpImport(session.shared, result, summary);
    printError(followUp.notices.join(QLatin1Char('\n')));
    return refused ? kFilesRefused : followUp.outOfControl ? kOutOfControl : kDone;
}

// The writers cannot look at a stop request: a stop while they write drops the temporary file and ends
// the program with 6 at once; the file stays as it was.
int writeExport(Session &session, const QList<ArchivedRow> &rows, const QString &out)
{
    if (EndingSignals::stopRequested()) {
        printError(QStringLiteral("Cancelled: the file was not written."));
        return kCancelled;
    }
    EndingSignals::endOnStop(kCancelled, kExportCancelled);
    const auto back = qScopeGuard([] { EndingSignals::endOnStop(0); });
    CrashPoints::reach("export-write");
    if (out.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        FileWrites::ReplaceByRename target(out);
        const bool written = target.open() && target.write(csvText(rows));
        // Every byte is in the temporary file, which a stop now removes.
        CrashPoints::reach("export-commit");
        if (written && target.commit())
            return kDone;
        printError(target.errorString());
        return kNotWritten;
    }
    session.shared.login->setUserName(QString());
    const bool exported =
        session.shared.exportExcel->SetMVals(asDocument(rows, session.shared.login->UserName()), out);
    tellFileFailure(session, session.shared.exportExcel->lastResult());
    if (!exported) {
        printError(TextTable::text(TextTable::ExportError));
        return kNotWritten;
    }
    return kDone;
}

int queryOrExport(const QStringList &arguments, bool exporting)
{
    QCommandLineParser parser;
    FilterOptions filters;
    filters.addTo(parser);
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("csv (default) or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("csv"));
    if (!exporting)
        parser.addOption(format);
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), exporting ? 1 : 0, exporting ? 1 : 0,
                      &exitCode))
        return exitCode;
    ArchiveFilter filter;
    if (!filters.read(parser, &filter))
        return kBadInput;
    const QString kind = exporting ? QString() : parser.value(format);
    if (!exporting && kind != QLatin1String("csv") && kind != QLatin1String("json")) {
        printError(QStringLiteral("--format takes csv or json"));
        return kUsageError;
    }
    Session session;
    QList<ArchivedRow> rows;
    InterruptGuard guard;
    CrashPoints::reach("export-query");
    const Archive::Result result =
        session.shared.archive->query(filter, 0, 0, &rows, progressLine(QStringLiteral("datasets")));
    endProgress();
    if (!result)
        return failed(result);
    if (!exporting) {
        const QByteArray text = kind == QLatin1String("json") ? jsonText(rows) : csvText(rows);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return kDone;
    }
    return writeExport(session, rows, parser.positionalArguments().at(0));
}

int status(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 0, 0, &exitCode))
        return exitCode;
    Session session;
    ArchiveStatus s;
    const Archive::Result result = session.shared.archive->status(&s);
    printLine(QStringLiteral("Engine: ") + s.engine);
    printLine(QStringLiteral("Location: ") + s.location);
    if (result) {
        printLine(QStringLiteral("Imports: %1").arg(s.imports));
        printLine(QStringLiteral("Datasets: %1").arg(s.datasets));
        printLine(QStringLiteral("Conflicting: %1").arg(s.conflicts));
        printLine(QStringLiteral("Meters: %1").arg(s.meters));
        printLine(QStringLiteral("Size: %1 bytes").arg(s.bytes));
    }
    printLine(QStringLiteral("Pending: %1").arg(s.pending));
    return result ? kDone : failed(result);
}

int raw(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 1, 1, &exitCode))
        return exitCode;
    bool number = false;
    const qint64 id = parser.positionalArguments().at(0).toLongLong(&number);
    if (!number || id <= 0) {
        printError(QStringLiteral("IMPORT is an import's number (see 'archive query')"));
        return kBadInput;
    }
    Session session;
    QByteArray bytes;
    bool found = false;
    const Archive::Result result = session.shared.archive->raw(id, &bytes, &found);
    if (!result)
        return failed(result);
    if (!found) {
        printError(QStringLiteral("No import %1 in the archive.").arg(id));
        return kBadInput;
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return kDone;
}

int sync(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 0, 0, &exitCode))
        return exitCode;
    Session session;
    InterruptGuard guard;
    const Archive::SyncOutcome outcome =
        session.shared.archive->sync(progressLine(QStringLiteral("imports")));
    endProgress();
    // Only what the server took in now counts as sent; what it held before is said apart.
    if (outcome.alreadyThere > 0)
        printError(QStringLiteral("%1 sent, %2 already on the server, %3 waiting")
                       .arg(outcome.sent)
                       .arg(outcome.alreadyThere)
                       .arg(outcome.remaining));
    else
        printError(QStringLiteral("%1 sent, %2 waiting").arg(outcome.sent).arg(outcome.remaining));
    if (!outcome.result)
        printError(outcome.result.message);
    // The values that waited are judged now that the server holds the control samples' definitions.
    const QcStore::Judgement judgement =
        QcStore::judgeNew(*session.shared.archive, outcome.newDatasetIds, QString());
    if (!judgement.notices.isEmpty())
        printError(judgement.notices.join(QLatin1Char('\n')));
    if (outcome.remaining > 0)
        return kSyncPending;
    if (!outcome.result)
        return kArchiveFailed;
    return judgement.outOfControl ? kOutOfControl : kDone;
}

int backup(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("Replace an existing file."));
    parser.addOption(force);
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 1, 1, &exitCode))
        return exitCode;
    Session session;
    const Archive::Result result =
        session.shared.archive->backup(parser.positionalArguments().at(0), parser.isSet(force));
    if (result.failure == Archive::Result::NotWritten) {
        printError(result.message);
        if (!parser.isSet(force) && QFileInfo::exists(parser.positionalArguments().at(0)))
            printError(QStringLiteral("--force replaces it."));
        return kNotWritten;
    }
    return result ? kDone : failed(result);
}

int correct(const QStringList &arguments, bool withdrawing)
{
    QCommandLineParser parser;
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("Login name (default: the account's)."),
                                  QStringLiteral("NAME"));
    parser.addOption(user);
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 2, 2, &exitCode))
        return exitCode;
    bool number = false;
    const qint64 id = parser.positionalArguments().at(0).toLongLong(&number);
    if (!number || id <= 0) {
        printError(QStringLiteral("DATASET is a dataset's number (the Dataset column of 'archive query')"));
        return kBadInput;
    }
    Session session;
    const QString login = parser.isSet(user) ? parser.value(user) : SystemAccount::current().userName;
    session.shared.login->setUserName(login);
    const QString text = parser.positionalArguments().at(1);
    Archive &archive = *session.shared.archive;
    const Archive::Result result = withdrawing ? archive.withdraw(id, text, session.shared.login->UserName())
                                               : archive.annotate(id, text, session.shared.login->UserName());
    if (!result) {
        printError(result.message);
        return result.failure == Archive::Result::Other ? kBadInput : kArchiveFailed;
    }
    return kDone;
}

} // namespace

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

int archiveImport(Session &session, const QString &raw, const QDateTime &imported, const QString &fileName)
{
    SharedObjects &shared = session.shared;
    const CDevice &device = *shared.device;
    bool fileFailed = false;
    // The measured-value file first: it is written whatever becomes of the archive.
    if (!fileName.isEmpty()) {
        const MeasuredValues document{device.DeviceName(), device.SerialNumber(), shared.login->UserName(),
                                      imported, raw};
        if (!shared.measVal->SaveFile(document, fileName)) {
            tellFileFailure(session, shared.measVal->lastResult());
            printError(TextTable::text(TextTable::SaveError));
            fileFailed = true;
        }
    }
    if (!shared.archive->enabled())
        return fileFailed ? kArchiveFailed : kDone;
    const ImportRecord record =
        ImportRecord::fromMeter(raw, imported, device, *shared.communication, shared.login->UserName());
    // A stop from here on lets the import be archived and delivered whole (one transaction) first.
    CrashPoints::reach("import-archive");
    Archive::Summary summary;
    const Archive::Result result = shared.archive->keep(record, &summary);
    const ImportFollowUp followUp = followUpImport(shared, result, summary);
    printError(followUp.notices.join(QLatin1Char('\n')));
    if (!result || fileFailed)
        return kArchiveFailed;
    return followUp.outOfControl ? kOutOfControl : kDone;
}

bool loadWorklist(SharedObjects &shared, const QString &path)
{
    auto worklist = std::make_unique<Worklist>();
    QString error;
    if (!worklist->read(path, &error)) {
        printError(error);
        return false;
    }
    shared.worklist = std::move(worklist);
    return true;
}

int importMeter(Session &session, const QString &fileName)
{
    // SIGINT and SIGTERM end the search and the read at their next look (the wait wakes at once).
    const EndingSignals::StopCatcher stops;
    SharedObjects &shared = session.shared;
    CrashPoints::reach("import-search");
    const qint16 recognised = recogniseMeter(session);
    if (EndingSignals::stopRequested())
        return stoppedByUser();
    if (recognised != CDevice::Recognised)
        return recognised == CDevice::FirmwareTooOld ? kFirmware : kNoMeter;
    const QDateTime imported = QDateTime::currentDateTime();
    QString raw;
    CrashPoints::reach("import-read");
    // A meter unplugged on the way ends here: nothing is archived, so nothing is delivered.
    bool gotValues = false;
    {
        const ReadProgress progress(session.link);
        gotValues = shared.importMVal->GetMVals(raw);
    }
    // A stop that came when the last byte did still ends the import: nothing is archived.
    if (EndingSignals::stopRequested())
        return stoppedByUser();
    tellLinkFailure(session, shared.importMVal->linkResult());
    if (!gotValues) {
        printError(TextTable::text(TextTable::ImportError));
        return kImportFailed;
    }
    return archiveImport(session, raw, imported, fileName);
}

int archive(const QStringList &arguments)
{
    const QList<QPair<QString, Action>> actions = {
        {QStringLiteral("import"), &importFromMeter},
        {QStringLiteral("add"), &add},
        {QStringLiteral("query"), [](const QStringList &a) { return queryOrExport(a, false); }},
        {QStringLiteral("export"), [](const QStringList &a) { return queryOrExport(a, true); }},
        {QStringLiteral("status"), &status},
        {QStringLiteral("raw"), &raw},
        {QStringLiteral("sync"), &sync},
        {QStringLiteral("backup"), &backup},
        {QStringLiteral("annotate"), [](const QStringList &a) { return correct(a, false); }},
        {QStringLiteral("withdraw"), [](const QStringList &a) { return correct(a, true); }},
    };
    return runAction(QStringLiteral("archive"), arguments, actions, QString::fromLatin1(kHelp));
}

} // namespace Cli
