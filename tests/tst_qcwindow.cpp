// Control charts in the desktop program: a control sample defined in its dialog, a value out of
// control told at the document's import, the chart window with its table, tool-tips, new limits,
// image and PDF report.
#include "ControlChartPlot.h"
#include "frmControlChart.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "QcStore.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

// n standards of 10 mg/l around a steady level, then the given values; each beside a river sample.
QByteArray records(const QList<double> &extra)
{
    const double pattern[] = {10.1, 10.3, 9.9, 9.7, 10.04};
    QByteArray out;
    for (int k = 0; k < 20 + extra.size(); ++k) {
        const double v = k < 20 ? pattern[k % 5] : extra[k - 20];
        const QByteArray time = QTime(8, 0).addSecs(k * 60).toString(QStringLiteral("HH:mm:ss")).toLatin1();
        out += (k ? "\r\n" : "") + QByteArray::number(2 * k + 1) + ";24.03.26;" + time +
               ";river;902;100001;;1:1;3.21;mg/l;OK;;;\r\n" + QByteArray::number(2 * k + 2) + ";24.03.26;" +
               time + ";STD10;902;100001;AQA;1:1;" + QByteArray::number(v, 'f', 2) + ";mg/l;OK;;;";
    }
    return out;
}

} // namespace

class TestQcWindow : public QObject {
    Q_OBJECT
private slots:
    void dialogKeepsEveryField_data();
    void dialogKeepsEveryField();
    void controlChartFromDefinitionToReport();
};

void TestQcWindow::dialogKeepsEveryField_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<int>("preset"); // chosen in the dialog; -1: none
    QTest::addColumn<int>("rules");
    QTest::newRow("standard, pre-period, own tests")
        << R"({"name": "a", "meter": "S-1", "program": "902", "id": "STD*", "code": "AQA", "pre_period": 25,
              "revision_after": 40, "rules": 19})"
        << -1 << 19;
    QTest::newRow("recovery of value 2 from a target")
        << R"({"name": "b", "value": 2, "kind": "recovery", "spiked": 2.5, "target": 100, "target_s": 4.5,
              "unit": "%"})"
        << -1 << int(QcRules::kAll);
    QTest::newRow("range, limits-only preset")
        << R"({"name": "c", "kind": "range", "rules": 255})" << 0 << int(QcRules::kLimitsOnly);
    QTest::newRow("blank, all tests preset")
        << R"({"name": "d", "kind": "blank", "rules": 1})" << 1 << int(QcRules::kAll);
}

// What the dialog shows is what it gives back, in any language's form of numbers.
void TestQcWindow::dialogKeepsEveryField()
{
    QFETCH(QString, json);
    QFETCH(int, preset);
    QFETCH(int, rules);
    const QcDefinition d = QcDefinition::fromJson(QJsonDocument::fromJson(json.toUtf8()).object());
    QcDefinitionDialog dialog(d, false, nullptr);
    if (preset >= 0) {
        auto *box = dialog.findChild<QComboBox *>(QStringLiteral("cboPreset"));
        box->setCurrentIndex(preset);
        emit box->activated(preset);
    }
    QcDefinition expected = d;
    expected.rules = QcRules::Mask(rules);
    QCOMPARE(dialog.definition().toJson(), expected.toJson());
}

void TestQcWindow::controlChartFromDefinitionToReport()
{
    GuiSession s(meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.50"), QStringLiteral("S-0042")));
    SimDatasets meter(*s.sim);
    meter.setRecords(records({}), 40);
    s.sandbox.setSetting(QStringLiteral("Archive"), QStringLiteral("Location"), s.path("archive.sqlite"));
    s.logIn();
    s.main->documents().first()->MenuImport();
    s.main->MenuControlCharts();
    auto *window = s.main->findChild<frmControlChart *>();
    QVERIFY(window);
    QCOMPARE(window->message(), TextTable::text(TextTable::QcNoSamples));
    // The definition dialog, as a user fills it.
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QcDefinitionDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QLineEdit *>(QStringLiteral("txtName"))->setText(QStringLiteral("NO3 standard"));
        dialog->findChild<QLineEdit *>(QStringLiteral("txtProgram"))->setText(QStringLiteral("902"));
        dialog->findChild<QLineEdit *>(QStringLiteral("txtId"))->setText(QStringLiteral("STD*"));
        dialog->accept();
    });
    window->defineSample(false);
    QCOMPARE(window->chart().definition.idPattern, QStringLiteral("STD*"));
    QCOMPARE(window->table()->model()->rowCount(), 20);
    QVERIFY2(
        window->statisticsText().contains(QStringLiteral("Period 1: centre ") + QLocale().toString(10.008)),
        qPrintable(window->statisticsText()));

    // A value out of control: the import warns at once, naming sample, value and test.
    meter.setRecords(records({10.05, 12.4}), 44);
    s.dialogs.clear();
    s.main->documents().first()->MenuImport();
    const QStringList told = s.dialogs.messageTexts();
    QVERIFY2(told.size() == 1 &&
                 told.first().contains(QStringLiteral(
                     "Control sample 'NO3 standard': 12.40 mg/l beyond the upper action limit")),
             qPrintable(told.join(QLatin1Char('\n'))));
    window->reload();
    QCOMPARE(window->chart().violations[0], qint64(1));
    window->resize(1000, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QString tip = window->plot()->toolTipAt(window->plot()->positionOf(21));
    QVERIFY2(tip.contains(QStringLiteral("12.40 mg/l")) && tip.contains(QcRules::name(QcRules::BeyondAction)),
             qPrintable(tip));

    // A withdrawn value leaves the chart and comes back, never judged, when asked for; a note shows.
    Archive &archive = *s.main->shared().archive;
    QVERIFY(archive.withdraw(window->chart().points[3].datasetId, QStringLiteral("cuvette scratched"),
                             QStringLiteral("Ann")));
    QVERIFY(archive.annotate(window->chart().points[4].datasetId, QStringLiteral("new lot"),
                             QStringLiteral("Ann")));
    window->reload();
    QCOMPARE(window->table()->model()->rowCount(), 21);
    QVERIFY(window->plot()->toolTipAt(window->plot()->positionOf(3)).contains(QStringLiteral("new lot")));
    window->findChild<QCheckBox *>(QStringLiteral("chkWithdrawn"))->setChecked(true);
    QCOMPARE(window->table()->model()->rowCount(), 22);
    QVERIFY(!window->chart().points[3].judged);

    // New limits on purpose, then the image and the report.
    s.dialogs.inputAnswers.enqueue(QStringLiteral("21"));
    window->reviseLimits();
    QCOMPARE(window->chart().periods.size(), qsizetype(2));
    s.dialogs.fileAnswers.enqueue(s.path("chart.png"));
    window->saveImage();
    QVERIFY(readBytes(s.path("chart.png")).startsWith("\x89PNG"));
    s.dialogs.fileAnswers.enqueue(s.path("report.pdf"));
    window->saveReportAsPdf();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {s.path("report.pdf"), QStringLiteral("-")});
    QVERIFY(text.waitForFinished());
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    for (const char *expected : {"Control chart: NO3 standard", "Period 2", "12.40 mg/l", "Printed"})
        QVERIFY2(report.contains(QLatin1String(expected)), qPrintable(report));
}

QTEST_MAIN(TestQcWindow)
#include "tst_qcwindow.moc"
