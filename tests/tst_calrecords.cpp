// Calibration records: readout from a simulated meter over a pty, the pH and turbidity reply forms,
// and record files in real temporary folders.
#include "CCalProtocol.h"
#include "CDevice.h"
#include "CLogin.h"
#include "CSerialLink.h"
#include "SharedObjects.h"
#include "SimCalRecords.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTest>

namespace {

QString answer(const QByteArray &payload)
{
    return QString::fromLatin1(MeterSim::acceptedAnswer(payload));
}

struct Rig : SimRig {
    explicit Rig(const QString &model = QStringLiteral("Lumora"))
        : SimRig(meterIdentity(model, QStringLiteral("2.50"), QStringLiteral("123456"))),
          records(std::make_unique<SimCalRecords>(*sim))
    {
        shared.login->setUserName(QStringLiteral("Ann"));
    }
    CCalProtocol &cal() { return *shared.calProtocol; }

    std::unique_ptr<SimCalRecords> records;
};

const QStringList kLots = {"L1", "L2", "L3", "L4", "L5"};

// The ten lines of a turbidity record file with lot data; lines can be dropped or replaced.
QStringList turbidityFileLines()
{
    return {"METER;SERNO;USER;PH",
            "Klaro 7 T;7;Ann;False",
            "YEAR;MONTH;DAY;HOUR;MIN;SEC;INTERVAL;MODE;SLOPE;ASY;QUAL;SHOWF;SHOWPC",
            "2026;3;14;9;5;0;90;5-P StdCAL;;;;False;False",
            "CALPTS;PH1;VOLT1;TEMP1;PH2;VOLT2;TEMP2;PH3;VOLT3;TEMP3",
            "5;;;;;;;;;",
            "LOTTOTAL;EXPIRY;MANUF;STDLOW;STDMID;STDHIGH;STD4;STD5",
            "SET9;2027-01;Maker;a;b;c;d;e",
            "CALPTS;TURB1;TURB2;TURB3;TURB4;TURB5",
            "5;0.02;10.0;100;1000;4000"};
}

} // namespace

class TestCalRecords : public QObject {
    Q_OBJECT
private slots:
    void phRecordFromMeter();
    void turbidityCommandsFollowExtendedFlag();
    void offlineAndRejectedReadouts();
    void phReplyFieldCounts();
    void phQualityAndConversions();
    void numbersThatDoNotFitAreOutOfRange();
    void turbidityReplyForms();
    void gettersRefuseOtherKind();
    void lotDataAndFahrenheit();
    void dateAndTimeUseSystemLocale();

    void phFileRoundTripsByteExact();
    void turbidityFileRoundTrips();
    void shortFilesAndTheirRejections();
    void fileQuirksOfTheLayout();
    void failedReadClearsPreviousRecord();
    void proposedFileName();
    void recordFileRefusesFieldsThatBreakIt();
    void qualityWordsAreEnglishInFilesAndTranslatedOnScreen();
    void cleanup() { TextTable::setLanguage(QStringLiteral("en")); }
};

void TestCalRecords::phRecordFromMeter()
{
    Rig rig;
    QVERIFY(rig.connect());
    QVERIFY(rig.cal().UpdateFromMeter(true, false));
    QCOMPARE(rig.sim->commandLog(), QStringList({"U.400", "U.586"}));
    QVERIFY(rig.cal().IsProtocolValid());
    QVERIFY(rig.cal().IsProtocolPH());
    QString meter, serNo, user, date, time, interval, mode, slope, asy, quality;
    bool showF = true, showPC = true;
    qint16 points = -1;
    QStringList ph(3), volt(3), temp(3);
    QVERIFY(rig.cal().GetProtocolPH(meter, serNo, user, date, time, interval, mode, slope, asy, quality,
                                    showF, showPC, points, ph, volt, temp));
    QCOMPARE(QStringList({meter, serNo, user}), QStringList({"Lumora", "123456", "Ann"}));
    QCOMPARE(QStringList({interval, mode, slope, asy, quality}),
             QStringList({"7", "Bufmode NIST/DIN", "59.16", "-3.2", "++"}));
    QVERIFY(!showF);
    QVERIFY(!showPC);
    QCOMPARE(points, qint16(2));
    QCOMPARE(ph, QStringList({"7.00", "4.01", ""}));
    QCOMPARE(volt, QStringList({"-3.2", "171.5", ""}));
    QCOMPARE(temp, QStringList({"25.0", "25.1", ""}));
}

void TestCalRecords::turbidityCommandsFollowExtendedFlag()
{
    Rig rig(QStringLiteral("Klaro 7 T"));
    QVERIFY(rig.connect());
    QVERIFY(rig.cal().UpdateFromMeter(false, true));
    QCOMPARE(rig.sim->commandLog(), QStringList({"U.400", "U.587"}));
    QCOMPARE(rig.cal().record().Mode, QStringLiteral("5-P StdCAL"));
    QCOMPARE(rig.cal().record().NumCalPoints, qint16(5));
    QCOMPARE(rig.cal().record().CalStds_FNUNTU[4], QStringLiteral("4000"));
    rig.sim->clearLog();
    QVERIFY(rig.cal().UpdateFromMeter(false, false));
    QCOMPARE(rig.sim->commandLog(), QStringList({"U.400", "U.585"}));
    QCOMPARE(rig.cal().record().Mode, QStringLiteral("3-P StdCAL"));
    // The form follows the reply, not the command.
    rig.records->turbidity = rig.records->turbidityExtended;
    QVERIFY(rig.cal().UpdateFromMeter(false, false));
    QCOMPARE(rig.cal().record().NumCalPoints, qint16(5));
}

void TestCalRecords::offlineAndRejectedReadouts()
{
    Rig rig;
    QVERIFY(rig.connect());
    QVERIFY(rig.cal().UpdateFromMeter(true, false));
    rig.sim->faults().rejectCommands = {QStringLiteral("U.586")};
    QVERIFY(!rig.cal().UpdateFromMeter(true, false));
    QVERIFY(!rig.cal().IsProtocolValid());
    QCOMPARE(rig.cal().record().Slope, QString());
    rig.sim->faults().rejectCommands.clear();
    QVERIFY(rig.cal().UpdateFromMeter(true, false));
    rig.shared.device->setOnline(false);
    rig.sim->clearLog();
    QVERIFY(rig.cal().UpdateFromMeter(true, false));
    QVERIFY(!rig.cal().IsProtocolValid());
    QVERIFY(rig.sim->commandLog().isEmpty());
}

void TestCalRecords::phReplyFieldCounts()
{
    CalProtocolData r;
    for (int points = 0; points <= 3; ++points) {
        QVERIFY(CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(points)), r));
        QCOMPARE(r.NumCalPoints, qint16(points));
        QCOMPARE(r.IsPH, true);
    }
    // 16 fields: no mode; the Year to Sec fields as sent.
    QVERIFY(CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(0)), r));
    QCOMPARE(r.Mode, QString());
    QCOMPARE(QStringList({r.Year, r.Month, r.Day, r.Hour, r.Min, r.Sec}),
             QStringList({"2026", "3", "15", "10", "20", "30"}));
    QVERIFY(CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(1, 3, 0)), r));
    QCOMPARE(r.Mode, QStringLiteral("Bufmode TEC"));
    QCOMPARE(r.PHValues[1], QString());
    // 24 fields announcing one point: the extra fields are ignored.
    QByteArray onePointIn24 = SimCalRecords::phRecord(3);
    onePointIn24.replace(",0,0,3,", ",0,0,1,");
    QVERIFY(CCalProtocol::ParsePHRecord(answer(onePointIn24), r));
    QCOMPARE(r.NumCalPoints, qint16(1));
    QCOMPARE(r.PHValues[1], QString());

    const QByteArray fifteen = SimCalRecords::phRecord(0).chopped(1); // the empty 16th field removed
    QVERIFY(!CCalProtocol::ParsePHRecord(answer(fifteen), r));
    QByteArray four = SimCalRecords::phRecord(3);
    four.replace(",0,0,3,", ",0,0,4,");
    QVERIFY(!CCalProtocol::ParsePHRecord(answer(four), r));
    QByteArray threeIn18 = SimCalRecords::phRecord(1);
    threeIn18.replace(",0,0,1,", ",0,0,3,");
    QVERIFY(!CCalProtocol::ParsePHRecord(answer(threeIn18), r));
    QVERIFY(!CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(1) + ",x"), r)); // 19 fields
    // Framing: rejected marker, too short, no marker.
    QVERIFY(!CCalProtocol::ParsePHRecord(QStringLiteral("\r\n?\r\n>"), r));
    ErrorRecorder errors;
    QVERIFY(!CCalProtocol::ParsePHRecord(QStringLiteral("x\r\n!\r\n>"), r));
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY(!CCalProtocol::ParsePHRecord(QString::fromLatin1(SimCalRecords::phRecord(1)), r));
}

void TestCalRecords::phQualityAndConversions()
{
    CalProtocolData r;
    const QList<QPair<int, QString>> cases = {{0, "Error"}, {1, "-"},       {2, "+"},     {3, "++"},
                                              {4, "+++"},   {5, "Default"}, {6, "Error"}, {-1, "Error"}};
    for (const auto &c : cases) {
        QVERIFY(CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(1, c.first)), r));
        QCOMPARE(r.SensQuality, c.second);
    }
    // Flags accept numbers and the words True and False; anything else is reported.
    QByteArray flags = SimCalRecords::phRecord(1);
    flags.replace(",7,0,0,1,", ",7,True,-1,1,");
    QVERIFY(CCalProtocol::ParsePHRecord(answer(flags), r));
    QVERIFY(r.ShowTempF);
    QVERIFY(r.ShowSlopePC);
    ErrorRecorder errors;
    QByteArray bad = SimCalRecords::phRecord(1);
    bad.replace(",7,0,0,1,", ",7,yes,0,1,");
    QVERIFY(!CCalProtocol::ParsePHRecord(answer(bad), r));
    bad = SimCalRecords::phRecord(1);
    bad.replace(",0,0,1,", ",0,0,one,");
    QVERIFY(!CCalProtocol::ParsePHRecord(answer(bad), r));
    QCOMPARE(errors.reports.size(), 2);
    // A fractional count goes to the nearest integer, half to even.
    bad = SimCalRecords::phRecord(2);
    bad.replace(",0,0,2,", ",0,0,2.5,");
    QVERIFY(CCalProtocol::ParsePHRecord(answer(bad), r));
    QCOMPARE(r.NumCalPoints, qint16(2));
}

void TestCalRecords::numbersThatDoNotFitAreOutOfRange()
{
    ErrorRecorder errors;
    for (const char *quality : {"1e9", "x1"}) {
        CalProtocolData r;
        QVERIFY(
            !CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(1, 777).replace("777", quality)), r));
    }
    QCOMPARE(errors.reports, QStringList({TextTable::text(TextTable::OutOfRange).arg("1e9"),
                                          TextTable::text(TextTable::NotANumber).arg("x1")}));
}

void TestCalRecords::turbidityReplyForms()
{
    CalProtocolData r;
    QVERIFY(CCalProtocol::ParseTurbidityRecord(answer(SimCalRecords::shortTurbidityRecord()), r));
    QCOMPARE(r.Mode, QStringLiteral("3-P StdCAL"));
    QCOMPARE(r.NumCalPoints, qint16(3));
    QCOMPARE(QStringList(r.CalStds_FNUNTU.begin(), r.CalStds_FNUNTU.end()),
             QStringList({"0.02", "10.0", "1000", "", ""}));
    QCOMPARE(r.Interval, QStringLiteral("90"));
    QVERIFY(!r.IsPH);
    QVERIFY(!CCalProtocol::ParseTurbidityRecord(answer(SimCalRecords::shortTurbidityRecord() + ",M"), r));
    QVERIFY(!CCalProtocol::ParseTurbidityRecord(answer("0,2026,3,14,9,5,0"), r));
    QVERIFY(CCalProtocol::ParseTurbidityRecord(answer(SimCalRecords::extendedTurbidityRecord("M0", {})), r));
    QCOMPARE(r.NumCalPoints, qint16(0));
    QCOMPARE(r.Mode, QStringLiteral("M0"));
    QCOMPARE(r.CalStds_FNUNTU[0], QString());
    QVERIFY(!CCalProtocol::ParseTurbidityRecord(
        answer(SimCalRecords::extendedTurbidityRecord("M6", {"1", "2", "3", "4", "5", "6"})), r));
    QVERIFY(!CCalProtocol::ParseTurbidityRecord(answer("0,2026,3,14,9,5,0,90,M,3,1,2"), r));
    QVERIFY(CCalProtocol::ParseTurbidityRecord(answer("0,2026,3,14,9,5,0,90,M,3,1,2,3"), r));
    QCOMPARE(r.CalStds_FNUNTU[2], QStringLiteral("3"));
    // Extra fields after the announced standards are ignored.
    QVERIFY(CCalProtocol::ParseTurbidityRecord(answer("0,2026,3,14,9,5,0,90,M,2,1,2,3,4"), r));
    QCOMPARE(r.CalStds_FNUNTU[2], QString());
}

void TestCalRecords::gettersRefuseOtherKind()
{
    SharedObjects shared;
    CCalProtocol &c = *shared.calProtocol;
    QString s[10];
    bool f1 = false, f2 = false;
    qint16 n = 0, y = 0, m = 0, d = 0;
    QStringList a(5), b(3), e(3);
    QVERIFY(!c.GetProtocolDate(y, m, d));
    QVERIFY(!c.GetProtocolHeader(s[0], s[1], s[2]));
    QVERIFY(!c.GetProtocolPH(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], f1, f2, n, a, b, e));
    QVERIFY(!c.GetProtocolTurbidity(s[0], s[1], s[2], s[3], s[4], s[5], s[6], n, a));

    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("t.csv"));
    writeBytes(path, turbidityFileLines().join(QStringLiteral("\r\n")).toLatin1());
    QVERIFY(c.ReadFromFile(path));
    QVERIFY(!c.GetProtocolPH(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], f1, f2, n, a, b, e));
    QVERIFY(c.GetProtocolTurbidity(s[0], s[1], s[2], s[3], s[4], s[5], s[6], n, a));
    QVERIFY(c.GetProtocolDate(y, m, d));
    QCOMPARE(QList<qint16>({y, m, d}), QList<qint16>({2026, 3, 14}));
    writeBytes(path, SimCalRecords::phRecord(0)); // not a record file
    QVERIFY(!c.ReadFromFile(path));
    QVERIFY(!c.GetProtocolTurbidity(s[0], s[1], s[2], s[3], s[4], s[5], s[6], n, a));
}

void TestCalRecords::lotDataAndFahrenheit()
{
    Rig rig;
    QVERIFY(
        rig.cal().SetChargeID(QStringLiteral("SET"), QStringLiteral("2027"), QStringLiteral("Maker"), kLots));
    QString lot, expiry, maker;
    QStringList lots;
    QVERIFY(rig.cal().GetChargeID(lot, expiry, maker, lots));
    QCOMPARE(QStringList({lot, expiry, maker}), QStringList({"SET", "2027", "Maker"}));
    QCOMPARE(lots, kLots);
    QVERIFY(!rig.cal().SetChargeID(lot, expiry, maker, QStringList(4)));
    // A readout clears lot data set before it.
    QVERIFY(rig.connect());
    QVERIFY(rig.cal().UpdateFromMeter(false, false));
    QVERIFY(rig.cal().GetChargeID(lot, expiry, maker, lots));
    QCOMPARE(lot, QString());
    QCOMPARE(lots, QStringList(5));
    QCOMPARE(rig.cal().TempGetFahrenheit(25), 77.0);
    QCOMPARE(rig.cal().TempGetFahrenheit(-40), -40.0);
    ErrorRecorder errors;
    QCOMPARE(rig.cal().TempGetFahrenheit(1e308), 0.0);
    QCOMPARE(errors.reports.size(), 1);
}

void TestCalRecords::dateAndTimeUseSystemLocale()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.records->turbidity = "0,2026,3,14,9,5,7,90";
    QVERIFY(rig.cal().UpdateFromMeter(false, false));
    QString s[7];
    qint16 n = 0;
    QStringList stds;
    QVERIFY(rig.cal().GetProtocolTurbidity(s[0], s[1], s[2], s[3], s[4], s[5], s[6], n, stds));
    const QLocale locale = QLocale::system();
    QCOMPARE(s[3], locale.toString(QDate(2026, 3, 14), QLocale::ShortFormat));
    QVERIFY2(s[4].contains(QStringLiteral("9")) && s[4].contains(QStringLiteral("05")) &&
                 s[4].contains(QStringLiteral("07")),
             qPrintable(s[4]));
    QCOMPARE(stds, QStringList({"0.02", "10.0", "1000"}));
    // Parts beyond their range carry over; two-digit years are this century's.
    QCOMPARE(CCalProtocol::FormatDate(26, 13, 1), locale.toString(QDate(2027, 1, 1), QLocale::ShortFormat));
    QCOMPARE(CCalProtocol::FormatTime(0, 0, 61), CCalProtocol::FormatTime(0, 1, 1));
}

void TestCalRecords::phFileRoundTripsByteExact()
{
    Rig rig;
    QVERIFY(rig.connect());
    QVERIFY(rig.cal().UpdateFromMeter(true, false));
    QVERIFY(rig.cal().SetChargeID(QStringLiteral("SET"), QString(), QStringLiteral("M\u00e4ker"), kLots));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CalProt pH 20260315"));
    QVERIFY(rig.cal().SaveToFile(path));
    const QByteArray expected = "METER;SERNO;USER;PH\r\n"
                                "Lumora;123456;Ann;True\r\n"
                                "YEAR;MONTH;DAY;HOUR;MIN;SEC;INTERVAL;MODE;SLOPE;ASY;QUAL;SHOWF;SHOWPC\r\n"
                                "2026;3;15;10;20;30;7;Bufmode NIST/DIN;59.16;-3.2;++;False;False\r\n"
                                "CALPTS;PH1;VOLT1;TEMP1;PH2;VOLT2;TEMP2;PH3;VOLT3;TEMP3\r\n"
                                "2;7.00;-3.2;25.0;4.01;171.5;25.1;;;\r\n"
                                "LOTTOTAL;EXPIRY;MANUF;STDLOW;STDMID;STDHIGH;STD4;STD5\r\n"
                                "SET;;M\xe4ker;L1;L2;L3;L4;L5\r\n"
                                "CALPTS;TURB1;TURB2;TURB3;TURB4;TURB5\r\n"
                                "2;;;;;";
    QCOMPARE(readBytes(path), expected);
    const CalProtocolData before = rig.cal().record();
    SharedObjects other;
    QVERIFY(other.calProtocol->ReadFromFile(path));
    const CalProtocolData &after = other.calProtocol->record();
    QVERIFY(after.Valid);
    QVERIFY(after.IsPH);
    QCOMPARE(after.SensQuality, before.SensQuality);
    QCOMPARE(after.Mode, before.Mode);
    QCOMPARE(after.PHValues, before.PHValues);
    QCOMPARE(after.TempValues_C, before.TempValues_C);
    QCOMPARE(after.LOTStds, before.LOTStds);
    QCOMPARE(after.Manufacturer, before.Manufacturer);
    QCOMPARE(after.NumCalPoints, before.NumCalPoints);
    QCOMPARE(after.ShowTempF, before.ShowTempF);
    // An empty record writes nothing.
    SharedObjects empty;
    QVERIFY(!empty.calProtocol->SaveToFile(dir.filePath(QStringLiteral("none"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none"))));
}

void TestCalRecords::turbidityFileRoundTrips()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.csv"));
    const QByteArray text = turbidityFileLines().join(QStringLiteral("\r\n")).toLatin1();
    writeBytes(path, text);
    SharedObjects shared;
    CCalProtocol &c = *shared.calProtocol;
    QVERIFY(c.ReadFromFile(path));
    QCOMPARE(c.record().Mode, QStringLiteral("5-P StdCAL"));
    QCOMPARE(c.record().CalStds_FNUNTU[4], QStringLiteral("4000"));
    QCOMPARE(c.record().LOTStds[4], QStringLiteral("e"));
    const QString copy = dir.filePath(QStringLiteral("copy.csv"));
    QVERIFY(c.SaveToFile(copy));
    QCOMPARE(readBytes(copy), text);
}

void TestCalRecords::shortFilesAndTheirRejections()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.csv"));
    SharedObjects shared;
    CCalProtocol &c = *shared.calProtocol;
    auto readLines = [&](const QStringList &lines) {
        writeBytes(path, lines.join(QStringLiteral("\r\n")).toLatin1());
        return c.ReadFromFile(path);
    };
    const QStringList all = turbidityFileLines();

    // Six lines of a turbidity record: the short record, no lot data.
    QVERIFY(readLines(all.mid(0, 6)));
    QCOMPARE(c.record().Mode, QStringLiteral("3-P StdCAL"));
    QCOMPARE(c.record().NumCalPoints, qint16(3));
    QCOMPARE(c.record().CalStds_FNUNTU[2], QStringLiteral("1000"));
    QCOMPARE(c.record().LOTTotal, QString());
    // The same six lines flagged pH: a pH record without lot data.
    QStringList ph = all.mid(0, 6);
    ph[1] = QStringLiteral("Lumora;1;Ann;True");
    QVERIFY(readLines(ph));
    QVERIFY(c.IsProtocolPH());
    QCOMPARE(c.record().Mode, QStringLiteral("5-P StdCAL"));
    QCOMPARE(c.record().NumCalPoints, qint16(5)); // read, and shown by no window
    // Eight lines: lot data, but the short standards and mode.
    QVERIFY(readLines(all.mid(0, 8)));
    QCOMPARE(c.record().LOTTotal, QStringLiteral("SET9"));
    QCOMPARE(c.record().Mode, QStringLiteral("3-P StdCAL"));
    // Seven and nine lines, fewer than six.
    QVERIFY(!readLines(all.mid(0, 7)));
    QVERIFY(!readLines(all.mid(0, 9)));
    QVERIFY(!readLines(all.mid(0, 5)));
    QVERIFY(!c.IsProtocolValid());
    // A lot line of 7 fields, of 5; a standards line of 5 fields.
    QStringList lines = all;
    lines[7] = QStringLiteral("SET9;2027;Maker;a;b;c;d");
    QVERIFY(!readLines(lines));
    lines[7] = QStringLiteral("SET9;2027;Maker;a;b");
    QVERIFY(!readLines(lines));
    lines[7] = QStringLiteral("SET9;2027;Maker;a;b;c");
    QVERIFY(readLines(lines));
    QCOMPARE(c.record().LOTStds[3], QString());
    lines = all;
    lines[9] = QStringLiteral("5;0.02;10.0;100;1000");
    QVERIFY(!readLines(lines));
    // Header lines are compared exactly; lines 7 and 9 are not compared.
    lines = all;
    lines[2] = lines[2].toLower();
    QVERIFY(!readLines(lines));
    lines = all;
    lines[6] = QStringLiteral("anything");
    lines[8] = QString();
    QVERIFY(readLines(lines));
    QVERIFY(!c.ReadFromFile(dir.filePath(QStringLiteral("missing.csv"))));
}

void TestCalRecords::fileQuirksOfTheLayout()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.csv"));
    SharedObjects shared;
    CCalProtocol &c = *shared.calProtocol;
    QStringList lines = turbidityFileLines();
    // A trailing line break written by another tool stays in the last standard.
    writeBytes(path, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    QVERIFY(c.ReadFromFile(path));
    QCOMPARE(c.record().CalStds_FNUNTU[4], QStringLiteral("4000\r\n"));
    // A ";" in the user name breaks line 2; in a lot text it shifts the lot fields.
    lines[1] = QStringLiteral("Klaro 7 T;7;A;nn;False");
    writeBytes(path, lines.join(QStringLiteral("\r\n")).toLatin1());
    ErrorRecorder errors;
    QVERIFY(!c.ReadFromFile(path));
    QCOMPARE(errors.reports.size(), 1);
    lines = turbidityFileLines();
    lines[7] = QStringLiteral("SET;9;2027-01;Maker;a;b;c;d;e");
    writeBytes(path, lines.join(QStringLiteral("\r\n")).toLatin1());
    QVERIFY(c.ReadFromFile(path));
    QCOMPARE(c.record().Expiry, QStringLiteral("9"));
    QCOMPARE(c.record().LOTStds[4], QStringLiteral("d;e"));
    // A count above 5 reads, but the window's getter refuses it.
    lines = turbidityFileLines();
    lines[9] = QStringLiteral("6;0.02;10.0;100;1000;4000");
    writeBytes(path, lines.join(QStringLiteral("\r\n")).toLatin1());
    QVERIFY(c.ReadFromFile(path));
    QString s[7];
    qint16 n = 0;
    QStringList stds(5);
    QVERIFY(!c.GetProtocolTurbidity(s[0], s[1], s[2], s[3], s[4], s[5], s[6], n, stds));
}

void TestCalRecords::failedReadClearsPreviousRecord()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.csv"));
    SharedObjects shared;
    CCalProtocol &c = *shared.calProtocol;
    writeBytes(path, turbidityFileLines().join(QStringLiteral("\r\n")).toLatin1());
    QVERIFY(c.ReadFromFile(path));
    QStringList lines = turbidityFileLines();
    lines[5] = QStringLiteral("x;;;;;;;;;");
    writeBytes(path, lines.join(QStringLiteral("\r\n")).toLatin1());
    ErrorRecorder errors;
    QVERIFY(!c.ReadFromFile(path));
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY(!c.IsProtocolValid());
    // Fields read before the failure stay, the lot data of the earlier record is gone.
    QCOMPARE(c.record().Meter, QStringLiteral("Klaro 7 T"));
    QCOMPARE(c.record().LOTTotal, QString());
}

void TestCalRecords::proposedFileName()
{
    Rig rig(QStringLiteral("Klaro 7 T"));
    QString name;
    QVERIFY(!rig.cal().ProposedFileName(QStringLiteral("pH"), name));
    QVERIFY(rig.connect());
    rig.records->turbidityExtended = "0,2012,3,5,9,5,0,90,Std/Cal 2:1,0";
    QVERIFY(rig.cal().UpdateFromMeter(false, true));
    QVERIFY(rig.cal().ProposedFileName(QStringLiteral("Turb ") + rig.cal().record().Mode, name));
    QCOMPARE(name, QStringLiteral("CalProt Turb StdCal 21 20120305"));
    QVERIFY(rig.cal().ProposedFileName(QStringLiteral("Turb"), name));
    QCOMPARE(name, QStringLiteral("CalProt Turb 20120305"));
}

void TestCalRecords::recordFileRefusesFieldsThatBreakIt()
{
    Rig rig;
    QVERIFY(rig.connect());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.csv"));
    writeBytes(path, "earlier record");
    // The lot, the maker: a field with ";" or a line break is refused (the user name is cleaned by
    // the login's rule before it gets here).
    for (const QStringList &fields : {QStringList{"Ann", "SET;1", "M"}, QStringList{"Ann", "SET\r\n9", "M"},
                                      QStringList{"Ann", "SET", "M\nX"}}) {
        rig.shared.login->setUserName(fields[0]);
        QVERIFY(rig.cal().UpdateFromMeter(true, false));
        QVERIFY(rig.cal().SetChargeID(fields[1], QString(), fields[2], kLots));
        QVERIFY(!rig.cal().SaveToFile(path));
        QCOMPARE(rig.cal().lastFileResult().messages().size(), 1);
        QCOMPARE(readBytes(path), QByteArray("earlier record"));
    }
}

void TestCalRecords::qualityWordsAreEnglishInFilesAndTranslatedOnScreen()
{
    // A record read in one language is saved with the words a lab in any other language reads back.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    const struct {
        int code;
        int number;
    } words[] = {{5, TextTable::DefaultMode}, {0, TextTable::ErrorCaption}};
    for (const QString &language : TextTable::languages()) {
        TextTable::setLanguage(language);
        for (const auto &word : words) {
            CalProtocolData r;
            QVERIFY(CCalProtocol::ParsePHRecord(answer(SimCalRecords::phRecord(1, word.code)), r));
            r.Meter = QStringLiteral("Lumora");
            r.Valid = true;
            QString text;
            QVERIFY(CCalProtocol::BuildRecordText(r, text));
            QVERIFY2(text.contains(u';' + TextTable::english(word.number) + u';'), qPrintable(language));
            writeBytes(path, text.toLatin1());
            SharedObjects shared;
            QVERIFY(shared.calProtocol->ReadFromFile(path));
            QString s[9];
            bool showF = false, showPC = false;
            qint16 points = 0;
            QStringList ph(3), volt(3), temp(3);
            QVERIFY(shared.calProtocol->GetProtocolPH(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8],
                                                      text, showF, showPC, points, ph, volt, temp));
            QCOMPARE(text, TextTable::text(word.number));
        }
    }
}

QTEST_GUILESS_MAIN(TestCalRecords)
#include "tst_calrecords.moc"
