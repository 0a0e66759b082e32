// The text table: the original numbering with its gaps, exact texts, unknown numbers, extension texts.
#include "TestSupport.h"
#include "TextTable.h"

#include <QTest>

class TestTextTable : public QObject {
    Q_OBJECT
private slots:
    void originalTableHasItsNumbersAndGaps();
    void textsAreStoredExactly_data();
    void textsAreStoredExactly();
    void unknownNumberGivesEmptyTextAndReports();
    void extensionTextsFollowTheOriginalTable();
};

void TestTextTable::originalTableHasItsNumbersAndGaps()
{
    const QList<int> gaps = {1017, 1027, 1029, 1030, 1032, 1034, 1035, 1053, 1056, 1057,
                             1087, 1089, 1090, 1091, 1093, 1101, 1116, 1118, 1140, 1163};
    QList<int> expected;
    for (int n = 1000; n <= 1245; ++n) {
        if (!gaps.contains(n))
            expected.append(n);
    }
    QCOMPARE(expected.size(), 226);
    QCOMPARE(TextTable::originalNumbers(), expected);

    ErrorRecorder errors;
    for (int n : expected) {
        QString text;
        QVERIFY2(TextTable::lookup(n, &text), qPrintable(QString::number(n)));
        QVERIFY2(!text.isEmpty(), qPrintable(QString::number(n)));
    }
    for (int n : gaps)
        QVERIFY2(!TextTable::lookup(n, nullptr), qPrintable(QString::number(n)));
    QVERIFY(!TextTable::lookup(999, nullptr));
    QVERIFY(!TextTable::lookup(1246, nullptr));
    QVERIFY(errors.reports.isEmpty());
}

void TestTextTable::textsAreStoredExactly_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    const struct {
        int number;
        const char *text;
    } rows[] = {
        {1000, "&File"},
        {1005, "Save &As..."},
        {1006, "Page Set&up..."},
        {1009, "E&xit"},
        {1019, "&About "}, // the trailing blank belongs to the text
        {1022, "Save"},
        {1004, "&Save"},
        {1033, "Error"},
        {1037, "No."},
        {1041, "AR/BV/Cal"},
        {1060, "No Lumora, Lumora Turb or Klaro 4 recognized!"},
        {1061, "recognized!"},
        {1062, "offline"},
        {1083, "Slope:"},
        {1133, "Slope"},
        {1225, "Slope:"},
        {1067, "Status"},
        {1237, "Status"},
        {1114, "Please enter a number in the range 900 - 999!"},
        {1165, "Copy --->"},
        {1166, "<--- Copy"},
        {1167, "<--- Copy all"},
        {1168, "Copy all --->"},
        {1201, "The software version of the meter is too low!"},
        {1202, "Please update the firmware!"},
        {1212, "The measuring range of the Lumora meter (-0.2 A ... 2.0 A) is exceeded!"},
        {1215, "MeravoHlp_e.chm"},
        {1217, "&pH"},
        {1241, "AQA/Cal"},
        {1244, "ClarixHlp_e.chm"},
        {1245, "No Klaro 7 recognized!"},
    };
    for (const auto &row : rows)
        QTest::addRow("%d", row.number) << row.number << QString::fromLatin1(row.text);
}

void TestTextTable::textsAreStoredExactly()
{
    QFETCH(int, number);
    QFETCH(QString, text);
    ErrorRecorder errors;
    QCOMPARE(TextTable::text(number), text);
    QVERIFY(errors.reports.isEmpty());
}

void TestTextTable::unknownNumberGivesEmptyTextAndReports()
{
    ErrorRecorder errors;
    QCOMPARE(TextTable::text(1017), QString());
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY2(errors.reports.first().contains(QStringLiteral("1017")), qPrintable(errors.reports.first()));
    QCOMPARE(TextTable::text(-1), QString());
    QCOMPARE(TextTable::text(0), QString());
    QCOMPARE(errors.reports.size(), 3);

    QString untouched = QStringLiteral("kept");
    QVERIFY(!TextTable::lookup(1999, &untouched));
    QCOMPARE(untouched, QStringLiteral("kept"));
}

void TestTextTable::extensionTextsFollowTheOriginalTable()
{
    const QList<int> numbers = TextTable::extensionNumbers();
    QVERIFY(!numbers.isEmpty());
    const QList<int> original = TextTable::originalNumbers();
    ErrorRecorder errors;
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        const int n = numbers[i];
        QVERIFY2(n >= 2000, qPrintable(QString::number(n)));
        if (i > 0)
            QVERIFY2(n > numbers[i - 1], "extension numbers ascend without duplicates");
        QVERIFY(!original.contains(n));
        QString text;
        QVERIFY2(TextTable::lookup(n, &text), qPrintable(QString::number(n)));
        QVERIFY2(!text.isEmpty(), qPrintable(QString::number(n)));
        QCOMPARE(TextTable::text(n), text);
    }
    // The numbers the core refers to by name resolve.
    for (int n :
         {int(TextTable::PortNoPermission), int(TextTable::PortJoinGroup), int(TextTable::PortInUse),
          int(TextTable::PortVanished), int(TextTable::PortOpenFailed), int(TextTable::AnswerTooShort),
          int(TextTable::LinkLost), int(TextTable::AnswerTooLong), int(TextTable::UnknownTextNumber)})
        QVERIFY2(numbers.contains(n), qPrintable(QString::number(n)));
    QVERIFY(errors.reports.isEmpty());
}

QTEST_GUILESS_MAIN(TestTextTable)
#include "tst_texttable.moc"
