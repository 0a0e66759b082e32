// Control charts: a control sample of 100,000 values judged (limits and all eight tests), the rate at
// which the eight tests together flag values of a method in control (normal random values), and the
// control chart window opened over such a sample in an archive.
// Usage: bench_qc [VALUES]  (default 100000)
#include "Archive.h"
#include "BenchSupport.h"
#include "Cp1252.h"
#include "frmControlChart.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "QcStore.h"
#include "SharedObjects.h"

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {

// The datasets of a standard measured n times, a minute apart, as a 14-field meter sends them.
QByteArray standardRecords(qint64 n, std::mt19937_64 &random)
{
    std::normal_distribution<double> normal(10.0, 0.2);
    QByteArray out;
    out.reserve(n * 64);
    for (qint64 k = 0; k < n; ++k) {
        const qint64 minutes = k;
        const QDate day = QDate(2020, 1, 1).addDays(minutes / 1440);
        if (k > 0)
            out += "\r\n";
        out += QByteArray::number(k + 1) + ';' + day.toString(QStringLiteral("dd.MM.yy")).toLatin1() + ';' +
               QByteArray::number(minutes / 60 % 24).rightJustified(2, '0') + ':' +
               QByteArray::number(minutes % 60).rightJustified(2, '0') + ":00;STD10;902;100001;AQA;1:1;" +
               QByteArray::number(normal(random), 'f', 3) + ";mg/l;OK;;;";
    }
    return out;
}

void judgement(qint64 n)
{
    std::mt19937_64 random(7);
    std::normal_distribution<double> normal(10.0, 0.2);
    QList<ArchivedRow> rows;
    rows.reserve(n);
    for (qint64 k = 0; k < n; ++k) {
        ArchivedRow r;
        r.id = k + 1;
        r.serial = QStringLiteral("A1");
        const QDateTime at = QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addSecs(60 * k);
        r.fields[DatasetFields::Date] = at.toString(QStringLiteral("dd.MM.yy"));
        r.fields[DatasetFields::Time] = at.toString(QStringLiteral("HH:mm:ss"));
        r.fields[DatasetFields::SampleId] = QStringLiteral("STD10");
        r.fields[DatasetFields::Value1] = QString::number(normal(random), 'f', 3);
        r.fields[DatasetFields::Unit1] = QStringLiteral("mg/l");
        r.fields[DatasetFields::Status1] = QStringLiteral("OK");
        rows.append(r);
    }
    QcDefinition d;
    d.name = QStringLiteral("bench");
    std::vector<double> build;
    std::vector<double> pure;
    std::vector<double> values;
    for (const ArchivedRow &r : rows)
        values.push_back(r.fields[DatasetFields::Value1].toDouble());
    for (int run = 0; run < 7; ++run) {
        const Bench::Stopwatch clock;
        const QcChart chart = QcChart::build(d, rows, {});
        build.push_back(clock.wallSeconds() * 1000);
        const Bench::Stopwatch numbers;
        const QcRules::Statistics st = QcRules::statistics(std::span(values).first(20));
        std::vector<double> z(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            z[i] = QcRules::zScore(values[i], st.mean, st.s);
        std::vector<QcRules::Mask> flags;
        QcRules::judge(z, QcRules::kAll, flags);
        pure.push_back(numbers.wallSeconds() * 1000);
        if (chart.points.size() != n)
            std::fprintf(stderr, "bench_qc: %lld points of %lld\n", qint64(chart.points.size()), n);
    }
    Bench::figure("values of the control sample", double(n), "");
    const double ms = Bench::median(pure);
    Bench::figure("limits and all eight tests (median of 7)", ms, "ms", "< 50 ms", ms < 50);
    Bench::figure("whole chart from archived rows: texts read, sorted, judged (median of 7)",
                  Bench::median(build), "ms");
}

// The eight tests on a method in control: values from N(0, 1) judged by the true limits.
void falseAlarms()
{
    constexpr qint64 n = 2000000;
    std::mt19937_64 random(2026);
    std::normal_distribution<double> normal;
    std::vector<double> z(n);
    for (double &v : z)
        v = normal(random);
    std::vector<QcRules::Mask> flags;
    QcRules::judge(z, QcRules::kAll, flags);
    qint64 any = 0;
    qint64 onsets = 0; // a flagged value after one that was not: a new alarm
    std::array<qint64, QcRules::Count> perRule{};
    for (qint64 i = 0; i < n; ++i) {
        any += flags[size_t(i)] ? 1 : 0;
        onsets += flags[size_t(i)] && (i == 0 || !flags[size_t(i - 1)]) ? 1 : 0;
        for (int r = 0; r < QcRules::Count; ++r)
            perRule[size_t(r)] += (flags[size_t(i)] & QcRules::bit(QcRules::Rule(r))) ? 1 : 0;
    }
    Bench::note(QStringLiteral("False alarms of a method in control, %1 values from N(0, 1):").arg(n));
    for (int r = 0; r < QcRules::Count; ++r)
        Bench::note(QStringLiteral("  test %1: %2 % of the values")
                        .arg(r + 1)
                        .arg(100.0 * double(perRule[size_t(r)]) / double(n), 0, 'f', 3));
    Bench::figure("values flagged by any of the eight tests", 100.0 * double(any) / double(n), "%");
    Bench::figure("values between two new alarms (mean)", double(n) / double(onsets), "values");
    QcRules::judge(z, QcRules::kLimitsOnly, flags);
    qint64 limitsOnly = 0;
    for (const QcRules::Mask f : flags)
        limitsOnly += f ? 1 : 0;
    Bench::figure("values flagged by the action and warning limits only",
                  100.0 * double(limitsOnly) / double(n), "%");
}

int window(qint64 n)
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(1200, 800);
    main.show();
    QApplication::processEvents();
    QTemporaryDir dir;
    ArchiveSettings::storeForUser({true, dir.filePath(QStringLiteral("archive.sqlite"))});
    Archive &archive = *main.shared().archive;
    archive.reload();
    std::mt19937_64 random(11);
    const QString answer = Cp1252::decode("\r\n" + standardRecords(n, random) + "\r\n!\r\n>");
    ImportRecord record = ImportRecord::fromMeter(answer, QDateTime::currentDateTime());
    record.meter = QStringLiteral("Lumora");
    record.serial = QStringLiteral("A1");
    Archive::Summary summary;
    QcDefinition d;
    d.name = QStringLiteral("NO3 standard 10 mg/l");
    d.program = QStringLiteral("902");
    d.idPattern = QStringLiteral("STD10");
    for (const Archive::Result &r :
         {archive.keep(record, &summary), QcStore::define(archive, d, QStringLiteral("bench"))})
        if (!r) {
            std::fprintf(stderr, "bench_qc: %s\n", qPrintable(r.message));
            return 1;
        }
    archive.reload();
    const Bench::Stopwatch open;
    auto *chartWindow = new frmControlChart(main, &main);
    chartWindow->show();
    QApplication::processEvents();
    chartWindow->repaint();
    const double ms = open.wallSeconds() * 1000;
    Bench::note(
        QStringLiteral("%1 values in the window's table").arg(chartWindow->table()->model()->rowCount()));
    Bench::figure("control chart window open, chart and table drawn", ms, "ms", "< 1000 ms", ms < 1000);
    delete chartWindow;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 n = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;
    judgement(n);
    falseAlarms();
    return window(n);
}
