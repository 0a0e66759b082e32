// Control charts: the eight tests on planted series, the limits against NumPy, the values a chart
// judges and those it only shows, and the judgement at import on both archive engines through the
// simulated meter and meravo-cli.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "PgServer.h"
#include "QcChart.h"
#include "SimDatasets.h"
#include "TestSupport.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <random>

namespace {

using Run = ProcessRun;

Run cli(const QStringList &arguments)
{
    return runServed(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), arguments);
}

} // namespace

Q_DECLARE_METATYPE(ArchivedRow)

namespace {

// Expected flags: test number (1-8) -> indices.
using Expected = QMap<int, QList<int>>;

// Archived rows of a 14-field meter: value text, unit, status, serial per row; a minute apart.
QList<ArchivedRow> rows(const QStringList &values, const QStringList &units = {},
                        const QStringList &status = {}, const QStringList &serials = {})
{
    QList<ArchivedRow> list;
    for (qsizetype i = 0; i < values.size(); ++i) {
        ArchivedRow r;
        r.id = i + 1;
        r.serial = serials.value(i, QStringLiteral("A1"));
        r.fields[DatasetFields::Date] = QStringLiteral("24.03.26");
        r.fields[DatasetFields::Time] = QTime(8, 0).addSecs(60 * int(i)).toString(QStringLiteral("HH:mm:ss"));
        r.fields[DatasetFields::SampleId] = QStringLiteral("STD10");
        r.fields[DatasetFields::Value1] = values[i];
        r.fields[DatasetFields::Unit1] = units.value(i, QStringLiteral("mg/l"));
        r.fields[DatasetFields::Status1] = status.value(i, QStringLiteral("OK"));
        r.withdrawn = status.value(i) == QLatin1String("withdrawn");
        if (r.withdrawn)
            r.fields[DatasetFields::Status1] = QStringLiteral("OK");
        list.append(r);
    }
    return list;
}

// A standard whose pre-period raises no flag: 20 values of a pattern that breaks no test.
QByteArray standardRecords(const QList<double> &extra)
{
    const double pattern[] = {0.5, 1.5, -0.5, -1.5, 0.2};
    QList<double> values;
    for (int i = 0; i < 20; ++i)
        values.append(10 + 0.2 * pattern[i % 5]);
    values += extra;
    QByteArray out;
    for (qsizetype k = 0; k < values.size(); ++k) {
        if (k > 0)
            out += "\r\n";
        const QByteArray time =
            QTime(8, 0).addSecs(int(k) * 60).toString(QStringLiteral("HH:mm:ss")).toLatin1();
        // A river sample between the standards: never part of the chart.
        out += QByteArray::number(2 * k + 1) + ";24.03.26;" + time +
               ";river;902;100001;;1:1;3.21;mg/l;OK;;;\r\n";
        out += QByteArray::number(2 * k + 2) + ";24.03.26;" + time + ";STD10;902;100001;AQA;1:1;" +
               QByteArray::number(values[k], 'f', 2) + ";mg/l;OK;;;";
    }
    return out;
}

} // namespace

class TestQc : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testsFlagPlantedSeries_data();
    void testsFlagPlantedSeries();
    void limitsMatchNumPy();
    void chartJudgesOnlyComparableValues_data();
    void chartJudgesOnlyComparableValues();
    void periodsAndLimits_data();
    void periodsAndLimits();
    void definitionsAreChecked_data();
    void definitionsAreChecked();
    void importJudgesControlSamples_data();
    void importJudgesControlSamples();

private:
    QTemporaryDir m_home;
};

void TestQc::initTestCase()
{
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (m_home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    for (const char *name : {"PGHOST", "PGPORT", "PGUSER", "PGDATABASE", "PGSERVICE"})
        qunsetenv(name);
}

void TestQc::testsFlagPlantedSeries_data()
{
    QTest::addColumn<QList<double>>("z");
    QTest::addColumn<int>("mask");
    QTest::addColumn<Expected>("expected");
    const int all = QcRules::kAll;
    QList<double> alternating;
    for (int i = 0; i < 15; ++i)
        alternating.append(i % 2 ? -0.3 : 0.3);
    QList<double> shifted; // a step of +3 s at index 5 of a quiet series
    for (int i = 0; i < 12; ++i)
        shifted.append((i % 2 ? -0.2 : 0.2) + (i >= 5 ? 3.0 : 0.0));
    QTest::newRow("one beyond action")
        << QList<double>{0.5, 1.5, -0.5, 3.2, -1.5, 0.2} << all << Expected{{1, {3}}};
    QTest::newRow("below action") << QList<double>{0.5, -3.4, 0.1} << all << Expected{{1, {1}}};
    QTest::newRow("nine on one side")
        << QList<double>{-0.5, 0.3, 0.4, 0.2, 0.6, 0.1, 0.5, 0.7, 0.2, 0.4, -0.3} << all
        << Expected{{2, {9}}};
    QTest::newRow("six rising") << QList<double>{0.0, -1.2, -0.8, -0.3, 0.1, 0.6, 0.9, 0.4} << all
                                << Expected{{3, {6}}};
    QTest::newRow("fourteen alternating, fifteen within")
        << alternating << all << Expected{{4, {13, 14}}, {7, {14}}};
    QTest::newRow("two of three beyond warning")
        << QList<double>{0.1, 2.3, 0.4, 2.5, -0.2} << all << Expected{{5, {3}}};
    QTest::newRow("four of five beyond 1 s")
        << QList<double>{0.0, 1.2, 1.5, 0.3, 1.1, 1.4, -0.5} << all << Expected{{6, {5}}};
    QTest::newRow("eight beyond 1 s either side")
        << QList<double>{1.5, -1.5, -1.2, 1.3, 1.8, -1.1, 1.2, -1.6, 0.0} << all << Expected{{8, {7}}};
    QTest::newRow("a step of 3 s") << shifted << all
                                   << Expected{
                                          {1, {6, 8, 10}}, {5, {6, 7, 8, 9, 10, 11}}, {6, {8, 9, 10, 11}}};
    QTest::newRow("limits-only preset") << alternating << int(QcRules::kLimitsOnly) << Expected{};
    QTest::newRow("s = 0: any other value is beyond")
        << QList<double>{0, 0, INFINITY, 0} << all << Expected{{1, {2}}};
}

void TestQc::testsFlagPlantedSeries()
{
    QFETCH(QList<double>, z);
    QFETCH(int, mask);
    QFETCH(Expected, expected);
    std::vector<QcRules::Mask> flags;
    QcRules::judge(std::vector<double>(z.cbegin(), z.cend()), QcRules::Mask(mask), flags);
    Expected found;
    for (size_t i = 0; i < flags.size(); ++i)
        for (int r = 0; r < QcRules::Count; ++r)
            if (flags[i] & QcRules::bit(QcRules::Rule(r)))
                found[r + 1].append(int(i));
    QCOMPARE(found, expected);
}

// Mean, s and the limits of the chart's pre-period against NumPy's on the same values: a series of
// small spread far from zero, a wide one, and a hundred thousand values.
void TestQc::limitsMatchNumPy()
{
    // Debian's interpreter, the one python3-numpy installs into (not one a user put first in PATH).
    const QString python = QStringLiteral("/usr/bin/python3");
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import numpy")});
    if (!probe.waitForFinished() || probe.exitCode() != 0)
        QSKIP("python3-numpy is missing (scripts/setup.sh installs it)");
    std::mt19937_64 random(23);
    std::normal_distribution<double> normal;
    QList<QList<double>> series(3);
    for (int i = 0; i < 25; ++i)
        series[0].append(1e6 + 1e-3 * normal(random));
    for (int i = 0; i < 40; ++i)
        series[1].append(5 * normal(random) - 3);
    for (int i = 0; i < 100000; ++i)
        series[2].append(10 + 0.3 * normal(random));
    QString text;
    for (const QList<double> &s : series) {
        QStringList numbers;
        for (const double v : s)
            numbers.append(QString::number(v, 'g', 17));
        text += numbers.join(QLatin1Char(' ')) + QLatin1Char('\n');
    }
    const QString input = m_home.filePath(QStringLiteral("series.txt"));
    writeBytes(input, text.toLatin1());
    QProcess numpy;
    numpy.start(python, {QStringLiteral(MERAVO_SOURCE_DIR "/tests/qc_numpy.py"), input});
    QVERIFY(numpy.waitForFinished(60000));
    const QStringList lines =
        QString::fromLatin1(numpy.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), series.size());
    for (qsizetype k = 0; k < series.size(); ++k) {
        QcDefinition d;
        d.prePeriod = int(series[k].size());
        QStringList values;
        for (const double v : series[k])
            values.append(QString::number(v, 'g', 17));
        const QcChart chart = QcChart::build(d, rows(values), {});
        QCOMPARE(chart.periods.size(), qsizetype(1));
        const QcPeriod &p = chart.periods.first();
        const QList<double> ours = {p.centre, p.s, p.limit(-3), p.limit(-2), p.limit(2), p.limit(3)};
        const QStringList theirs = lines[k].split(QLatin1Char(' '));
        for (qsizetype i = 0; i < ours.size(); ++i) {
            const double expected = theirs[i].toDouble();
            QVERIFY2(std::fabs(ours[i] - expected) <= 1e-12 * std::fabs(expected),
                     qPrintable(QStringLiteral("series %1, figure %2: %3 against NumPy's %4")
                                    .arg(k)
                                    .arg(i)
                                    .arg(ours[i], 0, 'g', 17)
                                    .arg(expected, 0, 'g', 17)));
        }
    }
}

void TestQc::chartJudgesOnlyComparableValues_data()
{
    QTest::addColumn<QList<ArchivedRow>>("archived");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<bool>>("judged");
    QTest::addColumn<QList<double>>("values"); // of the judged points, in order
    QTest::addColumn<QString>("unit");
    QTest::addColumn<bool>("limits");
    const QStringList four = {"10.1", "9.9", "10.0", "10.2"};
    QTest::newRow("below range, not numeric, status, withdrawn")
        << rows(four + QStringList{"<0.05", "abc", "10.1", "10.0"}, {},
                {"OK", "OK", "OK", "OK", "OK", "OK", "E3", "withdrawn"})
        << "standard" << QList<bool>{true, true, true, true, false, false, false, false}
        << QList<double>{10.1, 9.9, 10.0, 10.2} << "mg/l" << true;
    QTest::newRow("unit changes: the other unit is never mixed in")
        << rows(four + QStringList{"44.3"}, {"mg/l", "mg/l", "mg/l", "mg/l", "mg/l NO3"}) << "standard"
        << QList<bool>{true, true, true, true, false} << QList<double>{10.1, 9.9, 10.0, 10.2} << "mg/l"
        << true;
    QTest::newRow("two meters in one chart")
        << rows(four, {}, {}, {"A1", "B2", "A1", "B2"}) << "standard" << QList<bool>{true, true, true, true}
        << QList<double>{10.1, 9.9, 10.0, 10.2} << "mg/l" << true;
    QTest::newRow("pre-period not complete")
        << rows(four.mid(0, 3)) << "standard" << QList<bool>{true, true, true}
        << QList<double>{10.1, 9.9, 10.0} << "mg/l" << false;
    QTest::newRow("recovery in %") << rows(four) << "recovery" << QList<bool>{true, true, true, true}
                                   << QList<double>{101, 99, 100, 102} << "%" << true;
    QTest::newRow("range of pairs, one waiting")
        << rows(four + QStringList{"9.8", "10.0", "10.3"}) << "range" << QList<bool>{true, true, true, false}
        << QList<double>{0.2, 0.2, 0.2} << "mg/l" << false;
}

void TestQc::chartJudgesOnlyComparableValues()
{
    QFETCH(QList<ArchivedRow>, archived);
    QFETCH(QString, kind);
    QFETCH(QList<bool>, judged);
    QFETCH(QList<double>, values);
    QFETCH(QString, unit);
    QFETCH(bool, limits);
    QcDefinition d;
    QVERIFY(QcDefinition::readKind(kind, &d.kind));
    d.spiked = 10;
    d.prePeriod = 4;
    const QcChart chart = QcChart::build(d, archived, {});
    QList<bool> isJudged;
    QList<double> judgedValues;
    for (const QcPoint &p : chart.points) {
        isJudged.append(p.judged);
        QCOMPARE(p.excluded.isEmpty(), p.judged); // every value left out says why
        if (p.judged)
            judgedValues.append(std::round(p.value * 1e9) / 1e9);
    }
    QCOMPARE(isJudged, judged);
    QCOMPARE(judgedValues, values);
    QCOMPARE(chart.unit, unit);
    QCOMPARE(chart.periods.isEmpty(), !limits);
    QCOMPARE(chart.waiting.isEmpty(), limits);
    // Values left out are never counted in the statistics either.
    QCOMPARE(chart.statistics.n, qint64(values.size()));
}

void TestQc::periodsAndLimits_data()
{
    QTest::addColumn<QString>("settings"); // a definition's JSON fields
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("revisedAfter"); // index of the last value of a revision; -1: none
    QTest::addColumn<QList<int>>("periodStarts");
    QTest::addColumn<QList<int>>("flagged");
    QTest::addColumn<bool>("due");
    const QList<double> steady = {10.1, 9.9, 10.0, 10.2, 9.8, 10.1, 9.9};
    QTest::newRow("target value: every value judged")
        << R"({"target": 10, "target_s": 0.1})" << QStringList() << QList<double>{10.0, 10.5, 9.95} << -1
        << QList<int>{0} << QList<int>{1} << false;
    QTest::newRow("revision due") << R"({"pre_period": 4, "revision_after": 3})" << QStringList() << steady
                                  << -1 << QList<int>{0} << QList<int>{} << true;
    QTest::newRow("a revision starts a period after its basis")
        << R"({"pre_period": 4})" << QStringList() << steady + QList<double>{12.0} << 5 << QList<int>{0, 6}
        << QList<int>{7} << false;
    QTest::newRow("range of pairs: action limit at 3.267 times the mean range, none below 0")
        << R"({"pre_period": 4, "kind": "range"})" << QStringList()
        << QList<double>{10.0, 10.2, 10.1, 9.9, 10.0, 10.2, 9.9, 10.1, 10.0, 10.7, 10.3, 10.3} << -1
        << QList<int>{0} << QList<int>{4} << false;
    QTest::newRow("pattern takes whole IDs only")
        << R"({"pre_period": 2, "id": "std*"})" << QStringList{"STD-1", "xSTD", "STD-2", "STD-3", "std"}
        << QList<double>{10.0, 50.0, 10.2, 10.1, 10.1} << -1 << QList<int>{0} << QList<int>{} << false;
}

void TestQc::periodsAndLimits()
{
    QFETCH(QString, settings);
    QFETCH(QStringList, ids);
    QFETCH(QList<double>, values);
    QFETCH(int, revisedAfter);
    QFETCH(QList<int>, periodStarts);
    QFETCH(QList<int>, flagged);
    QFETCH(bool, due);
    QStringList texts;
    for (const double v : values)
        texts.append(QString::number(v, 'f', 2));
    QList<ArchivedRow> archived = rows(texts);
    for (qsizetype i = 0; i < ids.size(); ++i)
        archived[i].fields[DatasetFields::SampleId] = ids[i];
    const QcDefinition d = QcDefinition::fromJson(QJsonDocument::fromJson(settings.toLatin1()).object());
    QList<QcRevision> revisions;
    if (revisedAfter >= 0) {
        const QcChart before = QcChart::build(d, archived.mid(0, revisedAfter + 1), {});
        QcRevision r;
        QVERIFY(before.revise(4, &r).isEmpty());
        revisions.append(r);
    }
    const QcChart chart = QcChart::build(d, archived, revisions);
    QList<int> starts;
    for (const QcPeriod &p : chart.periods)
        starts.append(p.first);
    QCOMPARE(starts, periodStarts);
    QList<int> found;
    for (int i = 0; i < chart.points.size(); ++i)
        if (chart.points[i].flags)
            found.append(i);
    QCOMPARE(found, flagged);
    QCOMPARE(chart.revisionDue, due);
    if (!ids.isEmpty())
        QCOMPARE(chart.points.size(), qsizetype(4)); // not xSTD
}

void TestQc::definitionsAreChecked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("recovery without the spiked amount") << QStringList{"--kind", "recovery"} << 2;
    QTest::newRow("unknown kind") << QStringList{"--kind", "median"} << 64;
    QTest::newRow("value 3") << QStringList{"--value", "3"} << 2;
    QTest::newRow("pre-period of one value") << QStringList{"--pre-period", "1"} << 2;
    QTest::newRow("target without s") << QStringList{"--target", "10"} << 2;
    QTest::newRow("pre-period and target")
        << QStringList{"--pre-period", "5", "--target", "10", "--sd", "1"} << 64;
    QTest::newRow("a ninth test") << QStringList{"--tests", "1,9"} << 64;
    QTest::newRow("target, limits only")
        << QStringList{"--target", "10", "--sd", "0.2", "--tests", "limits"} << 0;
    QTest::newRow("recovery") << QStringList{"--kind", "recovery", "--spiked", "5", "--value", "2"} << 0;
}

// A definition the window or the command line refuses is never kept.
void TestQc::definitionsAreChecked()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    ArchiveSettings settings;
    settings.location = m_home.filePath(QStringLiteral("definitions.sqlite"));
    ArchiveSettings::storeForUser(settings);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QCOMPARE(cli(QStringList{"qc", "define", name} + arguments).exitCode, exitCode);
    const Run list = cli({"qc", "list"});
    QCOMPARE(list.exitCode, 0);
    QCOMPARE(list.out.contains(name), exitCode == 0);
}

void TestQc::importJudgesControlSamples_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

void TestQc::importJudgesControlSamples()
{
    QFETCH(QString, engine);
    ArchiveSettings settings;
    if (engine == QLatin1String("sqlite")) {
        settings.location = m_home.filePath(QStringLiteral("qc.sqlite"));
    } else {
        PgServer &server = PgServer::shared();
        if (!server.skipReason().isEmpty())
            QSKIP(qPrintable(server.skipReason()));
        settings.location = server.location(server.createArchive());
    }
    ArchiveSettings::storeForUser(settings);
    SimBench bench(1);
    SimDatasets meter(bench.addMeter(1));
    meter.setRecords(standardRecords({}), 40);
    QCOMPARE(cli({"archive", "import"}).exitCode, 0);
    const QString name = QStringLiteral("NO3 standard 10 mg/l");
    QCOMPARE(cli({"qc", "define", name, "--program", "902", "--id", "STD10", "--code", "AQA"}).exitCode, 0);
    QCOMPARE(cli({"qc", "define", "bad", "--target", "10"}).exitCode, 2);
    Run run = cli({"qc", "show", name});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // One value in control, one far beyond: the import says so and stops a script.
    meter.setRecords(standardRecords({10.05, 12.4}), 44);
    run = cli({"archive", "import"});
    QVERIFY2(run.exitCode == 7, qPrintable(run.err));
    // The limit in the user's form of numbers, the value as the meter gave it.
    const QString told =
        QStringLiteral("Control sample 'NO3 standard 10 mg/l': 12.40 mg/l beyond the upper action "
                       "limit (") +
        QLocale().toString(10.6, 'f', 1);
    QVERIFY2(run.err.contains(told), qPrintable(run.err));
    QCOMPARE(run.err.count(QStringLiteral("Control sample")), 1);
    run = cli({"qc", "show", name, "--format", "json"});
    QCOMPARE(run.exitCode, 1);
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("n")).toInteger(), qint64(22));
    QCOMPARE(json.value(QStringLiteral("violations")).toArray().at(0).toInt(), 1);
    // New limits from the last 21 values judge the next value; the far one keeps the limits it was
    // judged by.
    QCOMPARE(cli({"qc", "revise", name, "30"}).exitCode, 2);
    QCOMPARE(cli({"qc", "revise", name, "21", "--user", "Ana"}).exitCode, 0);
    meter.setRecords(standardRecords({10.05, 12.4, 10.1}), 46);
    run = cli({"archive", "import"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // A part of the chart shown; the verdict is still that of the newest value.
    run = cli({"qc", "show", name, "--from", "2026-03-25"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.count(QLatin1Char('\n')), 1); // the header only: every value is of 24 March
    run = cli({"qc", "show", name, "--format", "json"});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject revised = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(revised.value(QStringLiteral("periods")).toArray().size(), qsizetype(2));
    QCOMPARE(revised.value(QStringLiteral("violations")).toArray().at(0).toInt(), 1);
    // The report: pdftotext reads back its title, the flagged value and who printed it.
    const QString pdf = m_home.filePath(engine + QStringLiteral(".pdf"));
    QCOMPARE(cli({"qc", "show", name, "--pdf", pdf}).exitCode, 0);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished());
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    for (const QString &expected :
         {QStringLiteral("Control chart: NO3 standard 10 mg/l"), QStringLiteral("12.40 mg/l"),
          QStringLiteral("Period 2"), QStringLiteral("Printed")})
        QVERIFY2(report.contains(expected), qPrintable(expected + QStringLiteral(" in:\n") + report));
    // The definition, the revision and the value out of control are in the trail.
    run = cli({"trail", "show", "--format", "csv"});
    for (const char *action : {"qc-define", "qc-limits", "qc-out-of-control"})
        QVERIFY2(run.out.contains(QLatin1String(action)), action);
    // A value that waits on this PC while the server is away is judged when the server receives it.
    if (engine == QLatin1String("postgresql")) {
        QVERIFY(PgServer::shared().stop());
        meter.setRecords(standardRecords({10.05, 12.4, 10.1, 13.0}), 48);
        run = cli({"archive", "import"});
        QVERIFY(PgServer::shared().start());
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        run = cli({"archive", "sync"});
        QVERIFY2(run.exitCode == 7 &&
                     run.err.contains(QStringLiteral("13.00 mg/l beyond the upper action limit")),
                 qPrintable(run.err));
    }
    // Definitions and limits are evidence: the archive file refuses any change of them.
    if (engine == QLatin1String("sqlite"))
        for (const char *sql : {"UPDATE qc_definitions SET content = ''", "DELETE FROM qc_revisions"}) {
            QProcess sqlite;
            sqlite.start(QStringLiteral("sqlite3"), {settings.location, QLatin1String(sql)});
            QVERIFY(sqlite.waitForFinished());
            QVERIFY2(sqlite.readAllStandardError().contains("never"), sql);
        }
}

QTEST_MAIN(TestQc)
#include "tst_qc.moc"
