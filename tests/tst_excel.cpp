// The BIFF2 writer and the spreadsheet export, compared byte for byte with hand-checked reference files
// and, where installed, read back by an independent spreadsheet program.
#include "CExcelFile.h"
#include "CExportExcel.h"
#include "CommaDecimalLocale.h"
#include "SharedObjects.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray reference(const char *name)
{
    return readBytes(QStringLiteral(MERAVO_TEST_DATA "/") + QLatin1String(name));
}

QString rawText(const QStringList &records)
{
    QString text = QStringLiteral("\r\n");
    for (const QString &record : records)
        text += record + QStringLiteral("\r\n");
    return text + QStringLiteral("!\r\n>");
}

QStringList filesIn(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
}

// BOF (version 2, worksheet) and CODEPAGE 1252: every file starts with them.
const QByteArray kStart("\x09\x00\x04\x00\x02\x00\x10\x00\x42\x00\x02\x00\xE4\x04", 14);

const QDateTime kImport(QDate(2012, 3, 7), QTime(14, 30, 5));

const QStringList kLumoraRecords = {
    QStringLiteral("1;07.03.12;14:01;0;900;;;1:1;1.23;mg/l;OK;---;mg/l;OK"),
    QStringLiteral("40000;07.03.12;14:02;-7;abc;C;B;;-0.5e1x;\u00b0C;<;;;"),
};

} // namespace

class TestExcel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void createAndCloseWritesBofAndEof();
    void everyRecordKindMatchesReference();
    void cellRecordSizes();
    void failingCallsWriteNothing();
    void valueConversions();
    void callsWithoutFileFail();
    void secondCreateFileLeavesOpenFileAlone();
    void fileAppearsOnlyOnClose();
    void failedWriteKeepsOldFile();
    void exportMatchesReference();
    void exportTellsWhatItCannotWrite();
    void exportWithoutDatasets();
    void exportFailuresLeaveNoFile();
    void exportLimitIsTheSixteenBitRow();
    void exportOnFullDiskKeepsOldFile();
    void spreadsheetProgramReadsExport();
};

void TestExcel::initTestCase()
{
    // The header block uses the locale's date and time formats.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestExcel::createAndCloseWritesBofAndEof()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("e.xls"));
    writeBytes(path, QByteArray(5000, 'o')); // replaced completely
    CExcelFile excel;
    QCOMPARE(excel.CreateFile(path), qint16(0));
    QCOMPARE(excel.CloseFile(), qint16(0));
    QCOMPARE(readBytes(path), kStart + QByteArray("\x0A\x00\x00\x00", 4));
    // The object is free for the next file.
    QCOMPARE(excel.CreateFile(path), qint16(0));
    QCOMPARE(excel.CloseFile(), qint16(0));
    QCOMPARE(excel.CloseFile(), qint16(CExcelFile::NotOpen));
}

void TestExcel::everyRecordKindMatchesReference()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.xls"));
    CExcelFile x;
    QCOMPARE(x.CreateFile(path), qint16(0));
    QCOMPARE(x.PrintGridLines(true), qint16(0));
    QCOMPARE(x.ProtectSpreadsheet(true), qint16(0));
    QCOMPARE(x.SetMargin(CExcelFile::LeftMargin, 0.5), qint16(0));
    QCOMPARE(x.SetMargin(CExcelFile::RightMargin, 0.75), qint16(0));
    QCOMPARE(x.SetMargin(CExcelFile::TopMargin, 1.0), qint16(0));
    QCOMPARE(x.SetMargin(CExcelFile::BottomMargin, 1.25), qint16(0));
    QCOMPARE(x.SetFont(QStringLiteral("Arial"), 10, 0), qint16(0));
    QCOMPARE(x.SetFont(QStringLiteral("Courier New"), 12, 3), qint16(0));
    QCOMPARE(x.SetColumnWidth(1, 3, 12), qint16(0));
    QCOMPARE(x.SetColumnWidth(4, 4, -2), qint16(0));
    QCOMPARE(x.SetHeader(QStringLiteral("&CPage &P")), qint16(0));
    QCOMPARE(x.SetFooter(QStringLiteral("Foot \u00e9")), qint16(0));
    QCOMPARE(x.WriteValue(0, 64, 2, 64, 1, 1, QStringLiteral("-5")), qint16(0));
    QCOMPARE(x.WriteValue(0, 0, 3, 0, 65535, 256, 32767), qint16(0));
    QCOMPARE(x.WriteValue(1, 0, 3, 0, 2, 1, QStringLiteral("1.23")), qint16(0));
    QCOMPARE(x.WriteValue(1, 0, 3 + 8 + 128, 0, 2, 2, -0.0625), qint16(0));
    QCOMPARE(x.WriteValue(2, 192, 1 + 16 + 32 + 64, 128, 3, 1, QStringLiteral("Gr\u00fc\u00dfe \u20ac")),
             qint16(0));
    QCOMPARE(x.WriteValue(2, 0, 1, 0, 3, 2, QString()), qint16(0));
    QCOMPARE(x.WriteValue(2, 0, 1, 0, 4, 1, QString(255, u'x')), qint16(0));
    QCOMPARE(x.WriteValue(0, 0, 3, 0, 5, 1, 2.5), qint16(0)); // half to even
    QCOMPARE(x.CloseFile(), qint16(0));
    QCOMPARE(readBytes(path), reference("writer_records.xls"));

    QCOMPARE(x.CreateFile(path), qint16(0));
    QCOMPARE(x.SetFilePassword(QStringLiteral("secret")), qint16(0));
    QCOMPARE(x.CloseFile(), qint16(0));
    QCOMPARE(readBytes(path), reference("writer_filepass.xls"));
}

void TestExcel::cellRecordSizes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.xls"));
    const struct {
        qint32 type;
        QVariant value;
        int size;
    } cases[] = {{0, 7, 13}, {1, 7.5, 19}, {2, QStringLiteral("abcd"), 16}, {2, QString(), 12}, {3, 1, 0}};
    for (const auto &c : cases) {
        CExcelFile x;
        QCOMPARE(x.CreateFile(path), qint16(0));
        QCOMPARE(x.WriteValue(c.type, 0, 0, 0, 1, 1, c.value), qint16(0));
        QCOMPARE(x.CloseFile(), qint16(0));
        QCOMPARE(readBytes(path).size(), kStart.size() + 4 + c.size);
    }
}

void TestExcel::failingCallsWriteNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.xls"));
    CExcelFile x;
    QCOMPARE(x.CreateFile(path), qint16(0));
    QCOMPARE(x.WriteValue(2, 0, 1, 0, 1, 1, QString(256, u'x')), qint16(CExcelFile::Overflow));
    QCOMPARE(x.WriteValue(0, 0, 1, 0, 0, 1, 1), qint16(CExcelFile::Overflow));
    QCOMPARE(x.WriteValue(0, 0, 1, 0, 65536, 1, 1), qint16(CExcelFile::Overflow));
    QCOMPARE(x.WriteValue(0, 256, 1, 0, 1, 1, 1), qint16(CExcelFile::Overflow));
    QCOMPARE(x.WriteValue(0, 0, 1, 0, 1, 1, 40000), qint16(CExcelFile::Overflow));
    QCOMPARE(x.WriteValue(0, 0, 1, 0, 1, 1, QStringLiteral("abc")), qint16(CExcelFile::TypeMismatch));
    QCOMPARE(x.WriteValue(1, 0, 1, 0, 1, 1, QStringLiteral("1.2.3")), qint16(CExcelFile::TypeMismatch));
    QCOMPARE(x.SetColumnWidth(1, 1, 128), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetColumnWidth(0, 1, 10), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetFont(QStringLiteral("Arial"), 1639, 0), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetFont(QString(256, u'a'), 10, 0), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetHeader(QString(256, u'h')), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetFooter(QString(256, u'f')), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetMargin(37, 1.0), qint16(CExcelFile::InvalidArgument));
    QCOMPARE(x.WriteValue(1, 0, 1, 0, 1, 1, qInf()), qint16(CExcelFile::Overflow));
    QCOMPARE(x.SetColumnWidth(1, 256, 127), qint16(0)); // the limits themselves pass
    QCOMPARE(x.CloseFile(), qint16(0));
    QCOMPARE(readBytes(path), kStart + QByteArray("\x24\x00\x04\x00\x00\xff\x00\x7f"
                                                  "\x0A\x00\x00\x00",
                                                  12));
}

void TestExcel::valueConversions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.xls"));
    CExcelFile x;
    QCOMPARE(x.CreateFile(path), qint16(0));
    QCOMPARE(x.WriteValue(0, 0, 0, 0, 1, 1, QStringLiteral(" 1,234 ")), qint16(0)); // locale grouping
    QCOMPARE(x.WriteValue(0, 0, 0, 0, 1, 2, 3.5), qint16(0));
    QCOMPARE(x.WriteValue(1, 0, 0, 0, 1, 3, QVariant()), qint16(0));
    QCOMPARE(x.CloseFile(), qint16(0));
    const QByteArray bytes = readBytes(path);
    const qsizetype cells = kStart.size();
    QCOMPARE(bytes.mid(cells + 11, 2), QByteArray("\xd2\x04", 2));      // 1234
    QCOMPARE(bytes.mid(cells + 13 + 11, 2), QByteArray("\x04\x00", 2)); // 3.5 rounds to 4
    QCOMPARE(bytes.mid(cells + 26 + 11, 8), QByteArray(8, '\0'));
}

void TestExcel::callsWithoutFileFail()
{
    CExcelFile x;
    QCOMPARE(x.WriteValue(3, 0, 0, 0, 1, 1, 1), qint16(0)); // value type 3 is never an error
    const qint16 codes[] = {x.WriteValue(0, 0, 0, 0, 1, 1, 1),
                            x.WriteValue(2, 0, 0, 0, 1, 1, QStringLiteral("a")),
                            x.SetMargin(38, 1),
                            x.SetColumnWidth(1, 1, 1),
                            x.SetFont(QStringLiteral("A"), 1, 0),
                            x.SetHeader(QStringLiteral("h")),
                            x.SetFooter(QStringLiteral("f")),
                            x.SetFilePassword(QStringLiteral("p")),
                            x.PrintGridLines(true),
                            x.ProtectSpreadsheet(true),
                            x.CloseFile()};
    for (qint16 code : codes)
        QCOMPARE(code, qint16(CExcelFile::NotOpen));
    QTemporaryDir dir;
    QCOMPARE(x.CreateFile(dir.filePath(QStringLiteral("no/such/folder.xls"))),
             qint16(CExcelFile::PathNotFound));
    QCOMPARE(x.CreateFile(dir.path()), qint16(CExcelFile::FileAccessError));
    QVERIFY(!x.isOpen());
}

void TestExcel::secondCreateFileLeavesOpenFileAlone()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("1.xls"));
    const QString second = dir.filePath(QStringLiteral("2.xls"));
    CExcelFile x;
    QCOMPARE(x.CreateFile(first), qint16(0));
    QCOMPARE(x.WriteValue(0, 0, 0, 0, 1, 1, 1), qint16(0));
    QCOMPARE(x.CreateFile(second), qint16(-1));
    QCOMPARE(x.WriteValue(0, 0, 0, 0, 1, 2, 2), qint16(0));
    QCOMPARE(x.CloseFile(), qint16(0));
    QCOMPARE(readBytes(first).size(), kStart.size() + 4 + 2 * 13);
    QVERIFY(!QFile::exists(second));
}

void TestExcel::fileAppearsOnlyOnClose()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.xls"));
    writeBytes(path, "previous export");
    {
        CExcelFile x;
        QCOMPARE(x.CreateFile(path), qint16(0));
        QCOMPARE(x.WriteValue(2, 0, 1, 0, 1, 1, QStringLiteral("new")), qint16(0));
        QCOMPARE(readBytes(path), QByteArray("previous export"));
        // Released with the file open: the new content is dropped.
    }
    QCOMPARE(readBytes(path), QByteArray("previous export"));
    QCOMPARE(filesIn(dir), QStringList{QStringLiteral("old.xls")});
    const QString fresh = dir.filePath(QStringLiteral("fresh.xls"));
    {
        CExcelFile x;
        QCOMPARE(x.CreateFile(fresh), qint16(0));
    }
    QVERIFY(!QFile::exists(fresh));
}

void TestExcel::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.xls"));
    writeBytes(path, "previous export");
    CExcelFile x;
    qint16 status = 0;
    {
        // The cells of 20000 rows pass the limit long before the close.
        FileSizeLimit limit(100000);
        QCOMPARE(x.CreateFile(path), qint16(0));
        for (qint32 row = 1; row <= 20000 && status == 0; ++row)
            status = x.WriteValue(1, 0, 3, 0, row, 1, row * 0.5);
    }
    QCOMPARE(status, qint16(CExcelFile::WriteFailed));
    // The failure sticks: no later cell is taken, the old file stands while the new one is open, and the
    // close reports the failure once and lets the new file go.
    QVERIFY(x.isOpen());
    QCOMPARE(x.WriteValue(1, 0, 3, 0, 1, 2, 1.0), qint16(CExcelFile::WriteFailed));
    QCOMPARE(readBytes(path), QByteArray("previous export"));
    QCOMPARE(x.CloseFile(), qint16(CExcelFile::WriteFailed));
    QVERIFY(!x.isOpen());
    QCOMPARE(x.CloseFile(), qint16(CExcelFile::NotOpen));
    QCOMPARE(readBytes(path), QByteArray("previous export"));
    QCOMPARE(filesIn(dir), QStringList{QStringLiteral("old.xls")});
}

void TestExcel::exportMatchesReference()
{
    // "1.23" is 1.23 whatever the C library's locale.
    const CommaDecimalLocale locale;
    QVERIFY2(locale.active, MERAVO_COMMA_LOCALE_MISSING);
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("lumora.xls"));
    QVERIFY(shared.exportExcel->SetMVals({QStringLiteral("Lumora"), QStringLiteral("4711"),
                                          QStringLiteral("Zazuva"), kImport, rawText(kLumoraRecords)},
                                         path));
    QCOMPARE(readBytes(path), reference("export_lumora.xls"));
    // The one cell that is no whole number is told once, with its place.
    const QStringList told = shared.exportExcel->lastResult().messages();
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().contains(QStringLiteral("row 10, column 5 (\"abc\")")), qPrintable(told.first()));
}

void TestExcel::exportTellsWhatItCannotWrite()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("x.xls")),
                  same = dir.filePath(QStringLiteral("same.xls"));
    const struct {
        QStringList records, written; // the sheet is the export of "written"; none: nothing is written
        QString report;
    } cases[] = {
        {{"1;;;;;;;;1e400;;;-2E999", "2;;;;;;;;1.5e308;;;1e-400"},
         {"1;", "2;;;;;;;;1.5e308;;;0"},
         TextTable::text(TextTable::NumberCellsLeftEmpty).arg(2).arg(9).arg(9).arg("1e400")},
        {{"1;a", "2;;;;;;" + QString(256, u'd')},
         {},
         TextTable::text(TextTable::ExportTextTooLong).arg(10).arg(7).arg(256)},
    };
    for (const auto &c : cases) {
        QCOMPARE(shared.exportExcel->SetMVals({"Lumora", "1", "u", kImport, rawText(c.records)}, path),
                 !c.written.isEmpty());
        QCOMPARE(shared.exportExcel->lastResult().messages(), QStringList{c.report});
        if (!c.written.isEmpty()) {
            QVERIFY(shared.exportExcel->SetMVals({"Lumora", "1", "u", kImport, rawText(c.written)}, same));
            QCOMPARE(readBytes(path), readBytes(same));
        }
    }
}

void TestExcel::exportWithoutDatasets()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("k7.xls"));
    QVERIFY(shared.exportExcel->SetMVals(
        {QStringLiteral("Klaro 7 IR"), QStringLiteral("0815"), QStringLiteral("---"), kImport, rawText({})},
        path));
    QCOMPARE(readBytes(path), reference("export_klaro7_empty.xls"));
}

void TestExcel::exportFailuresLeaveNoFile()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("x.xls"));
    writeBytes(path, "previous export");
    // A field longer than a text cell can hold fails the export; it is told with its place.
    QVERIFY(!shared.exportExcel->SetMVals({QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"),
                                           kImport, rawText({QStringLiteral("1;") + QString(256, u'd')})},
                                          path));
    QCOMPARE(shared.exportExcel->lastResult().failure, FileResult::Failure::Refused);
    QCOMPARE(shared.exportExcel->lastResult().messages().size(), 1);
    // A raw text shorter than 2 characters is no walk at all.
    QVERIFY(!shared.exportExcel->SetMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, QStringLiteral("x")},
        path));
    QVERIFY(shared.exportExcel->lastResult().messages().isEmpty());
    // The missing folder is told with its cause.
    QVERIFY(!shared.exportExcel->SetMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, rawText({})},
        dir.filePath(QStringLiteral("no/x.xls"))));
    QCOMPARE(shared.exportExcel->lastResult().failure, FileResult::Failure::Unwritable);
    QVERIFY(shared.exportExcel->lastResult().message.contains(dir.filePath(QStringLiteral("no/x.xls"))));
    QCOMPARE(readBytes(path), QByteArray("previous export"));
    QCOMPARE(filesIn(dir), QStringList{QStringLiteral("x.xls")});
    // 255 characters still fit.
    QVERIFY(shared.exportExcel->SetMVals({QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"),
                                          kImport, rawText({QStringLiteral("1;") + QString(255, u'd')})},
                                         path));
}

void TestExcel::exportLimitIsTheSixteenBitRow()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("big.xls"));
    QStringList records;
    for (int k = 1; k <= CExportExcel::kMaxDatasets; ++k)
        records.append(QStringLiteral("%1;d").arg(k));
    QVERIFY(shared.exportExcel->SetMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, rawText(records)},
        path));
    const QByteArray bytes = readBytes(path);
    // The last dataset's text cell sits in row 65535 (0-based 65534), followed by EOF.
    QCOMPARE(bytes.right(4 + 13), QByteArray("\x04\x00\x09\x00\xfe\xff\x01\x00\x00\x00\x01\x01"
                                             "d"
                                             "\x0A\x00\x00\x00",
                                             17));

    const QByteArray before = bytes;
    records.append(QStringLiteral("65528;d"));
    QVERIFY(!shared.exportExcel->SetMVals(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, rawText(records)},
        path));
    const QStringList told = shared.exportExcel->lastResult().messages();
    QCOMPARE(told.size(), 1);
    QVERIFY(told.first().contains(QStringLiteral("65527")));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(filesIn(dir), QStringList{QStringLiteral("big.xls")});
}

void TestExcel::exportOnFullDiskKeepsOldFile()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("full.xls"));
    writeBytes(path, "previous export");
    QStringList records;
    for (int k = 1; k <= 5000; ++k)
        records.append(QStringLiteral("%1;07.03.12;14:01;0;900;;;1:1;1.23;mg/l;OK;---;mg/l;OK").arg(k));
    bool exported = true;
    {
        FileSizeLimit limit(64 * 1024);
        exported = shared.exportExcel->SetMVals(
            {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"), kImport, rawText(records)},
            path);
    }
    QVERIFY(!exported);
    const QStringList told = shared.exportExcel->lastResult().messages();
    QCOMPARE(told.size(), 1);
    QVERIFY(told.first().contains(path));
    QCOMPARE(readBytes(path), QByteArray("previous export"));
    QCOMPARE(filesIn(dir), QStringList{QStringLiteral("full.xls")});
}

void TestExcel::spreadsheetProgramReadsExport()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        MERAVO_READER_MISSING("soffice is not installed (scripts/setup.sh installs libreoffice-calc-nogui)");
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("lumora.xls"));
    QVERIFY(shared.exportExcel->SetMVals({QStringLiteral("Lumora"), QStringLiteral("4711"),
                                          QStringLiteral("Zazuva"), kImport, rawText(kLumoraRecords)},
                                         path));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir.path());                  // a private profile
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")); // its CSV writes numbers in its locale
    process.setProcessEnvironment(env);
    process.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                            QStringLiteral("csv"), QStringLiteral("--outdir"), dir.path(), path});
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 0);
    const QList<QByteArray> lines = readBytes(dir.filePath(QStringLiteral("lumora.csv"))).split('\n');
    QVERIFY2(lines.size() >= 10, lines.join('|').constData());
    QCOMPARE(lines[1].trimmed(), QByteArray("Meter: Lumora,,,,,,,,,,,,,"));
    QCOMPARE(lines[5].trimmed(), QByteArray("Time: 2:30:05 PM,,,,,,,,,,,,,"));
    QCOMPARE(
        lines[7].trimmed(),
        QByteArray(
            "No.,Date,Time,ID,PROG,Cit.,AR/BV/Cal,Dil.,Value 1,Unit 1,Status 1,Value 2,Unit 2,Status 2"));
    QCOMPARE(lines[8].trimmed(), QByteArray("1,07.03.12,14:01,0,900,,,1:1,1.23,mg/l,OK,0,mg/l,OK"));
    // Numbers outside the INTEGER record's 0 to 65535 keep their value.
    QVERIFY2(lines[9].startsWith("40000,07.03.12,14:02,-7,,C,B,,-5,"), lines[9].constData());
}

QTEST_GUILESS_MAIN(TestExcel)
#include "tst_excel.moc"
