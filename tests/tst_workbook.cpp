// The workbook export, read back by an independent spreadsheet program and compared cell by cell with
// the BIFF2 export of the same values; and the file rules it shares with every other write.
#include "CExportExcel.h"
#include "SharedObjects.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

namespace {

MeasuredValues document(const QString &meter, const QStringList &records)
{
    return {meter, QStringLiteral("S-\u00b04711"), QStringLiteral("M\u00fcller"),
            QDateTime(QDate(2026, 3, 7), QTime(14, 30, 5)),
            QStringLiteral("\r\n") + records.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n!\r\n>")};
}

// The files as UTF-8 CSV, converted in one run of the spreadsheet program (empty without one).
QStringList readBack(const QTemporaryDir &dir, const QStringList &files)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        return {};
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")); // numbers in its CSV follow its locale
    process.setProcessEnvironment(env);
    process.start(soffice,
                  QStringList{QStringLiteral("-env:UserInstallation=file://") + dir.filePath("profile"),
                              QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                              QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                              QStringLiteral("--outdir"), dir.filePath("csv")} +
                      files);
    process.waitForFinished(240000);
    QStringList texts;
    for (const QString &file : files)
        texts << QString::fromUtf8(
            readBytes(dir.filePath("csv/") + QFileInfo(file).completeBaseName() + ".csv"));
    return texts;
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
    ::umask(022); // a new file's permissions follow it
}

void TestWorkbook::sameCellsAsSheet()
{
    const struct {
        QString meter;
        QStringList records;
        QString expected; // lines the read-back CSV holds
    } cases[] = {
        {QStringLiteral("Lumora"),
         {QStringLiteral("1;07.03.26;14:01;0;900;;;1:1;1.23;\u00b5S/cm;OK;---;\u00b0C;OK"),
          QStringLiteral("2;07.03.26;14:02;12;M\u00fcller;C;B;;25,4;mg/l;<;;;")},
         QStringLiteral("1,07.03.26,14:01,0,900,,,1:1,1.23,\u00b5S/cm,OK,0,\u00b0C,OK\n")},
        {QStringLiteral("Lumora"),
         {QStringLiteral("40000;d;t;-7;1;;;;-1.5e-3;u;;1E5;u;"),
          QStringLiteral("70000;d;t;123456;2;;;;-0.5e1x;u;;-0;u;")},
         QStringLiteral("40000,d,t,-7,1,,,,-0.0015,u,,100000,u,\n70000,d,t,123456,2,,,,-5,u,,0,u,\n")},
        {QStringLiteral("Klaro 7 T"),
         {QStringLiteral("1;;;;;;;;;"), QStringLiteral("2;d;t;;0.5;NTU;;;;")},
         QStringLiteral("1,,,,,,,,,\n2,d,t,,0.5,NTU,,,,\n")},
        {QStringLiteral("Lumora"),
         {QStringLiteral("3;d;t;1;;;;;<0.05;mg/l;<;> 2.5;mg/l;>")},
         QStringLiteral("3,d,t,1,,,,,<0.05,mg/l,<,> 2.5,mg/l,>\n")},
    };
    QTemporaryDir dir;
    SharedObjects shared;
    QStringList files;
    for (const auto &c : cases) {
        for (const char *extension : {"xls", "xlsx"}) {
            files << dir.filePath(QStringLiteral("%1.%2").arg(files.size()).arg(QLatin1String(extension)));
            QVERIFY(shared.exportExcel->SetMVals(document(c.meter, c.records), files.last()));
        }
    }
    const QStringList csv = readBack(dir, files);
    if (csv.isEmpty())
        MERAVO_READER_MISSING("soffice is not installed (scripts/setup.sh installs libreoffice-calc-nogui)");
    for (int k = 0; k < int(std::size(cases)); ++k) {
        const QString &sheet = csv[2 * k];
        const QString &workbook = csv[2 * k + 1];
        QCOMPARE(workbook, sheet);
        QVERIFY2(workbook.contains(QStringLiteral("User: M\u00fcller,")), qPrintable(workbook));
        QVERIFY2(workbook.contains(QStringLiteral("S/N: S-\u00b04711,")), qPrintable(workbook));
        QVERIFY2(workbook.contains(cases[k].expected), qPrintable(workbook));
    }
}

void TestWorkbook::moreDatasetsThanASheetHolds()
{
    const int count = 70000;
    QStringList records;
    for (int k = 1; k <= count; ++k)
        records << QStringLiteral("%1;d;t;%2;;;;;%3.25;mg/l;;;;").arg(k).arg(k % 997).arg(-k);
    QTemporaryDir dir;
    SharedObjects shared;
    {
        QVERIFY(!shared.exportExcel->SetMVals(document(QStringLiteral("Lumora"), records),
                                              dir.filePath("big.xls")));
        const QStringList told = shared.exportExcel->lastResult().messages();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(QStringLiteral(".xlsx")), qPrintable(told[0]));
    }
    const QString path = dir.filePath(QStringLiteral("big.xlsx"));
    QVERIFY(shared.exportExcel->SetMVals(document(QStringLiteral("Lumora"), records), path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("big.xlsx")});
    const QStringList csv = readBack(dir, {path});
    if (csv.isEmpty())
        MERAVO_READER_MISSING("soffice is not installed (scripts/setup.sh installs libreoffice-calc-nogui)");
    const QStringList lines = csv[0].split(u'\n');
    QCOMPARE(lines.size(), 8 + count + 1); // the last line ends too
    QCOMPARE(lines[8], QStringLiteral("1,d,t,1,,,,,-1.25,mg/l,,,,"));
    QCOMPARE(lines[8 + count - 1], QStringLiteral("70000,d,t,210,,,,,-70000.25,mg/l,,,,"));
}

void TestWorkbook::fileRules_data()
{
    QTest::addColumn<QString>("setup");   // shell commands in the folder; out.xlsx is the target
    QTest::addColumn<QString>("written"); // the file that then holds the workbook; empty: refused
    QTest::addColumn<QString>("mode");    // its permissions afterwards, as ls shows them
    QTest::newRow("new file") << "true"
                              << "out.xlsx"
                              << "-rw-r--r--";
    QTest::newRow("replaced") << "echo old > out.xlsx; chmod 640 out.xlsx"
                              << "out.xlsx"
                              << "-rw-r-----";
    QTest::newRow("through a link") << "echo old > real; ln -s real out.xlsx"
                                    << "real"
                                    << "-rw-r--r--";
    QTest::newRow("read-only") << "echo old > out.xlsx; chmod 444 out.xlsx"
                               << ""
                               << "";
    QTest::newRow("a folder") << "mkdir out.xlsx"
                              << ""
                              << "";
}

void TestWorkbook::fileRules()
{
    QFETCH(QString, setup);
    QFETCH(QString, written);
    QFETCH(QString, mode);
    QTemporaryDir dir;
    const auto shell = [&dir](const QString &command) {
        QProcess process;
        process.start(QStringLiteral("/bin/sh"), {"-c", "cd \"$0\" && " + command, dir.path()});
        process.waitForFinished();
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    };
    shell(setup);
    const QString before = shell(QStringLiteral("ls -lA --time-style=+"));
    SharedObjects shared;
    const bool ok = shared.exportExcel->SetMVals(document(QStringLiteral("Lumora"), {QStringLiteral("1;d")}),
                                                 dir.filePath(QStringLiteral("out.xlsx")));
    QCOMPARE(shared.exportExcel->lastResult().messages().size(), ok ? 0 : 1);
    if (!ok) {
        QVERIFY(written.isEmpty());
        QCOMPARE(shell(QStringLiteral("ls -lA --time-style=+")), before);
        return;
    }
    QVERIFY(readBytes(dir.filePath(written)).startsWith("PK"));
    QVERIFY2(shell("ls -l " + written).startsWith(mode), qPrintable(shell("ls -l " + written)));
    // The link stays a link, and no temporary file is left.
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("out.xlsx"))).isSymLink(), written != "out.xlsx");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
             1 + (written != "out.xlsx"));
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
