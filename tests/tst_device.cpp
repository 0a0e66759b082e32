// CDevice without a meter: answer payloads, version texts, the model predicates offline, table layouts.
#include "CDevice.h"
#include "SharedObjects.h"
#include "TestSupport.h"

#include <QTest>

namespace {

const QString kOK = QStringLiteral("\r\n!\r\n>");
const QString kRejected = QStringLiteral("\r\n?\r\n>");

struct Layout {
    QStringList headers;
    QList<qint16> widths;
    QList<qint32> types;
};

const Layout &klaro4Layout()
{
    static const Layout layout = {{QStringLiteral("No."), QStringLiteral("Date"), QStringLiteral("Time"),
                                   QStringLiteral("ID"), QStringLiteral("Value"), QStringLiteral("Unit"),
                                   QStringLiteral("Status")},
                                  {500, 800, 800, 500, 800, 1000, 800},
                                  {0, 2, 2, 0, 1, 2, 2}};
    return layout;
}

const Layout &klaro7Layout()
{
    static const Layout layout = [] {
        Layout l = klaro4Layout();
        l.headers << QStringLiteral("AQA/Cal") << QStringLiteral("Date cal.") << QStringLiteral("Time cal.");
        l.widths << 1600 << 1000 << 800;
        l.types << 2 << 2 << 2;
        return l;
    }();
    return layout;
}

const Layout &fullLayout()
{
    static const Layout layout = {
        {QStringLiteral("No."), QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("ID"),
         QStringLiteral("PROG"), QStringLiteral("Cit."), QStringLiteral("AR/BV/Cal"), QStringLiteral("Dil."),
         QStringLiteral("Value 1"), QStringLiteral("Unit 1"), QStringLiteral("Status 1"),
         QStringLiteral("Value 2"), QStringLiteral("Unit 2"), QStringLiteral("Status 2")},
        {500, 800, 800, 500, 800, 1000, 1000, 800, 800, 1000, 800, 800, 1000, 800},
        {0, 2, 2, 0, 0, 2, 2, 2, 1, 2, 2, 1, 2, 2}};
    return layout;
}

// Caller arrays filled with values no layout uses, so untouched elements show.
void fillSentinels(QStringList &headers, QList<qint16> &widths, QList<qint32> &types, int size)
{
    headers.clear();
    widths.clear();
    types.clear();
    for (int i = 0; i < size; ++i) {
        headers << QStringLiteral("keep%1").arg(i);
        widths << qint16(-1 - i);
        types << -7;
    }
}

} // namespace

class TestDevice : public QObject {
    Q_OBJECT
private slots:
    void stripAnswerKeepsInnerLines();
    void stripAnswerFailures();
    void firmwareVersions_data();
    void firmwareVersions();
    void modelTableOffline_data();
    void modelTableOffline();
    void namesAreComparedExactly();
    void emptyNameAnswersForRecognisedMeterOnly();
    void tooSmallArraysYieldNothing();
    void layoutsHaveTheirColumns_data();
    void layoutsHaveTheirColumns();
};

void TestDevice::stripAnswerKeepsInnerLines()
{
    ErrorRecorder errors;
    QString payload;
    QVERIFY(CDevice::StripAnswer(QStringLiteral("\r\nLumora Turb") + kOK, payload));
    QCOMPARE(payload, QStringLiteral("Lumora Turb"));
    QVERIFY(CDevice::StripAnswer(QStringLiteral("\r\n1;a\r\n2;b\r\n") + kOK, payload));
    QCOMPARE(payload, QStringLiteral("1;a\r\n2;b\r\n"));
    // The first two characters are dropped whatever they are.
    QVERIFY(CDevice::StripAnswer(QStringLiteral("xy2.42") + kOK, payload));
    QCOMPARE(payload, QStringLiteral("2.42"));
    // Eight characters: an empty payload, still an accepted answer.
    QVERIFY(CDevice::StripAnswer(QStringLiteral("\r\n") + kOK, payload));
    QCOMPARE(payload, QString());
    QVERIFY(errors.reports.isEmpty());
}

void TestDevice::stripAnswerFailures()
{
    ErrorRecorder errors;
    QString payload = QStringLiteral("stale");
    QVERIFY(!CDevice::StripAnswer(kRejected, payload));
    QCOMPARE(payload, QString());
    QVERIFY(!CDevice::StripAnswer(QStringLiteral("\r\n1.60") + kRejected, payload));
    QVERIFY(!CDevice::StripAnswer(QStringLiteral("\r\n1.60\r\n!\r\n"), payload)); // end marker incomplete
    QVERIFY(!CDevice::StripAnswer(QString(), payload));
    QVERIFY(!CDevice::StripAnswer(QStringLiteral("ab"), payload));
    QVERIFY(errors.reports.isEmpty()); // a rejected or unfinished answer is an expected failure

    // Ending in the accepted marker but too short to hold the opening CR LF: reported.
    payload = QStringLiteral("stale");
    QVERIFY(!CDevice::StripAnswer(kOK, payload));
    QCOMPARE(payload, QString());
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY(!CDevice::StripAnswer(QStringLiteral("x") + kOK, payload));
    QCOMPARE(errors.reports.size(), 2);
    QVERIFY(!errors.reports.first().isEmpty());
}

void TestDevice::firmwareVersions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("version");
    QTest::newRow("1.60") << QStringLiteral("1.60") << true << 160;
    QTest::newRow("1.59") << QStringLiteral("1.59") << true << 159;
    QTest::newRow("2.42") << QStringLiteral("2.42") << true << 242;
    QTest::newRow("2.00") << QStringLiteral("2.00") << true << 200;
    // The minor part is a whole number, not a fraction.
    QTest::newRow("1.06") << QStringLiteral("1.06") << true << 106;
    QTest::newRow("blank 1.6") << QStringLiteral(" 1.6") << true << 106;
    QTest::newRow("1.6 blank") << QStringLiteral("1.6 ") << true << 106;
    QTest::newRow("inner blanks") << QStringLiteral(" 2 . 4 2") << true << 242;
    QTest::newRow("line end") << QStringLiteral("1.80\r\n") << true << 180;
    QTest::newRow("second dot") << QStringLiteral("1.80.5") << true << 180; // 80.5 rounds half to even
    QTest::newRow("letters") << QStringLiteral("1.8x1") << true << 108;
    QTest::newRow("largest") << QStringLiteral("327.67") << true << 32767;
    QTest::newRow("no dot") << QStringLiteral("1600") << false << 0;
    QTest::newRow("leading dot") << QStringLiteral(".160") << false << 0;
    QTest::newRow("trailing dot") << QStringLiteral("160.") << false << 0;
    QTest::newRow("three characters") << QStringLiteral("1.6") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("sum overflows") << QStringLiteral("327.68") << false << 0;
    QTest::newRow("major overflows") << QStringLiteral("99999.1") << false << 0;
    QTest::newRow("minor overflows") << QStringLiteral("1.99999") << false << 0;
    QTest::newRow("exponent") << QStringLiteral("1e400.1") << false << 0;
}

void TestDevice::firmwareVersions()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, version);
    ErrorRecorder errors;
    qint16 parsed = -123;
    QCOMPARE(CDevice::ParseFirmwareVersion(text, parsed), ok);
    if (ok)
        QCOMPARE(int(parsed), version);
    QVERIFY(errors.reports.isEmpty());
}

void TestDevice::modelTableOffline_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("klaro7Edition");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<bool>("klaro4");
    QTest::addColumn<bool>("klaro7");
    QTest::addColumn<bool>("reduced");
    QTest::addColumn<bool>("calLine");
    const struct {
        const char *name;
        bool klaro7Edition;
        int minimum;
        bool klaro4, klaro7, reduced, calLine;
    } rows[] = {
        {"Lumora", false, 180, false, false, false, true},
        {"Lumora pH", false, 180, false, false, false, true},
        {"Lumora Turb", false, 180, false, false, false, false},
        {"Lumora STD", false, 180, false, false, true, true},
        {"Q-95", false, 180, false, false, true, true},
        {"Q-95 Pro", false, 180, false, false, false, true},
        {"Q-95 Turb", false, 180, false, false, false, false},
        {"DEVICENAME", false, 180, false, false, false, true},
        {"Klaro 4 IR", false, 160, true, false, false, true},
        {"Klaro 4 T", false, 160, true, false, false, true},
        {"Klaro 7 IR", true, 242, false, true, false, true},
        {"Klaro 7 T", true, 242, false, true, false, true},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << r.klaro7Edition << r.minimum << r.klaro4
                              << r.klaro7 << r.reduced << r.calLine;
}

void TestDevice::modelTableOffline()
{
    QFETCH(QString, name);
    QFETCH(bool, klaro7Edition);
    QFETCH(int, minimum);
    QFETCH(bool, klaro4);
    QFETCH(bool, klaro7);
    QFETCH(bool, reduced);
    QFETCH(bool, calLine);
    SharedObjects shared;
    const CDevice &device = *shared.device;
    QVERIFY(!device.Online());
    QVERIFY(CDevice::IsKnownModel(name, false));
    QCOMPARE(CDevice::IsKnownModel(name, true), klaro7Edition);
    QCOMPARE(CDevice::MinimumFirmware(name), minimum);
    // A name given by the caller is answered for offline too (data from files).
    QCOMPARE(device.IsKlaro4(name), klaro4);
    QCOMPARE(device.IsKlaro7(name), klaro7);
    QCOMPARE(device.HasReducedUserMethods(name), reduced);
    QCOMPARE(device.SupportsCalLine(name), calLine);
}

void TestDevice::namesAreComparedExactly()
{
    SharedObjects shared;
    const CDevice &device = *shared.device;
    for (const QString &name :
         {QStringLiteral("klaro 7 T"), QStringLiteral("Klaro 7 T "), QStringLiteral(" Klaro 7 T"),
          QStringLiteral("Klaro 7"), QStringLiteral("Klaro 7 t")}) {
        QVERIFY2(!device.IsKlaro7(name), qPrintable(name));
        QVERIFY2(!CDevice::IsKnownModel(name, false), qPrintable(name));
        QVERIFY2(!CDevice::IsKnownModel(name, true), qPrintable(name));
    }
    QVERIFY(!device.IsKlaro4(QStringLiteral("KLARO 4 T")));
    QVERIFY(!device.HasReducedUserMethods(QStringLiteral("q-95")));
    // Only the exact turbidity photometer names lack standard adjustment.
    QVERIFY(device.SupportsCalLine(QStringLiteral("lumora turb")));
    QVERIFY(device.SupportsCalLine(QStringLiteral("Lumora Turb ")));
    QVERIFY(!CDevice::IsKnownModel(QStringLiteral("Lumora Turb "), false));
    QVERIFY(!CDevice::IsKnownModel(QStringLiteral("LUMORA TURB"), false));
    QVERIFY(!CDevice::IsKnownModel(QString(), false));
}

void TestDevice::emptyNameAnswersForRecognisedMeterOnly()
{
    SharedObjects shared;
    CDevice &device = *shared.device;
    QVERIFY(!device.IsKlaro4(QString()));
    QVERIFY(!device.IsKlaro7(QString()));
    QVERIFY(!device.HasReducedUserMethods(QString()));
    QVERIFY(device.SupportsCalLine(QString()));
    QVERIFY(!device.SupportsPH());
    QVERIFY(!device.SupportsTurbidity());
    // Online without a recognised name (never identified): still nothing.
    device.setOnline(true);
    QVERIFY(!device.IsKlaro7(QString()));
    QVERIFY(device.SupportsCalLine(QString()));
    QVERIFY(!device.SupportsPH());
    QVERIFY(!device.SupportsTurbidity());
    // A given name wins over the online state.
    QVERIFY(device.IsKlaro7(QStringLiteral("Klaro 7 IR")));
}

void TestDevice::tooSmallArraysYieldNothing()
{
    SharedObjects shared;
    const CDevice &device = *shared.device;
    QStringList headers;
    QList<qint16> widths;
    QList<qint32> types;
    for (int which = 0; which < 3; ++which) {
        fillSentinels(headers, widths, types, 14);
        // One of the three arrays has only 13 elements.
        if (which == 0)
            headers.removeLast();
        else if (which == 1)
            widths.removeLast();
        else
            types.removeLast();
        const QStringList headersBefore = headers;
        const QList<qint16> widthsBefore = widths;
        const QList<qint32> typesBefore = types;
        QCOMPARE(device.GetTableConfig(headers, widths, types, QStringLiteral("Klaro 4 T")), qint16(0));
        QCOMPARE(headers, headersBefore);
        QCOMPARE(widths, widthsBefore);
        QCOMPARE(types, typesBefore);
    }
    fillSentinels(headers, widths, types, 0);
    QCOMPARE(device.GetTableConfig(headers, widths, types, QString()), qint16(0));
    QVERIFY(headers.isEmpty());
}

void TestDevice::layoutsHaveTheirColumns_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("columns");
    QTest::newRow("Klaro 4 T, 14") << QStringLiteral("Klaro 4 T") << 14 << 7;
    QTest::newRow("Klaro 4 IR, 20") << QStringLiteral("Klaro 4 IR") << 20 << 7;
    QTest::newRow("Klaro 7 T offline, 14") << QStringLiteral("Klaro 7 T") << 14 << 10;
    QTest::newRow("Klaro 7 IR, 16") << QStringLiteral("Klaro 7 IR") << 16 << 10;
    QTest::newRow("Lumora pH, 14") << QStringLiteral("Lumora pH") << 14 << 14;
    QTest::newRow("Q-95 Turb, 15") << QStringLiteral("Q-95 Turb") << 15 << 14;
    QTest::newRow("empty offline") << QString() << 14 << 14;
    QTest::newRow("unknown name") << QStringLiteral("klaro 7 T") << 14 << 14;
}

void TestDevice::layoutsHaveTheirColumns()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(int, columns);
    SharedObjects shared;
    const CDevice &device = *shared.device;
    ErrorRecorder errors;

    const Layout &expected = columns == 7 ? klaro4Layout() : columns == 10 ? klaro7Layout() : fullLayout();
    QCOMPARE(expected.headers.size(), columns);

    const QList<TableColumn> layout = device.TableLayout(name);
    QCOMPARE(layout.size(), columns);
    for (int i = 0; i < columns; ++i) {
        QCOMPARE(layout[i].header, expected.headers[i]);
        QCOMPARE(layout[i].width, expected.widths[i]);
        QCOMPARE(layout[i].valueType, expected.types[i]);
    }

    QStringList headers;
    QList<qint16> widths;
    QList<qint32> types;
    fillSentinels(headers, widths, types, size);
    QCOMPARE(int(device.GetTableConfig(headers, widths, types, name)), columns);
    QCOMPARE(headers.size(), size);
    QCOMPARE(widths.size(), size);
    QCOMPARE(types.size(), size);
    QCOMPARE(headers.mid(0, columns), expected.headers);
    QCOMPARE(widths.mid(0, columns), expected.widths);
    QCOMPARE(types.mid(0, columns), expected.types);
    for (int i = columns; i < size; ++i) {
        QCOMPARE(headers[i], QStringLiteral("keep%1").arg(i));
        QCOMPARE(widths[i], qint16(-1 - i));
        QCOMPARE(types[i], -7);
    }
    QVERIFY(errors.reports.isEmpty());
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
