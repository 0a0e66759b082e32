// Meter recognition end to end: scan, identification commands and model checks against simulated meters.
#include "CCommunication.h"
#include "CDevice.h"
#include "CSerialLink.h"
#include "SharedObjects.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

MeterIdentity meter(const char *model, const char *firmware, const char *variant = "")
{
    MeterIdentity id;
    id.model = QString::fromLatin1(model);
    id.firmware = QString::fromLatin1(firmware);
    id.serial = QStringLiteral("SN-4711");
    id.variant = QString::fromLatin1(variant);
    return id;
}

// One simulated meter on port 1 and a fresh set of shared objects talking to it.
struct Rig : SimRig {
    using SimRig::SimRig;
    qint16 recognise(bool onlyKlaro7 = false)
    {
        name = QStringLiteral("stale");
        serial = QStringLiteral("stale");
        return shared.device->Recognise(name, serial, onlyKlaro7);
    }
    CDevice &device() { return *shared.device; }

    QString name;
    QString serial;
};

const QStringList kIdentification = {QStringLiteral("U.400"), QStringLiteral("U.400"),
                                     QStringLiteral("U.597"), QStringLiteral("U.595"),
                                     QStringLiteral("U.596")};

} // namespace

class TestRecognise : public QObject {
    Q_OBJECT
private slots:
    void firmwareThresholds_data();
    void firmwareThresholds();
    void rejectedVersionMeansTooOld();
    void unreadableVersionMeansTooOld();
    void rejectedNameSerialOrVariantIsNotFound_data();
    void rejectedNameSerialOrVariantIsNotFound();
    void lineLostDuringIdentificationIsNotFound();
    void namesAreComparedExactly_data();
    void namesAreComparedExactly();
    void variantCommandOnlyFromFirmware200();
    void variantCodesSwitchCalLine_data();
    void variantCodesSwitchCalLine();
    void predicatesFollowOnlineFlag();
    void failedScanKeepsEarlierIdentity();
};

void TestRecognise::firmwareThresholds_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("onlyKlaro7");
    QTest::addColumn<int>("result");
    const struct {
        const char *model;
        const char *firmware;
        bool onlyKlaro7;
        int result;
    } rows[] = {
        {"Klaro 4 T", "1.59", false, -2},
        {"Klaro 4 T", "1.60", false, 0},
        {"Klaro 4 IR", "1.60", false, 0},
        {"Klaro 7 T", "2.41", false, -2},
        {"Klaro 7 T", "2.42", false, 0},
        {"Klaro 7 IR", "2.42", true, 0},
        {"Klaro 7 T", "2.41", true, -2},
        {"Lumora", "1.79", false, -2},
        {"Lumora", "1.80", false, 0},
        {"Q-95 Pro", "1.79", false, -2},
        {"DEVICENAME", "2.10", false, 0},
        // The Klaro 7 edition refuses every other model, whatever its firmware.
        {"Lumora Turb", "2.50", true, -1},
        {"Klaro 4 T", "1.60", true, -1},
        {"Lumora", "1.79", true, -1},
    };
    for (const auto &r : rows)
        QTest::addRow("%s %s%s", r.model, r.firmware, r.onlyKlaro7 ? " edition" : "")
            << QString::fromLatin1(r.model) << QString::fromLatin1(r.firmware) << r.onlyKlaro7 << r.result;
}

void TestRecognise::firmwareThresholds()
{
    QFETCH(QString, model);
    QFETCH(QString, firmware);
    QFETCH(bool, onlyKlaro7);
    QFETCH(int, result);
    MeterIdentity id = meter("", "");
    id.model = model;
    id.firmware = firmware;
    Rig rig(id);
    ErrorRecorder errors;

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(int(rig.recognise(onlyKlaro7)), result);
    const qint64 ms = timer.elapsed();
    QVERIFY(errors.reports.isEmpty());
    QCOMPARE(rig.shared.communication->COMPort(), 1);
    QCOMPARE(rig.shared.communication->Baudrate(), QStringLiteral("4800"));

    if (result == 0) {
        qInfo("recognised %s in %lld ms", qPrintable(model), ms);
        QCOMPARE(rig.name, model);
        QCOMPARE(rig.serial, QStringLiteral("SN-4711"));
        QVERIFY(rig.device().Online());
        QCOMPARE(rig.device().DeviceName(), model);
        QCOMPARE(rig.device().SerialNumber(), QStringLiteral("SN-4711"));
        return;
    }
    QCOMPARE(rig.name, QString());
    QCOMPARE(rig.serial, QString());
    QVERIFY(!rig.device().Online());
    // The name was read before the check that failed; the serial number was not taken over.
    QCOMPARE(rig.device().DeviceName(), model);
    QCOMPARE(rig.device().SerialNumber(), QString());
    // Every identification command went out before the checks.
    QCOMPARE(rig.sim->commandLog().mid(0, kIdentification.size()), kIdentification);
}

void TestRecognise::rejectedVersionMeansTooOld()
{
    Rig rig(meter("Klaro 7 T", "2.50"));
    rig.sim->faults().rejectCommands = {QStringLiteral("U.597")};
    ErrorRecorder errors;
    QCOMPARE(int(rig.recognise()), -2);
    QVERIFY(errors.reports.isEmpty());
    QVERIFY(!rig.device().Online());
    QCOMPARE(rig.device().DeviceName(), QString());
    QCOMPARE(rig.device().firmwareVersion(), qint16(0));
    // Rejected once, repeated once, then given up: the name is never asked.
    QCOMPARE(rig.sim->commandLog(), QStringList({QStringLiteral("U.400"), QStringLiteral("U.400"),
                                                 QStringLiteral("U.597"), QStringLiteral("U.597")}));
}

void TestRecognise::unreadableVersionMeansTooOld()
{
    for (const char *version : {"160", ".242", "2.", "1.6", "", "400.00"}) {
        Rig rig(meter("Klaro 4 T", version));
        ErrorRecorder errors;
        QVERIFY2(rig.recognise() == -2, version);
        QVERIFY(!rig.sim->commandLog().contains(QStringLiteral("U.595")));
        QCOMPARE(rig.device().DeviceName(), QString());
    }
    // A version text that ends in the accepted marker but is too short to hold a payload.
    Rig rig(meter("Klaro 4 T", "1.60"));
    rig.sim->setHandler(QStringLiteral("U.597"), [](const QString &) { return SimReply::raw("\r\n!\r\n>"); });
    ErrorRecorder errors;
    QCOMPARE(int(rig.recognise()), -2);
    QCOMPARE(errors.reports.size(), 1);
}

void TestRecognise::rejectedNameSerialOrVariantIsNotFound_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("storedName");
    QTest::newRow("U.595") << QStringLiteral("U.595") << QString();
    QTest::newRow("U.596") << QStringLiteral("U.596") << QStringLiteral("Lumora Turb");
    QTest::newRow("U.592") << QStringLiteral("U.592") << QStringLiteral("Lumora Turb");
}

void TestRecognise::rejectedNameSerialOrVariantIsNotFound()
{
    QFETCH(QString, command);
    QFETCH(QString, storedName);
    Rig rig(meter("Lumora Turb", "2.00", "030909"));
    rig.sim->faults().rejectCommands = {command};
    ErrorRecorder errors;
    QCOMPARE(int(rig.recognise()), -1);
    QVERIFY(errors.reports.isEmpty());
    QVERIFY(!rig.device().Online());
    QCOMPARE(rig.name, QString());
    QCOMPARE(rig.device().DeviceName(), storedName);
    QCOMPARE(rig.device().SerialNumber(),
             command == QLatin1String("U.592") ? QStringLiteral("SN-4711") : QString());
    QVERIFY(!rig.device().variantFlag());
    QCOMPARE(rig.sim->commandLog().count(command), 2);
}

void TestRecognise::lineLostDuringIdentificationIsNotFound()
{
    Rig rig(meter("Lumora", "2.00"));
    rig.sim->faults().hangupCommands = {QStringLiteral("U.596")};
    QCOMPARE(int(rig.recognise()), -1);
    QVERIFY(!rig.device().Online());
    QCOMPARE(rig.device().linkResult().failure, LinkFailure::LineLost);
    // The lost line is told once, not once per attempt.
    QCOMPARE(rig.device().linkResult().messages().size(), 1);
}

void TestRecognise::namesAreComparedExactly_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("lower case") << QStringLiteral("lumora turb");
    QTest::newRow("upper case") << QStringLiteral("LUMORA TURB");
    QTest::newRow("trailing blank") << QStringLiteral("Lumora Turb ");
    QTest::newRow("leading blank") << QStringLiteral(" Lumora Turb");
    QTest::newRow("other meter") << QStringLiteral("Lumora XL");
    QTest::newRow("empty") << QString();
    QTest::newRow("two lines") << QStringLiteral("Lumora\r\nTurb");
}

void TestRecognise::namesAreComparedExactly()
{
    QFETCH(QString, model);
    MeterIdentity id = meter("", "2.50");
    id.model = model;
    Rig rig(id);
    ErrorRecorder errors;
    QCOMPARE(int(rig.recognise()), -1);
    QVERIFY(errors.reports.isEmpty());
    QVERIFY(!rig.device().Online());
    QCOMPARE(rig.device().DeviceName(), model);
    QCOMPARE(rig.device().SerialNumber(), QString());
}

void TestRecognise::variantCommandOnlyFromFirmware200()
{
    {
        Rig rig(meter("Lumora Turb", "1.99", "030909"));
        QCOMPARE(int(rig.recognise()), 0);
        QCOMPARE(rig.sim->commandLog(), kIdentification);
        QVERIFY(!rig.device().variantFlag());
        QVERIFY(!rig.device().SupportsCalLine(QString()));
        QCOMPARE(int(rig.device().firmwareVersion()), 199);
    }
    {
        Rig rig(meter("Lumora Turb", "2.00", "030909"));
        QCOMPARE(int(rig.recognise()), 0);
        QCOMPARE(rig.sim->commandLog(), kIdentification + QStringList{QStringLiteral("U.592")});
        QVERIFY(rig.device().variantFlag());
        QVERIFY(rig.device().SupportsCalLine(QString()));
        QCOMPARE(int(rig.device().firmwareVersion()), 200);
    }
}

void TestRecognise::variantCodesSwitchCalLine_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<bool>("calLine");
    QTest::newRow("no code") << QStringLiteral("Lumora Turb") << QStringLiteral("000000") << false;
    QTest::newRow("027291") << QStringLiteral("Lumora Turb") << QStringLiteral("027291") << true;
    QTest::newRow("027290 inside") << QStringLiteral("Q-95 Turb") << QStringLiteral("V-027290-B") << true;
    QTest::newRow("030910 second line")
        << QStringLiteral("Q-95 Turb") << QStringLiteral("111111\r\n030910") << true;
    QTest::newRow("near miss") << QStringLiteral("Q-95 Turb") << QStringLiteral("03091") << false;
    QTest::newRow("other model keeps it") << QStringLiteral("Lumora") << QStringLiteral("000000") << true;
}

void TestRecognise::variantCodesSwitchCalLine()
{
    QFETCH(QString, model);
    QFETCH(QString, variant);
    QFETCH(bool, calLine);
    MeterIdentity id = meter("", "2.10");
    id.model = model;
    id.variant = variant;
    Rig rig(id);
    QCOMPARE(int(rig.recognise()), 0);
    QCOMPARE(rig.device().SupportsCalLine(QString()), calLine);
}

void TestRecognise::predicatesFollowOnlineFlag()
{
    {
        Rig rig(meter("Klaro 7 T", "2.42"));
        QCOMPARE(int(rig.recognise()), 0);
        CDevice &device = rig.device();
        QVERIFY(device.IsKlaro7(QString()));
        QVERIFY(!device.IsKlaro4(QString()));
        QVERIFY(device.SupportsTurbidity());
        QVERIFY(!device.SupportsPH());
        QCOMPARE(device.TableLayout(QString()).size(), 10);
        // A given name still answers for that name.
        QVERIFY(!device.IsKlaro7(QStringLiteral("Lumora")));
        QCOMPARE(device.TableLayout(QStringLiteral("Klaro 4 T")).size(), 7);
        // The user declines the recognised meter: the empty name no longer means it.
        device.setOnline(false);
        QVERIFY(!device.IsKlaro7(QString()));
        QVERIFY(!device.SupportsTurbidity());
        QCOMPARE(device.TableLayout(QString()).size(), 14);
        QCOMPARE(device.DeviceName(), QStringLiteral("Klaro 7 T"));
    }
    {
        Rig rig(meter("Lumora Turb", "1.90"));
        QCOMPARE(int(rig.recognise()), 0);
        CDevice &device = rig.device();
        QVERIFY(device.SupportsPH());
        QVERIFY(device.SupportsTurbidity());
        QVERIFY(!device.SupportsCalLine(QString()));
        device.setOnline(false);
        QVERIFY(!device.SupportsPH());
        QVERIFY(!device.SupportsTurbidity());
        QVERIFY(device.SupportsCalLine(QString()));
        QVERIFY(!device.SupportsCalLine(QStringLiteral("Lumora Turb")));
    }
    {
        Rig rig(meter("Q-95", "1.80"));
        QCOMPARE(int(rig.recognise()), 0);
        QVERIFY(rig.device().HasReducedUserMethods(QString()));
        QVERIFY(!rig.device().SupportsPH());
        QVERIFY(!rig.device().SupportsTurbidity());
    }
    {
        Rig rig(meter("DEVICENAME", "1.80"));
        QCOMPARE(int(rig.recognise()), 0);
        QVERIFY(rig.device().SupportsPH());
        QVERIFY(rig.device().SupportsTurbidity());
    }
}

void TestRecognise::failedScanKeepsEarlierIdentity()
{
    Rig rig(meter("Klaro 7 IR", "2.42"));
    QCOMPARE(int(rig.recognise()), 0);
    rig.sim->close(); // unplugged: port 1 has no device any more
    ErrorRecorder errors;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(int(rig.recognise()), -1);
    qInfo("failed search without ports in %lld ms", timer.elapsed());
    QCOMPARE(rig.name, QString());
    QCOMPARE(rig.serial, QString());
    QVERIFY(!rig.device().Online());
    QCOMPARE(rig.device().DeviceName(), QStringLiteral("Klaro 7 IR"));
    QCOMPARE(rig.device().SerialNumber(), QStringLiteral("SN-4711"));
    QCOMPARE(rig.shared.communication->COMPort(), 0);
    QCOMPARE(rig.shared.communication->Baudrate(), QString());
    // Offline the remembered Klaro 7 does not count for the empty name.
    QVERIFY(!rig.device().IsKlaro7(QString()));
    QVERIFY(rig.device().IsKlaro7(QStringLiteral("Klaro 7 T")));
}

QTEST_GUILESS_MAIN(TestRecognise)
#include "tst_recognise.moc"
