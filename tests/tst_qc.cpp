// Control charts: the eight tests on planted series, the limits against NumPy, the values a chart
// judges and those it only shows, and the judgement at import on both archive engines through the
// simulated meter and meravo-cli.
#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "CSerialLink.h"
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

// A dataset of a control sample as the meter writes it.
struct Measured {
    int no;
    QByteArray date;
    QByteArray time;
    QByteArray id;
    QByteArray value;
    QByteArray status = "OK";
};

QByteArray recordsOf(const QList<Measured> &list)
{
    QList<QByteArray> lines;
    for (const Measured &m : list)
        lines.append(QByteArray::number(m.no) + ';' + m.date + ';' + m.time + ';' + m.id +
                     ";902;100001;AQA;1:1;" + m.value + ";mg/l;" + m.status + ";;;");
    return lines.join("\r\n");
}

QByteArray minute(int k)
{
    return QTime(8, 0).addSecs(60 * k).toString(QStringLiteral("HH:mm:ss")).toLatin1();
}

// A quiet standard, numbered from first, a minute apart from 08:00 of the date; breaks no test.
QList<Measured> quietStandard(int first, int count, const QByteArray &date = "24.03.26")
{
    static const char *const values[] = {"10.10", "10.30", "9.90", "9.70", "10.04"};
    QList<Measured> list;
    for (int k = first; k < first + count; ++k)
        list.append({k, date, minute(k), "STD10", values[k % 5]});
    return list;
}

// Duplicate pairs of samples D<n> of different levels, numbered from first, ranges 0.05 to 0.11; the
// first value has the given status.
QList<Measured> duplicates(int first, int pairs, const QByteArray &status = "OK")
{
    QList<Measured> list;
    for (int k = 0; k < pairs; ++k) {
        const int no = first + 2 * k;
        const double level = 5 + 3 * no;
        const QByteArray id = "D" + QByteArray::number(no);
        list.append(
            {no, "24.03.26", minute(no), id, QByteArray::number(level, 'f', 2), k == 0 ? status : "OK"});
        list.append({no + 1, "24.03.26", minute(no + 1), id,
                     QByteArray::number(level + 0.05 + 0.03 * (k % 3), 'f', 2)});
    }
    return list;
}

// Each value of "qc show --format json" by its dataset: judged or not, period, tests broken.
QMap<qint64, QJsonObject> valuesOf(const QString &json)
{
    QMap<qint64, QJsonObject> values;
    for (const QJsonValue &v :
         QJsonDocument::fromJson(json.toUtf8()).object().value(QStringLiteral("values")).toArray())
        values.insert(v.toObject().value(QStringLiteral("dataset")).toInteger(), v.toObject());
    return values;
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
        r.fields[DatasetFields::No] = QString::number(i + 1);
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
    void pastVerdictsStand_data();
    void pastVerdictsStand();
    void commandLineSaysWhatItMeans_data();
    void commandLineSaysWhatItMeans();
    void verdictCommitsWithItsImport_data();
    void verdictCommitsWithItsImport();

private:
    // A new archive of the engine for the user's runs; false (the test skipped) without a server.
    bool useArchive(const QString &engine);
    // A measured-value file of the meter with these datasets.
    QString file(const QString &serial, const QByteArray &records);

    QTemporaryDir m_home;
    int m_files = 0;
    bool m_cliCharts = false;
    CSerialLink m_link;
    CCommunication m_communication{&m_link};
    CDevice m_device{&m_link, m_communication};
};

bool TestQc::useArchive(const QString &engine)
{
    ArchiveSettings settings;
    if (engine == QLatin1String("sqlite")) {
        settings.location = m_home.filePath(QStringLiteral("archive%1.sqlite").arg(++m_files));
    } else {
        PgServer &server = PgServer::shared();
        if (!server.skipReason().isEmpty())
            return false;
        settings.location = server.location(server.createArchive());
    }
    ArchiveSettings::storeForUser(settings);
    return true;
}

QString TestQc::file(const QString &serial, const QByteArray &records)
{
    const QString path = m_home.filePath(QStringLiteral("values%1.csv").arg(++m_files));
    const MeasuredValues values{QStringLiteral("Lumora"), serial, QStringLiteral("anna"),
                                QDateTime(QDate(2026, 3, 24), QTime(12, 0)),
                                QString::fromLatin1(MeterSim::acceptedAnswer(records))};
    QString text;
    CMeasVal(m_device).BuildFileText(text, values);
    writeBytes(path, Cp1252::encode(text));
    return path;
}

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
    QTest::newRow("unknown kind") << QStringList{"--kind", "median"} << 2;
    QTest::newRow("value 3") << QStringList{"--value", "3"} << 2;
    QTest::newRow("pre-period of one value") << QStringList{"--pre-period", "1"} << 2;
    QTest::newRow("target without s") << QStringList{"--target", "10"} << 2;
    QTest::newRow("pre-period and target")
        << QStringList{"--pre-period", "5", "--target", "10", "--sd", "1"} << 2;
    QTest::newRow("a ninth test") << QStringList{"--tests", "1,9"} << 2;
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
    QCOMPARE(cli(QStringList{"qc", "define", name, "--program", "902"} + arguments).exitCode, exitCode);
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
    // A part of the chart shown: its verdict is that of the newest value shown, here none.
    run = cli({"qc", "show", name, "--from", "2026-03-25"});
    QCOMPARE(run.exitCode, 3);
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

void TestQc::pastVerdictsStand_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("definition");
    QTest::addColumn<QByteArray>("first"); // meter S-A, judged first
    QTest::addColumn<QByteArray>("later"); // meter S-B, archived afterwards; empty: none
    QTest::addColumn<int>("withdrawn");    // index of a value of the first withdrawn afterwards; -1: none
    QTest::addColumn<int>("exitAfter");    // of qc show
    const QStringList standard = {"--program", "902", "--id", "STD10", "--pre-period", "5"};
    QList<Measured> flat;
    for (int k = 1; k <= 5; ++k)
        flat.append({k, "24.03.26", minute(k), "STD10", k < 5 ? "10.00" : "10.01"});
    for (const char *engine : {"sqlite", "postgresql"}) {
        const auto row = [engine](const char *name) -> QTestData & {
            return QTest::addRow("%s, %s", name, engine) << QString::fromLatin1(engine);
        };
        row("older values of another meter") << standard << recordsOf(quietStandard(1, 8))
                                             << recordsOf(quietStandard(1, 3, "23.03.26")) << -1 << 0;
        row("a pre-period value withdrawn")
            << standard << recordsOf(quietStandard(1, 8)) << QByteArray() << 1 << 0;
        row("a duplicate not judged (E1)")
            << QStringList{"--program", "902", "--id", "D*", "--kind", "range", "--pre-period", "3"}
            << recordsOf(duplicates(1, 4)) << recordsOf(duplicates(9, 3, "E1")) << -1 << 0;
        row("pre-period values all equal (s = 0)")
            << QStringList{"--program", "902", "--id", "STD10", "--pre-period", "4"} << recordsOf(flat)
            << recordsOf({{1, "24.03.26", "09:00:00", "STD10", "10.02"}}) << -1 << 3;
    }
}

// Values that arrive or are withdrawn after a chart's limits were set never move them, nor any
// verdict given before; a duplicate pair is the pair itself, whatever was left out before it.
void TestQc::pastVerdictsStand()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, definition);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, later);
    QFETCH(int, withdrawn);
    QFETCH(int, exitAfter);
    if (!useArchive(engine))
        QSKIP(qPrintable(PgServer::shared().skipReason()));
    const QString name = QStringLiteral("chart");
    QCOMPARE(cli(QStringList{"qc", "define", name} + definition).exitCode, 0);
    QCOMPARE(cli({"archive", "add", file(QStringLiteral("S-A"), first)}).exitCode, 0);
    const QString before = cli({"qc", "show", name, "--format", "json"}).out;
    if (!later.isEmpty())
        QCOMPARE(cli({"archive", "add", file(QStringLiteral("S-B"), later)}).exitCode, 0);
    QMap<qint64, QJsonObject> was = valuesOf(before);
    const qint64 gone = withdrawn < 0 ? 0 : was.keys().at(withdrawn);
    if (gone)
        QCOMPARE(cli({"archive", "withdraw", QString::number(gone), "cuvette scratched"}).exitCode, 0);
    const Run after = cli({"qc", "show", name, "--format", "json"});
    QCOMPARE(after.exitCode, exitAfter);
    const auto limits = [](const QString &json) {
        return QJsonDocument::fromJson(json.toUtf8())
            .object()
            .value(QStringLiteral("periods"))
            .toArray()
            .first();
    };
    QCOMPARE(limits(after.out), limits(before));
    was.remove(gone);
    const QMap<qint64, QJsonObject> now = valuesOf(after.out);
    QVERIFY(now.size() > was.size() || gone);
    for (auto v = was.cbegin(); v != was.cend(); ++v)
        QCOMPARE(now.value(v.key()), v.value());
    for (const QJsonObject &v : now)
        QVERIFY2(v.value(QStringLiteral("tests")).toArray().isEmpty(), qPrintable(after.out));
}

void TestQc::commandLineSaysWhatItMeans_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("told"); // a part of what it prints
    QTest::newRow("--to: the last value shown is in control")
        << QStringList{"show", "std", "--to", "2026-03-24"} << 0 << "";
    QTest::newRow("the meter's digits") << QStringList{"show", "std"} << 1 << ",9.9744,";
    QTest::newRow("a range in the meter's digits") << QStringList{"show", "dup"} << 1 << ",0.74,";
    QTest::newRow("a definition names its method") << QStringList{"define", "x", "--id", "STD10"} << 2 << "";
    QTest::newRow("revise below two values") << QStringList{"revise", "std", "1"} << 2 << "at least 2";
    QTest::newRow("an open pre-period in CSV says so") << QStringList{"show", "open"} << 3 << "'open'";
    QTest::newRow("the usage names the action")
        << QStringList{"define", "--help"} << 0 << "meravo-cli qc define";
}

void TestQc::commandLineSaysWhatItMeans()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, told);
    if (!m_cliCharts) {
        QVERIFY(useArchive(QStringLiteral("sqlite")));
        QList<Measured> standard = quietStandard(1, 8);
        standard[7].value = "9.9744";
        standard.append({9, "25.03.26", "08:00:00", "STD10", "12.40"});
        QList<Measured> pairs = duplicates(20, 3);
        pairs.append({30, "24.03.26", minute(30), "D30", "10.00"});
        pairs.append({31, "24.03.26", minute(31), "D30", "10.74"});
        QCOMPARE(cli({"archive", "add", file(QStringLiteral("S-A"), recordsOf(standard + pairs))}).exitCode,
                 0);
        for (const QStringList &d : {QStringList{"std", "--id", "STD10", "--pre-period", "5"},
                                     QStringList{"dup", "--id", "D*", "--kind", "range", "--pre-period", "3"},
                                     QStringList{"open", "--id", "STD10"}})
            QCOMPARE(cli(QStringList{"qc", "define"} + d + QStringList{"--program", "902"}).exitCode, 0);
        m_cliCharts = true;
    }
    const Run run = cli(QStringList{"qc"} + arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QVERIFY2((run.out + run.err).contains(told), qPrintable(run.out + run.err));
}

void TestQc::verdictCommitsWithItsImport_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

// An import killed at any of its steps leaves it and the verdict on its value out of control both in
// the archive or neither; run again, each is there exactly once.
void TestQc::verdictCommitsWithItsImport()
{
    QFETCH(QString, engine);
    const QString crashing = QStringLiteral(MERAVO_BIN_DIR "/meravo-cli-crashtest");
    const QString far =
        file(QStringLiteral("S-B"), recordsOf({{1, "24.03.26", "09:00:00", "STD10", "12.40"}}));
    const auto prepare = [&] {
        if (!useArchive(engine))
            return false;
        return cli({"qc", "define", "chart", "--program", "902", "--id", "STD10", "--pre-period", "5"})
                       .exitCode == 0 &&
               cli({"archive", "add", file(QStringLiteral("S-A"), recordsOf(quietStandard(1, 6)))})
                       .exitCode == 0;
    };
    const auto count = [](const QStringList &arguments) {
        const Run run = cli(arguments + QStringList{"--format", "json"});
        return run.exitCode == 0 ? QJsonDocument::fromJson(run.out.toUtf8()).array().size() : -1;
    };
    const auto imported = [&] { return count({"archive", "query", "--meter", "S-B"}); };
    const auto verdicts = [&] { return count({"trail", "show", "--action", "qc-out-of-control"}); };
    if (engine == QLatin1String("postgresql") && !PgServer::shared().skipReason().isEmpty())
        QSKIP(qPrintable(PgServer::shared().skipReason()));
    QVERIFY(prepare());
    // The steps the import goes through, each counted where it comes again.
    const QString log = m_home.filePath(QStringLiteral("steps-") + engine);
    qputenv("MERAVO_CRASH_LOG", log.toLocal8Bit());
    QCOMPARE(runServed(crashing, {"archive", "add", far}).exitCode, 7);
    qunsetenv("MERAVO_CRASH_LOG");
    QStringList steps;
    QMap<QString, int> seen;
    for (const QByteArray &step : readBytes(log).split('\n'))
        if (!step.isEmpty())
            steps.append(QStringLiteral("%1#%2")
                             .arg(QString::fromLatin1(step))
                             .arg(++seen[QString::fromLatin1(step)]));
    QVERIFY2(seen.contains(QStringLiteral("import-checked")), qPrintable(steps.join(' ')));
    for (const QString &step : std::as_const(steps)) {
        QVERIFY(prepare());
        qputenv("MERAVO_CRASH_AT", step.toLatin1());
        const Run killed = runServed(crashing, {"archive", "add", far});
        qunsetenv("MERAVO_CRASH_AT");
        QVERIFY2(killed.exitCode == -1, qPrintable(step));
        QVERIFY2(imported() == verdicts() && imported() <= 1, qPrintable(step));
        cli({"archive", "add", far});
        QVERIFY2(imported() == 1 && verdicts() == 1, qPrintable(step));
    }
}

QTEST_MAIN(TestQc)
#include "tst_qc.moc"
