// User-defined programs: transfer with a simulated meter over a pty, and program files in real
// temporary folders.
#include "CCommunication.h"
#include "CConfig.h"
#include "CDevice.h"
#include "CSerialLink.h"
#include "CUsrDefProg.h"
#include "SharedObjects.h"
#include "SimPrograms.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString kExample = QStringLiteral("ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0");

QStringList program(const QString &number, const QString &rest = kExample)
{
    return (number + u',' + rest).split(u',');
}

// A program as the editor hands it over.
ProgramRecord programArray(const QString &number)
{
    ProgramRecord a = ProgramRecord::fromMeter(program(number));
    a.USER = QStringLiteral("tester");
    return a;
}

// A meter on port 1 with its program table, recognised and online.
struct Rig : SimRig {
    explicit Rig(const QString &model = QStringLiteral("Lumora"))
        : SimRig(meterIdentity(model)), programs(std::make_unique<SimPrograms>(*sim))
    {
    }
    CUsrDefProg &prog() { return *shared.usrDefProg; }

    std::unique_ptr<SimPrograms> programs;
};

} // namespace

class TestPrograms : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void updateListsAndReadsEveryProgramInItsOwnTransfer();
    void listReplyForms();
    void readReplyFieldSixAndCalReq();
    void fieldSixNotZeroEmptiesTable();
    void offlineUpdateEmptiesTable();
    void rejectedListFails();
    void listOfMoreThanHundredIsReported();
    void addNewSendsExactRequestAndInsertsInOrder();
    void addNewOfNumberInTableFailsAndLeavesTable();
    void failedReadBackIsRepairedByNextUpdate();
    void valuesThatWouldBreakTheCommandAreRefused();
    void shortArraysAreRefused();
    void programFromMeterGoesBackOnceConfirmed();
    void modifyReplacesSlot();
    void deleteKeepsOrderAndCount();
    void deleteAllClearsMeterAndTable();
    void freeNumberRespectsReducedModels();
    void hundredSlotsFillTheMeter();
    void stopDuringUpdateSkipsTheRest();
    void stopOfLinkDuringReadFailsUpdate();
    void stopDuringListSendsClosingCommand();
    void getProgramMeterFillsArray();
    void storeOrModifyAsksOnlyForNumbersTheMeterHolds();
    void recordFieldOrders();
    void simulatorTableFromFile();

    void programFileRoundTripsByteExact();
    void oldTwelveKeyLayout();
    void limitedSplitsOfPairBlock();
    void listPcTakesOnlyProgramFiles();
    void listPcOfMissingOrEmptyFolder();
    void deleteFilesGoToTrash();
    void deleteWithoutTrashFailsAndKeepsFile();
    void workDirFollowsSettings();
    void proposedFileName();
    void programFileRefusesValuesThatBreakIt();

private:
    QTemporaryDir m_home;
    QString m_work;
};

void TestPrograms::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The settings file and the trash go to a private home, never the real one.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_home.path() + QStringLiteral("/cache")).toLocal8Bit());
    QVERIFY(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).startsWith(m_home.path()));
    m_work = m_home.path() + QStringLiteral("/work");
    QVERIFY(QDir().mkpath(m_work));
}

void TestPrograms::updateListsAndReadsEveryProgramInItsOwnTransfer()
{
    Rig rig;
    for (const char *n : {"910", "901", "903"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(3));
    QCOMPARE(rig.prog().slot(0).NO, QStringLiteral("901"));
    QCOMPARE(rig.prog().slot(2).NO, QStringLiteral("910"));
    const ProgramRecord &r = rig.prog().slot(1);
    QCOMPARE(r, ProgramRecord::fromMeter(program(QStringLiteral("903"))));
    QCOMPARE(rig.sim->commandLog(), QStringList({"U.400", "U.512", "U.400", "U.513#1,901", "U.400",
                                                 "U.513#1,903", "U.400", "U.513#1,910"}));
    QStringList list(3);
    qint16 n = -1;
    QVERIFY(rig.prog().ListMeter(list, n));
    QCOMPARE(n, qint16(3));
    QCOMPARE(list, QStringList({"901", "903", "910"}));
    QStringList small(2);
    n = -1;
    QVERIFY(!rig.prog().ListMeter(small, n));
    QCOMPARE(n, qint16(-1));
}

void TestPrograms::listReplyForms()
{
    using L = QStringList;
    QCOMPARE(*CUsrDefProg::ParseListReply(QStringLiteral("\r\n!\r\n>")), L());
    QCOMPARE(*CUsrDefProg::ParseListReply(QStringLiteral("\r\n\r\n!\r\n>")), L({""}));
    QCOMPARE(*CUsrDefProg::ParseListReply(QStringLiteral("\r\n901\r\n999\r\n!\r\n>")), L({"901", "999"}));
    // Text after the end marker stops the parse.
    QCOMPARE(*CUsrDefProg::ParseListReply(QStringLiteral("\r\n901\r\n!\r\n>x")), L());

    Rig rig;
    rig.programs->listAnswer = QByteArray("\r\n!\r\n>");
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(0));
    // An empty line in front of the marker is one program without a number, which cannot be read.
    rig.programs->listAnswer = QByteArray("\r\n\r\n!\r\n>");
    QVERIFY(!rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(0));
    QVERIFY(rig.sim->commandLog().contains(QStringLiteral("U.513#1,")));
}

void TestPrograms::readReplyFieldSixAndCalReq()
{
    ProgramRecord r;
    const QString base = QStringLiteral("\r\n905;M;16;436;0;5;0;0.1;0.2;0.01;F;mg/l;1;1;");
    QVERIFY(CUsrDefProg::ParseProgramReply(base + QStringLiteral("1\r\n!\r\n>"), r));
    QCOMPARE(r.NO, QStringLiteral("905"));
    QCOMPARE(r.E0, QStringLiteral("0.1"));
    QCOMPARE(r.BLANKREQ, QStringLiteral("1"));
    QCOMPARE(r.CALREQ, QStringLiteral("1"));
    for (const char *last : {"0\r\n!\r\n>", "\r\n!\r\n>", "x1\r\n!\r\n>"}) {
        QVERIFY(CUsrDefProg::ParseProgramReply(base + QString::fromLatin1(last), r));
        QCOMPARE(r.CALREQ, QStringLiteral("0"));
    }
    // Without its end marker it is no accepted answer.
    QVERIFY(!CUsrDefProg::ParseProgramReply(base, r));
    QVERIFY(!CUsrDefProg::ParseProgramReply(
        QStringLiteral("\r\n905;M;16;436;0;5;00;0.1;0.2;0.01;F;mg/l;1;1;1"), r));
    QVERIFY(
        !CUsrDefProg::ParseProgramReply(QStringLiteral("\r\n905;M;16;436;0;5;0;0.1;0.2;0.01;F;mg/l;1;1"), r));
}

void TestPrograms::fieldSixNotZeroEmptiesTable()
{
    Rig rig;
    for (const char *n : {"901", "903"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(2));
    rig.programs->readAnswers.insert(
        QStringLiteral("903"),
        MeterSim::acceptedAnswer("903;ABCDE;16;436;0.0;2.0;1;0.0;1.0;0.01;Fe;mg/l;0;1;0"));
    QVERIFY(!rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(0));
    QCOMPARE(rig.prog().slot(0), ProgramRecord());
}

void TestPrograms::offlineUpdateEmptiesTable()
{
    Rig rig;
    QVERIFY(rig.programs->put(program(QStringLiteral("901"))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    rig.shared.device->setOnline(false);
    rig.sim->clearLog();
    QVERIFY(rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(0));
    QVERIFY(rig.sim->commandLog().isEmpty());
    QStringList list(100);
    qint16 n = -1;
    QVERIFY(rig.prog().ListMeter(list, n));
    QCOMPARE(n, qint16(0));
}

void TestPrograms::rejectedListFails()
{
    Rig rig;
    QVERIFY(rig.programs->put(program(QStringLiteral("901"))));
    QVERIFY(rig.connect());
    rig.sim->faults().rejectCommands = {QStringLiteral("U.512")};
    QVERIFY(!rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(0));
    // As after a rejected dataset command: the meter gets the closing command.
    QCOMPARE(rig.sim->commandLog().count(QStringLiteral("U.999")), 1);
}

void TestPrograms::listOfMoreThanHundredIsReported()
{
    Rig rig;
    QByteArray list;
    for (int i = 0; i < 101; ++i)
        list += "\r\n9" + QByteArray::number(i % 100).rightJustified(2, '0');
    rig.programs->listAnswer = list + "\r\n!\r\n>";
    QVERIFY(rig.connect());
    QVERIFY(!rig.prog().Update());
    QCOMPARE(rig.prog().linkResult().messages(),
             QStringList{TextTable::text(TextTable::ProgramListTooLong).arg(CUsrDefProg::kSlots)});
    QCOMPARE(rig.prog().count(), qint16(0));
}

void TestPrograms::addNewSendsExactRequestAndInsertsInOrder()
{
    Rig rig;
    for (const char *n : {"901", "903", "910"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    rig.sim->clearLog();
    QVERIFY(rig.prog().AddNew(programArray(QStringLiteral("905"))));
    QCOMPARE(rig.sim->commandLog(),
             QStringList({"U.400", "U.500#14,905,ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0", "U.400",
                          "U.513#1,905"}));
    QCOMPARE(rig.prog().count(), qint16(4));
    QCOMPARE(rig.prog().slot(2).NO, QStringLiteral("905"));
    QCOMPARE(rig.prog().slot(2).CALPSB, QStringLiteral("1"));
    QCOMPARE(rig.prog().slot(3).NO, QStringLiteral("910"));
    // At the end of the table too.
    QVERIFY(rig.prog().AddNew(programArray(QStringLiteral("999"))));
    QCOMPARE(rig.prog().slot(4).NO, QStringLiteral("999"));
    // The meter refuses a number it holds.
    QVERIFY(!rig.prog().AddNew(programArray(QStringLiteral("901"))));
    QCOMPARE(rig.prog().count(), qint16(5));
}

void TestPrograms::addNewOfNumberInTableFailsAndLeavesTable()
{
    Rig rig;
    for (const char *n : {"901", "903"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    // The meter lost 903 behind the program's back and accepts it as new.
    rig.programs->clear();
    QVERIFY(!rig.prog().AddNew(programArray(QStringLiteral("903"))));
    QVERIFY(rig.programs->programs().contains(QStringLiteral("903")));
    QCOMPARE(rig.prog().count(), qint16(2));
    QCOMPARE(rig.prog().slot(1).NO, QStringLiteral("903"));
    QCOMPARE(rig.prog().slot(2), ProgramRecord());
}

void TestPrograms::failedReadBackIsRepairedByNextUpdate()
{
    Rig rig;
    QVERIFY(rig.programs->put(program(QStringLiteral("901"))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    rig.sim->faults().rejectCommands = {QStringLiteral("U.513")};
    QVERIFY(!rig.prog().AddNew(programArray(QStringLiteral("902"))));
    QCOMPARE(rig.prog().count(), qint16(1));
    QVERIFY(rig.programs->programs().contains(QStringLiteral("902")));
    rig.sim->faults().rejectCommands.clear();
    QVERIFY(rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(2));
    QCOMPARE(rig.prog().slot(1).NO, QStringLiteral("902"));
}

void TestPrograms::valuesThatWouldBreakTheCommandAreRefused()
{
    Rig rig;
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    ErrorRecorder errors;
    // The field, the value, the field's label the message names.
    using F = QString ProgramRecord::*;
    const struct {
        F member;
        QString value;
        const char *field;
    } cases[] = {
        {&ProgramRecord::MODEL, "A,B", "Model"},
        {&ProgramRecord::MODEL, "A\r\nU.520", "Model"},
        {&ProgramRecord::MODEL, QString(70, u'M'), "Model"},
        {&ProgramRecord::MODEL, QString(100 << 20, u'M'), "Model"},
        {&ProgramRecord::MODEL, QStringView(u"A\0B", 3).toString(), "Model"},
        {&ProgramRecord::MODEL, "\u4e2d", "Model"},
        {&ProgramRecord::NO, QString(5000, u'9'), "Program No"},
        {&ProgramRecord::NO, "0950", "Program No"},
        {&ProgramRecord::CUV, "17", "Cell [mm]"},
        {&ProgramRecord::MRB, "1x", "MRB"},
        {&ProgramRecord::MRE, " 2.0", "MRE"},
        {&ProgramRecord::SLOPE, "1" + QString(30, u'0'), "Slope"},
        {&ProgramRecord::FORM, "Fe Cl", "Citation form"},
        {&ProgramRecord::BLANKREQ, "2", "Blank required"},
        {&ProgramRecord::CALREQ, QString(), "Std. adjustment required"},
    };
    for (const auto &c : cases) {
        ProgramRecord a = programArray(QStringLiteral("904"));
        a.*c.member = c.value;
        const QString message = rig.prog().CheckProgram(a);
        QVERIFY2(message.contains(QStringLiteral(" %1 ").arg(QLatin1String(c.field))), c.field);
        rig.sim->clearLog();
        errors.reports.clear();
        QVERIFY(!rig.prog().AddNew(a));
        QVERIFY(!rig.prog().Modify(a));
        QVERIFY(rig.sim->commandLog().isEmpty());
        QCOMPARE(errors.reports, QStringList(2, message));
    }
    // Within the editor's limits at their edges; a measuring range beyond the meter's is not.
    ProgramRecord a = programArray(QStringLiteral("999"));
    a.MODEL = QStringLiteral("a b\u00b5");
    a.FORM = QStringLiteral("123456789");
    a.UNIT = QStringLiteral("\u00b5g/l");
    QCOMPARE(rig.prog().CheckProgram(a), QString());
    a.MRE = QStringLiteral("2.5");
    QVERIFY(rig.prog().CheckProgram(a).startsWith(TextTable::text(TextTable::MeasuringRangeExceeded)));
}

void TestPrograms::shortArraysAreRefused()
{
    Rig rig;
    QVERIFY(rig.connect());
    // A record from fewer values than the meter takes lacks CALREQ.
    QStringList values = program(QStringLiteral("904"));
    values.removeLast();
    ProgramRecord a = ProgramRecord::fromMeter(values);
    ErrorRecorder errors;
    QVERIFY(!rig.prog().AddNew(a));
    QVERIFY(!rig.prog().Modify(a));
    QCOMPARE(errors.reports.size(), 2); // the empty field, once per refusal
    QVERIFY(!rig.prog().GetProgramMeter(a, QStringLiteral("904")));
    QVERIFY(rig.sim->commandLog().isEmpty());
}

void TestPrograms::programFromMeterGoesBackOnceConfirmed()
{
    Rig rig;
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    // Changed fields, then how many problems of each kind; every one is told at once, by its label.
    using F = QString ProgramRecord::*;
    const struct {
        QList<std::pair<F, QString>> fields;
        int refusals, doubts;
    } cases[] = {
        {{{&ProgramRecord::CUV, "24"}, {&ProgramRecord::LAMBDA, "525"}}, 0, 2},
        {{{&ProgramRecord::MRE, "2.5"}}, 0, 1},
        {{{&ProgramRecord::CUV, "24"}, {&ProgramRecord::MODEL, "ABCDEF"}, {&ProgramRecord::CALPSB, "2"}},
         2,
         1},
    };
    for (const auto &c : cases) {
        ProgramRecord a = programArray(QStringLiteral("915"));
        for (const auto &[member, value] : c.fields)
            a.*member = value;
        const CUsrDefProg::ProgramCheck check = rig.prog().CheckProgramFields(a);
        QCOMPARE(check.refusals.size(), c.refusals);
        QCOMPARE(check.doubts.size(), c.doubts);
        ErrorRecorder errors;
        QVERIFY(!rig.prog().AddNew(a));
        QCOMPARE(rig.prog().AddNew(a, true), c.refusals == 0);
        if (c.refusals == 0)
            QVERIFY(rig.prog().Delete(a.NO));
    }
}

void TestPrograms::modifyReplacesSlot()
{
    Rig rig;
    for (const char *n : {"901", "903"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    ProgramRecord a = programArray(QStringLiteral("903"));
    a.MODEL = QStringLiteral("NEW");
    a.CALREQ = QStringLiteral("1");
    rig.sim->clearLog();
    QVERIFY(rig.prog().Modify(a));
    QCOMPARE(rig.sim->commandLog().at(1),
             QStringLiteral("U.502#14,903,NEW,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,1"));
    QCOMPARE(rig.prog().slot(1).MODEL, QStringLiteral("NEW"));
    QCOMPARE(rig.prog().slot(1).CALREQ, QStringLiteral("1"));
    QCOMPARE(rig.prog().count(), qint16(2));
    // A number the meter does not hold.
    QVERIFY(!rig.prog().Modify(programArray(QStringLiteral("950"))));
    QCOMPARE(rig.prog().count(), qint16(2));
}

void TestPrograms::deleteKeepsOrderAndCount()
{
    Rig rig;
    for (const char *n : {"901", "903", "910"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    rig.sim->clearLog();
    QVERIFY(rig.prog().Delete(QStringLiteral("903")));
    QCOMPARE(rig.sim->commandLog(), QStringList({"U.400", "U.521#1,903"}));
    QCOMPARE(rig.prog().count(), qint16(2));
    QCOMPARE(rig.prog().slot(1).NO, QStringLiteral("910"));
    QCOMPARE(rig.prog().slot(2), ProgramRecord());
    QVERIFY(!rig.prog().Delete(QStringLiteral("903"))); // the meter refuses
    QVERIFY(rig.prog().Delete(QStringLiteral("901")));
    QVERIFY(rig.prog().Delete(QStringLiteral("910")));
    QCOMPARE(rig.prog().count(), qint16(0));
    QCOMPARE(rig.prog().slot(0), ProgramRecord());
    QVERIFY(rig.programs->programs().isEmpty());
}

void TestPrograms::deleteAllClearsMeterAndTable()
{
    Rig rig;
    for (const char *n : {"901", "903"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    QVERIFY(rig.prog().DeleteAll());
    QCOMPARE(rig.prog().count(), qint16(0));
    QVERIFY(rig.programs->programs().isEmpty());
    rig.sim->faults().rejectCommands = {QStringLiteral("U.520")};
    QVERIFY(!rig.prog().DeleteAll());
}

void TestPrograms::freeNumberRespectsReducedModels()
{
    for (const QString &model : {QStringLiteral("Q-95"), QStringLiteral("Lumora")}) {
        Rig rig(model);
        for (int n = 900; n <= 949; ++n)
            QVERIFY(rig.programs->put(program(QString::number(n))));
        QVERIFY(rig.connect());
        QVERIFY(rig.prog().Update());
        QCOMPARE(rig.prog().count(), qint16(50));
        QString number = QStringLiteral("x");
        if (model == QStringLiteral("Q-95")) {
            QVERIFY(!rig.prog().GetFreeProgNumMeter(number));
            QCOMPARE(number, QString());
            // The reduced meter refuses numbers beyond its range.
            QVERIFY(!rig.prog().AddNew(programArray(QStringLiteral("950"))));
        } else {
            QVERIFY(rig.prog().GetFreeProgNumMeter(number));
            QCOMPARE(number, QStringLiteral("950"));
        }
    }
}

void TestPrograms::hundredSlotsFillTheMeter()
{
    Rig rig;
    for (int n = 900; n <= 998; ++n)
        QVERIFY(rig.programs->put(program(QString::number(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    QVERIFY(rig.prog().AddNew(programArray(QStringLiteral("999"))));
    QCOMPARE(rig.prog().count(), qint16(100));
    QString number;
    QVERIFY(!rig.prog().GetFreeProgNumMeter(number));
    QVERIFY(rig.prog().Delete(QStringLiteral("950")));
    QVERIFY(rig.prog().GetFreeProgNumMeter(number));
    QCOMPARE(number, QStringLiteral("950"));
    QCOMPARE(rig.prog().count(), qint16(99));
    QCOMPARE(rig.prog().slot(98).NO, QStringLiteral("999"));
}

void TestPrograms::stopDuringUpdateSkipsTheRest()
{
    Rig rig;
    for (const char *n : {"901", "903", "910"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    // The meter changed meanwhile; the stop comes while 903 is being read.
    rig.programs->put(program(QStringLiteral("901"), QStringLiteral("NEW1,16,436,0,1,0,1,0.01,F,u,0,0,0")));
    rig.programs->put(program(QStringLiteral("903"), QStringLiteral("NEW3,16,436,0,1,0,1,0.01,F,u,0,0,0")));
    rig.programs->put(program(QStringLiteral("910"), QStringLiteral("NEW10,16,436,0,1,0,1,0.01,F,u,0,0,0")));
    QObject::connect(rig.sim, &MeterSim::commandReceived, rig.sim, [&rig](const QString &line) {
        if (line == QStringLiteral("U.513#1,903"))
            rig.prog().StopUpdate();
    });
    rig.sim->clearLog();
    QVERIFY(rig.prog().Update());
    QVERIFY(!rig.prog().updateRunning());
    QCOMPARE(rig.prog().count(), qint16(3));
    QCOMPARE(rig.prog().slot(0).MODEL, QStringLiteral("NEW1"));
    QCOMPARE(rig.prog().slot(1).MODEL, QStringLiteral("NEW3"));
    // Not read again: number from the list, the rest from before.
    QCOMPARE(rig.prog().slot(2).NO, QStringLiteral("910"));
    QCOMPARE(rig.prog().slot(2).MODEL, QStringLiteral("ABCDE"));
    QVERIFY(!rig.sim->commandLog().contains(QStringLiteral("U.513#1,910")));
}

void TestPrograms::stopOfLinkDuringReadFailsUpdate()
{
    Rig rig;
    for (const char *n : {"901", "903", "910"})
        QVERIFY(rig.programs->put(program(QString::fromLatin1(n))));
    QVERIFY(rig.connect());
    rig.sim->faults().delayMs = 200;
    // Closing the wait dialog: the update flag and the link are both stopped.
    QObject::connect(rig.sim, &MeterSim::commandReceived, rig.sim, [&rig](const QString &line) {
        if (line == QStringLiteral("U.513#1,903")) {
            rig.prog().StopUpdate();
            rig.link.COMStop();
        }
    });
    QVERIFY(!rig.prog().Update());
    QCOMPARE(rig.prog().count(), qint16(0));
    QCOMPARE(rig.prog().slot(0), ProgramRecord());
}

void TestPrograms::stopDuringListSendsClosingCommand()
{
    Rig rig;
    QVERIFY(rig.programs->put(program(QStringLiteral("901"))));
    QVERIFY(rig.connect());
    rig.sim->faults().delayMs = 200;
    QObject::connect(rig.sim, &MeterSim::commandReceived, rig.sim, [&rig](const QString &line) {
        if (line == QStringLiteral("U.512")) {
            rig.prog().StopUpdate();
            rig.link.COMStop();
        }
    });
    QVERIFY(!rig.prog().Update());
    // The link's own repeat may send the list command once more after the stop.
    const QStringList log = rig.sim->commandLog();
    QCOMPARE(log.mid(0, 2), QStringList({"U.400", "U.512"}));
    QCOMPARE(log.last(), QStringLiteral("U.999"));
    QCOMPARE(log.count(QStringLiteral("U.999")), 1);
    QVERIFY(!log.join(u' ').contains(QStringLiteral("U.513")));
    QCOMPARE(rig.prog().count(), qint16(0));
}

void TestPrograms::getProgramMeterFillsArray()
{
    Rig rig;
    QVERIFY(rig.programs->put(program(QStringLiteral("901"))));
    QVERIFY(rig.connect());
    QVERIFY(rig.prog().Update());
    ProgramRecord a;
    a.valX.fill(QStringLiteral("old"));
    QVERIFY(rig.prog().GetProgramMeter(a, QStringLiteral("901")));
    ProgramRecord expected = programArray(QStringLiteral("901"));
    expected.USER = QStringLiteral("---");
    QCOMPARE(a, expected);
    a.MODEL = QStringLiteral("old");
    QVERIFY(!rig.prog().GetProgramMeter(a, QStringLiteral("0901")));
    QCOMPARE(a, ProgramRecord());
}

void TestPrograms::storeOrModifyAsksOnlyForNumbersTheMeterHolds()
{
    using Existing = CUsrDefProg::ExistingProgram;
    using Result = CUsrDefProg::StoreResult;
    const struct {
        const char *number;
        bool full; // the meter holds 100 programs, one of them outside the range: 950 is free but has no room
        Existing answer;
        Result result;
        const char *sent; // the store or modify command's code, if one went out
        bool asked;
    } cases[] = {
        {"905", false, Existing::Modify, Result::Added, "U.500", false},
        {"901", false, Existing::Modify, Result::Modified, "U.502", true},
        {"901", false, Existing::Keep, Result::Kept, nullptr, true},
        {"901", false, Existing::Cancel, Result::Cancelled, nullptr, true},
        {"950", true, Existing::Modify, Result::NoFreeSlot, nullptr, false},
        {"901", true, Existing::Modify, Result::Modified, "U.502", true},
    };
    for (const auto &c : cases) {
        Rig rig;
        for (int n = 900; n <= (c.full ? 999 : 903); ++n)
            QVERIFY(n == 950 || rig.programs->put(program(QString::number(n))));
        if (c.full) {
            const QByteArray numbers =
                QStringList(rig.programs->programs().keys()).join(QStringLiteral("\r\n")).toLatin1();
            rig.programs->listAnswer = MeterSim::acceptedAnswer("899\r\n" + numbers);
            rig.programs->readAnswers.insert(
                "899", MeterSim::acceptedAnswer(SimPrograms::readPayload(program(QStringLiteral("899")))));
        }
        QVERIFY(rig.connect());
        QVERIFY(rig.prog().Update());
        rig.sim->clearLog();
        QStringList asked;
        QList<bool> transferring;
        const Result result = rig.prog().storeOrModify(
            programArray(QString::fromLatin1(c.number)),
            [&](const QString &number) {
                asked.append(number);
                return c.answer;
            },
            [&](bool on) { transferring.append(on); });
        QCOMPARE(result, c.result);
        QCOMPARE(asked, c.asked ? QStringList{QString::fromLatin1(c.number)} : QStringList());
        const QStringList stores =
            rig.sim->commandLog().filter(QRegularExpression(QStringLiteral("^U\\.50[02]")));
        QCOMPARE(stores.size(), c.sent ? 1 : 0);
        if (c.sent)
            QVERIFY(stores[0].startsWith(QLatin1String(c.sent)));
        QCOMPARE(transferring, c.sent ? (QList<bool>{true, false}) : QList<bool>());
    }
}

void TestPrograms::recordFieldOrders()
{
    // The meter's order and the file's order, each read back into the same record.
    ProgramRecord r = programArray(QStringLiteral("907"));
    r.valX[3] = QStringLiteral("1");
    QCOMPARE(r.toMeter(), program(QStringLiteral("907")));
    ProgramRecord fromMeter = ProgramRecord::fromMeter(r.toMeter());
    QCOMPARE(fromMeter.USER, QString());
    fromMeter.USER = r.USER;
    fromMeter.valX = r.valX;
    QCOMPARE(fromMeter, r);
    QCOMPARE(r.toFile(), (QStringList{"907", "ABCDE", "16", "436", "0.0", "2.0", "0.0", "1.0", "0.01", "Fe",
                                      "mg/l", "tester", "0", "1", "0"}));
    ProgramRecord fromFile;
    QVERIFY(fromFile.setFromFile(r.toFile()));
    fromFile.valX = r.valX;
    QCOMPARE(fromFile, r);
    // Files without flags read them as "0"; any other count is no program line and changes nothing.
    QVERIFY(fromFile.setFromFile(r.toFile().mid(0, 12)));
    QCOMPARE(QStringList({fromFile.BLANKREQ, fromFile.CALPSB, fromFile.CALREQ}),
             QStringList({"0", "0", "0"}));
    const ProgramRecord before = fromFile;
    QVERIFY(!fromFile.setFromFile(r.toFile().mid(0, 13)));
    QCOMPARE(fromFile, before);
}

void TestPrograms::simulatorTableFromFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("programs.txt"));
    writeBytes(path, "# demo programs\n901,ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0\n\n"
                     "949,X,16,436,0,5,0.1,0.2,0.1,F,u,1,1,1\n");
    SimBench bench(1);
    MeterIdentity id;
    id.model = QStringLiteral("Q-95");
    MeterSim &sim = bench.addMeter(1, id);
    SimPrograms programs(sim);
    QString error;
    QVERIFY2(programs.loadFile(path, &error), qPrintable(error));
    QCOMPARE(programs.programs().keys(), QStringList({"901", "949"}));
    writeBytes(path, "950,X,16,436,0,5,0.1,0.2,0.1,F,u,1,1,1\n");
    QVERIFY(!programs.loadFile(path, &error));
    QVERIFY(error.contains(QStringLiteral(":1:")));
    writeBytes(path, "951,X,16\n");
    QVERIFY(!programs.loadFile(path, &error));
    QVERIFY(!programs.loadFile(dir.filePath(QStringLiteral("missing")), &error));
}

// ---- program files ----------------------------------------------------------------------------

void TestPrograms::programFileRoundTripsByteExact()
{
    SharedObjects shared;
    CUsrDefProg &prog = *shared.usrDefProg;
    ProgramRecord a = programArray(QStringLiteral("901"));
    a.UNIT = QStringLiteral("\u00b5g/l");
    a.valX[0] = QStringLiteral("0");
    a.valY[0] = QStringLiteral("0.05");
    a.valX[1] = QStringLiteral("1");
    a.valY[1] = QStringLiteral("0.25");
    const QString path = m_work + QStringLiteral("/PROG 901.csv");
    QVERIFY(prog.SaveToFile(a, path));
    const QByteArray expected =
        "NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ\r\n"
        "901;ABCDE;16;436;0.0;2.0;0.0;1.0;0.01;Fe;\xb5g/l;tester;0;1;0\r\n"
        "PAIRS_OF_VARIATES\r\n0;0.05\r\n1;0.25\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;";
    QCOMPARE(readBytes(path), expected);
    prog.setWorkDir(m_work);
    ProgramRecord back;
    back.valY.fill(QStringLiteral("x"));
    QVERIFY(prog.ReadFromFile(back, QStringLiteral("PROG 901.csv")));
    QCOMPARE(back, a);
    QVERIFY(!prog.ReadFromFile(back, QStringLiteral("missing.csv")));
    QVERIFY(QFile::remove(path));
}

void TestPrograms::oldTwelveKeyLayout()
{
    const QString pairs =
        QStringLiteral("\r\nPAIRS_OF_VARIATES\r\n1;2\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;");
    const QString header12 = QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER\r\n");
    ProgramRecord a;
    QVERIFY(CUsrDefProg::ParseProgramText(
        header12 + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U;Ann") + pairs, a));
    QCOMPARE(a.USER, QStringLiteral("Ann"));
    QCOMPARE(QStringList({a.BLANKREQ, a.CALPSB, a.CALREQ}), QStringList({"0", "0", "0"}));
    QCOMPARE(a.valX[0], QStringLiteral("1"));
    QVERIFY(!CUsrDefProg::ParseProgramText(
        header12 + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U;Ann;1;1;1") + pairs, a));
    QVERIFY(
        !CUsrDefProg::ParseProgramText(header12 + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U") + pairs, a));
    // The 15-key header needs 15 values; a 16th stays in CALREQ (the split is limited).
    const QString header15 =
        QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ\r\n");
    QVERIFY(!CUsrDefProg::ParseProgramText(
        header15 + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U;Ann") + pairs, a));
    QVERIFY(CUsrDefProg::ParseProgramText(
        header15 + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U;Ann;1;0;1;9") + pairs, a));
    QCOMPARE(a.CALREQ, QStringLiteral("1;9"));
    // Headers are compared exactly.
    QVERIFY(!CUsrDefProg::ParseProgramText(
        header12.toLower() + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U;Ann") + pairs, a));
    QVERIFY(!CUsrDefProg::ParseProgramText(
        header12 + QStringLiteral("902;M;16;436;0;5;0;1;0.1;F;U;Ann\r\nPAIRS\r\n1;2"), a));
}

void TestPrograms::limitedSplitsOfPairBlock()
{
    const QString head =
        QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ\r\n"
                       "903;M;16;436;0;5;0;1;0.1;F;U;Ann;1;1;0\r\nPAIRS_OF_VARIATES\r\n");
    const QString nine = QStringLiteral("1;2\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;\r\n;");
    ProgramRecord a;
    QVERIFY(!CUsrDefProg::ParseProgramText(head + nine, a));
    // Fields read before the failing check stay filled.
    QCOMPARE(a.NO, QStringLiteral("903"));
    QVERIFY(CUsrDefProg::ParseProgramText(head + nine + QStringLiteral("\r\n9;10\r\n"), a));
    QCOMPARE(a.valX[9], QStringLiteral("9"));
    QCOMPARE(a.valY[9], QStringLiteral("10\r\n"));
    QVERIFY(CUsrDefProg::ParseProgramText(head + nine + QStringLiteral("\r\n9;10;11\r\nmore"), a));
    QCOMPARE(a.valY[9], QStringLiteral("10;11\r\nmore"));
    // A pair line without ";" fails.
    QVERIFY(!CUsrDefProg::ParseProgramText(head + nine + QStringLiteral("\r\n9"), a));
    QVERIFY(!CUsrDefProg::ParseProgramText(QString(), a));
}

void TestPrograms::listPcTakesOnlyProgramFiles()
{
    QTemporaryDir dir;
    SharedObjects shared;
    CUsrDefProg &prog = *shared.usrDefProg;
    prog.setWorkDir(dir.path());
    QCOMPARE(prog.WorkDir(), dir.path());
    QVERIFY(prog.SaveToFile(programArray(QStringLiteral("901")), dir.filePath(QStringLiteral("a.csv"))));
    QVERIFY(prog.SaveToFile(programArray(QStringLiteral("901")), dir.filePath(QStringLiteral("b.csv"))));
    QVERIFY(
        prog.SaveToFile(programArray(QStringLiteral("905")), dir.filePath(QStringLiteral("PROG 901.csv"))));
    QVERIFY(prog.SaveToFile(programArray(QStringLiteral("906")), dir.filePath(QStringLiteral("upper.CSV"))));
    QVERIFY(prog.SaveToFile(programArray(QStringLiteral("907")), dir.filePath(QStringLiteral("noext"))));
    writeBytes(dir.filePath(QStringLiteral("values.csv")), "METER;S/N;USER;DATE;TIME\r\n");
    writeBytes(dir.filePath(QStringLiteral("empty.csv")), "");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.csv")));

    ErrorRecorder errors;
    QStringList numbers(100), names(100);
    qint16 n = -1;
    QVERIFY(prog.ListPC(numbers, names, n));
    QCOMPARE(n, qint16(3));
    QStringList pairs;
    for (int i = 0; i < n; ++i)
        pairs << names[i] + u'=' + numbers[i];
    pairs.sort();
    // The number comes from the content, not the name.
    QCOMPARE(pairs, QStringList({"PROG 901.csv=905", "a.csv=901", "b.csv=901"}));
    QCOMPARE(errors.reports, QStringList());

    QStringList small(99);
    QVERIFY(!prog.ListPC(small, names, n));
    QCOMPARE(n, qint16(0));
}

void TestPrograms::listPcOfMissingOrEmptyFolder()
{
    QTemporaryDir dir;
    SharedObjects shared;
    CUsrDefProg &prog = *shared.usrDefProg;
    prog.setWorkDir(dir.path());
    QStringList numbers(100), names(100);
    qint16 n = -1;
    QVERIFY(prog.ListPC(numbers, names, n));
    QCOMPARE(n, qint16(0));
    QVERIFY(prog.DeleteFileAll());
    prog.setWorkDir(dir.filePath(QStringLiteral("gone")));
    QVERIFY(!prog.ListPC(numbers, names, n));
    QVERIFY(!prog.DeleteFileAll());
}

void TestPrograms::deleteFilesGoToTrash()
{
    QTemporaryDir dir(m_home.path() + QStringLiteral("/progs-XXXXXX"));
    SharedObjects shared;
    CUsrDefProg &prog = *shared.usrDefProg;
    prog.setWorkDir(dir.path());
    for (const char *n : {"901", "902", "903"})
        QVERIFY(prog.SaveToFile(programArray(QString::fromLatin1(n)),
                                dir.filePath(QStringLiteral("PROG %1.csv").arg(QString::fromLatin1(n)))));
    writeBytes(dir.filePath(QStringLiteral("notes.txt")), "keep");
    QVERIFY(prog.DeleteFile(QStringLiteral("PROG 901.csv")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("PROG 901.csv"))));
    QVERIFY(!prog.DeleteFile(QStringLiteral("PROG 901.csv")));
    QVERIFY(prog.DeleteFileAll());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"notes.txt"}));
    // Everything went to the private trash and can be restored from there.
    QStringList trashed;
    QDirIterator it(m_home.path() + QStringLiteral("/data/Trash/files"), QDir::Files);
    while (it.hasNext())
        trashed << it.next().section(u'/', -1);
    for (const char *n : {"PROG 901.csv", "PROG 902.csv", "PROG 903.csv"})
        QVERIFY2(trashed.contains(QString::fromLatin1(n)), qPrintable(trashed.join(u',')));
}

void TestPrograms::deleteWithoutTrashFailsAndKeepsFile()
{
    QTemporaryDir dir(m_home.path() + QStringLiteral("/progs-XXXXXX"));
    SharedObjects shared;
    CUsrDefProg &prog = *shared.usrDefProg;
    prog.setWorkDir(dir.path());
    QVERIFY(
        prog.SaveToFile(programArray(QStringLiteral("901")), dir.filePath(QStringLiteral("PROG 901.csv"))));
    // No trash can be made where a file stands in place of the data folder.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QString blocker = m_home.path() + QStringLiteral("/blocked-data");
    writeBytes(blocker, "file");
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    ErrorRecorder errors;
    // Qt would put the file into "files" under the current directory: run where that can be seen.
    QTemporaryDir cwd;
    const QString previousCwd = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    const bool deleted = prog.DeleteFile(QStringLiteral("PROG 901.csv"));
    const bool deletedAll = prog.DeleteFileAll();
    qputenv("XDG_DATA_HOME", dataHome);
    QDir::setCurrent(previousCwd);
    QCOMPARE(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!deleted);
    QVERIFY(!deletedAll);
    QCOMPARE(errors.reports.size(), 2);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("PROG 901.csv"))));
}

void TestPrograms::workDirFollowsSettings()
{
    QTemporaryDir dir;
    SharedObjects shared;
    shared.config->setWorkDir(dir.path());
    SharedObjects second;
    QCOMPARE(second.usrDefProg->WorkDir(), dir.path());
    second.usrDefProg->setWorkDir(m_work);
    QCOMPARE(shared.config->WorkDir(), m_work);
    QCOMPARE(second.usrDefProg->WorkDir(), m_work);
}

void TestPrograms::proposedFileName()
{
    QTemporaryDir dir;
    SharedObjects shared;
    CUsrDefProg &prog = *shared.usrDefProg;
    prog.setWorkDir(dir.path());
    // The one rule the console and the editor offer: with the extension the directory list looks for.
    QCOMPARE(prog.ProposedFilePath(QStringLiteral("901")), dir.path() + QStringLiteral("/PROG 901.csv"));
    prog.setWorkDir(dir.path() + u'/');
    QCOMPARE(prog.ProposedFilePath(QStringLiteral("901")), dir.path() + QStringLiteral("/PROG 901.csv"));
    // A number from the meter cannot lead the file elsewhere.
    QCOMPARE(prog.ProposedFilePath(QStringLiteral("../9\\0:1")),
             dir.path() + QStringLiteral("/PROG ..901.csv"));
    prog.setWorkDir(QDir::rootPath());
    QCOMPARE(prog.ProposedFilePath(QStringLiteral("9/1")), QDir::rootPath() + QStringLiteral("PROG 91.csv"));
    prog.setWorkDir(dir.filePath(QStringLiteral("gone")));
    QCOMPARE(prog.ProposedFilePath(QStringLiteral("905")), QStringLiteral("PROG 905.csv"));
}

void TestPrograms::programFileRefusesValuesThatBreakIt()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("PROG 901.csv"));
    SharedObjects shared;
    QVERIFY(shared.usrDefProg->SaveToFile(programArray(QStringLiteral("901")), path));
    const QByteArray before = readBytes(path);
    // The model, the citation form, a pair: a value with ";" or a line break is refused.
    using F = QString *(*)(ProgramRecord &);
    const std::pair<F, const char *> cases[] = {{[](ProgramRecord &r) { return &r.MODEL; }, "A;B"},
                                                {[](ProgramRecord &r) { return &r.FORM; }, "F\r\nX"},
                                                {[](ProgramRecord &r) { return &r.valX[0]; }, "1;2"}};
    for (const auto &[field, value] : cases) {
        ProgramRecord values = programArray(QStringLiteral("901"));
        *field(values) = QString::fromLatin1(value);
        QVERIFY(!shared.usrDefProg->SaveToFile(values, path));
        QCOMPARE(
            shared.usrDefProg->lastFileResult().messages(),
            QStringList{TextTable::text(TextTable::FieldBreaksProgramFile).arg(QString::fromLatin1(value))});
        QCOMPARE(readBytes(path), before);
    }
}

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
