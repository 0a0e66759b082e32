// The program editor opened from the console, against a simulated meter on a pty and program files in
// a temporary working directory: key filters, number checks, the calibration line, saving.
#include "basMain.h"
#include "CalLineChart.h"
#include "CDevice.h"
#include "CUsrDefProg.h"
#include "frmMain.h"
#include "frmProgConsole.h"
#include "frmProgEdit.h"
#include "GuiTestSupport.h"
#include "SimPrograms.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString kRest = QStringLiteral("ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0");

struct Session : GuiSession {
    std::unique_ptr<SimPrograms> programs;

    explicit Session(bool online = true, const QStringList &meterPrograms = {QStringLiteral("901")})
        : GuiSession(meterIdentity(QStringLiteral("Lumora"))), programs(std::make_unique<SimPrograms>(*sim))
    {
        for (const QString &p : meterPrograms)
            programs->put(p + u',' + kRest);
        logIn(online);
        useWorkDir();
    }
    ~Session() { main.reset(); }
};

QLineEdit *edit(const frmProgEdit &editor, const QString &name)
{
    auto *e = editor.findChild<QLineEdit *>(name);
    if (!e)
        qFatal("no field %s", qPrintable(name));
    return e;
}

QPushButton *button(const QWidget &window, const char *name)
{
    return window.findChild<QPushButton *>(QString::fromLatin1(name));
}

// Opens the editor from the console with New or Modify, runs the checks on it, then closes it.
void withEditor(frmProgConsole &console, bool isNew, const std::function<void(frmProgEdit &)> &body)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto *editor = qobject_cast<frmProgEdit *>(QApplication::activeModalWidget());
        if (!editor)
            qFatal("the editor is not shown");
        body(*editor);
        ran = true;
        editor->reject();
    });
    button(console, isNew ? "cmdNewProgram" : "cmdModifyProgram")->click();
    if (!ran)
        qFatal("the editor did not run");
}

void fillPairs(frmProgEdit &editor, const QList<QPair<QString, QString>> &pairs)
{
    for (int i = 0; i < frmProgEdit::kPairs; ++i) {
        editor.valX(i)->setText(i < pairs.size() ? pairs[i].first : QString());
        editor.valY(i)->setText(i < pairs.size() ? pairs[i].second : QString());
    }
}

} // namespace

class TestProgEdit : public QObject {
    Q_OBJECT
private slots:
    void numberForms();
    void keyFiltersAlsoForPastedText();
    void programNumberRange();
    void viewsAndSizes();
    void calculateAndTakeOver();
    void tooFewPairsAndGaps();
    void chartWithNegativeAbsorbance();
    void measuringRangeBlocksSaving();
    void incompleteProgram();
    void noToModifyReloadsMeterVersion();
    void newProgramSentAndSelected();
    void offlineSavesFile();
    void resetKeepsNumberAndPairs();
    void refusedSendingIsReported();
};

void TestProgEdit::numberForms()
{
    QCOMPARE(frmProgEdit::GeneralNumber(1.50), QStringLiteral("1.5"));
    QCOMPARE(frmProgEdit::GeneralNumber(-0.25), QStringLiteral("-0.25"));
    QCOMPARE(frmProgEdit::GeneralNumber(100), QStringLiteral("100"));
    QCOMPARE(frmProgEdit::GeneralNumber(0.1 + 0.2), QStringLiteral("0.3"));
    QCOMPARE(frmProgEdit::GeneralNumber(0.00001), QStringLiteral("1E-05"));
    QCOMPARE(frmProgEdit::FourDigits(0.20198765), QStringLiteral("0.202"));
    QCOMPARE(frmProgEdit::FourDigits(0.0470000001), QStringLiteral("0.047"));
    QCOMPARE(frmProgEdit::FourDigits(-1234.56), QStringLiteral("-1235"));
    double v = 0;
    QVERIFY(frmProgEdit::ParseNumber(QStringLiteral(" 2.5 "), v));
    QCOMPARE(v, 2.5);
    QVERIFY(!frmProgEdit::ParseNumber(QStringLiteral("2,5"), v));
    QVERIFY(!frmProgEdit::ParseNumber(QStringLiteral("a"), v));
    QVERIFY(!frmProgEdit::ParseNumber(QString(), v));
    QCOMPARE(CalLineChart::axisText(0), QStringLiteral("0.000"));
}

void TestProgEdit::keyFiltersAlsoForPastedText()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        QCOMPARE(e.windowTitle(), QStringLiteral("Modify program"));
        QVERIFY(!edit(e, QStringLiteral("txtProgNum"))->isEnabled());
        QCOMPARE(edit(e, QStringLiteral("txtProgNum"))->text(), QStringLiteral("901"));
        QCOMPARE(edit(e, QStringLiteral("txtUserName"))->text(), QStringLiteral("Ann"));
        QVERIFY(!edit(e, QStringLiteral("txtUserName"))->isEnabled());
        QCOMPARE(edit(e, QStringLiteral("txtProgNum"))->toolTip(),
                 QStringLiteral("Program number (900 - 999)"));

        QLineEdit *mrb = edit(e, QStringLiteral("txtMRB"));
        mrb->clear();
        QTest::keyClicks(mrb, QStringLiteral("0,5"));
        QCOMPARE(mrb->text(), QStringLiteral("0.5"));
        QLineEdit *model = edit(e, QStringLiteral("txtModel"));
        model->clear();
        QTest::keyClicks(model, QStringLiteral("a;b"));
        QCOMPARE(model->text(), QStringLiteral("a.b"));
        QTest::keyClicks(model, QStringLiteral("cdefg"));
        QCOMPARE(model->text(), QStringLiteral("a.bcd"));
        QLineEdit *unit = edit(e, QStringLiteral("txtMeasUnit"));
        unit->clear();
        QTest::keyClicks(unit, QStringLiteral("mg l"));
        QCOMPARE(unit->text(), QStringLiteral("mg_l"));
        // Pasted text goes through the same filters.
        QLineEdit *formula = edit(e, QStringLiteral("txtFormula"));
        formula->clear();
        formula->insert(QStringLiteral("x;y z,w"));
        QCOMPARE(formula->text(), QStringLiteral("x.y_z.w"));
        e.valX(3)->insert(QStringLiteral("1,25"));
        QCOMPARE(e.valX(3)->text(), QStringLiteral("1.25"));
        QLineEdit *e0 = edit(e, QStringLiteral("txtE0"));
        e0->clear();
        e0->insert(QStringLiteral("0;1"));
        QCOMPARE(e0->text(), QStringLiteral("0.1"));

        // Leaving a value field: its general form, or nothing.
        e.valX(0)->setText(QStringLiteral("1.50"));
        e.NormalisePair(e.valX(0));
        QCOMPARE(e.valX(0)->text(), QStringLiteral("1.5"));
        e.valY(0)->setText(QStringLiteral("abc"));
        e.NormalisePair(e.valY(0));
        QCOMPARE(e.valY(0)->text(), QString());
        QVERIFY(s.dialogs.asked.isEmpty());
    });
}

void TestProgEdit::programNumberRange()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, true, [&](frmProgEdit &e) {
        QCOMPARE(e.windowTitle(), QStringLiteral("New program"));
        QLineEdit *number = edit(e, QStringLiteral("txtProgNum"));
        QVERIFY(number->isEnabled());
        // A new program starts as a copy of the selected one, with the lowest free number.
        QCOMPARE(number->text(), QStringLiteral("900"));
        QCOMPARE(edit(e, QStringLiteral("txtModel"))->text(), QStringLiteral("ABCDE"));
        for (const char *bad : {"1000", "899", "9a", "0901", "", "9e2", " 95"}) {
            s.dialogs.clear();
            number->setText(QString::fromLatin1(bad));
            QVERIFY2(!e.txtProgNum_Validate(), bad);
            QCOMPARE(number->text(), QStringLiteral("900"));
            QCOMPARE(s.dialogs.asked.size(), 1);
            QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Warning"));
            QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Warning);
            QCOMPARE(s.dialogs.asked[0].text,
                     QStringLiteral("Please enter a number in the range 900 - 999!"));
        }
        s.dialogs.clear();
        number->setText(QStringLiteral("999"));
        QVERIFY(e.txtProgNum_Validate());
        QVERIFY(s.dialogs.asked.isEmpty());
        // Sending checks the number too: a field never left does not reach the meter.
        number->setText(QStringLiteral("1000"));
        s.sim->clearLog();
        e.cmdSaveDevice_Click();
        QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ProgramNumberOutOfRange)});
        QVERIFY(s.sim->commandLog().isEmpty());
    });
}

void TestProgEdit::viewsAndSizes()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        QCOMPARE(e.size(), QSize(Twips::toPixels(6075, &e), Twips::toPixels(6550, &e)));
        QCOMPARE(e.helpContext(), frmProgEdit::kHelpModify);
        QPushButton *toggle = button(e, "cmdExtended");
        QCOMPARE(toggle->text(), QStringLiteral("Calibration >>"));
        QVERIFY(button(e, "cmdCalCalculate")->isHidden());
        QVERIFY(e.valX(0)->isHidden() || !e.valX(0)->isVisibleTo(&e));
        toggle->click();
        QVERIFY(e.extendedView());
        QCOMPARE(e.size(), QSize(Twips::toPixels(13770, &e), Twips::toPixels(8895, &e)));
        QCOMPARE(toggle->text(), QStringLiteral("<< Hide"));
        QCOMPARE(e.helpContext(), frmProgEdit::kHelpExtended);
        QVERIFY(button(e, "cmdCalCalculate")->isVisibleTo(&e));
        QVERIFY(e.valX(9)->isVisibleTo(&e));
        QVERIFY(!edit(e, QStringLiteral("txtE0"))->isEnabled());
        QVERIFY(!edit(e, QStringLiteral("txtSlope"))->isEnabled());
        toggle->click();
        QVERIFY(edit(e, QStringLiteral("txtE0"))->isEnabled());
        QCOMPARE(e.helpContext(), frmProgEdit::kHelpModify);
        QCOMPARE(e.size(), QSize(Twips::toPixels(6075, &e), Twips::toPixels(6550, &e)));
    });
    withEditor(console, true, [&](frmProgEdit &e) { QCOMPARE(e.helpContext(), frmProgEdit::kHelpNew); });
}

void TestProgEdit::calculateAndTakeOver()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        button(e, "cmdExtended")->click();
        fillPairs(e, {{"0", "0.05"}, {"1", "0.25"}, {"2", "0.44"}, {"3", "0.66"}});
        button(e, "cmdCalCalculate")->click();
        QVERIFY(s.dialogs.asked.isEmpty());
        QVERIFY(e.calculationValid());
        QCOMPARE(e.resultText(QStringLiteral("A0")), QStringLiteral("4.700E-02"));
        QCOMPARE(e.resultText(QStringLiteral("A1")), QStringLiteral("2.020E-01  1/(mg/l)"));
        QCOMPARE(e.resultText(QStringLiteral("YQ")), QStringLiteral("3.500E-01"));
        QCOMPARE(e.resultText(QStringLiteral("XQ")), QStringLiteral("1.500E+00  mg/l"));
        QCOMPARE(e.resultText(QStringLiteral("N")), QStringLiteral("4"));
        QCOMPARE(e.resultText(QStringLiteral("SX0")), QStringLiteral("4.696E-02  mg/l"));
        QCOMPARE(e.resultText(QStringLiteral("VX0")), QStringLiteral("3.1  %"));
        QCOMPARE(e.resultText(QStringLiteral("XN")), QStringLiteral("5.039E-01  mg/l"));
        QCOMPARE(e.resultText(QStringLiteral("XB")), QStringLiteral("7.469E-01  mg/l"));
        QVERIFY(e.chart()->isVisibleTo(&e));
        QCOMPARE(e.chart()->endLabels(), (QStringList{"0.000", "3.000", "0.000", "0.660"}));
        QCOMPARE(e.chart()->xAxisShare(), 0.0);

        button(e, "cmdTransfer")->click();
        QCOMPARE(edit(e, QStringLiteral("txtE0"))->text(), QStringLiteral("0.047"));
        QCOMPARE(edit(e, QStringLiteral("txtSlope"))->text(), QStringLiteral("0.202"));

        // Points on one X or on one Y (also values without an exact binary form): the calculation
        // error, nothing to take over.
        for (const char *v : {"1", "0.1", "0.7"}) {
            for (bool onX : {true, false}) {
                s.dialogs.clear();
                fillPairs(e, {{onX ? v : "0.5", onX ? "0.1" : v},
                              {onX ? v : "1.1", onX ? "0.2" : v},
                              {onX ? v : "2.3", onX ? "0.35" : v}});
                button(e, "cmdCalCalculate")->click();
                QCOMPARE(s.dialogs.asked.size(), 1);
                QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
                QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Calculation error!"));
                QVERIFY(!e.calculationValid());
                QVERIFY(!e.chart()->isVisibleTo(&e));
                QCOMPARE(e.resultText(QStringLiteral("A0")), QString());
                button(e, "cmdTransfer")->click();
                QCOMPARE(edit(e, QStringLiteral("txtSlope"))->text(), QStringLiteral("0.202"));
            }
        }
    });

    // A program file with pairs: the editor computes its line on opening, silently.
    ProgramRecord program = ProgramRecord::fromMeter((QStringLiteral("907,") + kRest).split(u','));
    program.BLANKREQ = program.CALPSB = program.CALREQ = QStringLiteral("0");
    const char *pairs[4][2] = {{"0", "0.05"}, {"1", "0.25"}, {"2", "0.44"}, {"3", "0.66"}};
    for (size_t i = 0; i < 4; ++i) {
        program.valX[i] = QLatin1String(pairs[i][0]);
        program.valY[i] = QLatin1String(pairs[i][1]);
    }
    QVERIFY(s.main->shared().usrDefProg->SaveToFile(program, s.work.filePath(QStringLiteral("p.csv"))));
    console.UpdateDirectoryList();
    console.directoryList()->setCurrentRow(0);
    s.dialogs.clear();
    withEditor(console, false, [&](frmProgEdit &e) {
        QVERIFY(s.dialogs.asked.isEmpty());
        QCOMPARE(edit(e, QStringLiteral("txtProgNum"))->text(), QStringLiteral("907"));
        QVERIFY(e.calculationValid());
        QCOMPARE(e.resultText(QStringLiteral("N")), QStringLiteral("4"));
    });
}

void TestProgEdit::tooFewPairsAndGaps()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        button(e, "cmdExtended")->click();
        fillPairs(e, {{"1", "0.2"}, {"2", "0.4"}});
        button(e, "cmdCalCalculate")->click();
        QCOMPARE(s.dialogs.asked.size(), 1);
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Warning"));
        QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Please enter at least 3 value pairs!"));
        QVERIFY(!e.calculationValid());
        const QString e0 = edit(e, QStringLiteral("txtE0"))->text();
        button(e, "cmdTransfer")->click();
        QCOMPARE(edit(e, QStringLiteral("txtE0"))->text(), e0);

        // A gap after the second row: the later rows do not count.
        s.dialogs.clear();
        fillPairs(e, {{"1", "0.2"}, {"2", "0.4"}, {"", ""}, {"4", "0.8"}, {"5", "1.0"}});
        button(e, "cmdCalCalculate")->click();
        QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::TooFewValuePairs)});
        // An X without its Y ends the rows as well.
        s.dialogs.clear();
        fillPairs(e, {{"1", "0.2"}, {"2", "0.4"}, {"3", ""}, {"4", "0.8"}});
        button(e, "cmdCalCalculate")->click();
        QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::TooFewValuePairs)});
    });
}

void TestProgEdit::chartWithNegativeAbsorbance()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        button(e, "cmdExtended")->click();
        fillPairs(e, {{"1", "-0.1"}, {"2", "0.1"}, {"3", "0.3"}});
        button(e, "cmdCalCalculate")->click();
        QVERIFY(s.dialogs.asked.isEmpty());
        QCOMPARE(e.chart()->endLabels(), (QStringList{"0.000", "3.000", "-0.100", "0.300"}));
        QCOMPARE(e.chart()->xAxisShare(), 0.25);
        QPixmap picture = e.chart()->grab();
        QVERIFY(!picture.isNull());

        // Every X at or below 0: no area to draw in, the line error; the results stay.
        fillPairs(e, {{"-3", "0.1"}, {"-2", "0.2"}, {"-1", "0.35"}});
        button(e, "cmdCalCalculate")->click();
        QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::CalibrationLineError)});
        QVERIFY(e.calculationValid());
        QVERIFY(!e.chart()->isVisibleTo(&e));
    });
}

void TestProgEdit::measuringRangeBlocksSaving()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        edit(e, QStringLiteral("txtMRB"))->setText(QStringLiteral("0"));
        edit(e, QStringLiteral("txtMRE"))->setText(QStringLiteral("10.5"));
        edit(e, QStringLiteral("txtE0"))->setText(QStringLiteral("0"));
        edit(e, QStringLiteral("txtSlope"))->setText(QStringLiteral("0.2"));
        s.sim->clearLog();
        // A range the meter may hold all the same: asked, and No keeps everything as it was.
        s.dialogs.buttonAnswers << UserDialogs::No << UserDialogs::No;
        e.cmdSaveDevice_Click();
        e.cmdSaveFile_Click();
        const QString text =
            QStringLiteral("The measuring range of the Lumora meter (-0.2 A ... 2.0 A) is exceeded!\r\n"
                           "Please check MRB, MRE, A0 and slope!\r\n\r\n") +
            TextTable::text(TextTable::ProgramSendAnyway);
        QCOMPARE(s.dialogs.messageTexts(), (QStringList{text, text}));
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Question"));
        QVERIFY(s.sim->commandLog().isEmpty());
        // Within the range both go on (the file dialog is cancelled here).
        s.dialogs.clear();
        edit(e, QStringLiteral("txtMRE"))->setText(QStringLiteral("10"));
        e.cmdSaveFile_Click();
        QCOMPARE(s.dialogs.asked.size(), 1);
        QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("save"));
        // A range value that is not a number is refused before the check.
        s.dialogs.clear();
        edit(e, QStringLiteral("txtMRE"))->setText(QStringLiteral("1x"));
        e.cmdSaveFile_Click();
        QCOMPARE(s.dialogs.messageTexts(),
                 QStringList{TextTable::text(TextTable::ProgramFieldNumber).arg("MRE")});
    });
}

void TestProgEdit::incompleteProgram()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        edit(e, QStringLiteral("txtMeasUnit"))->clear();
        e.cmdSaveDevice_Click();
        e.cmdSaveFile_Click();
        QCOMPARE(s.dialogs.messageTexts(), QStringList(2, QStringLiteral("Entered data is incomplete!")));
        QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Warning);
    });
}

void TestProgEdit::noToModifyReloadsMeterVersion()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        edit(e, QStringLiteral("txtModel"))->setText(QStringLiteral("ZZ"));
        e.valX(0)->setText(QStringLiteral("1"));
        s.sim->clearLog();
        s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
        e.cmdSaveDevice_Click();
        QCOMPARE(s.dialogs.asked.size(), 1);
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Question"));
        QCOMPARE(s.dialogs.asked[0].buttons, UserDialogs::Yes | UserDialogs::No);
        QCOMPARE(s.dialogs.asked[0].defaultButton, int(UserDialogs::No));
        QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Modify existing program?\r\n(Program No: 901)"));
        QVERIFY(s.sim->commandLog().isEmpty());
        QCOMPARE(edit(e, QStringLiteral("txtModel"))->text(), QStringLiteral("ABCDE"));
        QCOMPARE(e.valX(0)->text(), QStringLiteral("1"));
        QCOMPARE(edit(e, QStringLiteral("txtUserName"))->text(), QStringLiteral("Ann"));

        // Yes sends it and the meter's answer is shown.
        s.dialogs.clear();
        edit(e, QStringLiteral("txtModel"))->setText(QStringLiteral("ZZ"));
        s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
        e.cmdSaveDevice_Click();
        QCOMPARE(s.dialogs.asked.size(), 2);
        QCOMPARE(s.dialogs.asked[1].title, QStringLiteral("Information"));
        QCOMPARE(s.dialogs.asked[1].text, QStringLiteral("Program successfully saved!"));
        QCOMPARE(s.programs->programs().value(QStringLiteral("901")).value(1), QStringLiteral("ZZ"));
        QCOMPARE(edit(e, QStringLiteral("txtModel"))->text(), QStringLiteral("ZZ"));
    });
}

void TestProgEdit::newProgramSentAndSelected()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, true, [&](frmProgEdit &e) {
        edit(e, QStringLiteral("txtModel"))->setText(QStringLiteral("NEW"));
        e.cmdSaveDevice_Click();
        QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ProgramSaved)});
        // Sending again under the same number now asks with the first line.
        s.dialogs.clear();
        s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
        e.cmdSaveDevice_Click();
        QCOMPARE(
            s.dialogs.asked[0].text,
            QStringLiteral("Program already existing!\r\nModify existing program?\r\n(Program No: 900)"));
    });
    QCOMPARE(s.programs->programs().value(QStringLiteral("900")).value(1), QStringLiteral("NEW"));
    // Back in the console the saved program is selected.
    QCOMPARE(console.meterList()->count(), 2);
    QCOMPARE(console.meterList()->selectedItems().first()->text(), QStringLiteral("900"));
}

void TestProgEdit::offlineSavesFile()
{
    Session s(false);
    frmProgConsole console(*s.main);
    withEditor(console, true, [&](frmProgEdit &e) {
        QVERIFY(!button(e, "cmdSaveDevice")->isEnabled());
        QCOMPARE(edit(e, QStringLiteral("txtProgNum"))->text(), QStringLiteral("900"));
        // Nothing selected: the defaults.
        QCOMPARE(e.findChild<QComboBox *>(QStringLiteral("cboCuvette"))->currentText(), QStringLiteral("16"));
        QCOMPARE(e.findChild<QComboBox *>(QStringLiteral("cboLambda"))->currentText(), QStringLiteral("436"));
        QCOMPARE(e.findChild<QComboBox *>(QStringLiteral("cboResolution"))->currentText(),
                 QStringLiteral("0.01"));
        const QStringList values = {"M1", "0", "2", "0", "1", "Fe", "mg/l"};
        const char *names[] = {"txtModel", "txtMRB",     "txtMRE",     "txtE0",
                               "txtSlope", "txtFormula", "txtMeasUnit"};
        for (int i = 0; i < values.size(); ++i)
            edit(e, QString::fromLatin1(names[i]))->setText(values[i]);
        e.findChild<QCheckBox *>(QStringLiteral("chkBlankRequired"))->setChecked(true);
        e.valX(0)->setText(QStringLiteral("0.5"));
        e.valY(0)->setText(QStringLiteral("0.1"));
        s.dialogs.fileAnswers.enqueue(s.work.filePath(QStringLiteral("PROG 900.csv")));
        e.cmdSaveFile_Click();
        QCOMPARE(s.dialogs.asked.size(), 1);
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Save as"));
        QCOMPARE(s.dialogs.asked[0].text, s.work.filePath(QStringLiteral("PROG 900.csv")));
        QCOMPARE(s.dialogs.asked[0].filter, QStringLiteral("CSV (separator-delimited) (*.csv)"));
    });
    ProgramRecord file;
    QVERIFY(s.main->shared().usrDefProg->ReadFromFile(file, QStringLiteral("PROG 900.csv")));
    QCOMPARE(file.toFile(), (QStringList{"900", "M1", "16", "436", "0", "2", "0", "1", "0.01", "Fe", "mg/l",
                                         "Ann", "1", "0", "0"}));
    QCOMPARE(file.valX[0], QStringLiteral("0.5"));
    QCOMPARE(file.valY[0], QStringLiteral("0.1"));
    QCOMPARE(console.directoryList()->selectedItems().first()->text(),
             QStringLiteral("900   (PROG 900.csv)"));
}

void TestProgEdit::resetKeepsNumberAndPairs()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, false, [&](frmProgEdit &e) {
        e.findChild<QComboBox *>(QStringLiteral("cboCuvette"))->setCurrentIndex(2);
        e.findChild<QCheckBox *>(QStringLiteral("chkCalLinePossible"))->setChecked(true);
        e.valX(0)->setText(QStringLiteral("2"));
        button(e, "cmdClear")->click();
        QCOMPARE(edit(e, QStringLiteral("txtProgNum"))->text(), QStringLiteral("901"));
        QCOMPARE(edit(e, QStringLiteral("txtModel"))->text(), QString());
        QCOMPARE(edit(e, QStringLiteral("txtSlope"))->text(), QString());
        QCOMPARE(edit(e, QStringLiteral("txtUserName"))->text(), QStringLiteral("Ann"));
        QCOMPARE(e.findChild<QComboBox *>(QStringLiteral("cboCuvette"))->currentText(), QStringLiteral("16"));
        QVERIFY(!e.findChild<QCheckBox *>(QStringLiteral("chkCalLinePossible"))->isChecked());
        QCOMPARE(e.valX(0)->text(), QStringLiteral("2"));
    });
}

void TestProgEdit::refusedSendingIsReported()
{
    Session s;
    frmProgConsole console(*s.main);
    withEditor(console, true, [&](frmProgEdit &e) {
        // A new program the meter refuses: the saving message, then the reload finds no such program.
        s.sim->faults().rejectCommands = {QStringLiteral("U.500"), QStringLiteral("U.502")};
        edit(e, QStringLiteral("txtModel"))->setText(QStringLiteral("NEW"));
        e.cmdSaveDevice_Click();
        QCOMPARE(s.dialogs.messageTexts(), (QStringList{TextTable::text(TextTable::ProgramSaveFailed),
                                                        TextTable::text(TextTable::ProgramReadFailed)}));
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
        QCOMPARE(s.dialogs.asked[1].title, QStringLiteral("Error"));
        QVERIFY(!s.programs->programs().contains(QStringLiteral("900")));

        // An existing program the meter refuses to overwrite: the modify message, the meter's version back.
        s.dialogs.clear();
        edit(e, QStringLiteral("txtProgNum"))->setText(QStringLiteral("901"));
        s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
        e.cmdSaveDevice_Click();
        QCOMPARE(s.dialogs.asked.size(), 2);
        QCOMPARE(s.dialogs.asked[1].title, QStringLiteral("Error"));
        QCOMPARE(s.dialogs.asked[1].text, TextTable::text(TextTable::ProgramModifyFailed));
        QCOMPARE(edit(e, QStringLiteral("txtModel"))->text(), QStringLiteral("ABCDE"));
        s.sim->faults().rejectCommands.clear();
    });
    QCOMPARE(s.programs->programs().value(QStringLiteral("901")).value(1), QStringLiteral("ABCDE"));
    QCOMPARE(console.meterList()->count(), 1);
}

QTEST_MAIN(TestProgEdit)
#include "tst_progedit.moc"
