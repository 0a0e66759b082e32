// The calibration record windows against a simulated meter: what they show, the record files they
// save and open, the messages of every failure, and printing to a PDF file.
#include "basMain.h"
#include "CCalProtocol.h"
#include "CCSVFile.h"
#include "CDevice.h"
#include "CPrint.h"
#include "frmCalProtEdit.h"
#include "frmCalProtocolPH.h"
#include "frmCalProtocolTurb.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "frmWait.h"
#include "GuiTestSupport.h"
#include "LocaleTexts.h"
#include "QtPrintTarget.h"
#include "RecordingPrintTarget.h"
#include "SimCalRecords.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <functional>

namespace {

// A main window logged in as Ann and online with a simulated meter that keeps calibration records.
struct Session : GuiSession {
    std::unique_ptr<SimCalRecords> records;

    explicit Session(const char *model, const QByteArray &phRecord = QByteArray())
        : GuiSession(
              meterIdentity(QString::fromLatin1(model), QStringLiteral("2.50"), QStringLiteral("S-0042"))),
          records(std::make_unique<SimCalRecords>(*sim))
    {
        if (!phRecord.isEmpty())
            records->ph = phRecord;
        logIn();
    }
    ~Session() { main.reset(); }
    CCalProtocol &cal() { return *main->shared().calProtocol; }
};

// A pH record of two points with the given slope, the flags for Fahrenheit and percent, and 25.0 °C.
QByteArray phReply(const char *slope, bool fahrenheit, bool percent)
{
    return QByteArray("0,2026,3,15,10,20,30,0,") + slope + ",-3.2,4,7," + (fahrenheit ? "1" : "0") + "," +
           (percent ? "1" : "0") + ",2,7.00,-3.2,25.0,4.01,171.5,-40";
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
}

void writeFile(const QString &path, const QStringList &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(lines.join(QStringLiteral("\r\n")).toLatin1());
}

// A turbidity record file of the given standards, with lot data.
QStringList turbidityFile(const QStringList &standards)
{
    QStringList values = standards;
    while (values.size() < 5)
        values.append(QString());
    return {"METER;SERNO;USER;PH",
            "Klaro 7 T;T-77;Bea;False",
            "YEAR;MONTH;DAY;HOUR;MIN;SEC;INTERVAL;MODE;SLOPE;ASY;QUAL;SHOWF;SHOWPC",
            "2025;11;2;8;15;0;30;Mixed;;;;False;False",
            "CALPTS;PH1;VOLT1;TEMP1;PH2;VOLT2;TEMP2;PH3;VOLT3;TEMP3",
            QString::number(standards.size()) + ";;;;;;;;;",
            "LOTTOTAL;EXPIRY;MANUF;STDLOW;STDMID;STDHIGH;STD4;STD5",
            "SET-9;2027-01;Maker;a;b;c;d;e",
            "CALPTS;TURB1;TURB2;TURB3;TURB4;TURB5",
            QString::number(standards.size()) + ";" + values.mid(0, 5).join(u';')};
}

QString pdfText(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Runs action on the modal window of type T once it is shown (the wait dialog may come first).
template <typename T> void whenModal(std::function<void(T *)> action)
{
    auto *poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        auto *window = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!window || !window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(window);
    });
    poll->start();
}

bool havePdfToText()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

const QString kDegC = QStringLiteral(" \u00b0C");
const QString kDegF = QStringLiteral(" \u00b0F");

} // namespace

class TestCalRecordWindows : public QObject {
    Q_OBJECT
private slots:
    // The texts shown follow the system locale; the expected ones are written in English.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void phRecordWithTwoPoints();
    void phFahrenheitAndPercent();
    void phFailedReadoutLeavesEmptyDisplay();
    void phCancelledWaitEndsReadout();
    void phNotReadWhenMeterLacksPH();
    void phSaveProposesNameAndOpensAgain();
    void phOpenTurbidityFileIsReported();
    void phCancelledFileDialogsSayNothing();
    void phFailedFileReadThenSave();
    void phPrintAsksAndPrints();
    void phDecimalSeparatorFollowsSystem();
    void phMenuCommandOpensWindow();
    void turbShortRecordHasThreeStandards();
    void turbExtendedRecordWithFiveAndTwoStandards();
    void turbEditLotTakenOverIsSavedAndPrinted();
    void turbEditLotCancelledOrClosedChangesNothing();
    void turbReadingAgainDiscardsEditedLot();
    void turbFileWithLotDataAndRowsBeyondCount();
    void turbOpenPHFileIsReported();
    void turbSixStandardsCannotBeShownOrPrinted();
    void turbMenuCommandOpensWindow();
    void lotEditorRowsFollowPointCount();
    void lotEditorFieldsFilterAndLimit();
    void helpKeyShowsTopics();
};

void TestCalRecordWindows::phRecordWithTwoPoints()
{
    Session s("Lumora");
    frmCalProtocolPH window(*s.main);
    QVERIFY2(s.dialogs.asked.isEmpty(), qPrintable(s.dialogs.messageTexts().join(u'|')));
    QCOMPARE(s.sim->commandLog(), QStringList({"U.400", "U.586"}));
    QVERIFY(s.main->waitDialog().isHidden());
    QCOMPARE(window.windowTitle(), QStringLiteral("Calibration record - pH"));
    QCOMPARE(window.labelText("lblMeter"), QStringLiteral("Meter:"));
    QCOMPARE(window.labelText("lblSensQual"), QStringLiteral("Sensor:"));
    QCOMPARE(window.labelText("lblMeterValue"), QStringLiteral("Lumora"));
    QCOMPARE(window.labelText("lblSerNoValue"), QStringLiteral("S-0042"));
    QCOMPARE(window.labelText("lblUserValue"), QStringLiteral("Ann"));
    QCOMPARE(window.labelText("lblCalDateValue"), LocaleTexts::shortDate(QDate(2026, 3, 15)));
    QCOMPARE(window.labelText("lblCalTimeValue"), LocaleTexts::longTime(QTime(10, 20, 30)));
    QCOMPARE(window.labelText("lblCalIntervalValue"), QStringLiteral("7 Day(s)"));
    QCOMPARE(window.labelText("lblCalModeValue"), QStringLiteral("Bufmode NIST/DIN"));
    QCOMPARE(window.labelText("lblSlopeValue"), QStringLiteral("59.16 mV/pH"));
    QCOMPARE(window.labelText("lblAsyValue"), QStringLiteral("-3.2 mV"));
    QCOMPARE(window.labelText("lblSensQualValue"), QStringLiteral("++"));
    QCOMPARE(window.labelText("lblBufNo1"), QStringLiteral("#1"));
    QCOMPARE(window.labelText("lblBufPH1"), QStringLiteral("7.00"));
    QCOMPARE(window.labelText("lblBufVolt1"), QStringLiteral("-3.2 mV"));
    QCOMPARE(window.labelText("lblBufTemp1"), QStringLiteral("25.0") + kDegC);
    QCOMPARE(window.labelText("lblBufNo2"), QStringLiteral("#2"));
    QCOMPARE(window.labelText("lblBufVolt2"), QStringLiteral("171.5 mV"));
    for (const char *name : {"lblBufNo3", "lblBufPH3", "lblBufVolt3", "lblBufTemp3"})
        QCOMPARE(window.labelText(QString::fromLatin1(name)), QString());
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(window.printButton()->isEnabled());
    QCOMPARE(window.saveButton()->text(), QStringLiteral("Save as file"));
    QCOMPARE(window.openButton()->text(), QStringLiteral("Open file"));
}

void TestCalRecordWindows::phFahrenheitAndPercent()
{
    Session s("Lumora pH", phReply("-58.0", true, true));
    frmCalProtocolPH window(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(window.labelText("lblSlopeValue"), QStringLiteral("98.0 %"));
    QCOMPARE(window.labelText("lblBufTemp1"), QStringLiteral("77.0") + kDegF);
    QCOMPARE(window.labelText("lblBufTemp2"), QStringLiteral("-40.0") + kDegF);
    QCOMPARE(window.labelText("lblCalModeValue"), QStringLiteral("Bufmode TEC"));
    QCOMPARE(window.labelText("lblSensQualValue"), QStringLiteral("+++"));

    // The ideal slope is 100.0 %, and the unconverted texts stay as the meter sent them.
    s.records->ph = phReply("-59.16", false, true);
    frmCalProtocolPH again(*s.main);
    QCOMPARE(again.labelText("lblSlopeValue"), QStringLiteral("100.0 %"));
    QCOMPARE(again.labelText("lblBufTemp2"), QStringLiteral("-40") + kDegC);
}

void TestCalRecordWindows::phFailedReadoutLeavesEmptyDisplay()
{
    Session s("Lumora");
    // A record held from before is gone after the failed readout.
    frmCalProtocolPH(*s.main).close();
    QVERIFY(s.cal().IsProtocolValid());
    s.sim->faults().rejectCommands = {QStringLiteral("U.586")};
    frmCalProtocolPH window(*s.main);
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
    QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Critical);
    QCOMPARE(window.labelText("lblMeterValue"), QString());
    QCOMPARE(window.labelText("lblBufNo1"), QString());
    QVERIFY(!window.saveButton()->isEnabled());
    QVERIFY(!window.printButton()->isEnabled());
    QVERIFY(window.openButton()->isEnabled());
    QVERIFY(window.cancelButton()->isEnabled());

    // A reply the record parser rejects (four points announced) is reported the same way.
    s.sim->faults().rejectCommands.clear();
    s.records->ph = SimCalRecords::phRecord(3);
    s.records->ph.replace(",3,7.00", ",4,7.00");
    s.dialogs.clear();
    frmCalProtocolPH rejected(*s.main);
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QVERIFY(!rejected.saveButton()->isEnabled());
}

void TestCalRecordWindows::phCancelledWaitEndsReadout()
{
    Session s("Lumora");
    s.sim->faults().delayMs = 3000;
    frmWait &wait = s.main->waitDialog();
    QString waitText;
    QTimer::singleShot(300, &wait, [&wait, &waitText] {
        waitText = wait.textLabel()->text();
        wait.cancelButton()->click();
    });
    QElapsedTimer timer;
    timer.start();
    frmCalProtocolPH window(*s.main);
    QVERIFY(timer.elapsed() < 2500);
    QCOMPARE(waitText, QStringLiteral("Data is being loaded..."));
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QVERIFY(!window.saveButton()->isEnabled());
    QVERIFY(wait.isHidden());
}

void TestCalRecordWindows::phNotReadWhenMeterLacksPH()
{
    Session s("Klaro 7 T");
    frmCalProtocolPH window(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QVERIFY(s.sim->commandLog().isEmpty());
    QVERIFY(!window.saveButton()->isEnabled());
    QCOMPARE(window.labelText("lblMeterValue"), QString());
    // A turbidity record read before is still held: the empty window offers to save and print it.
    {
        frmCalProtocolTurb turbidity(*s.main);
    }
    QVERIFY(s.main->shared().calProtocol->IsProtocolValid());
    s.dialogs.clear();
    frmCalProtocolPH again(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(again.labelText("lblMeterValue"), QString());
    QCOMPARE(again.labelText("lblBufNo1"), QString());
    QVERIFY(again.saveButton()->isEnabled());
    QVERIFY(again.printButton()->isEnabled());
}

void TestCalRecordWindows::phSaveProposesNameAndOpensAgain()
{
    Session s("Lumora");
    const QString file = s.path("ph.csv");
    {
        frmCalProtocolPH window(*s.main);
        s.dialogs.fileAnswers.enqueue(file);
        window.saveButton()->click();
        QCOMPARE(s.dialogs.asked.size(), 1);
        QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("save"));
        QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Save as"));
        QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("CalProt pH 20260315"));
        QCOMPARE(s.dialogs.asked[0].filter, QStringLiteral("CSV (separator-delimited) (*.csv)"));
    }
    const QStringList lines = fileLines(file);
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines[1], QStringLiteral("Lumora;S-0042;Ann;True"));
    QCOMPARE(lines[3], QStringLiteral("2026;3;15;10;20;30;7;Bufmode NIST/DIN;59.16;-3.2;++;False;False"));
    QCOMPARE(lines[5], QStringLiteral("2;7.00;-3.2;25.0;4.01;171.5;25.1;;;"));

    // Offline, the window shows nothing until the file is opened.
    s.main->shared().device->setOnline(false);
    s.dialogs.clear();
    frmCalProtocolPH window(*s.main);
    QCOMPARE(window.labelText("lblMeterValue"), QString());
    s.dialogs.fileAnswers.enqueue(file);
    window.openButton()->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("open"));
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Open file"));
    QCOMPARE(s.dialogs.asked[0].filter, QStringLiteral("CSV (separator-delimited) (*.csv)"));
    QCOMPARE(window.labelText("lblMeterValue"), QStringLiteral("Lumora"));
    QCOMPARE(window.labelText("lblUserValue"), QStringLiteral("Ann"));
    QCOMPARE(window.labelText("lblSensQualValue"), QStringLiteral("++"));
    QCOMPARE(window.labelText("lblBufTemp2"), QStringLiteral("25.1") + kDegC);
    QCOMPARE(window.labelText("lblBufNo3"), QString());
    QVERIFY(window.saveButton()->isEnabled());
}

void TestCalRecordWindows::phOpenTurbidityFileIsReported()
{
    Session s("Lumora");
    const QString file = s.path("turb.csv");
    writeFile(file, turbidityFile({"0.02", "20"}));
    frmCalProtocolPH window(*s.main);
    s.dialogs.fileAnswers.enqueue(file);
    window.openButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QCOMPARE(s.dialogs.asked.last().title, QStringLiteral("Error"));
    QCOMPARE(window.labelText("lblMeterValue"), QString());
    QCOMPARE(window.labelText("lblBufNo1"), QString());
    // The turbidity record is valid: it can be saved (as "Turb") and printed from here.
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(window.printButton()->isEnabled());
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.last().text, QStringLiteral("CalProt Turb 20251102"));
}

void TestCalRecordWindows::phCancelledFileDialogsSayNothing()
{
    Session s("Lumora");
    frmCalProtocolPH window(*s.main);
    window.saveButton()->click();
    window.openButton()->click();
    QCOMPARE(s.dialogs.asked.size(), 2);
    QVERIFY(s.dialogs.messageTexts().isEmpty());
    QCOMPARE(window.labelText("lblMeterValue"), QStringLiteral("Lumora"));
    QVERIFY(s.cal().IsProtocolValid());
}

void TestCalRecordWindows::phFailedFileReadThenSave()
{
    Session s("Lumora");
    frmCalProtocolPH window(*s.main);
    const QString bad = s.path("bad.csv");
    writeFile(bad, {"METER;SERNO;USER;ph", "x;y;z;True"});
    s.dialogs.fileAnswers.enqueue(bad);
    window.openButton()->click();
    s.dialogs.fileAnswers.enqueue(s.path("missing.csv"));
    window.openButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList(2, "Error while reading from file!"));
    // The old display and buttons stay, but the record is gone: saving fails without a dialog.
    QCOMPARE(window.labelText("lblMeterValue"), QStringLiteral("Lumora"));
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(!s.cal().IsProtocolValid());
    s.dialogs.clear();
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Saving of record failed!"));
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
    QtPrintTarget target(s.path("none.pdf"));
    s.main->shared().print->setTarget(&target);
    s.dialogs.clear();
    window.printButton()->click(); // the question, then the failure
    QCOMPARE(s.dialogs.messageTexts().last(), QStringLiteral("Print error!"));

    // A save that cannot be written is reported too.
    frmCalProtocolPH reread(*s.main);
    s.dialogs.clear();
    s.dialogs.fileAnswers.enqueue(s.path("no/such/folder/x.csv"));
    ErrorRecorder errors;
    reread.saveButton()->click();
    QCOMPARE(s.dialogs.messageTexts().last(), QStringLiteral("Saving of record failed!"));
    QCOMPARE(errors.reports.size(), 1);
}

void TestCalRecordWindows::phPrintAsksAndPrints()
{
    Session s("Lumora", phReply("-58.0", true, true));
    frmCalProtocolPH window(*s.main);
    CPrint &print = *s.main->shared().print;
    print.setTarget(nullptr);
    // Without a printer the PDF file is offered; declined, nothing more happens.
    s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
    window.printButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::NoPrinterOfferPdf)});
    QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Question);

    const QString pdf = s.path("ph.pdf");
    QtPrintTarget target(pdf);
    print.setTarget(&target);
    s.dialogs.clear();
    s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
    window.printButton()->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Information"));
    QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Print on printer: ") + pdf);
    QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Information);
    QCOMPARE(s.dialogs.asked[0].buttons, UserDialogs::Yes | UserDialogs::No);
    QVERIFY(!QFile::exists(pdf));

    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    window.printButton()->click();
    QCOMPARE(s.dialogs.asked.size(), 2);
    QVERIFY(QFile::exists(pdf));
    if (!havePdfToText())
        MERAVO_READER_MISSING("pdftotext is not installed");
    const QString text = pdfText(pdf);
    for (const QString &line :
         {QStringLiteral("Calibration record - pH"), QStringLiteral("Meter: Lumora"),
          QStringLiteral("S/N: S-0042"), QStringLiteral("User: Ann"), QStringLiteral("Interval: 7 Day(s)"),
          QStringLiteral("Mode: Bufmode TEC"), QStringLiteral("Slope: 98.0 %"),
          QStringLiteral("Asymmetry: -3.2 mV"), QStringLiteral("Sensor: +++")})
        QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + text));
    const QRegularExpression first(QStringLiteral("#1\\s+7\\.00\\s+-3\\.2 mV\\s+77\\.0 \u00b0F"));
    const QRegularExpression second(QStringLiteral("#2\\s+4\\.01\\s+171\\.5 mV\\s+-40\\.0 \u00b0F"));
    QVERIFY2(first.match(text).hasMatch(), qPrintable(text));
    QVERIFY2(second.match(text).hasMatch(), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("#3")));
}

void TestCalRecordWindows::phDecimalSeparatorFollowsSystem()
{
    Session s("Lumora", phReply("-58.0", true, true));
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    frmCalProtocolPH window(*s.main);
    RecordingPrintTarget printer;
    s.main->shared().print->setTarget(&printer);
    window.printButton()->click();
    QLocale::setDefault(previous);
    QCOMPARE(window.labelText("lblSlopeValue"), QStringLiteral("98,0 %"));
    QCOMPARE(window.labelText("lblBufTemp1"), QStringLiteral("77,0") + kDegF);
    QCOMPARE(printer.documents.size(), 1);
    const QStringList lines = printer.documents[0].pages.value(0);
    const QString indent(12, u' ');
    QVERIFY2(lines.contains(indent + QStringLiteral("Slope: 98,0 %")), qPrintable(lines.join(u'\n')));
    QVERIFY(lines.contains(indent + QStringLiteral("#1\t7.00\t-3.2 mV\t77,0") + kDegF));
    QVERIFY(lines.contains(indent + QStringLiteral("#2\t4.01\t171.5 mV\t-40,0") + kDegF));
    QCOMPARE(lines.last(), QString());
}

void TestCalRecordWindows::phMenuCommandOpensWindow()
{
    Session s("Lumora");
    QString title;
    QString meter;
    whenModal<frmCalProtocolPH>([&](frmCalProtocolPH *window) {
        title = window->windowTitle();
        meter = window->labelText("lblMeterValue");
        window->cancelButton()->click();
    });
    s.main->commands().action(Command::CalRecordPH).trigger();
    QCOMPARE(title, QStringLiteral("Calibration record - pH"));
    QCOMPARE(meter, QStringLiteral("Lumora"));
    QVERIFY(!QApplication::activeModalWidget());
}

namespace {

const QStringList kFiveStandards = {"0.02", "10.0", "100", "1000", "4000"};

// Checks row i (0-based) of the standards table: nominal value, comment and status.
void checkRow(const frmCalProtocolTurb &window, int i, const QString &standard, const QString &comment,
              bool ok)
{
    static const char *rows[5] = {"lblStdLow", "lblStdMid", "lblStdHigh", "lblStd4", "lblStd5"};
    const QString name = QString::fromLatin1(rows[i]);
    QCOMPARE(window.labelText(name), standard.isEmpty() ? QString() : standard + QStringLiteral(" FNU/NTU"));
    QCOMPARE(window.labelText(name + QStringLiteral("Value")), comment);
    QCOMPARE(window.labelText(name + QStringLiteral("Status")), ok ? QStringLiteral("OK") : QString());
}

// Opens the lot editor from the window, lets edit change it, then takes over (or cancels).
void editLot(frmCalProtocolTurb &window, const std::function<void(frmCalProtEdit *)> &edit, bool takeOver)
{
    whenModal<frmCalProtEdit>([&edit, takeOver](frmCalProtEdit *editor) {
        edit(editor);
        (takeOver ? editor->acceptButton() : editor->cancelButton())->click();
    });
    window.editLotButton()->click();
}

} // namespace

void TestCalRecordWindows::turbShortRecordHasThreeStandards()
{
    Session s("Klaro 4 T");
    frmCalProtocolTurb window(*s.main);
    QVERIFY2(s.dialogs.asked.isEmpty(), qPrintable(s.dialogs.messageTexts().join(u'|')));
    QCOMPARE(s.sim->commandLog(), QStringList({"U.400", "U.585"}));
    QCOMPARE(window.windowTitle(), QStringLiteral("Calibration record - Turbidity"));
    QCOMPARE(window.labelText("lblUsedStds"), QStringLiteral("Standard"));
    QCOMPARE(window.labelText("lblStdComment"), QStringLiteral("Comment (e.g. sub-lot)"));
    QCOMPARE(window.labelText("lblStdStatus"), QStringLiteral("Status"));
    QCOMPARE(window.labelText("lblMeterValue"), QStringLiteral("Klaro 4 T"));
    QCOMPARE(window.labelText("lblCalDateValue"), LocaleTexts::shortDate(QDate(2026, 3, 14)));
    QCOMPARE(window.labelText("lblCalTimeValue"), LocaleTexts::longTime(QTime(9, 5, 0)));
    QCOMPARE(window.labelText("lblCalIntervalValue"), QStringLiteral("90 Day(s)"));
    QCOMPARE(window.labelText("lblCalModeValue"), QStringLiteral("3-P StdCAL"));
    checkRow(window, 0, "0.02", QString(), true);
    checkRow(window, 1, "10.0", QString(), true);
    checkRow(window, 2, "1000", QString(), true);
    checkRow(window, 3, QString(), QString(), false);
    checkRow(window, 4, QString(), QString(), false);
    QCOMPARE(window.labelText("lblLOTTotalValue"), QString());
    for (QPushButton *button : {window.saveButton(), window.editLotButton(), window.printButton()})
        QVERIFY(button->isEnabled());
    QCOMPARE(window.editLotButton()->text(), QStringLiteral("Edit lot"));
    s.dialogs.fileAnswers.enqueue(s.path("short.csv"));
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.last().text, QStringLiteral("CalProt Turb 3-P StdCAL 20260314"));
    QCOMPARE(fileLines(s.path("short.csv")).value(9), QStringLiteral("3;0.02;10.0;1000;;"));
}

void TestCalRecordWindows::turbExtendedRecordWithFiveAndTwoStandards()
{
    Session s("Klaro 7 T");
    {
        frmCalProtocolTurb window(*s.main);
        QVERIFY(s.dialogs.asked.isEmpty());
        QCOMPARE(s.sim->commandLog(), QStringList({"U.400", "U.587"}));
        QCOMPARE(window.labelText("lblCalModeValue"), QStringLiteral("5-P StdCAL"));
        for (int i = 0; i < 5; ++i)
            checkRow(window, i, kFiveStandards[i], QString(), true);
    }
    s.records->turbidityExtended =
        SimCalRecords::extendedTurbidityRecord(QStringLiteral("2-P/IR"), {"0.02", "20"});
    frmCalProtocolTurb window(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(window.labelText("lblCalModeValue"), QStringLiteral("2-P/IR"));
    // The mode text is proposed as part of a file name without its slash.
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.last().text, QStringLiteral("CalProt Turb 2-PIR 20260314"));
    checkRow(window, 0, "0.02", QString(), true);
    checkRow(window, 1, "20", QString(), true);
    for (int i = 2; i < 5; ++i)
        checkRow(window, i, QString(), QString(), false);
}

void TestCalRecordWindows::turbEditLotTakenOverIsSavedAndPrinted()
{
    Session s("Klaro 7 IR");
    frmCalProtocolTurb window(*s.main);
    int rowsShown = -1;
    QString firstStandard;
    editLot(
        window,
        [&](frmCalProtEdit *editor) {
            rowsShown = 0;
            for (int i = 0; i < 5; ++i)
                rowsShown += editor->stdEdit(i)->isVisible() ? 1 : 0;
            firstStandard = editor->stdLabel(0)->text();
            QTest::keyClicks(editor->lotTotalEdit(), QStringLiteral("LOT;42"));
            editor->expiryEdit()->setText(QStringLiteral("2027-06"));
            editor->manufacturerEdit()->setText(QStringLiteral("Formazin Co"));
            editor->stdEdit(1)->setText(QStringLiteral("sub-B"));
        },
        true);
    QCOMPARE(rowsShown, 5);
    QCOMPARE(firstStandard, QStringLiteral("0.02 FNU/NTU"));
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(window.labelText("lblLOTTotalValue"), QStringLiteral("LOT,42"));
    QCOMPARE(window.labelText("lblExpiryValue"), QStringLiteral("2027-06"));
    QCOMPARE(window.labelText("lblManufacturerValue"), QStringLiteral("Formazin Co"));
    checkRow(window, 1, "10.0", QStringLiteral("sub-B"), true);

    const QString file = s.path("turb.csv");
    s.dialogs.fileAnswers.enqueue(file);
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.last().text, QStringLiteral("CalProt Turb 5-P StdCAL 20260314"));
    const QStringList lines = fileLines(file);
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines[7], QStringLiteral("LOT,42;2027-06;Formazin Co;;sub-B;;;"));
    QCOMPARE(lines[9], QStringLiteral("5;0.02;10.0;100;1000;4000"));

    const QString pdf = s.path("turb.pdf");
    QtPrintTarget target(pdf);
    s.main->shared().print->setTarget(&target);
    s.dialogs.clear();
    window.printButton()->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    if (!havePdfToText())
        MERAVO_READER_MISSING("pdftotext is not installed");
    const QString text = pdfText(pdf);
    for (const QString &line :
         {QStringLiteral("Calibration record - Turbidity"), QStringLiteral("Meter: Klaro 7 IR"),
          QStringLiteral("Mode: 5-P StdCAL"), QStringLiteral("Interval: 90 Day(s)"),
          QStringLiteral("Set lot no.: LOT,42"), QStringLiteral("Expiry date: 2027-06"),
          QStringLiteral("Manufacturer: Formazin Co"), QStringLiteral("0.02 FNU/NTU: OK"),
          QStringLiteral("10.0 FNU/NTU: sub-B OK"), QStringLiteral("4000 FNU/NTU: OK")})
        QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + text));
}

void TestCalRecordWindows::turbEditLotCancelledOrClosedChangesNothing()
{
    Session s("Klaro 7 T");
    QVERIFY(s.cal().SetChargeID(QString(), QString(), QString(), QStringList(5)));
    frmCalProtocolTurb window(*s.main);
    editLot(
        window, [](frmCalProtEdit *editor) { editor->lotTotalEdit()->setText(QStringLiteral("kept")); },
        true);
    frmCalProtEdit *first = &frmCalProtEdit::instance(*s.main);
    editLot(
        window,
        [](frmCalProtEdit *editor) {
            editor->lotTotalEdit()->setText(QStringLiteral("dropped"));
            editor->stdEdit(0)->setText(QStringLiteral("x"));
        },
        false);
    QVERIFY(!first->DlgRetVal());
    QCOMPARE(window.labelText("lblLOTTotalValue"), QStringLiteral("kept"));
    QCOMPARE(window.labelText("lblStdLowValue"), QString());
    QCOMPARE(s.cal().record().LOTTotal, QStringLiteral("kept"));

    // The close box is a Cancel; the editor is the same one each time.
    whenModal<frmCalProtEdit>([first](frmCalProtEdit *editor) {
        QCOMPARE(editor, first);
        editor->lotTotalEdit()->setText(QStringLiteral("closed"));
        editor->close();
    });
    window.editLotButton()->click();
    QVERIFY(!first->DlgRetVal());
    QVERIFY(first->isHidden());
    QCOMPARE(s.cal().record().LOTTotal, QStringLiteral("kept"));
    QCOMPARE(window.labelText("lblLOTTotalValue"), QStringLiteral("kept"));
    QVERIFY(s.dialogs.asked.isEmpty());
}

void TestCalRecordWindows::turbReadingAgainDiscardsEditedLot()
{
    Session s("Klaro 7 T");
    {
        frmCalProtocolTurb window(*s.main);
        editLot(
            window, [](frmCalProtEdit *editor) { editor->lotTotalEdit()->setText(QStringLiteral("L-1")); },
            true);
        QCOMPARE(s.cal().record().LOTTotal, QStringLiteral("L-1"));
    }
    frmCalProtocolTurb window(*s.main);
    QCOMPARE(window.labelText("lblLOTTotalValue"), QString());
    QCOMPARE(s.cal().record().LOTTotal, QString());
    QVERIFY(s.cal().IsProtocolValid());
}

void TestCalRecordWindows::turbFileWithLotDataAndRowsBeyondCount()
{
    Session s("Klaro 7 T");
    const QString file = s.path("two.csv");
    writeFile(file, turbidityFile({"0.02", "20"}));
    frmCalProtocolTurb window(*s.main);
    s.dialogs.fileAnswers.enqueue(file);
    window.openButton()->click();
    QVERIFY2(s.dialogs.messageTexts().isEmpty(), qPrintable(s.dialogs.messageTexts().join(u'|')));
    QCOMPARE(window.labelText("lblMeterValue"), QStringLiteral("Klaro 7 T"));
    QCOMPARE(window.labelText("lblSerNoValue"), QStringLiteral("T-77"));
    QCOMPARE(window.labelText("lblUserValue"), QStringLiteral("Bea"));
    QCOMPARE(window.labelText("lblLOTTotalValue"), QStringLiteral("SET-9"));
    QCOMPARE(window.labelText("lblExpiryValue"), QStringLiteral("2027-01"));
    QCOMPARE(window.labelText("lblManufacturerValue"), QStringLiteral("Maker"));
    checkRow(window, 0, "0.02", QStringLiteral("a"), true);
    checkRow(window, 1, "20", QStringLiteral("b"), true);
    checkRow(window, 2, QString(), QString(), false);

    // The editor offers the two rows of the record, the others as blank standards.
    QStringList offered;
    QString hiddenLabel;
    editLot(
        window,
        [&](frmCalProtEdit *editor) {
            for (int i = 0; i < 5; ++i)
                if (editor->stdEdit(i)->isVisible())
                    offered << editor->stdLabel(i)->text() + QLatin1Char('=') + editor->stdEdit(i)->text();
            hiddenLabel = editor->stdLabel(3)->text();
            QCOMPARE(editor->lotTotalEdit()->text(), QStringLiteral("SET-9"));
        },
        false);
    QCOMPARE(offered, QStringList({"0.02 FNU/NTU=a", "20 FNU/NTU=b"}));

    // Entries longer than fifteen characters (written elsewhere) survive an unchanged take-over.
    QStringList longLines = turbidityFile({"0.02", "20"});
    longLines[7] = QStringLiteral("SET-2026-0001-XYZ;2027-01;Maker;sub-lot 0001-alpha;b;c;d;e");
    writeFile(file, longLines);
    s.dialogs.fileAnswers.enqueue(file);
    window.openButton()->click();
    editLot(
        window, [](frmCalProtEdit *) {}, true);
    QCOMPARE(s.cal().record().LOTTotal, QStringLiteral("SET-2026-0001-XYZ"));
    QCOMPARE(s.cal().record().LOTStds[0], QStringLiteral("sub-lot 0001-alpha"));
    QCOMPARE(window.labelText("lblLOTTotalValue"), QStringLiteral("SET-2026-0001-XYZ"));
    QCOMPARE(hiddenLabel, QStringLiteral(" FNU/NTU"));
    s.dialogs.fileAnswers.enqueue(s.path("x.csv"));
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.last().text, QStringLiteral("CalProt Turb Mixed 20251102"));
}

void TestCalRecordWindows::turbOpenPHFileIsReported()
{
    Session s("Lumora");
    const QString file = s.path("ph.csv");
    {
        frmCalProtocolPH ph(*s.main);
        s.dialogs.fileAnswers.enqueue(file);
        ph.saveButton()->click();
    }
    s.main->shared().device->setOnline(false);
    frmCalProtocolTurb window(*s.main);
    QVERIFY(s.dialogs.asked.size() == 1); // the save dialog only: offline nothing is read
    s.dialogs.fileAnswers.enqueue(file);
    window.openButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QCOMPARE(window.labelText("lblMeterValue"), QString());
    for (QPushButton *button : {window.saveButton(), window.editLotButton(), window.printButton()})
        QVERIFY(button->isEnabled());
    s.dialogs.clear();
    window.editLotButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
    QVERIFY(!s.main->findChild<frmCalProtEdit *>());
    s.dialogs.fileAnswers.enqueue(s.path("y.csv"));
    window.saveButton()->click();
    QCOMPARE(s.dialogs.asked.last().text, QStringLiteral("CalProt pH 20260315"));
}

void TestCalRecordWindows::turbSixStandardsCannotBeShownOrPrinted()
{
    Session s("Klaro 7 T");
    QStringList lines = turbidityFile(kFiveStandards);
    lines[9] = QStringLiteral("6;0.02;10.0;100;1000;4000");
    const QString file = s.path("six.csv");
    writeFile(file, lines);
    frmCalProtocolTurb window(*s.main);
    s.dialogs.fileAnswers.enqueue(file);
    window.openButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
    QCOMPARE(window.labelText("lblStdLow"), QString());
    QVERIFY(window.printButton()->isEnabled());
    const QString pdf = s.path("six.pdf");
    QtPrintTarget target(pdf);
    s.main->shared().print->setTarget(&target);
    s.dialogs.clear();
    {
        // The printout is refused before its first page, with the reason.
        ErrorRecorder errors;
        window.printButton()->click();
        QCOMPARE(errors.reports, QStringList{TextTable::text(TextTable::OutOfRange).arg(6)});
    }
    QCOMPARE(s.dialogs.messageTexts(),
             QStringList({QStringLiteral("Print on printer: ") + pdf, "Print error!"}));
    s.dialogs.clear();
    window.editLotButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"Error while reading the calibration record!"});
}

void TestCalRecordWindows::turbMenuCommandOpensWindow()
{
    Session s("Klaro 7 T");
    QString mode;
    whenModal<frmCalProtocolTurb>([&](frmCalProtocolTurb *window) {
        mode = window->labelText("lblCalModeValue");
        window->cancelButton()->click();
    });
    s.main->commands().action(Command::CalRecordTurbidity).trigger();
    QCOMPARE(mode, QStringLiteral("5-P StdCAL"));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestCalRecordWindows::lotEditorRowsFollowPointCount()
{
    Session s("Klaro 7 T");
    frmCalProtEdit &editor = frmCalProtEdit::instance(*s.main);
    QCOMPARE(&frmCalProtEdit::instance(*s.main), &editor);
    QCOMPARE(editor.windowTitle(), QStringLiteral("Edit lot"));
    QCOMPARE(editor.acceptButton()->text(), QStringLiteral("Take over"));
    auto rowsShown = [&editor](qint16 points) {
        editor.setNumCalPoints(points);
        int shown = -1;
        bool setFields = false;
        whenModal<frmCalProtEdit>([&](frmCalProtEdit *e) {
            shown = 0;
            for (int i = 0; i < 5; ++i)
                shown += e->stdEdit(i)->isVisible() && e->stdLabel(i)->isVisible() ? 1 : 0;
            setFields = e->lotTotalEdit()->isVisible() && e->expiryEdit()->isVisible() &&
                        e->manufacturerEdit()->isVisible();
            e->acceptButton()->click();
        });
        editor.exec();
        return setFields ? shown : -1;
    };
    QCOMPARE(rowsShown(0), 0);
    QCOMPARE(rowsShown(5), 5);
    QCOMPARE(rowsShown(3), 3);
    // Take over with nothing changed still answers true.
    QVERIFY(editor.DlgRetVal());
}

void TestCalRecordWindows::lotEditorFieldsFilterAndLimit()
{
    Session s("Klaro 7 T");
    frmCalProtEdit &editor = frmCalProtEdit::instance(*s.main);
    editor.setNumCalPoints(5);
    QStringList typed;
    QString longest;
    QString pasted;
    whenModal<frmCalProtEdit>([&](frmCalProtEdit *e) {
        QList<QLineEdit *> edits = {e->lotTotalEdit(), e->expiryEdit(), e->manufacturerEdit()};
        for (int i = 0; i < 5; ++i)
            edits << e->stdEdit(i);
        for (QLineEdit *edit : edits) {
            edit->clear();
            QTest::keyClicks(edit, QStringLiteral("a;b"));
            typed << edit->text();
        }
        e->stdEdit(4)->clear();
        QTest::keyClicks(e->stdEdit(4), QStringLiteral("0123456789ABCDEFG"));
        longest = e->stdEdit(4)->text();
        e->expiryEdit()->clear();
        QApplication::clipboard()->setText(QStringLiteral("06;2027"));
        e->expiryEdit()->paste();
        pasted = e->expiryEdit()->text();
        e->cancelButton()->click();
    });
    editor.exec();
    QCOMPARE(typed, QStringList(8, QStringLiteral("a,b")));
    QCOMPARE(longest, QStringLiteral("0123456789ABCDE"));
    QCOMPARE(pasted, QStringLiteral("06,2027"));
    QVERIFY(!editor.DlgRetVal());
    QCOMPARE(editor.ChargeIDStd5(), QStringLiteral("0123456789ABCDE"));
}

void TestCalRecordWindows::helpKeyShowsTopics()
{
    Session s("Lumora Turb");
    auto topicAfterHelpKey = [&s](QWidget *window) {
        auto *shortcut = window->findChild<QShortcut *>();
        if (!shortcut || shortcut->key() != QKeySequence(QKeySequence::HelpContents))
            return QString();
        emit shortcut->activated();
        auto *help = s.main->findChild<frmHelp *>();
        return help && help->isVisible() ? help->browser()->source().fragment() : QString();
    };
    frmCalProtocolPH ph(*s.main);
    QCOMPARE(topicAfterHelpKey(&ph), QStringLiteral("ctx30010"));
    frmCalProtocolTurb turbidity(*s.main);
    QCOMPARE(topicAfterHelpKey(&turbidity), QStringLiteral("ctx30010"));
    QCOMPARE(topicAfterHelpKey(&frmCalProtEdit::instance(*s.main)), QStringLiteral("ctx30020"));
    const QString html = s.main->findChild<frmHelp *>()->browser()->toHtml();
    QVERIFY(html.contains(QStringLiteral("Lot data of the standards")));
}

QTEST_MAIN(TestCalRecordWindows)
#include "tst_calrecordwindows.moc"
