// The chart of the measured values: which dataset becomes which point of which series, the drawing
// into image files, zoom and pan, and that thinning the drawing keeps every dataset in the tooltips.
#include "CDevice.h"
#include "ChartSeries.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "ValueChart.h"

#include <QAbstractAxis>
#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <QXYSeries>

namespace {

const QByteArray kLumoraHead =
    "METER;S/N;USER;DATE;TIME\r\nLumora;4711;Ann;3/9/2026;8:0:0\r\n\r\n"
    "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2\r\n";
const QByteArray kKlaroHead = "METER;S/N;USER;DATE;TIME\r\nKlaro 7 T;4711;Ann;3/9/2026;8:0:0\r\n\r\n"
                              "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME\r\n";

// Two programs in both date forms, a unit change, a status other than OK, "<" and ">" as value prefix
// and as status, a time without seconds, a dataset out of time order, two that cannot be placed.
const QByteArray kLumoraRecords = "1;07.03.26;09:00:00;1;901;;;;0.52;mg/l PO4;OK;1.10;mg/l;OK\r\n"
                                  "2;3/7/2026;09:30:00;2;902;;;;4.8;mg/l NO3;OK;;;\r\n"
                                  "3;07.03.26;10:00:00;3;901;;;;0.61;mg/l PO4;E3;;;\r\n"
                                  "4;07.03.26;10:30:00;4;901;;;;<0.05;mg/l PO4;OK;;;\r\n"
                                  "5;3/8/2026;08:00:00;5;902;;;;>25.0;mg/l NO3;OK;;;\r\n"
                                  "6;08.03.26;09:00;6;901;;;;520;\xB5g/l PO4;OK;;;\r\n"
                                  "7;08.03.26;09:10:00;7;902;;;;3.9;mg/l NO3;<;;;\r\n"
                                  "8;xx.03.26;09:20:00;8;901;;;;0.7;mg/l PO4;OK;;;\r\n"
                                  "9;08.03.26;09:30:00;9;901;;;;---;mg/l PO4;OK;;;\r\n"
                                  "10;06.03.26;08:00:00;10;901;;;;0.40;mg/l PO4;ok;0.9;mg/l;E1";
const QByteArray kKlaroRecords = "1;07.03.26;09:00:00;1;0.52;NTU;OK;CAL;01.03.26;09:00\r\n"
                                 "2;07.03.26;09:05:00;2;>1000;NTU;OK;AQA;01.03.26;09:00\r\n"
                                 "3;07.03.26;09:10:00;3;3.1;FNU;E2;AQA;01.03.26;09:00";

// A series as "program|unit: record time value flags, ..." with records counted from 0.
QString describe(const ChartSeriesData &series)
{
    QStringList points;
    for (const ChartPoint &p : series.points) {
        const QString flags = QString((p.flags & ChartPoint::NotOk) ? "n" : "") +
                              ((p.flags & ChartPoint::Below) ? "<" : "") +
                              ((p.flags & ChartPoint::Above) ? ">" : "");
        points.append(
            QStringLiteral("%1 %2 %3%4")
                .arg(p.record)
                .arg(QDateTime::fromMSecsSinceEpoch(p.time).toString(QStringLiteral("dd.MM.yy HH:mm")))
                .arg(p.value)
                .arg(flags.isEmpty() ? QString() : QLatin1Char(' ') + flags));
    }
    return series.program + u'|' + series.unit + QStringLiteral(": ") + points.join(QStringLiteral(", "));
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes, const char *name = "values.csv")
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// A document window with the chart beside its table, opened from a file.
struct ChartSession : GuiSession {
    QTemporaryDir dir;
    frmDocument *doc = nullptr;

    explicit ChartSession(const QByteArray &fileBytes)
    {
        load();
        doc = main->OpenDocumentWindow(writeFile(dir, fileBytes));
        main->resize(1200, 800);
        main->show();
        main->commands().action(Command::ViewChart).trigger();
        QTest::qWait(20);
    }
    ValueChart &chart() const { return *doc->chart(); }
};

qint64 nonWhitePixels(const QImage &image, const QRect &area)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            count += (line[x] & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    }
    return count;
}

} // namespace

class TestChart : public QObject {
    Q_OBJECT
private slots:
    void seriesFromFile_data();
    void seriesFromFile();
    void savesChartAsImage_data();
    void savesChartAsImage();
    void drawsAlikeAtAnyResolution();
    void zoomAndPanByKeys_data();
    void zoomAndPanByKeys();
    void zoomAndPanByMouse_data();
    void zoomAndPanByMouse();
    void thinnedDrawingKeepsEveryDatasetInTooltips();
    void limitsAreMarkedNotJoined();
    void legendNamesEachSeriesWholeOrStandsBack();
    void chartNamesWhatItShows_data();
    void chartNamesWhatItShows();
    void chartFollowsTheDocument();
    void chartGrowsASmallWindow_data();
    void chartGrowsASmallWindow();
    void chartAsLastPage_data();
    void chartAsLastPage();
};

void TestChart::seriesFromFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("valueNumber");
    QTest::addColumn<QStringList>("series");
    QTest::addColumn<int>("unplaced");

    QTest::newRow("value 1: programs, unit change, status, signs, both dates")
        << kLumoraHead + kLumoraRecords << 1
        << QStringList{"901|mg/l PO4: 9 06.03.26 08:00 0.4, 0 07.03.26 09:00 0.52, 2 07.03.26 10:00 0.61 n, "
                       "3 07.03.26 10:30 0.05 <",
                       "902|mg/l NO3: 1 07.03.26 09:30 4.8, 4 08.03.26 08:00 25 >, 6 08.03.26 09:10 3.9 <",
                       QString::fromUtf8("901|\u00B5g/l PO4: 5 08.03.26 09:00 520")}
        << 2;
    QTest::newRow("value 2: empty values are no points")
        << kLumoraHead + kLumoraRecords << 2
        << QStringList{"901|mg/l: 9 06.03.26 08:00 0.9 n, 0 07.03.26 09:00 1.1"} << 0;
    QTest::newRow("meter without programs: one series per unit")
        << kKlaroHead + kKlaroRecords << 1
        << QStringList{"|NTU: 0 07.03.26 09:00 0.52, 1 07.03.26 09:05 1000 >", "|FNU: 2 07.03.26 09:10 3.1 n"}
        << 0;
    QTest::newRow("dates and times that do not exist are not placed")
        << kKlaroHead + "1;31.02.26;09:00:00;1;1.5;NTU;OK;;;\r\n2;07.03.26;25:00:00;2;1.6;NTU;OK;;;\r\n"
                        "3;1/2/99;23:59:59;3;1.7;NTU;OK;;;\r\n4;7.3.2026;0:0;4;1.8;NTU;OK;;;"
        << 1 << QStringList{"|NTU: 2 02.01.99 23:59 1.7, 3 07.03.26 00:00 1.8"} << 2;
    QTest::newRow("meter without a second value") << kKlaroHead + kKlaroRecords << 2 << QStringList() << 0;
}

void TestChart::seriesFromFile()
{
    QFETCH(QByteArray, file);
    QFETCH(int, valueNumber);
    QFETCH(QStringList, series);
    QFETCH(int, unplaced);
    QTemporaryDir dir;
    SharedObjects shared;
    MeasuredValues values;
    QCOMPARE(shared.measVal->OpenFile(values, writeFile(dir, file)), qint16(CMeasVal::Opened));
    const int fields = int(shared.device->TableLayout(values.meter).size());
    const ChartSeries chart = ChartSeries::build(values.datasets, fields, valueNumber);
    QStringList built;
    for (const ChartSeriesData &s : chart.series())
        built.append(describe(s));
    QCOMPARE(built, series);
    QCOMPARE(chart.unplacedCount(), qint64(unplaced));
}

void TestChart::savesChartAsImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("png") << "chart.png" << false;
    QTest::newRow("svg") << "chart.svg" << false;
    QTest::newRow("read-only target left alone") << "chart.png" << true;
}

void TestChart::savesChartAsImage()
{
    QFETCH(QString, name);
    QFETCH(bool, readOnly);
    ChartSession s(kLumoraHead + kLumoraRecords);
    const QString path = s.dir.filePath(name);
    if (readOnly) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QVERIFY(old.setPermissions(QFileDevice::ReadOwner));
    }
    ErrorRecorder errors;
    s.dialogs.fileAnswers.enqueue(path);
    s.chart().findChild<QPushButton *>(QStringLiteral("cmdChartSave"))->click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    if (readOnly) {
        QCOMPARE(bytes, QByteArray("old"));
        QCOMPARE(errors.reports.size(), 1);
        return;
    }
    QVERIFY(errors.reports.isEmpty());
    const QSize size = s.chart().view()->size().expandedTo(QSize(640, 400));
    if (name.endsWith(QStringLiteral(".svg"))) {
        QVERIFY(bytes.contains("<svg"));
        QVERIFY(bytes.contains("Lumora"));
        return;
    }
    const QImage image = QImage::fromData(bytes, "PNG");
    QCOMPARE(image.size(), size);
    // The plot fills the middle of the picture: lines, markers and grid are drawn there.
    const QRect middle(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2);
    QVERIFY2(nonWhitePixels(image, middle) > middle.width() * middle.height() / 100,
             "the plot area is blank");
}

void TestChart::drawsAlikeAtAnyResolution()
{
    // The same 6 x 4 inch picture for the screen and for printers: lines and text grow with the
    // resolution, so the share of ink stays, instead of hairlines on a large white page.
    ChartSession s(kLumoraHead + kLumoraRecords);
    QList<double> ink;
    for (const int dpi : {96, 300, 600}) {
        QImage image(6 * dpi, 4 * dpi, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
        image.fill(Qt::white);
        QPainter painter(&image);
        s.chart().render(painter, image.rect());
        painter.end();
        ink.append(double(nonWhitePixels(image, image.rect())) / (image.width() * image.height()));
    }
    QVERIFY2(ink[1] > ink[0] * 0.6 && ink[2] > ink[0] * 0.6,
             qPrintable(QStringLiteral("%1 %2 %3").arg(ink[0]).arg(ink[1]).arg(ink[2])));
}

void TestChart::zoomAndPanByKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("spanFactor");
    QTest::addColumn<double>("shift"); // of the middle, in shares of the old span
    QTest::newRow("+ zooms in") << int(Qt::Key_Plus) << 0.8 << 0.0;
    QTest::newRow("- zooms out") << int(Qt::Key_Minus) << 1.25 << 0.0;
    QTest::newRow("right moves later") << int(Qt::Key_Right) << 1.0 << 0.1;
    QTest::newRow("left moves earlier") << int(Qt::Key_Left) << 1.0 << -0.1;
}

void TestChart::zoomAndPanByKeys()
{
    QFETCH(int, key);
    QFETCH(double, spanFactor);
    QFETCH(double, shift);
    ChartSession s(kLumoraHead + kLumoraRecords);
    ValueChart &chart = s.chart();
    const ValueChart::Range full = chart.range();
    QTest::keyClick(chart.view(), Qt::Key(key));
    const ValueChart::Range moved = chart.range();
    const double span = full.x1 - full.x0;
    QCOMPARE(moved.x1 - moved.x0, span * spanFactor);
    QCOMPARE((moved.x0 + moved.x1) / 2, (full.x0 + full.x1) / 2 + shift * span);
    QTest::keyClick(chart.view(), Qt::Key_Home);
    QVERIFY(chart.range() == full);
}

void TestChart::zoomAndPanByMouse_data()
{
    // What the mouse does, between two points given as shares of the view (from the left, from the
    // bottom); the view expected afterwards, as shares of the old one.
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QRectF>("expected"); // x0, y0 and width, height as shares
    QTest::newRow("left drag moves") << "drag" << QRectF(-0.2, 0.1, 1, 1);
    QTest::newRow("right drag zooms into the rectangle") << "band" << QRectF(0.3, 0.4, 0.2, 0.3);
    QTest::newRow("wheel zooms the time around the pointer") << "wheel" << QRectF(0.3 * 0.2, 0, 0.8, 1);
}

void TestChart::zoomAndPanByMouse()
{
    QFETCH(QString, gesture);
    QFETCH(QRectF, expected);
    ChartSession s(kLumoraHead + kLumoraRecords);
    ValueChart &chart = s.chart();
    const ValueChart::Range r = chart.range();
    const double w = r.x1 - r.x0, h = r.y1 - r.y0;
    auto at = [&](double sx, double sy) { return chart.positionOf(r.x0 + sx * w, r.y0 + sy * h); };
    QWidget *viewport = chart.view()->viewport();
    auto send = [viewport](QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, viewport->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    if (gesture == QStringLiteral("wheel")) {
        const QPoint pos = at(0.3, 0.5);
        QWheelEvent wheel(pos, viewport->mapToGlobal(pos), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
    } else {
        const Qt::MouseButton button = gesture == QStringLiteral("drag") ? Qt::LeftButton : Qt::RightButton;
        const QPoint from = gesture == QStringLiteral("drag") ? at(0.5, 0.5) : at(0.3, 0.7);
        const QPoint to = gesture == QStringLiteral("drag") ? at(0.7, 0.4) : at(0.5, 0.4);
        send(QEvent::MouseButtonPress, from, button, button);
        send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
        send(QEvent::MouseMove, to, Qt::NoButton, button);
        send(QEvent::MouseButtonRelease, to, button, Qt::NoButton);
    }
    // Within a few pixels of the view: a hundredth of it.
    const ValueChart::Range m = chart.range();
    const double tx = w / 100, ty = h / 100;
    QVERIFY2(std::abs(m.x0 - (r.x0 + expected.x() * w)) < tx &&
                 std::abs(m.x1 - m.x0 - expected.width() * w) < tx,
             qPrintable(QStringLiteral("%1 %2").arg((m.x0 - r.x0) / w).arg((m.x1 - m.x0) / w)));
    QVERIFY2(std::abs(m.y0 - (r.y0 + expected.y() * h)) < ty &&
                 std::abs(m.y1 - m.y0 - expected.height() * h) < ty,
             qPrintable(QStringLiteral("%1 %2").arg((m.y0 - r.y0) / h).arg((m.y1 - m.y0) / h)));
}

void TestChart::thinnedDrawingKeepsEveryDatasetInTooltips()
{
    // 20,000 datasets a minute apart at 10, with a run of eleven at 11 inside one pixel column: the
    // drawing keeps the run's first, the tooltip names each of them.
    const int count = 20000, run = 12340;
    QByteArray records;
    for (int k = 0; k < count; ++k) {
        const QDateTime at = QDateTime(QDate(2026, 3, 1), QTime(0, 0)).addSecs(60 * k);
        records += QByteArray::number(k + 1) + ';' +
                   at.toString(QStringLiteral("dd.MM.yy;HH:mm:ss")).toLatin1() + ";1;901;;;;" +
                   (k >= run && k <= run + 10 ? "11" : "10") + ";mg/l;OK" + (k + 1 < count ? "\r\n" : "");
    }
    ChartSession s(kLumoraHead + records);
    ValueChart &chart = s.chart();
    QCOMPARE(chart.data().series().size(), 1);
    QCOMPARE(chart.data().series().first().points.size(), count);
    QVERIFY2(chart.drawnPointCount() < count / 4, qPrintable(QString::number(chart.drawnPointCount())));
    QList<QPointF> drawn;
    for (const QAbstractSeries *series : chart.view()->chart()->series())
        if (const auto *xy = qobject_cast<const QXYSeries *>(series))
            drawn += xy->points();
    const QList<ChartPoint> &points = chart.data().series().first().points;
    int leftOut = 0;
    for (int k = run; k <= run + 10; ++k)
        leftOut += drawn.contains(QPointF(double(points[k].time), points[k].value)) ? 0 : 1;
    QVERIFY(leftOut > 0);
    const ChartPoint &middle = points[run + 5];
    const QString tip = chart.toolTipAt(chart.positionOf(double(middle.time), middle.value));
    for (int k = run; k <= run + 10; ++k)
        QVERIFY2(tip.contains(QStringLiteral("No. %1 ").arg(k + 1)), qPrintable(tip));
    // The pointer moves there and rests: the list stays.
    const QPoint at = chart.positionOf(double(middle.time), middle.value);
    QWidget *viewport = chart.view()->viewport();
    QTest::mouseMove(viewport, at);
    QHelpEvent rest(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &rest);
    QTest::qWait(500); // longer than a tooltip takes to fade
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), tip);
}

void TestChart::limitsAreMarkedNotJoined()
{
    ChartSession s(kLumoraHead + kLumoraRecords);
    QList<QPointF> joined;
    for (QAbstractSeries *series : s.chart().view()->chart()->series())
        if (series->type() == QAbstractSeries::SeriesTypeLine)
            joined += static_cast<QXYSeries *>(series)->points();
    int measured = 0;
    for (const ChartSeriesData &series : s.chart().data().series())
        for (const ChartPoint &p : series.points) {
            const bool limit = p.flags & (ChartPoint::Below | ChartPoint::Above);
            measured += limit ? 0 : 1;
            QCOMPARE(joined.contains(QPointF(double(p.time), p.value)), !limit);
        }
    QCOMPARE(joined.size(), measured);
}

void TestChart::legendNamesEachSeriesWholeOrStandsBack()
{
    ChartSession s(kLumoraHead + kLumoraRecords);
    // Each series named in full, or no legend beside a narrow chart (the series list names them).
    QLegend *legend = s.chart().view()->chart()->legend();
    for (const int width : {1600, 700}) {
        s.main->resize(width, 800);
        QTest::qWait(50);
        int needed = 0;
        for (const QLegendMarker *marker : legend->markers())
            needed +=
                marker->isVisible() ? QFontMetrics(legend->font()).horizontalAdvance(marker->label()) : 0;
        QVERIFY2(!legend->isVisible() || needed < s.chart().view()->width() - 40,
                 qPrintable(QStringLiteral("%1 px of names at %2 px").arg(needed).arg(width)));
    }
}

void TestChart::chartNamesWhatItShows_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("valueNumber");
    QTest::addColumn<int>("axisValue"); // the text naming the value
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("summary");
    const QByteArray one = kKlaroHead + "1;07.03.26;09:00:00;1;0.52;NTU;OK;CAL;01.03.26;09:00";
    QTest::newRow("en, one point") << "en" << one << 1 << int(TextTable::ColumnValue1) << " [NTU]"
                                   << "1 point in 1 series;";
    QTest::newRow("de, one point") << "de" << one << 1 << int(TextTable::ColumnValue1) << " [NTU]"
                                   << "1 Punkt in 1 Reihe;";
    QTest::newRow("fr, Value 2") << "fr" << kLumoraHead + kLumoraRecords << 2 << int(TextTable::ColumnValue2)
                                 << " [mg/l]"
                                 << "2 points en 1 série ;";
}

void TestChart::chartNamesWhatItShows()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, file);
    QFETCH(int, valueNumber);
    QFETCH(int, axisValue);
    QFETCH(QString, unit);
    QFETCH(QString, summary);
    GuiSandbox::setLanguage(language);
    const auto english = qScopeGuard([] { GuiSandbox::setLanguage(QStringLiteral("en")); });
    ChartSession s(file);
    s.chart().setValueNumber(valueNumber);
    QCOMPARE(s.chart().view()->chart()->axes(Qt::Vertical).first()->titleText(),
             TextTable::text(axisValue) + unit);
    // Dates as the table shows them, whatever the locale writes.
    const auto *time = qobject_cast<QDateTimeAxis *>(s.chart().view()->chart()->axes(Qt::Horizontal).first());
    QVERIFY(time && time->format().contains(QStringLiteral("dd.MM.yy")));
    const QString said = s.chart().findChild<QLabel *>(QStringLiteral("lblChartSummary"))->text();
    QVERIFY2(said.startsWith(summary), qPrintable(said));
    // The empty document beside it names no meter.
    s.main->MenuFileNew();
    frmDocument *empty = s.main->documents().last();
    QVERIFY(empty != s.doc);
    empty->setChartShown(true);
    QCOMPARE(empty->chart()->view()->chart()->title(), QString());
    // It says that it has no values, where the document's chart shows them.
    QVERIFY(empty->chart()->showsNoValues());
    QVERIFY(!s.chart().showsNoValues());
}

void TestChart::chartFollowsTheDocument()
{
    GuiSession s(meterIdentity(QStringLiteral("Klaro 7 T"), QStringLiteral("2.50")));
    SimDatasets datasets(*s.sim);
    datasets.generate(25);
    s.logIn();
    frmDocument *doc = s.main->documents().first();
    s.main->commands().action(Command::ViewChart).trigger();
    ValueChart &chart = *doc->chart();
    auto points = [&chart] {
        qsizetype count = 0;
        for (const ChartSeriesData &series : chart.data().series())
            count += series.points.size();
        return count;
    };

    // Imported: every dataset a point, one unit, no second value to choose.
    doc->MenuImport();
    QCOMPARE(chart.data().series().size(), 1);
    QCOMPARE(points(), 25);
    QVERIFY(!chart.findChild<QComboBox *>(QStringLiteral("cboChartValue"))->isEnabled());

    // A file that does not open leaves nothing drawn.
    QTemporaryDir dir;
    s.dialogs.clear();
    doc->FillFromFile(writeFile(dir, "not a measured-value file\r\n"));
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::InvalidCsvFormat)});
    QCOMPARE(points(), 0);

    // A photometer's file: a program per dataset, the first eight shown; Value 2 chosen in the list.
    const QByteArray lumora = kLumoraHead + SimDatasets::generatedRecords(QStringLiteral("Lumora"), 30);
    doc->FillFromFile(writeFile(dir, lumora, "lumora.csv"));
    QCOMPARE(chart.data().series().size(), 30);
    QCOMPARE(points(), 30);
    int shown = 0;
    for (int i = 0; i < 30; ++i)
        shown += chart.isSeriesShown(i) ? 1 : 0;
    QCOMPARE(shown, 8);
    QCOMPARE(chart.view()->chart()->series().size(), 8 * 5);
    auto *value = chart.findChild<QComboBox *>(QStringLiteral("cboChartValue"));
    QVERIFY(value->isEnabled());
    value->setCurrentIndex(1);
    emit value->activated(1);
    QCOMPARE(chart.valueNumber(), 2);
    QCOMPARE(chart.data().columns().value, 11);
    auto *list = chart.findChild<QListWidget *>(QStringLiteral("lstChartSeries"));
    list->item(0)->setCheckState(Qt::Unchecked);
    QVERIFY(!chart.isSeriesShown(0));
    QCOMPARE(chart.view()->chart()->series().size(), 7 * 5);

    // A click on a point shows its dataset in the table.
    const ChartPoint &point = chart.data().series()[3].points.first();
    QTest::mouseClick(chart.view()->viewport(), Qt::LeftButton, {},
                      chart.positionOf(double(point.time), point.value));
    QCOMPARE(doc->grid()->currentIndex().row(), point.record);

    // The choice to see the chart holds for the next document.
    QVERIFY(s.main->OpenDocumentWindow()->isChartShown());
}

void TestChart::chartGrowsASmallWindow_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::newRow("normal window grows") << false;
    QTest::newRow("maximized window stays") << true;
}

void TestChart::chartGrowsASmallWindow()
{
    QFETCH(bool, maximized);
    ChartSession s(kLumoraHead + kLumoraRecords);
    auto *window = qobject_cast<QMdiSubWindow *>(s.doc->parentWidget());
    QVERIFY(window);
    QAction *chart = &s.main->commands().action(Command::ViewChart);
    chart->trigger();
    if (maximized) {
        window->showMaximized();
    } else {
        window->showNormal();
        window->setGeometry(500, 400, 400, 300);
    }
    const QRect before = window->geometry();
    const QRect room(QPoint(0, 0), window->parentWidget()->size());
    chart->trigger();
    QVERIFY(s.doc->isChartShown());
    if (maximized) {
        QCOMPARE(window->geometry(), before);
    } else {
        QVERIFY(window->width() >= room.width() * 4 / 5 && window->height() >= room.height() * 4 / 5);
        QVERIFY(room.contains(window->geometry()));
    }
}

void TestChart::chartAsLastPage_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::newRow("not chosen: the printout alone") << false;
    QTest::newRow("chosen: the chart after the printout") << true;
}

void TestChart::chartAsLastPage()
{
    QFETCH(bool, chosen);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        MERAVO_READER_MISSING("pdftotext is not installed (scripts/setup.sh installs poppler-utils)");
    ChartSession s(kLumoraHead + kLumoraRecords);
    // Chosen in the menu of one document, the page ends the printouts of every document, whether it
    // shows its chart or not.
    s.main->commands().action(Command::ViewChart).trigger();
    QAction *choice = &s.main->commands().action(Command::ChartOnPrintout);
    QVERIFY(!choice->isChecked());
    if (chosen)
        choice->trigger();
    frmDocument *other = s.main->OpenDocumentWindow(writeFile(s.dir, kLumoraHead + kLumoraRecords, "b.csv"));
    QVERIFY(!other->isChartShown());
    const QString pdf = s.dir.filePath(QStringLiteral("out.pdf"));
    s.dialogs.fileAnswers.enqueue(pdf);
    QVERIFY(other->MenuFilePdf());
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    QStringList pages = QString::fromUtf8(text.readAllStandardOutput()).split(u'\f');
    pages.removeAll(QString());
    QVERIFY(pages.first().contains(QStringLiteral("4711")));
    const bool chartPage = pages.last().contains(QStringLiteral("Meter: Lumora, S/N: 4711")) &&
                           pages.last().contains(QStringLiteral("Program 901, mg/l PO4"));
    QCOMPARE(chartPage, chosen);
    QCOMPARE(pages.size(), chosen ? 2 : 1);
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
