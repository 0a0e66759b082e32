// Print layout against a recording printer: header lines, separators, pages of L lines with two empty
// top lines on every further page, lines cut to the width, and the calibration record printouts.
#include "CCalProtocol.h"
#include "CCSVFile.h"
#include "CMeasVal.h"
#include "CommaDecimalLocale.h"
#include "CPrint.h"
#include "RecordingPrintTarget.h"
#include "SharedObjects.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QLocale>
#include <QTest>

namespace {

const QString kIndent(12, u' ');
const QDateTime kImport(QDate(2012, 3, 7), QTime(14, 30, 5));

QString rawText(const QStringList &records)
{
    QString text = QStringLiteral("\r\n");
    for (const QString &record : records)
        text += record + QStringLiteral("\r\n");
    return text + QStringLiteral("!\r\n>");
}

QStringList mvalsHeader()
{
    return {QString(),
            QString(),
            kIndent + QStringLiteral("Meter: Klaro 4 T"),
            kIndent + QStringLiteral("S/N: 12"),
            kIndent + QStringLiteral("User: Ann"),
            kIndent + QStringLiteral("Date: 3/7/12"),
            kIndent + QStringLiteral("Time: 2:30:05 PM"),
            QString(),
            kIndent + QStringLiteral("No.; Date; Time; ID; Value; Unit; Status; ")};
}

// Loads a calibration record into the shared record object through a record file.
bool loadRecord(SharedObjects &shared, const CalProtocolData &data, const QTemporaryDir &dir)
{
    QString text;
    if (!CCalProtocol::BuildRecordText(data, text))
        return false;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    return CCSVFile().WriteFile(path, text) && shared.calProtocol->ReadFromFile(path);
}

CalProtocolData baseRecord(bool ph)
{
    CalProtocolData r;
    r.Valid = true;
    r.IsPH = ph;
    r.Meter = QStringLiteral("Lumora pH");
    r.SerNo = QStringLiteral("77");
    r.User = QStringLiteral("Bo");
    r.Year = QStringLiteral("2012");
    r.Month = QStringLiteral("3");
    r.Day = QStringLiteral("7");
    r.Hour = QStringLiteral("9");
    r.Min = QStringLiteral("5");
    r.Sec = QStringLiteral("3");
    r.Interval = QStringLiteral("7");
    r.Mode = QStringLiteral("2P");
    return r;
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void printerPresence();
    void measuredValuesLayout();
    void withoutDatasetsOnlyTheHeader();
    void pageBreakAfterLLines();
    void longLinesAreCutNotWrapped();
    void unusableJobsFail();
    void phRecordLayout();
    void turbidityRecordLayout();
    void printoutFollowsTheLanguageTheFileDoesNot();
    void cleanup() { TextTable::setLanguage(QStringLiteral("en")); }
};

void TestPrint::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestPrint::printerPresence()
{
    SharedObjects shared;
    QVERIFY(!shared.print->PrinterAvailable());
    QCOMPARE(shared.print->PrinterName(), QString());
    QVERIFY(!shared.print->PrintMVals({QString(), QString(), QString(), kImport, rawText({})}));
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    QVERIFY(shared.print->PrinterAvailable());
    QCOMPARE(shared.print->PrinterName(), QStringLiteral("Recording printer"));
    printer.count = 0;
    QVERIFY(!shared.print->PrinterAvailable());
    QCOMPARE(shared.print->PrinterName(), QString());
}

void TestPrint::measuredValuesLayout()
{
    SharedObjects shared;
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    QVERIFY(shared.print->PrintMVals({QStringLiteral("Klaro 4 T"), QStringLiteral("12"),
                                      QStringLiteral("Ann"), kImport,
                                      rawText({QStringLiteral("1;07.03.12;14:01;0;1.5;NTU;OK;x;y;z"),
                                               QStringLiteral("2;;;;;"), QStringLiteral("3;")})}));
    QCOMPARE(printer.fontSize, 11.0);
    QCOMPARE(printer.documents.size(), 1);
    QVERIFY(printer.documents[0].ended);
    QCOMPARE(printer.documents[0].pages.size(), 1);
    const QStringList rows = {kIndent + QStringLiteral("1; 07.03.12; 14:01; 0; 1.5; NTU; OK; "),
                              kIndent + QStringLiteral("2; ; ; ; ; ; ; "),
                              kIndent + QStringLiteral("3; ; ; ; ; ; ; ")};
    QCOMPARE(printer.lastLines(), mvalsHeader() + rows);
    // A Lumora document has the 14 columns.
    printer.width = 200;
    QVERIFY(shared.print->PrintMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, rawText({})}));
    QCOMPARE(printer.lastLines().value(8),
             kIndent + QStringLiteral("No.; Date; Time; ID; PROG; Cit.; AR/BV/Cal; Dil.; "
                                      "Value 1; Unit 1; Status 1; Value 2; Unit 2; "
                                      "Status 2; "));
}

void TestPrint::withoutDatasetsOnlyTheHeader()
{
    SharedObjects shared;
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    QVERIFY(shared.print->PrintMVals(
        {QStringLiteral("Klaro 4 T"), QStringLiteral("12"), QStringLiteral("Ann"), kImport, rawText({})}));
    QCOMPARE(printer.lastLines(), mvalsHeader());
}

void TestPrint::pageBreakAfterLLines()
{
    SharedObjects shared;
    RecordingPrintTarget printer;
    printer.height = 12.4; // 12.4 lines - 2 rounds to L = 10
    shared.print->setTarget(&printer);
    QStringList records;
    for (int k = 1; k <= 20; ++k)
        records.append(QStringLiteral("%1").arg(k, 2, 10, QLatin1Char('0')));
    QVERIFY(shared.print->PrintMVals({QStringLiteral("Klaro 4 T"), QStringLiteral("12"),
                                      QStringLiteral("Ann"), kImport, rawText(records)}));
    QCOMPARE(shared.print->linesPerPage(), qint16(10));
    const QList<QStringList> &pages = printer.documents[0].pages;
    // 9 header lines and 20 datasets: 10 on page 1, then 2 empty + 8 on each further page.
    QCOMPARE(pages.size(), 4);
    QCOMPARE(pages[0].size(), 10);
    QCOMPARE(pages[0].last(), kIndent + QStringLiteral("01; ; ; ; ; ; ; "));
    QCOMPARE(pages[1].size(), 10);
    QCOMPARE(pages[1].mid(0, 3),
             QStringList({QString(), QString(), kIndent + QStringLiteral("02; ; ; ; ; ; ; ")}));
    QCOMPARE(pages[3], QStringList({QString(), QString(), kIndent + QStringLiteral("18; ; ; ; ; ; ; "),
                                    kIndent + QStringLiteral("19; ; ; ; ; ; ; "),
                                    kIndent + QStringLiteral("20; ; ; ; ; ; ; ")}));
}

void TestPrint::longLinesAreCutNotWrapped()
{
    SharedObjects shared;
    RecordingPrintTarget printer;
    printer.width = 30;
    shared.print->setTarget(&printer);
    QVERIFY(
        shared.print->PrintMVals({QStringLiteral("Klaro 4 T"), QStringLiteral("12"), QStringLiteral("Ann"),
                                  kImport, rawText({QStringLiteral("1;07.03.12;14:01;0;1.5;NTU;OK")})}));
    const QStringList lines = printer.lastLines();
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines[8], (kIndent + QStringLiteral("No.; Date; Time; ID; Value; Unit; Status; ")).left(30));
    QCOMPARE(lines[9], (kIndent + QStringLiteral("1; 07.03.12; 14:01; 0; 1.5; NTU; OK; ")).left(30));
    QCOMPARE(lines[2], kIndent + QStringLiteral("Meter: Klaro 4 T"));
}

void TestPrint::unusableJobsFail()
{
    SharedObjects shared;
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    ErrorRecorder errors;
    // A page with room for fewer than three lines would open new pages forever.
    printer.height = 4.4;
    QVERIFY(!shared.print->PrintMVals({QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"),
                                       kImport, rawText({QStringLiteral("1")})}));
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY(printer.documents.isEmpty());
    // A raw text that is no walk fails after the header: the job is dropped, not ended.
    printer.height = 66;
    QVERIFY(!shared.print->PrintMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, QStringLiteral("x")}));
    QCOMPARE(printer.documents.size(), 1);
    QVERIFY(printer.documents[0].aborted);
    QVERIFY(!printer.documents[0].ended);
    printer.failLines = true;
    QVERIFY(!shared.print->PrintMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, rawText({})}));
}

void TestPrint::phRecordLayout()
{
    // The record's texts are read with "." whatever the C library's locale.
    const CommaDecimalLocale locale;
    QVERIFY2(locale.active, MERAVO_COMMA_LOCALE_MISSING);
    QTemporaryDir dir;
    SharedObjects shared;
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    shared.print->setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(8, 0, 1)); });
    CalProtocolData r = baseRecord(true);
    r.NumCalPoints = 1;
    r.Slope = QStringLiteral("-58.0");
    r.Asy = QStringLiteral("3");
    r.SensQuality = QStringLiteral("Good");
    r.ShowSlopePC = true;
    r.ShowTempF = true;
    r.PHValues = {QStringLiteral("7.00"), QStringLiteral("4.01"), QString()};
    r.VoltageValues_mV = {QStringLiteral("-3"), QStringLiteral("170"), QString()};
    r.TempValues_C = {QStringLiteral("25.5"), QStringLiteral("24.0"), QString()};
    QVERIFY(loadRecord(shared, r, dir));
    QVERIFY(shared.print->PrintCalProtocol());
    const QStringList lines = printer.lastLines();
    QCOMPARE(lines.mid(0, 9),
             QStringList({QString(), QString(), kIndent + QStringLiteral("Calibration record - pH"),
                          kIndent + QStringLiteral("12/7/26 8:00:01 AM"), QString(),
                          kIndent + QStringLiteral("Meter: Lumora pH"), kIndent + QStringLiteral("S/N: 77"),
                          kIndent + QStringLiteral("User: Bo"), QString()}));
    QCOMPARE(lines.value(9).left(18), kIndent + QStringLiteral("Date: "));
    QCOMPARE(lines.value(11), kIndent + QStringLiteral("Interval: 7 Day(s)"));
    QCOMPARE(lines.value(12), kIndent + QStringLiteral("Mode: 2P"));
    QCOMPARE(lines.value(13), kIndent + QStringLiteral("Slope: 98.0 %"));
    QCOMPARE(lines.value(14), kIndent + QStringLiteral("Asymmetry: 3 mV"));
    QCOMPARE(lines.value(15), kIndent + QStringLiteral("Sensor: Good"));
    QCOMPARE(lines.value(16), QString());
    // Only the one point the record has, then the closing empty line.
    QCOMPARE(lines.mid(17),
             QStringList({kIndent + QStringLiteral("#1\t7.00\t-3 mV\t77.9 \u00b0F"), QString()}));
}

void TestPrint::turbidityRecordLayout()
{
    QTemporaryDir dir;
    SharedObjects shared;
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    CalProtocolData r = baseRecord(false);
    r.Meter = QStringLiteral("Klaro 7 T");
    r.LOTTotal = QStringLiteral("L-1");
    r.Expiry = QStringLiteral("12/2027");
    r.Manufacturer = QStringLiteral("Maker");
    QVERIFY(loadRecord(shared, r, dir));
    QVERIFY(shared.print->PrintCalProtocol());
    QStringList lines = printer.lastLines();
    QCOMPARE(lines.value(2), kIndent + QStringLiteral("Calibration record - Turbidity"));
    // Without standards: the lot lines and one empty line.
    QCOMPARE(lines.mid(13), QStringList({QString(), kIndent + QStringLiteral("Set lot no.: L-1"),
                                         kIndent + QStringLiteral("Expiry date: 12/2027"),
                                         kIndent + QStringLiteral("Manufacturer: Maker"), QString()}));
    r.NumCalPoints = 2;
    r.CalStds_FNUNTU = {QStringLiteral("0.02"), QStringLiteral("20"), QString(), QString(), QString()};
    r.LOTStds = {QStringLiteral("A1"), QStringLiteral("B2"), QString(), QString(), QString()};
    QVERIFY(loadRecord(shared, r, dir));
    QVERIFY(shared.print->PrintCalProtocol());
    lines = printer.lastLines();
    QCOMPARE(lines.mid(17), QStringList({kIndent + QStringLiteral("0.02 FNU/NTU: A1 OK"),
                                         kIndent + QStringLiteral("20 FNU/NTU: B2 OK"), QString()}));
}

void TestPrint::printoutFollowsTheLanguageTheFileDoesNot()
{
    // The paper is read in the lab; the measured-value file travels to labs in any language.
    const MeasuredValues values = {QStringLiteral("Klaro 4 T"), QStringLiteral("12"), QStringLiteral("Ann"),
                                   kImport, rawText({QStringLiteral("1;07.03.12;14:01;0;1.5;NTU;OK")})};
    SharedObjects shared;
    RecordingPrintTarget printer;
    shared.print->setTarget(&printer);
    QString englishFile;
    QVERIFY(shared.measVal->BuildFileText(englishFile, values));
    for (const QString &language : TextTable::languages()) {
        TextTable::setLanguage(language);
        QVERIFY(shared.print->PrintMVals(values));
        const QStringList lines = printer.lastLines();
        QCOMPARE(lines.value(2),
                 kIndent + TextTable::text(TextTable::MeterLabel) + QStringLiteral(" Klaro 4 T"));
        QVERIFY2(lines.value(8).startsWith(kIndent + TextTable::text(TextTable::ColumnNumber) +
                                           QStringLiteral("; ") + TextTable::text(TextTable::ColumnDate) +
                                           QStringLiteral("; ")),
                 qPrintable(lines.value(8)));
        QString file;
        QVERIFY(shared.measVal->BuildFileText(file, values));
        QCOMPARE(file, englishFile);
    }
}

QTEST_GUILESS_MAIN(TestPrint)
#include "tst_print.moc"
