// meravo-cli qc: control samples from the command line, with the definition the window makes.
#include "CliCommands.h"
#include "CLogin.h"
#include "NumberText.h"
#include "QcReport.h"
#include "QcStore.h"
#include "TextTable.h"
#ifdef MERAVO_CLI_PRINT
#include "ControlChartPlot.h"
#include "CPrint.h"
#include "PrintJobs.h"
#endif

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <cstdio>

namespace Cli {
namespace {

enum Exit {
    kInControl = 0,
    kOutOfControl = 1,
    kBadInput = 2,
    kNothingJudged = 3,
    kArchiveFailed = 4,
    kNotWritten = 5
};

const char *const kHelp =
    "meravo-cli qc <action> [options]\n\n"
    "Control samples: standards, blanks, spiked samples and duplicates measured to watch a method. "
    "Their archived values make a Shewhart chart (centre line, warning limits at 2 s, action limits at "
    "3 s) and are judged by the tests switched on, the moment an import brings them.\n\n"
    "Actions:\n"
    "  define NAME --program P [selection] [chart] (--pre-period N | --target X --sd S)\n"
    "        a control sample, or a new version of one (recorded in the trail): --program P (the\n"
    "        method; required), --meter S/N (default: every meter), --value 1|2 (default 1),\n"
    "        --id PATTERN (part of the sample ID, or a whole ID with * and ?), --code TEXT (the\n"
    "        AR/BV/Cal or AQA/Cal column), --kind standard|blank|recovery|range (default standard),\n"
    "        --spiked X (recovery: the amount added; the chart shows value / X in %), --unit U\n"
    "        (default: the unit of the first value; values in another unit are never judged),\n"
    "        --pre-period N (limits from the first N values, default 20; kept once complete, and\n"
    "        refused while those values are all equal) or --target X --sd S\n"
    "        (a certified value and its s), --revision-after N (default 60), --tests all|limits|LIST\n"
    "        (all eight tests, the action and warning limits only, or numbers such as 1,2,5)\n"
    "  list  the control samples, one line each\n"
    "  show NAME [--from DATE] [--to DATE] [--format csv|json] [--pdf OUT.pdf] [--withdrawn]\n"
    "        the values with their limits and the tests they broke; --pdf writes the control chart\n"
    "        report instead (chart, limits, values, violations)\n"
    "  revise NAME N [--user NAME]  new limits from the last N values, judging the values after them\n\n"
    "Duplicates (range) pair by meter, sample ID, date and consecutive dataset numbers.\n"
    "Dates in ISO form (2026-03-24). Values given as '<0.05' or '>2.5', with a status other than OK, or\n"
    "without a number are listed and never judged nor used for limits.\n\n"
    "Exit codes: 0 the last judged value shown is in control (define, list, revise: done); 1 it is out\n"
    "of control; 2 an invalid definition, an unknown control sample or a bad date; 3 no value judged\n"
    "among those shown (the pre-period is not complete, its values are all equal, or none in the\n"
    "dates asked for); 4 the archive is unavailable or refused the work; 5 the PDF file\n"
    "was not written; 64 a command line that cannot be understood.";

// A computed number (a centre, a limit) in its shortest form that reads back the same.
QString plain(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', QLocale::FloatingPointShortest) : QString();
}

int failed(const Archive::Result &result)
{
    printError(result.message);
    return result.failure == Archive::Result::Other ? kBadInput : kArchiveFailed;
}

// The usage line names the whole command the user typed: "meravo-cli qc define".
bool parseQc(QCommandLineParser &parser, const QStringList &arguments, int minPositional, int maxPositional,
             int *exitCode)
{
    QStringList named = arguments;
    if (!named.isEmpty())
        named.first().prepend(QStringLiteral("qc "));
    return parseOptions(parser, named, QString::fromLatin1(kHelp), minPositional, maxPositional, exitCode);
}

bool readNumber(const QString &text, double *value)
{
    bool isNumber = false;
    *value = NumberText::Val(text, &isNumber);
    return isNumber && std::isfinite(*value);
}

// The options of qc define, added to its parser in the order --help lists them.
class DefineOptions {
    // First: the options below are added to it as they are made.
    QCommandLineParser &m_parser;

public:
    explicit DefineOptions(QCommandLineParser &parser) : m_parser(parser) {}

    const QCommandLineOption meter =
        add("meter", "Serial number of the meter (default: every meter).", "S/N");
    const QCommandLineOption program = add("program", "Program number: the method (required).", "P");
    const QCommandLineOption value = add("value", "Value 1 or 2 (default 1).", "1|2");
    const QCommandLineOption id = add("id", "Part of the sample ID, or a pattern with * and ?.", "PATTERN");
    const QCommandLineOption code = add("code", "The AR/BV/Cal or AQA/Cal column's value.", "TEXT");
    const QCommandLineOption kind =
        add("kind", "standard, blank, recovery or range (default standard).", "KIND");
    const QCommandLineOption spiked = add("spiked", "Recovery: the amount added.", "X");
    const QCommandLineOption unit = add("unit", "Unit (default: that of the first value).", "U");
    const QCommandLineOption pre = add("pre-period", "Limits from the first N values (default 20).", "N");
    const QCommandLineOption target = add("target", "Limits from this target value ...", "X");
    const QCommandLineOption sd = add("sd", "... and this s.", "S");
    const QCommandLineOption revision =
        add("revision-after", "Values after which a revision is due (default 60).", "N");
    const QCommandLineOption tests =
        add("tests", "all, limits, or test numbers such as 1,2,5 (default all).", "TESTS");
    const QCommandLineOption user = add("user", "Login name (default ---).", "NAME");

private:
    QCommandLineOption add(const char *name, const char *help, const char *valueName)
    {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help),
                             QString::fromLatin1(valueName));
        m_parser.addOption(o);
        return o;
    }
};

// all, limits, or test numbers such as 1,2,5.
bool readTests(const QString &t, QcDefinition &d)
{
    if (t == QLatin1String("all")) {
        d.rules = QcRules::kAll;
        return true;
    }
    if (t == QLatin1String("limits")) {
        d.rules = QcRules::kLimitsOnly;
        return true;
    }
    d.rules = 0;
    for (const QString &n : t.split(QLatin1Char(','))) {
        bool ok = false;
        const int k = n.trimmed().toInt(&ok);
        if (!ok || k < 1 || k > QcRules::Count)
            return false;
        d.rules |= QcRules::bit(QcRules::Rule(k - 1));
    }
    return true;
}

bool readInteger(const QCommandLineParser &parser, const QCommandLineOption &option, int *value)
{
    bool ok = true;
    if (parser.isSet(option))
        *value = parser.value(option).toInt(&ok);
    return ok;
}

// Why an option's value cannot be taken, or empty; the definition's own checks come later.
QString readDefinition(const QCommandLineParser &parser, const DefineOptions &o, QcDefinition &d)
{
    d.name = parser.positionalArguments().at(0).trimmed();
    d.meter = parser.value(o.meter);
    d.program = parser.value(o.program);
    d.idPattern = parser.value(o.id);
    d.code = parser.value(o.code);
    d.unit = parser.value(o.unit);
    const auto cannot = [&parser](const QCommandLineOption &option) {
        const QString name = option.names().constFirst();
        return QStringLiteral("--%1 %2 cannot be taken").arg(name, parser.value(name).left(40).simplified());
    };
    if (!readInteger(parser, o.value, &d.value))
        return cannot(o.value);
    if (parser.isSet(o.kind) && !QcDefinition::readKind(parser.value(o.kind), &d.kind))
        return cannot(o.kind);
    if (parser.isSet(o.spiked) && !readNumber(parser.value(o.spiked), &d.spiked))
        return cannot(o.spiked);
    if (!readInteger(parser, o.pre, &d.prePeriod))
        return cannot(o.pre);
    if (!readInteger(parser, o.revision, &d.revisionAfter))
        return cannot(o.revision);
    if (parser.isSet(o.target) || parser.isSet(o.sd)) {
        d.fromTarget = true;
        if (parser.isSet(o.pre))
            return QStringLiteral("--pre-period and --target exclude each other");
        // A missing half is the definition's problem, told as such.
        if (parser.isSet(o.target) && !readNumber(parser.value(o.target), &d.target))
            return cannot(o.target);
        if (parser.isSet(o.sd) && !readNumber(parser.value(o.sd), &d.targetS))
            return cannot(o.sd);
    }
    if (parser.isSet(o.tests) && !readTests(parser.value(o.tests), d))
        return cannot(o.tests);
    return {};
}

int define(const QStringList &arguments)
{
    QCommandLineParser parser;
    const DefineOptions options(parser);
    int exitCode = 0;
    if (!parseQc(parser, arguments, 1, 1, &exitCode))
        return exitCode;
    QcDefinition d;
    if (const QString why = readDefinition(parser, options, d); !why.isEmpty()) {
        // A value the definition cannot take is an invalid definition, as documented, not a command
        // line that cannot be understood.
        printError(QStringLiteral("meravo-cli qc define: %1 (see --help)").arg(why));
        return kBadInput;
    }
    Session session;
    session.shared.login->setUserName(parser.value(options.user));
    if (const Archive::Result r =
            QcStore::define(*session.shared.archive, d, session.shared.login->UserName());
        !r)
        return failed(r);
    return kInControl;
}

int list(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseQc(parser, arguments, 0, 0, &exitCode))
        return exitCode;
    Session session;
    QList<QcDefinition> definitions;
    if (const Archive::Result r = QcStore::definitions(*session.shared.archive, &definitions); !r)
        return failed(r);
    printLine(QStringLiteral("Name,Kind,Meter,Program,Value,Id,Code,Unit,Limits"));
    for (const QcDefinition &d : definitions)
        printLine(QStringList{
            csvField(d.name), QcDefinition::kindName(d.kind), csvField(d.meter), csvField(d.program),
            QString::number(d.value), csvField(d.idPattern), csvField(d.code), csvField(d.unit),
            d.fromTarget ? QStringLiteral("target %1 s %2").arg(plain(d.target), plain(d.targetS))
                         : QStringLiteral("pre-period %1").arg(d.prePeriod)}
                      .join(QLatin1Char(',')));
    return kInControl;
}

// The chart of a name, or the exit code when there is none.
int loadChart(Session &session, const QString &name, bool withdrawn, QcChart *chart)
{
    QcDefinition d;
    bool found = false;
    if (const Archive::Result r = QcStore::find(*session.shared.archive, name, &d, &found); !r)
        return failed(r);
    if (!found) {
        printError(QStringLiteral("There is no control sample '%1'.").arg(name.left(200)));
        return kBadInput;
    }
    if (const Archive::Result r = QcStore::load(*session.shared.archive, d, withdrawn, chart); !r)
        return failed(r);
    return -1;
}

QByteArray csvText(const QcChart &chart)
{
    QString out = QStringLiteral("Dataset,Date,Time,Meter,SampleId,Value,Judged,Period,Centre,LowerAction,"
                                 "LowerWarning,UpperWarning,UpperAction,Tests,Note\n");
    for (const QcPoint &p : chart.points) {
        const QcPeriod *period = p.period >= 0 ? &chart.periods[p.period] : nullptr;
        QStringList tests;
        for (int r = 0; r < QcRules::Count; ++r)
            if (p.flags & QcRules::bit(QcRules::Rule(r)))
                tests.append(QString::number(r + 1));
        out += QStringList{QString::number(p.datasetId),
                           p.date.toString(Qt::ISODate),
                           p.time.toString(QStringLiteral("HH:mm:ss")),
                           csvField(p.serial),
                           csvField(p.sampleId),
                           csvField(p.judged ? p.digits : p.text),
                           p.judged ? QStringLiteral("1") : QStringLiteral("0"),
                           period ? QString::number(p.period + 1) : QString(),
                           period ? plain(period->centre) : QString(),
                           period ? plain(period->limit(-3)) : QString(),
                           period ? plain(period->limit(-2)) : QString(),
                           period ? plain(period->limit(2)) : QString(),
                           period ? plain(period->limit(3)) : QString(),
                           csvField(tests.join(QLatin1Char(' '))),
                           csvField(p.excluded)}
                   .join(QLatin1Char(',')) +
               QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray jsonText(const QcChart &chart)
{
    QJsonArray periods;
    for (const QcPeriod &p : chart.periods)
        periods.append(QJsonObject{{QStringLiteral("centre"), p.centre},
                                   {QStringLiteral("s"), p.s},
                                   {QStringLiteral("n"), p.n},
                                   {QStringLiteral("lower_action"), p.limit(-3)},
                                   {QStringLiteral("lower_warning"), p.limit(-2)},
                                   {QStringLiteral("upper_warning"), p.limit(2)},
                                   {QStringLiteral("upper_action"), p.limit(3)}});
    QJsonArray values;
    for (const QcPoint &p : chart.points) {
        QJsonArray tests;
        for (int r = 0; r < QcRules::Count; ++r)
            if (p.flags & QcRules::bit(QcRules::Rule(r)))
                tests.append(r + 1);
        QJsonObject o{{QStringLiteral("dataset"), p.datasetId},
                      {QStringLiteral("date"), p.date.toString(Qt::ISODate)},
                      {QStringLiteral("time"), p.time.toString(QStringLiteral("HH:mm:ss"))},
                      {QStringLiteral("meter"), p.serial},
                      {QStringLiteral("sample_id"), p.sampleId},
                      {QStringLiteral("text"), p.text},
                      {QStringLiteral("judged"), p.judged},
                      {QStringLiteral("period"), p.period + 1},
                      {QStringLiteral("tests"), tests}};
        if (p.judged)
            o.insert(QStringLiteral("value"), p.value);
        else
            o.insert(QStringLiteral("note"), p.excluded);
        values.append(o);
    }
    QJsonArray violations;
    for (const qint64 v : chart.violations)
        violations.append(v);
    const QJsonObject root{{QStringLiteral("definition"), chart.definition.toJson()},
                           {QStringLiteral("unit"), chart.unit},
                           {QStringLiteral("waiting"), chart.waiting},
                           {QStringLiteral("revision_due"), chart.revisionDue},
                           {QStringLiteral("n"), chart.statistics.n},
                           {QStringLiteral("mean"), chart.statistics.mean},
                           {QStringLiteral("s"), chart.statistics.s},
                           {QStringLiteral("violations"), violations},
                           {QStringLiteral("periods"), periods},
                           {QStringLiteral("values"), values}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

int show(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First date (2026-03-24)."),
                                  QStringLiteral("DATE"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last date (2026-03-24)."),
                                QStringLiteral("DATE"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("csv (default) or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("csv"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("Write the report as a PDF file."),
                                 QStringLiteral("OUT.pdf"));
    const QCommandLineOption withdrawn(QStringLiteral("withdrawn"), QStringLiteral("Also withdrawn values."));
    parser.addOptions({from, to, format, pdf, withdrawn});
    int exitCode = 0;
    if (!parseQc(parser, arguments, 1, 1, &exitCode))
        return exitCode;
    QDate first;
    QDate last;
    for (const auto &[option, date] : {std::pair{&from, &first}, std::pair{&to, &last}})
        if (parser.isSet(*option) && !ArchiveFilter::readDate(parser.value(*option), date)) {
            printError(TextTable::text(TextTable::ArchiveFilterDate)
                           .arg(parser.value(*option).left(40).simplified()));
            return kBadInput;
        }
    const QString kind = parser.value(format);
    if (kind != QLatin1String("csv") && kind != QLatin1String("json")) {
        printError(QStringLiteral("--format takes csv or json"));
        return kUsageError;
    }
    Session session;
    QcChart chart;
    if (const int code =
            loadChart(session, parser.positionalArguments().at(0), parser.isSet(withdrawn), &chart);
        code >= 0)
        return code;
    // The verdict is that of the newest value shown: with --to, the chart as it stood that day.
    chart.restrictTo(first, last);
    const QcPoint *newest = chart.lastJudged();
    const int verdict = !newest ? kNothingJudged : newest->flags ? kOutOfControl : kInControl;
    if (parser.isSet(pdf)) {
#ifdef MERAVO_CLI_PRINT
        session.shared.login->setUserName(QString());
        PrintJobs::Job job;
        const QStringList lines =
            QcReport::lines(chart, session.shared.login->UserName(), QDateTime::currentDateTime());
        job.print = [&lines](CPrint &print) { return print.PrintReport(lines); };
        job.extraPage = [&chart](QPainter &painter, const QRectF &page) {
            ControlChartPlot::draw(painter, page, chart, ControlChartPlot::fullRange(chart), false);
        };
        if (!PrintJobs::writePdf(*session.shared.print, job, parser.value(pdf))) {
            printError(TextTable::text(TextTable::PdfNotWritten));
            return kNotWritten;
        }
#else
        printError(QStringLiteral("meravo-cli was built without printing: --pdf is not available"));
        return kNotWritten;
#endif
    } else {
        const bool json = kind == QLatin1String("json");
        const QByteArray text = json ? jsonText(chart) : csvText(chart);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        // JSON carries it in "waiting"; CSV rows cannot.
        if (!json && !chart.waiting.isEmpty())
            printError(TextTable::text(TextTable::QcWaitingNotice).arg(chart.definition.name, chart.waiting));
    }
    return verdict;
}

int revise(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login name (default ---)."),
                                  QStringLiteral("NAME"));
    parser.addOption(user);
    int exitCode = 0;
    if (!parseQc(parser, arguments, 2, 2, &exitCode))
        return exitCode;
    bool ok = false;
    const qint64 n = parser.positionalArguments().at(1).toLongLong(&ok);
    if (!ok) {
        printError(QStringLiteral("meravo-cli qc revise: N must be a whole number"));
        return kUsageError;
    }
    Session session;
    QcChart chart;
    if (const int code = loadChart(session, parser.positionalArguments().at(0), false, &chart); code >= 0)
        return code;
    session.shared.login->setUserName(parser.value(user));
    if (const Archive::Result r =
            QcStore::revise(*session.shared.archive, chart, n, session.shared.login->UserName());
        !r)
        return failed(r);
    return kInControl;
}

} // namespace

int qc(const QStringList &arguments)
{
    const QList<QPair<QString, Action>> actions = {
        {QStringLiteral("define"), &define},
        {QStringLiteral("list"), &list},
        {QStringLiteral("show"), &show},
        {QStringLiteral("revise"), &revise},
    };
    return runAction(QStringLiteral("qc"), arguments, actions, QString::fromLatin1(kHelp));
}

} // namespace Cli
