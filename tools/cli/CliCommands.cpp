#include "CliCommands.h"

#include "CCommunication.h"
#include "CDevice.h"
#include "CommLog.h"
#include "ConnectionCheck.h"
#include "EndingSignals.h"
#include "ErrorFrame.h"
#include "ProgramFolder.h"
#include "TextTable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

namespace Cli {

const QList<Command> &commands()
{
    static const QList<Command> list = {
        {"ports", "List the serial ports: COM <n> TAB <device>.", &ports},
        {"identify", "Search the meter on all ports and show what it is.", &identify},
        {"doctor", "Check the serial ports and what keeps the meter from being found.", &doctor},
        {"datasets", "Read the meter's datasets; print them or write a measured-value file.", &datasets},
        {"export", "Export a measured-value file as a spreadsheet file.", &exportFile},
        {"programs", "The meter's user-defined programs: list, show, get, put, delete, delete-all.",
         &programs},
        {"calrecord", "Read the meter's last pH or turbidity calibration record.", &calrecord},
        {"calline", "Compute a calibration line from value pairs.", &calline},
        {"checkrange", "Check a measuring range against the meter's absorbance range.", &checkrange},
        {"archive", "The lab's archive: import, add, query, export, status, raw, sync, backup.", &archive},
        {"trail", "The activity trail: verify, head, check FILE, show.", &trail},
        {"qc", "Control samples: define, list, show (CSV, JSON, PDF report), revise.", &qc},
        {"deliver", "Deliver pending datasets to the profiles' drop folders (or a range once more).",
         &deliver},
        {"watch", "Import each meter that is plugged in, and deliver, until stopped.", &watch},
#ifdef MERAVO_CLI_PRINT
        {"print", "Write the printout of a measured-value or calibration record file as a PDF file.", &print},
#endif
    };
    return list;
}

void printLine(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
}

void printError(const QString &line)
{
    std::fflush(stdout);
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
}

namespace {
ErrorFrame::Handler s_previous;
}

namespace {
bool s_trace = false;

CommLog &processLog()
{
    static CommLog log;
    static const bool opened = log.open(CommLog::defaultFolder());
    Q_UNUSED(opened);
    return log;
}
} // namespace

void setTrace(bool on)
{
    s_trace = on;
}

bool trace()
{
    return s_trace;
}

Session::Session() : shared(&link)
{
    shared.recordActivity();
    CommLog &log = processLog();
    log.setEcho(s_trace);
    link.setLog(&log);
    s_previous = ErrorFrame::setHandler([this](const QString &description) { tell(description); });
}

void Session::tell(const QString &description)
{
    ++m_errors;
    printError(TextTable::text(TextTable::ErrorCaption) + QStringLiteral(": ") + description);
}

int tellLinkFailure(Session &session, const LinkResult &result, int exitCode)
{
    for (const QString &text : result.messages())
        session.tell(text);
    return exitCode;
}

int tellFileFailure(Session &session, const FileResult &result, int exitCode)
{
    for (const QString &text : result.messages())
        session.tell(text);
    return exitCode;
}

Session::~Session()
{
    ErrorFrame::setHandler(std::move(s_previous));
}

bool parseOptions(QCommandLineParser &parser, const QStringList &arguments, const QString &description,
                  int minPositional, int maxPositional, int *exitCode)
{
    parser.setApplicationDescription(description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    // Taken out of the arguments by main() before or after the subcommand; here for the help text.
    parser.addOption(QCommandLineOption(QStringLiteral("trace"),
                                        QStringLiteral("Print the communication log's lines on stderr.")));
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        *exitCode = kUsageError;
        return false;
    }
    if (parser.isSet(help)) {
        // Qt names the executable's path in the usage line; the user typed "meravo-cli <command>".
        QString text = parser.helpText();
        const QString program = QCoreApplication::arguments().value(0);
        const qsizetype firstLineEnd = text.indexOf(u'\n');
        if (!program.isEmpty() && !arguments.isEmpty()) {
            const qsizetype at = text.indexOf(program);
            if (at >= 0 && at < firstLineEnd)
                text.replace(at, program.size(), QStringLiteral("meravo-cli ") + arguments.first());
        }
        printLine(text);
        *exitCode = 0;
        return false;
    }
    const qsizetype n = parser.positionalArguments().size();
    if (n < minPositional || (maxPositional >= 0 && n > maxPositional)) {
        printError(QStringLiteral("wrong number of arguments (see --help)"));
        *exitCode = kUsageError;
        return false;
    }
    return true;
}

int runAction(const QString &command, const QStringList &arguments,
              const QList<QPair<QString, Action>> &actions, const QString &help)
{
    const QString action = arguments.value(1);
    for (const auto &[name, run] : actions)
        if (action == name)
            return run(arguments.mid(1));
    if (action.isEmpty() || action == QLatin1String("--help") || action == QLatin1String("-h")) {
        printLine(help);
        return action.isEmpty() ? kUsageError : 0;
    }
    printError(QStringLiteral("meravo-cli %1: unknown action '%2' (see --help)").arg(command, action));
    return kUsageError;
}

qint16 recogniseMeter(Session &session)
{
    const bool onlyKlaro7 = ProgramFolder::onlyKlaro7(*session.shared.ini);
    QString name;
    QString serial;
    const qint16 result = session.shared.device->Recognise(name, serial, onlyKlaro7);
    tellLinkFailure(session, session.shared.device->linkResult());
    if (result == CDevice::FirmwareTooOld) {
        printError(TextTable::text(TextTable::MeterSoftwareTooOld));
        printError(TextTable::text(TextTable::UpdateFirmware));
    } else if (result != CDevice::Recognised && !EndingSignals::stopRequested()) {
        // A search the user stopped found nothing because it was stopped: the caller says so.
        printError(
            TextTable::text(onlyKlaro7 ? TextTable::NoKlaro7Recognized : TextTable::NoMeterRecognized));
    }
    return result;
}

int ports(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli ports\n\nLists every serial port that exists and can be used now, one "
                           "line each: COM <n> TAB <device>. MERAVO_PORTS (':'-separated device paths) "
                           "pins the numbering."),
            0, 0, &exitCode))
        return exitCode;
    CPortMap map;
    map.refresh();
    for (int n : map.ports()) {
        if (map.portExists(n))
            printLine(QStringLiteral("COM %1\t%2").arg(n).arg(map.device(n)));
    }
    return 0;
}

int identify(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli identify\n\nSearches the meter on all serial ports at all baud rates "
                           "and identifies it.\nExit 0: recognised (Meter, S/N, Firmware, Port, Baud lines). "
                           "Exit 1: no supported meter found. Exit 2: the meter's firmware is too old."),
            0, 0, &exitCode))
        return exitCode;

    Session session;
    const qint16 result = recogniseMeter(session);
    if (result == CDevice::Recognised) {
        const CCommunication &comm = *session.shared.communication;
        printLine(QStringLiteral("Meter: ") + session.shared.device->DeviceName());
        printLine(QStringLiteral("S/N: ") + session.shared.device->SerialNumber());
        printLine(QStringLiteral("Firmware: %1").arg(session.shared.device->firmwareVersion()));
        printLine(QStringLiteral("Port: COM %1").arg(comm.COMPort()));
        printLine(QStringLiteral("Baud: ") + comm.Baudrate());
        return 0;
    }
    return result == CDevice::FirmwareTooOld ? 2 : 1;
}

int doctor(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption noProbe(QStringLiteral("no-probe"), QStringLiteral("Do not search the meter."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the report as JSON."));
    parser.addOption(noProbe);
    parser.addOption(json);
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral(
                "meravo-cli doctor [--no-probe] [--json]\n\nChecks every serial port (usable, no permission, "
                "in use, vanished), looks for programs that grab serial adapters, and searches the meter.\n"
                "Exit 0: a meter was recognised (with --no-probe: at least one port is usable). Exit 1: "
                "otherwise.\nJSON keys: ports[] (com, device, usb, manufacturer, description, verdict, "
                "group, "
                "groupPending, holders[]), grabbers[] (name, fix), search (result, com, baud, meter), "
                "logFolder."),
            0, 0, &exitCode))
        return exitCode;
    ConnectionCheck::Report report = ConnectionCheck::collect();
    if (!parser.isSet(noProbe)) {
        Session session;
        ConnectionCheck::probe(report, *session.shared.device, *session.shared.communication,
                               ProgramFolder::onlyKlaro7(*session.shared.ini));
        tellLinkFailure(session, session.shared.device->linkResult());
    }
    if (parser.isSet(json))
        printLine(
            QString::fromUtf8(QJsonDocument(ConnectionCheck::json(report)).toJson(QJsonDocument::Indented))
                .trimmed());
    else
        printLine(ConnectionCheck::text(report));
    return ConnectionCheck::exitCode(report);
}

} // namespace Cli
