// The program, calibration-record and calibration-line subcommands of meravo-cli.
#include "CCalibration.h"
#include "CCalProtocol.h"
#include "CCSVFile.h"
#include "CDevice.h"
#include "CliCommands.h"
#include "CLogin.h"
#include "CUsrDefProg.h"
#include "TextTable.h"

#include <QCommandLineParser>

namespace Cli {
namespace {

constexpr int kFailed = 1;

// A typed name as the login dialog takes it: ";" separates the fields of the files it goes into.
int fail(int text)
{
    printError(TextTable::text(text));
    return kFailed;
}

struct ProgramsOptions {
    const QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Program file to write (get)."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption user{QStringLiteral("user"),
                                  QStringLiteral("USER of the written file (default ---)."),
                                  QStringLiteral("NAME")};
    const QCommandLineOption force{QStringLiteral("force"),
                                   QStringLiteral("put: store a program outside the editor's lists or the "
                                                  "absorbance range (as the meter may hold it).")};
};

// list and delete-all stand alone; the others take one number or file.
bool programActionComplete(const QStringList &args)
{
    const QString &action = args.first();
    const QStringList needsNumber = {QStringLiteral("show"), QStringLiteral("get"), QStringLiteral("delete"),
                                     QStringLiteral("put")};
    const bool noArgument = action == QStringLiteral("list") || action == QStringLiteral("delete-all");
    return !((noArgument && args.size() != 1) ||
             (!noArgument && (!needsNumber.contains(action) || args.size() != 2)));
}

// 0 when the file holds a program that may be stored.
int readProgramToStore(Session &session, const QString &path, bool force, ProgramRecord &program)
{
    const CUsrDefProg &prog = *session.shared.usrDefProg;
    QString text;
    const FileResult read = CCSVFile().Read(text, path);
    if (!read.ok() || !CUsrDefProg::ParseProgramText(text, program))
        return fail(tellFileFailure(session, read, TextTable::FileReadError));
    const QString problem = prog.CheckProgram(program, force);
    if (!problem.isEmpty()) {
        printError(problem);
        if (prog.CheckProgramFields(program).refusals.isEmpty())
            printError(QStringLiteral("--force stores it all the same."));
        return kFailed;
    }
    return 0;
}

int listPrograms(CUsrDefProg &prog)
{
    QStringList numbers(CUsrDefProg::kSlots);
    qint16 count = 0;
    if (!prog.ListMeter(numbers, count))
        return fail(TextTable::ProgramListReadFailed);
    for (int i = 0; i < count; ++i)
        printLine(numbers[i]);
    return 0;
}

int showProgram(CUsrDefProg &prog, ProgramRecord &program, const QString &number)
{
    if (!prog.GetProgramMeter(program, number))
        return fail(TextTable::ProgramReadFailed);
    const QStringList keys = ProgramRecord::meterKeys();
    const QStringList values = program.toMeter();
    for (qsizetype k = 0; k < keys.size(); ++k)
        printLine(QStringLiteral("%1: %2").arg(keys[k], values[k]));
    return 0;
}

// put: a program the meter holds is modified without asking.
int storeProgram(Session &session, CUsrDefProg &prog, ProgramRecord &program, bool force)
{
    using Result = CUsrDefProg::StoreResult;
    const Result stored = prog.storeOrModify(
        program, [](const QString &) { return CUsrDefProg::ExistingProgram::Modify; }, {}, force);
    tellLinkFailure(session, prog.linkResult());
    switch (stored) {
    case Result::Modified:
        printLine(QStringLiteral("modified ") + program.NO);
        return 0;
    case Result::Added:
        printLine(QStringLiteral("stored ") + program.NO);
        return 0;
    case Result::NoFreeSlot:
        printError(TextTable::text(TextTable::AllProgramSlotsOccupied));
        return fail(TextTable::EraseProgramFirst);
    case Result::ModifyFailed:
        return fail(TextTable::ProgramModifyFailed);
    default:
        return fail(TextTable::ProgramSaveFailed);
    }
}

// The action on a recognised meter that keeps programs; program holds the checked file for put.
int programActionOnMeter(Session &session, const QStringList &args, ProgramRecord &program,
                         const QCommandLineParser &parser, const ProgramsOptions &o)
{
    CUsrDefProg &prog = *session.shared.usrDefProg;
    // What the link had to tell comes before the command's own failure.
    const auto told = [&session, &prog](auto result) {
        tellLinkFailure(session, prog.linkResult());
        return result;
    };
    const QString &action = args.first();
    if (action == QStringLiteral("delete-all"))
        return told(prog.DeleteAll()) ? 0 : fail(TextTable::EraseAllProgramsFailed);
    if (!told(prog.Update()))
        return fail(TextTable::ProgramUpdateFailed);

    if (action == QStringLiteral("list"))
        return listPrograms(prog);
    const QString &number = args[1];
    if (action == QStringLiteral("show"))
        return showProgram(prog, program, number);
    if (action == QStringLiteral("get")) {
        if (!prog.GetProgramMeter(program, number))
            return fail(TextTable::ProgramReadFailed);
        if (parser.isSet(o.user)) {
            session.shared.login->setUserName(parser.value(o.user));
            program.USER = session.shared.login->UserName();
        }
        if (prog.SaveToFile(program, parser.value(o.output)))
            return 0;
        return fail(tellFileFailure(session, prog.lastFileResult(), TextTable::ProgramSaveFailed));
    }
    if (action == QStringLiteral("delete"))
        return told(prog.Delete(number)) ? 0 : fail(TextTable::ProgramEraseFailed);
    return storeProgram(session, prog, program, parser.isSet(o.force));
}

int programsCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const ProgramsOptions options;
    parser.addOptions({options.output, options.user, options.force});
    parser.addPositionalArgument(QStringLiteral("action"),
                                 QStringLiteral("list | show NO | get NO -o FILE | put FILE | "
                                                "delete NO | delete-all"));
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli programs ACTION\n\nThe user-defined programs in the meter.\n"
                           "  list          the program numbers, one a line\n"
                           "  show NO       the 14 fields the meter keeps\n"
                           "  get NO -o F   a program file (USER from --user, or ---)\n"
                           "  put FILE      store a program file: as new, or over the same number;\n"
                           "                --force also one outside the editor's lists or range\n"
                           "  delete NO     erase one program\n"
                           "  delete-all    erase all programs\n"
                           "Exit 0: done. Exit 1: the meter or the file failed."),
            1, 2, &exitCode))
        return exitCode;
    const QStringList args = parser.positionalArguments();
    if (!programActionComplete(args)) {
        printError(QStringLiteral("unknown or incomplete action (see --help)"));
        return kUsageError;
    }
    if (args.first() == QStringLiteral("get") && !parser.isSet(options.output)) {
        printError(QStringLiteral("get needs -o FILE"));
        return kUsageError;
    }

    Session session;
    // A file to store is read and checked before the meter is touched.
    ProgramRecord program;
    if (args.first() == QStringLiteral("put"))
        if (const int failed = readProgramToStore(session, args[1], parser.isSet(options.force), program))
            return failed;

    if (recogniseMeter(session) != CDevice::Recognised)
        return kFailed;
    // The desktop program offers no program commands for such a meter either.
    if (!session.shared.usrDefProg->MeterKeepsPrograms()) {
        printError(TextTable::text(TextTable::NoProgramsOnMeter).arg(session.shared.device->DeviceName()));
        return kFailed;
    }
    return programActionOnMeter(session, args, program, parser, options);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// The lines both kinds of calibration record have.
struct RecordHeader {
    QString meter, serNo, userName, date, time, interval, mode;
    qint16 points = 0;

    void print() const
    {
        printLine(QStringLiteral("Meter: ") + meter);
        printLine(QStringLiteral("S/N: ") + serNo);
        printLine(QStringLiteral("User: ") + userName);
        printLine(QStringLiteral("Date: ") + date);
        printLine(QStringLiteral("Time: ") + time);
        printLine(QStringLiteral("Interval (d): ") + interval);
        printLine(QStringLiteral("Mode: ") + mode);
    }
};

int printPHRecord(CCalProtocol &cal)
{
    RecordHeader h;
    QString slope, asy, quality;
    bool showF = false, showPC = false;
    QStringList values(3), volts(3), temps(3);
    if (!cal.GetProtocolPH(h.meter, h.serNo, h.userName, h.date, h.time, h.interval, h.mode, slope, asy,
                           quality, showF, showPC, h.points, values, volts, temps))
        return fail(TextTable::CalRecordReadFailed);
    h.print();
    printLine(QStringLiteral("Slope: ") + slope);
    printLine(QStringLiteral("Asymmetry: ") + asy);
    printLine(QStringLiteral("Sensor quality: ") + quality);
    printLine(QStringLiteral("Show °F: ") + yesNo(showF));
    printLine(QStringLiteral("Show slope in %: ") + yesNo(showPC));
    printLine(QStringLiteral("Points: %1").arg(h.points));
    for (int i = 0; i < h.points; ++i)
        printLine(
            QStringLiteral("Point %1: pH %2, %3 mV, %4 °C").arg(i + 1).arg(values[i], volts[i], temps[i]));
    return 0;
}

int printTurbidityRecord(CCalProtocol &cal)
{
    RecordHeader h;
    QStringList standards(5);
    if (!cal.GetProtocolTurbidity(h.meter, h.serNo, h.userName, h.date, h.time, h.interval, h.mode, h.points,
                                  standards))
        return fail(TextTable::CalRecordReadFailed);
    h.print();
    printLine(QStringLiteral("Points: %1").arg(h.points));
    for (int i = 0; i < h.points; ++i)
        printLine(QStringLiteral("Standard %1: %2").arg(i + 1).arg(standards[i]));
    return 0;
}

int calrecordCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Record file to write."), QStringLiteral("FILE"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name kept in the record."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("put: store a program outside the editor's lists or the "
                                                  "absorbance range (as the meter may hold it)."));
    parser.addOptions({output, user, force});
    parser.addPositionalArgument(QStringLiteral("kind"), QStringLiteral("ph or turb"));
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli calrecord ph|turb [-o FILE]\n\nReads the meter's last calibration "
                           "record and prints its fields; with -o also writes a record file.\n"
                           "Exit 0: read. Exit 1: no meter, a meter that keeps no such record, or the record "
                           "could not be read or written."),
            1, 1, &exitCode))
        return exitCode;
    const QString kind = parser.positionalArguments().at(0);
    if (kind != QStringLiteral("ph") && kind != QStringLiteral("turb")) {
        printError(QStringLiteral("kind must be ph or turb"));
        return kUsageError;
    }
    Session session;
    session.shared.login->setUserName(parser.value(user));
    if (recogniseMeter(session) != CDevice::Recognised)
        return kFailed;
    CCalProtocol &cal = *session.shared.calProtocol;
    const bool ph = kind == QStringLiteral("ph");
    // The same predicates that enable the record windows.
    const CDevice &device = *session.shared.device;
    if (!(ph ? device.SupportsPH() : device.SupportsTurbidity())) {
        printError(TextTable::text(ph ? TextTable::NoPHRecordOnMeter : TextTable::NoTurbidityRecordOnMeter)
                       .arg(device.DeviceName()));
        return kFailed;
    }
    const bool read = cal.UpdateFromMeter(ph, session.shared.device->IsKlaro7(QString()));
    tellLinkFailure(session, cal.linkResult());
    if (!read || !cal.IsProtocolValid())
        return fail(TextTable::CalRecordReadFailed);
    if (const int failed = ph ? printPHRecord(cal) : printTurbidityRecord(cal))
        return failed;
    if (parser.isSet(output) && !cal.SaveToFile(parser.value(output)))
        return fail(tellFileFailure(session, cal.lastFileResult(), TextTable::RecordSaveFailed));
    return 0;
}

// The number formats of the program editor, with a point as decimal separator.
QString scientific(double value)
{
    return QString::number(value, 'E', 3);
}

int callineCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("pairs"), QStringLiteral("X,Y value pairs (3 to 10)"));
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli calline X1,Y1 X2,Y2 X3,Y3 ...\n\nComputes the calibration line "
                           "(concentration X in mg/l, absorbance Y) from 3 to 10 value pairs, point as "
                           "decimal separator; put -- before a negative value.\nExit 0: computed. Exit 1: "
                           "too few pairs or a calculation "
                           "error."),
            0, -1, &exitCode))
        return exitCode;
    QList<double> x;
    QList<double> y;
    for (const QString &pair : parser.positionalArguments()) {
        const QStringList parts = pair.split(u',');
        bool okX = false;
        bool okY = false;
        if (parts.size() != 2 || (parts[0].toDouble(&okX), !okX) || (parts[1].toDouble(&okY), !okY)) {
            printError(QStringLiteral("not a value pair: ") + pair);
            return kUsageError;
        }
        x.append(parts[0].toDouble());
        y.append(parts[1].toDouble());
    }
    if (x.size() < 3) {
        printError(TextTable::text(TextTable::TooFewValuePairs));
        return kFailed;
    }
    if (x.size() > 10) {
        printError(QStringLiteral("at most 10 value pairs"));
        return kUsageError;
    }
    Session session;
    double a0 = 0, a1 = 0, ym = 0, xm = 0, sx0 = 0, vx0 = 0, xn = 0, xb = 0;
    const qint16 n = qint16(x.size());
    if (!session.shared.calibration->Calculate(a0, a1, ym, xm, sx0, vx0, xn, xb, x, y, n))
        return fail(TextTable::CalculationError);
    const QString unit = QStringLiteral("mg/l");
    printLine(QStringLiteral("A0: ") + scientific(a0));
    printLine(QStringLiteral("A1: ") + scientific(a1) + QStringLiteral("  1/(") + unit + u')');
    printLine(QStringLiteral("YQ: ") + scientific(ym));
    printLine(QStringLiteral("XQ: ") + scientific(xm) + QStringLiteral("  ") + unit);
    printLine(QStringLiteral("N: %1").arg(n));
    printLine(QStringLiteral("SX0: ") + scientific(sx0) + QStringLiteral("  ") + unit);
    printLine(QStringLiteral("VX0: ") + QString::number(vx0, 'f', 1) + QStringLiteral("  %"));
    printLine(QStringLiteral("XN: ") + scientific(xn) + QStringLiteral("  ") + unit);
    printLine(QStringLiteral("XB: ") + scientific(xb) + QStringLiteral("  ") + unit);
    return 0;
}

int checkrangeCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("values"), QStringLiteral("MRB MRE E0 SLOPE"));
    int exitCode = 0;
    if (!parseOptions(
            parser, arguments,
            QStringLiteral("meravo-cli checkrange MRB MRE E0 SLOPE\n\nChecks a program's measuring range "
                           "against the meter's absorbance range (-0.2 A to 2.0 A); put -- before a negative "
                           "value.\nExit 0: ok. Exit 1: "
                           "the range is exceeded."),
            4, 4, &exitCode))
        return exitCode;
    float v[4];
    const QStringList args = parser.positionalArguments();
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = args[i].toFloat(&ok);
        if (!ok) {
            printError(QStringLiteral("not a number: ") + args[i]);
            return kUsageError;
        }
    }
    Session session;
    if (session.shared.calibration->CheckMeasRange(v[0], v[1], v[2], v[3])) {
        printLine(QStringLiteral("ok"));
        return 0;
    }
    printLine(TextTable::text(TextTable::MeasuringRangeExceeded));
    printLine(TextTable::text(TextTable::CheckRangeAndSlope));
    return kFailed;
}

} // namespace

int programs(const QStringList &arguments)
{
    return programsCommand(arguments);
}

int calrecord(const QStringList &arguments)
{
    return calrecordCommand(arguments);
}

int calline(const QStringList &arguments)
{
    return callineCommand(arguments);
}

int checkrange(const QStringList &arguments)
{
    return checkrangeCommand(arguments);
}

} // namespace Cli
