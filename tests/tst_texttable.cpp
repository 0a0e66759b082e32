// The text table: the original numbering with its gaps, exact texts, unknown numbers, extension texts,
// and the tables of the other languages against the English one.
#include "TestSupport.h"
#include "TextTable.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

class TestTextTable : public QObject {
    Q_OBJECT
private slots:
    void originalTableHasItsNumbersAndGaps();
    void textsAreStoredExactly();
    void unknownNumberGivesEmptyTextAndReports();
    void extensionTextsFollowTheOriginalTable();
    void everyLanguageHasEveryNumberWithItsMarkers_data();
    void everyLanguageHasEveryNumberWithItsMarkers();
    void languageIsChosenFromSettingThenSystem_data();
    void languageIsChosenFromSettingThenSystem();
    void chosenLanguageGivesItsTextsAndFilesKeepEnglish();
    void cleanup() { TextTable::setLanguage(QStringLiteral("en")); }
};

namespace {

// What a translation must keep: the access-key markers ("&&" is a plain ampersand) and the placeholders.
struct Markers {
    int accessKeys = 0;
    QStringList placeholders;
    bool operator==(const Markers &other) const
    {
        return accessKeys == other.accessKeys && placeholders == other.placeholders;
    }
};

Markers markersOf(const QString &text)
{
    Markers m;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (i + 1 < text.size() && text[i + 1] == u'&')
            ++i;
        else
            ++m.accessKeys;
    }
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        m.placeholders << it.next().captured();
    m.placeholders.sort();
    m.placeholders.removeDuplicates();
    return m;
}

} // namespace

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

// The whole original table against its listing (tests/data/original-texts.txt), in one comparison: a
// text changed by a blank, a colon or an access key shows as the one line that differs.
void TestTextTable::textsAreStoredExactly()
{
    QFile listing(QStringLiteral(MERAVO_TEST_DATA "/original-texts.txt"));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    QStringList expected;
    for (const QString &line : QString::fromUtf8(listing.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith(u'#'))
            expected << line;
    }
    ErrorRecorder errors;
    QStringList stored;
    for (int number : TextTable::originalNumbers())
        stored << QString::number(number) + u'\t' + TextTable::text(number);
    QCOMPARE(stored.size(), 226);
    QCOMPARE(stored, expected);
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

void TestTextTable::everyLanguageHasEveryNumberWithItsMarkers_data()
{
    QTest::addColumn<QString>("language");
    const QStringList languages = TextTable::languages();
    QCOMPARE(languages.first(), QStringLiteral("en"));
    for (const QString &language : languages.mid(1))
        QTest::newRow(qPrintable(language)) << language;
}

void TestTextTable::everyLanguageHasEveryNumberWithItsMarkers()
{
    QFETCH(QString, language);
    QList<int> english = TextTable::originalNumbers() + TextTable::extensionNumbers();
    std::sort(english.begin(), english.end());
    QCOMPARE(TextTable::numbersIn(QStringLiteral("en")), english);
    const QList<int> numbers = TextTable::numbersIn(language);
    QStringList faults;
    for (int n : english)
        if (!numbers.contains(n))
            faults << QStringLiteral("%1 missing").arg(n);
    for (qsizetype i = 0; i < numbers.size(); ++i)
        if (!english.contains(numbers[i]) || (i > 0 && numbers[i] == numbers[i - 1]))
            faults << QStringLiteral("%1 not in English or twice").arg(numbers[i]);
    for (int n : numbers) {
        QString own;
        QString original;
        TextTable::lookupIn(language, n, &own);
        TextTable::lookupIn(QStringLiteral("en"), n, &original);
        if (own.trimmed().isEmpty())
            faults << QStringLiteral("%1 empty").arg(n);
        if (!(markersOf(own) == markersOf(original)))
            faults << QStringLiteral("%1 '&' or placeholders differ: \"%2\"").arg(n).arg(own);
    }
    // The help files' names are file names, the same in every language.
    for (int n : {TextTable::HelpFileMain, TextTable::HelpFileClarix}) {
        QString own;
        TextTable::lookupIn(language, n, &own);
        if (own != TextTable::english(n))
            faults << QStringLiteral("%1 is not the file name").arg(n);
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
}

void TestTextTable::languageIsChosenFromSettingThenSystem_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("setting") << "de"
                             << "en_US"
                             << "de";
    QTest::newRow("setting blanks and case") << " FR "
                                             << "de_DE"
                                             << "fr";
    QTest::newRow("setting English over system") << "en"
                                                 << "de_DE"
                                                 << "en";
    QTest::newRow("system") << ""
                            << "es_ES"
                            << "es";
    QTest::newRow("system with encoding") << ""
                                          << "de_AT.UTF-8"
                                          << "de";
    QTest::newRow("system with dash") << ""
                                      << "fr-CA"
                                      << "fr";
    QTest::newRow("unknown setting") << "it"
                                     << "es_MX"
                                     << "es";
    QTest::newRow("unknown system") << ""
                                    << "pt_BR"
                                    << "en";
    QTest::newRow("C locale") << ""
                              << "C"
                              << "en";
    QTest::newRow("nothing") << ""
                             << ""
                             << "en";
}

void TestTextTable::languageIsChosenFromSettingThenSystem()
{
    QFETCH(QString, configured);
    QFETCH(QString, system);
    QFETCH(QString, chosen);
    QCOMPARE(TextTable::chooseLanguage(configured, system), chosen);
}

void TestTextTable::chosenLanguageGivesItsTextsAndFilesKeepEnglish()
{
    ErrorRecorder errors;
    for (const QString &language : TextTable::languages()) {
        TextTable::setLanguage(language);
        QCOMPARE(TextTable::language(), language);
        for (int n : {1000, 1228, int(TextTable::PortInUse)}) {
            QString own;
            QVERIFY(TextTable::lookupIn(language, n, &own));
            QCOMPARE(TextTable::text(n), own);
            QString shown;
            QVERIFY(TextTable::lookup(n, &shown));
            QCOMPARE(shown, own);
            QString original;
            QVERIFY(TextTable::lookupIn(QStringLiteral("en"), n, &original));
            QCOMPARE(TextTable::english(n), original);
        }
    }
    QVERIFY(errors.reports.isEmpty());
    TextTable::setLanguage(QStringLiteral("xx"));
    QCOMPARE(TextTable::language(), QStringLiteral("en"));
}

QTEST_GUILESS_MAIN(TestTextTable)
#include "tst_texttable.moc"
