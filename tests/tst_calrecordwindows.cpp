// The calibration record windows against a simulated meter: what they show, the record files they
// save and open, the messages of every failure, and printing to a PDF file.
#include "CCSVFile.h"
#include "CCalProtocol.h"
#include "CDevice.h"
#include "CPrint.h"
#include "GuiTestSupport.h"
#include "LocaleTexts.h"
#include "QtPrintTarget.h"
#include "SimCalRecords.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "frmCalProtocolPH.h"
#include "frmMain.h"
#include "frmWait.h"
#include "basMain.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// A main window logged in as Ann and online with a simulated meter that keeps calibration records.
struct Session {
    GuiSandbox sandbox;
    SimBench bench{1};
    MeterSim *sim = nullptr;
    std::unique_ptr<SimCalRecords> records;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> main;
    QTemporaryDir files;

    explicit Session(const char *model, const QByteArray &phRecord = QByteArray())
    {
        MeterIdentity id;
        id.model = QString::fromLatin1(model);
        id.firmware = QStringLiteral("2.50");
        id.serial = QStringLiteral("S-0042");
        sim = &bench.addMeter(1, id);
        records = std::make_unique<SimCalRecords>(*sim);
        if (!phRecord.isEmpty())
            records->ph = phRecord;
        main = std::make_unique<frmMain>(dialogs);
        dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
        answerLogin(QStringLiteral("Ann"), true);
        if (!basMain::Main(*main))
            qFatal("start-up failed");
        dialogs.clear();
        sim->clearLog();
    }
    QString path(const char *name) const { return files.filePath(QString::fromLatin1(name)); }
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
template <typename T>
void whenModal(std::function<void(T *)> action)
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
    void phRecordWithTwoPoints();
    void phFahrenheitAndPercent();
    void phFailedReadoutLeavesEmptyDisplay();
    void phNotReadWhenMeterLacksPH();
    void phSaveProposesNameAndOpensAgain();
    void phOpenTurbidityFileIsReported();
    void phCancelledFileDialogsSayNothing();
    void phFailedFileReadThenSave();
    void phPrintAsksAndPrints();
    void phMenuCommandOpensWindow();
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

void TestCalRecordWindows::phNotReadWhenMeterLacksPH()
{
    Session s("Klaro 7 T");
    frmCalProtocolPH window(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QVERIFY(s.sim->commandLog().isEmpty());
    QVERIFY(!window.saveButton()->isEnabled());
    QCOMPARE(window.labelText("lblMeterValue"), QString());
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
    reread.saveButton()->click();
    QCOMPARE(s.dialogs.messageTexts().last(), QStringLiteral("Saving of record failed!"));
}

void TestCalRecordWindows::phPrintAsksAndPrints()
{
    Session s("Lumora", phReply("-58.0", true, true));
    frmCalProtocolPH window(*s.main);
    CPrint &print = *s.main->shared().print;
    print.setTarget(nullptr);
    window.printButton()->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{"No printer available!"});
    QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Critical);

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
        QSKIP("pdftotext is not installed");
    const QString text = pdfText(pdf);
    for (const QString &line : {QStringLiteral("Calibration record - pH"), QStringLiteral("Meter: Lumora"),
                                QStringLiteral("S/N: S-0042"), QStringLiteral("User: Ann"),
                                QStringLiteral("Interval: 7 Day(s)"), QStringLiteral("Mode: Bufmode TEC"),
                                QStringLiteral("Slope: 98.0 %"), QStringLiteral("Asymmetry: -3.2 mV"),
                                QStringLiteral("Sensor: +++")})
        QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + text));
    const QRegularExpression first(QStringLiteral("#1\\s+7\\.00\\s+-3\\.2 mV\\s+77\\.0 \u00b0F"));
    const QRegularExpression second(QStringLiteral("#2\\s+4\\.01\\s+171\\.5 mV\\s+-40\\.0 \u00b0F"));
    QVERIFY2(first.match(text).hasMatch(), qPrintable(text));
    QVERIFY2(second.match(text).hasMatch(), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("#3")));
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
    s.main->menuAction(QStringLiteral("mnuCalProtPH"))->trigger();
    QCOMPARE(title, QStringLiteral("Calibration record - pH"));
    QCOMPARE(meter, QStringLiteral("Lumora"));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestCalRecordWindows)
#include "tst_calrecordwindows.moc"
