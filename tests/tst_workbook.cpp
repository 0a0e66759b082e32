// The workbook export, read back by an independent spreadsheet program and compared cell by cell with
// the BIFF2 export of the same values; and the file rules it shares with every other write.
#include "CExportExcel.h"
#include "SharedObjects.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <cstring>

namespace {

const QDateTime kImport(QDate(2026, 3, 7), QTime(14, 30, 5));

QString rawText(const QStringList &records)
{
    QString text = QStringLiteral("\r\n");
    for (const QString &record : records)
        text += record + QStringLiteral("\r\n");
    return text + QStringLiteral("!\r\n>");
}

MeasuredValues document(const QString &meter, const QStringList &records)
{
    return {meter, QStringLiteral("S-\u00b04711"), QStringLiteral("M\u00fcller"), kImport, rawText(records)};
}

// Converts the files to UTF-8 CSV in one run of the spreadsheet program; its text per file name.
QHash<QString, QString> readBack(const QString &soffice, const QTemporaryDir &dir, const QStringList &files)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")); // numbers in its CSV follow its locale
    process.setProcessEnvironment(env);
    const QString out = dir.filePath(QStringLiteral("csv"));
    process.start(soffice,
                  QStringList{QStringLiteral("-env:UserInstallation=file://") + dir.filePath("profile"),
                              QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                              QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                              QStringLiteral("--outdir"), out} +
                      files);
    if (!process.waitForFinished(240000) || process.exitCode() != 0)
        return {};
    QHash<QString, QString> texts;
    for (const QString &file : files) {
        const QString csv = QDir(out).filePath(QFileInfo(file).completeBaseName() + QStringLiteral(".csv"));
        if (QFile::exists(csv))
            texts.insert(QFileInfo(file).fileName(), QString::fromUtf8(readBytes(csv)));
    }
    return texts;
}

QString findSoffice()
{
    return QStandardPaths::findExecutable(QStringLiteral("soffice"));
}

} // namespace

class TestWorkbook : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sameCellsAsSheet();
    void moreDatasetsThanASheetHolds();
    void fileRules_data();
    void fileRules();
};

void TestWorkbook::initTestCase()
{
    // The header block uses the locale's date and time formats.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestWorkbook::sameCellsAsSheet()
{
    const QString soffice = findSoffice();
    if (soffice.isEmpty())
        QSKIP("soffice is not installed (scripts/setup.sh installs libreoffice-calc-nogui)");
    struct Case {
        const char *name;
        QString meter;
        QStringList records;
        QStringList expected; // lines the read-back CSV must hold
    };
    const QList<Case> cases = {
        {"texts and units",
         QStringLiteral("Lumora"),
         {QStringLiteral("1;07.03.26;14:01;0;900;;;1:1;1.23;\u00b5S/cm;OK;---;\u00b0C;OK"),
          QStringLiteral("2;07.03.26;14:02;12;M\u00fcller;C;B;;25,4;mg/l;<;;;")},
         {QStringLiteral("1,07.03.26,14:01,0,900,,,1:1,1.23,\u00b5S/cm,OK,0,\u00b0C,OK")}},
        {"negative, exponent and large numbers",
         QStringLiteral("Lumora"),
         {QStringLiteral("40000;d;t;-7;1;;;;-1.5e-3;u;;1E5;u;"),
          QStringLiteral("70000;d;t;123456;2;;;;-0.5e1x;u;;-0;u;")},
         {QStringLiteral("40000,d,t,-7,1,,,,-0.0015,u,,100000,u,"),
          QStringLiteral("70000,d,t,123456,2,,,,-5,u,,0,u,")}},
        {"empty cells and a short model",
         QStringLiteral("Klaro 7 T"),
         {QStringLiteral("1;;;;;;;;;"), QStringLiteral("2;d;t;;0.5;NTU;;;;")},
         {QStringLiteral("1,,,,,,,,,"), QStringLiteral("2,d,t,,0.5,NTU,,,,")}},
    };
    QTemporaryDir dir;
    SharedObjects shared;
    QStringList files;
    for (const Case &c : cases) {
        for (const char *extension : {".xls", ".xlsx"}) {
            const QString path =
                dir.filePath(QString::fromLatin1(c.name).replace(u' ', u'_') + QLatin1String(extension));
            ErrorRecorder errors; // the cells that are no whole numbers are told, in both formats alike
            QVERIFY2(shared.exportExcel->SetMVals(document(c.meter, c.records), path), c.name);
            files << path;
        }
    }
    const QHash<QString, QString> csv = readBack(soffice, dir, files);
    for (const Case &c : cases) {
        const QString base = QString::fromLatin1(c.name).replace(u' ', u'_');
        const QString sheet = csv.value(base + QStringLiteral(".xls"));
        const QString workbook = csv.value(base + QStringLiteral(".xlsx"));
        QVERIFY2(!workbook.isEmpty(), c.name);
        QCOMPARE(workbook, sheet);
        QVERIFY2(workbook.contains(QStringLiteral("User: M\u00fcller")), qPrintable(workbook));
        QVERIFY2(workbook.contains(QStringLiteral("S/N: S-\u00b04711")), qPrintable(workbook));
        for (const QString &line : c.expected)
            QVERIFY2(workbook.contains(line + u'\n'), qPrintable(c.name + (u'\n' + workbook)));
    }
}

void TestWorkbook::moreDatasetsThanASheetHolds()
{
    const int count = 70000;
    QStringList records;
    records.reserve(count);
    for (int k = 1; k <= count; ++k)
        records << QStringLiteral("%1;d;t;%2;;;;;%3.25;mg/l;;;;").arg(k).arg(k % 997).arg(-k);
    QTemporaryDir dir;
    SharedObjects shared;
    {
        ErrorRecorder errors;
        QVERIFY(!shared.exportExcel->SetMVals(document(QStringLiteral("Lumora"), records),
                                              dir.filePath(QStringLiteral("big.xls"))));
        QCOMPARE(errors.reports.size(), 1);
        QVERIFY2(errors.reports[0].contains(QStringLiteral(".xlsx")), qPrintable(errors.reports[0]));
    }
    const QString path = dir.filePath(QStringLiteral("big.xlsx"));
    QVERIFY(shared.exportExcel->SetMVals(document(QStringLiteral("Lumora"), records), path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("big.xlsx")});
    const QString soffice = findSoffice();
    if (soffice.isEmpty())
        QSKIP("soffice is not installed (scripts/setup.sh installs libreoffice-calc-nogui)");
    const QStringList lines = readBack(soffice, dir, {path}).value(QStringLiteral("big.xlsx")).split(u'\n');
    QCOMPARE(lines.size(), 8 + count + 1); // the last line ends too
    QCOMPARE(lines[8], QStringLiteral("1,d,t,1,,,,,-1.25,mg/l,,,,"));
    QCOMPARE(lines[8 + count - 1], QStringLiteral("70000,d,t,210,,,,,-70000.25,mg/l,,,,"));
}

void TestWorkbook::fileRules_data()
{
    QTest::addColumn<QString>("setup");   // shell commands in the folder; out.xlsx is the target
    QTest::addColumn<QString>("written"); // the file that then holds the workbook, empty when refused
    QTest::addColumn<QString>("reason");
    QTest::newRow("new file") << ""
                              << "out.xlsx"
                              << "";
    QTest::newRow("replaced, permissions kept") << "echo old > out.xlsx; chmod 640 out.xlsx"
                                                << "out.xlsx"
                                                << "";
    QTest::newRow("through a link") << "echo old > real; ln -s real out.xlsx"
                                    << "real"
                                    << "";
    QTest::newRow("read-only") << "echo old > out.xlsx; chmod 444 out.xlsx"
                               << "" << TextTable::text(TextTable::ReadOnlyFile);
    QTest::newRow("a folder") << "mkdir out.xlsx"
                              << "" << TextTable::text(TextTable::NotRegularFile);
    QTest::newRow("no such folder") << "ln -s missing/x out.xlsx"
                                    << "" << QString::fromLocal8Bit(std::strerror(ENOENT));
}

void TestWorkbook::fileRules()
{
    QFETCH(QString, setup);
    QFETCH(QString, written);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QCOMPARE(QProcess::execute(
                 QStringLiteral("/bin/sh"),
                 {"-c", "cd \"$0\" && " + (setup.isEmpty() ? QStringLiteral("true") : setup), dir.path()}),
             0);
    const QDir folder(dir.path());
    const auto listing = [&folder] {
        QStringList entries;
        for (const QFileInfo &info :
             folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            entries << info.fileName() + u' ' + QString::number(info.size()) + u' ' +
                           QString::number(int(info.permissions()), 16);
        return entries;
    };
    const QStringList before = listing();
    const QString target = folder.filePath(QStringLiteral("out.xlsx"));
    const QFile::Permissions permissions = QFileInfo(target).permissions();
    SharedObjects shared;
    ErrorRecorder errors;
    const bool ok = shared.exportExcel->SetMVals(
        document(QStringLiteral("Lumora"), {QStringLiteral("1;d;t;0;1;;;;2.5;u;;;;")}), target);
    QCOMPARE(ok, !written.isEmpty());
    if (ok) {
        QVERIFY(errors.reports.isEmpty());
        QVERIFY(readBytes(folder.filePath(written)).startsWith("PK"));
        if (QFileInfo(target).isSymLink())
            QCOMPARE(QFileInfo(target).symLinkTarget(), folder.filePath(written));
        else if (before.size() == 1)
            QCOMPARE(QFileInfo(target).permissions(), permissions);
        // Nothing else is left behind.
        QCOMPARE(listing().size(), std::max<qsizetype>(1, before.size()));
        return;
    }
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY2(errors.reports[0].contains(reason), qPrintable(errors.reports[0]));
    QCOMPARE(listing(), before);
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
