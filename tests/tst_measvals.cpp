// Dataset records, the text-file layer and measured-value files, on real files in temporary folders.
#include "CCSVFile.h"
#include "CImportMVal.h"
#include "CMeasVal.h"
#include "RecordWalk.h"
#include "SharedObjects.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

QString rawText(const QStringList &records)
{
    QString text = QStringLiteral("\r\n");
    for (const QString &record : records)
        text += record + QStringLiteral("\r\n");
    return text + QStringLiteral("!\r\n>");
}

// Every record of the walk, fields joined with "|".
QStringList walkAll(const QString &raw, int fields)
{
    QStringList rows;
    RecordWalk walk(raw, fields);
    while (walk.next())
        rows.append(walk.fields().join(u'|'));
    return rows;
}

// The same with the shrinking-copy loop the record interface describes.
QStringList extractAll(const QString &raw, int fields)
{
    QStringList rows;
    QString rest = raw;
    if (rest.size() < 2)
        return rows;
    QStringList record(14);
    while (true) {
        rest.remove(0, 2);
        if (!CImportMVal::ExtractNextRecSet(record, rest, qint16(fields)))
            break;
        rows.append(record.mid(0, fields).join(u'|'));
    }
    return rows;
}

const QDateTime kImport(QDate(2012, 3, 7), QTime(14, 30, 0));

} // namespace

class TestMeasVals : public QObject {
    Q_OBJECT
private slots:
    void walkSplitsFieldsAsTheRecordRuleSays();
    void walkEndsAtShortLinesAndMarkers();
    void walkAndShrinkingCopyAgree();
    void extractNeedsRoomForTheFields();
    void csvFileWritesBytesUnchangedAndReadsThemBack();
    void csvFileFailedWriteKeepsOldFile_data();
    void csvFileFailedWriteKeepsOldFile();
    void csvFileReadFailuresAreReported();
    void saveWritesTheExactLayout();
    void saveChoosesHeaderByModel();
    void saveWithoutDatasetsAndReadBack();
    void roundTripKeepsEverything();
    void openRejectsBadFiles_data();
    void openRejectsBadFiles();
    void openAcceptsSevenFieldHeaderAndLooseNumbers();
    void openStatusesForMissingAndEmptyFiles();
    void openLeavesFieldsReadSoFar();
    void saveRefusesFieldsThatBreakTheLayout();
};

void TestMeasVals::walkSplitsFieldsAsTheRecordRuleSays()
{
    const QString raw = rawText({QStringLiteral("1;2;3"), QStringLiteral("a;;c;d;e;f"),
                                 QStringLiteral("x;y;"), QStringLiteral("only")});
    QCOMPARE(walkAll(raw, 4), QStringList({QStringLiteral("1|2|3|"), QStringLiteral("a||c|d"),
                                           QStringLiteral("x|y||"), QStringLiteral("only|||")}));
    // A lone CR or LF inside a line is part of the record; only CR LF ends it.
    QCOMPARE(walkAll(rawText({QStringLiteral("a\rb;c\nd")}), 2), QStringList{QStringLiteral("a\rb|c\nd")});
}

void TestMeasVals::walkEndsAtShortLinesAndMarkers()
{
    QCOMPARE(walkAll(rawText({}), 14), QStringList());
    // Two characters make a record; one character is taken for the end marker.
    QCOMPARE(walkAll(rawText({QStringLiteral("ab"), QStringLiteral("c"), QStringLiteral("de")}), 2),
             QStringList{QStringLiteral("ab|")});
    // A repeated command's answer may end with the rejected marker: the walk stops there too.
    QCOMPARE(walkAll(QStringLiteral("\r\n1;2\r\n?\r\n>"), 2), QStringList{QStringLiteral("1|2")});
    // The last record without its CR LF is lost, and a text shorter than 2 characters is no walk.
    QCOMPARE(walkAll(QStringLiteral("\r\n1;2\r\n3;4"), 2), QStringList{QStringLiteral("1|2")});
    QVERIFY(!RecordWalk(QStringLiteral("x"), 2).ok());
    QVERIFY(RecordWalk(QStringLiteral("xy"), 2).ok());
    QVERIFY(!RecordWalk(rawText({QStringLiteral("1;2")}), 15).ok());
    // An empty first line (CR LF CR LF ...) ends the walk at once.
    QCOMPARE(walkAll(QStringLiteral("\r\n\r\n1;2\r\n!\r\n>"), 2), QStringList());
}

void TestMeasVals::walkAndShrinkingCopyAgree()
{
    QStringList records;
    for (int i = 1; i <= 300; ++i)
        records.append(
            QStringLiteral("%1;%2;%3").arg(i).arg(QString(i % 7, u'x')).arg(i % 3 ? QString() : "z"));
    records.insert(150, QStringLiteral("q"));
    const QString raw = rawText(records);
    const QStringList walked = walkAll(raw, 3);
    QCOMPARE(walked.size(), 150);
    QCOMPARE(walked, extractAll(raw, 3));
    QCOMPARE(walkAll(raw, 1), extractAll(raw, 1));
}

void TestMeasVals::extractNeedsRoomForTheFields()
{
    QString rest = QStringLiteral("1;2;3\r\n!\r\n>");
    const QString before = rest;
    QStringList small(2, QStringLiteral("keep"));
    QVERIFY(!CImportMVal::ExtractNextRecSet(small, rest, 3));
    QCOMPARE(rest, before);
    QCOMPARE(small, QStringList(2, QStringLiteral("keep")));
    QStringList record(3);
    QVERIFY(CImportMVal::ExtractNextRecSet(record, rest, 3));
    QCOMPARE(rest, QStringLiteral("\r\n!\r\n>"));
    QCOMPARE(record, QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
}

void TestMeasVals::csvFileWritesBytesUnchangedAndReadsThemBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.csv"));
    const QString text = QStringLiteral("Z\u00e4zuva;\u20ac;\u00ff\r\nline 2\r\nno end");
    QVERIFY(CCSVFile().WriteFile(path, text));
    QCOMPARE(readBytes(path), QByteArray("Z\xe4zuva;\x80;\xff\r\nline 2\r\nno end"));
    QString back;
    QVERIFY(CCSVFile().ReadFile(back, path));
    QCOMPARE(back, text);
    // Every byte has a character: undefined code points survive a round trip.
    writeBytes(path, QByteArray("\x81\x8d\x8f\x90\x9d", 5));
    QVERIFY(CCSVFile().ReadFile(back, path));
    QVERIFY(CCSVFile().WriteFile(path, back));
    QCOMPARE(readBytes(path), QByteArray("\x81\x8d\x8f\x90\x9d", 5));
    // Replacing a file leaves no temporary file behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.csv")});
}

void TestMeasVals::csvFileFailedWriteKeepsOldFile_data()
{
    QTest::addColumn<int>("reason"); // what stops the write part-way: a file-size limit or a full disk
    QTest::newRow("file-size limit") << EFBIG;
    QTest::newRow("full disk") << ENOSPC;
}

void TestMeasVals::csvFileFailedWriteKeepsOldFile()
{
    QFETCH(int, reason);
    QTemporaryDir dir;
    const QStringList mount = {"-t", "tmpfs", "-o", "size=64k", "tmpfs", dir.path()};
    if (reason == ENOSPC && QProcess::execute(QStringLiteral("mount"), mount) != 0)
        QSKIP("No small file system can be mounted here (needs root)");
    const auto unmount = qScopeGuard([&] {
        if (reason == ENOSPC)
            QProcess::execute(QStringLiteral("umount"), {dir.path()});
    });
    const QString path = dir.filePath(QStringLiteral("old.csv"));
    writeBytes(path, "old content");
    ErrorRecorder errors;
    {
        FileSizeLimit limit(reason == EFBIG ? 4096 : 1 << 30);
        QVERIFY(!CCSVFile().WriteFile(path, QString(200000, u'x')));
    }
    QCOMPARE(readBytes(path), QByteArray("old content"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.csv")});
    QCOMPARE(errors.reports.size(), 1);
    QVERIFY(errors.reports.first().contains(path));
    // The system's reason, where Qt tells "Unknown error".
    QVERIFY2(errors.reports.first().contains(QString::fromLocal8Bit(std::strerror(reason))),
             qPrintable(errors.reports.first()));
    // A missing folder fails the same way, with a message.
    QVERIFY(!CCSVFile().WriteFile(dir.filePath(QStringLiteral("no/such.csv")), QStringLiteral("x")));
    QCOMPARE(errors.reports.size(), 2);
}

void TestMeasVals::csvFileReadFailuresAreReported()
{
    QTemporaryDir dir;
    ErrorRecorder errors;
    QString text = QStringLiteral("untouched");
    QVERIFY(!CCSVFile().ReadFile(text, dir.filePath(QStringLiteral("missing.csv"))));
    const QString empty = dir.filePath(QStringLiteral("empty.csv"));
    writeBytes(empty, QByteArray());
    QVERIFY(!CCSVFile().ReadFile(text, empty));
    QCOMPARE(text, QStringLiteral("untouched"));
    QCOMPARE(errors.reports.size(), 2);
}

void TestMeasVals::saveWritesTheExactLayout()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("k7.csv"));
    const QString raw = rawText({QStringLiteral("1;07.03.2012;14:01:02;0;12.3;FNU;OK;;07.03.2012;09:00"),
                                 QStringLiteral("2;07.03.2012;14:02:03;0;0.05;FNU;<;AQA;;")});
    QVERIFY(shared.measVal->SaveFile(
        {QStringLiteral("Klaro 7 IR"), QStringLiteral("4711"), QStringLiteral("Zazuva"), kImport, raw},
        path));
    QCOMPARE(readBytes(path), QByteArray("METER;S/N;USER;DATE;TIME\r\n"
                                         "Klaro 7 IR;4711;Zazuva;3/7/2012;14:30:0\r\n"
                                         "\r\n"
                                         "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME\r\n"
                                         "1;07.03.2012;14:01:02;0;12.3;FNU;OK;;07.03.2012;09:00\r\n"
                                         "2;07.03.2012;14:02:03;0;0.05;FNU;<;AQA;;"));
    // No leading zeros anywhere in date and time.
    QVERIFY(shared.measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("u"),
                                      QDateTime(QDate(2009, 1, 2), QTime(9, 5, 3)), raw},
                                     path));
    QVERIFY(readBytes(path).contains("\r\nLumora;1;u;1/2/2009;9:5:3\r\n"));
}

void TestMeasVals::saveChoosesHeaderByModel()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("h.csv"));
    const QString raw = rawText({QStringLiteral("1;a;b;2;3;u;v;8;9;10;11;12;13;14;15")});
    const struct {
        const char *meter;
        const char *header;
    } cases[] = {
        {"Klaro 4 T", "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME"},
        {"Klaro 7 T", "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME"},
        {"Lumora pH", "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2"},
        {"", "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2"},
    };
    for (const auto &c : cases) {
        QVERIFY(shared.measVal->SaveFile(
            {QString::fromLatin1(c.meter), QStringLiteral("9"), QStringLiteral("u"), kImport, raw}, path));
        const QList<QByteArray> lines = readBytes(path).split('\n');
        QCOMPARE(lines.value(3), QByteArray(c.header) + '\r');
        // The record goes out whole, surplus fields included.
        QCOMPARE(lines.value(4), QByteArray("1;a;b;2;3;u;v;8;9;10;11;12;13;14;15"));
    }
}

void TestMeasVals::saveWithoutDatasetsAndReadBack()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("none.csv"));
    QVERIFY(shared.measVal->SaveFile(
        {QStringLiteral("Q-95"), QStringLiteral("77"), QStringLiteral("Ann"), kImport, rawText({})}, path));
    QCOMPARE(readBytes(path),
             QByteArray("METER;S/N;USER;DATE;TIME\r\nQ-95;77;Ann;3/7/2012;14:30:0\r\n\r\n"
                        "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2"
                        "\r\n"));
    MeasuredValues doc;
    QCOMPARE(shared.measVal->OpenFile(doc, path), qint16(CMeasVal::Opened));
    QCOMPARE(walkAll(doc.datasets, 14), QStringList());
    // Saved again, the file stays the same.
    QVERIFY(shared.measVal->SaveFile(doc, path + QStringLiteral("2")));
    QCOMPARE(readBytes(path + QStringLiteral("2")), readBytes(path));
}

void TestMeasVals::roundTripKeepsEverything()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("rt.csv"));
    QStringList records;
    for (int i = 1; i <= 50; ++i)
        records.append(QStringLiteral("%1;01.02.2026;10:%2:00;%3;900;;;1:1;%4;mg/l;OK;;;")
                           .arg(i)
                           .arg(i % 60)
                           .arg(i * 3)
                           .arg(i * 0.25));
    const QString raw = rawText(records);
    const QDateTime when(QDate(2026, 12, 31), QTime(23, 59, 58));
    QVERIFY(shared.measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("S-0042"),
                                      QStringLiteral("J\u00f6rg M\u00fcller"), when, raw},
                                     path));
    MeasuredValues back;
    QCOMPARE(shared.measVal->OpenFile(back, path), qint16(CMeasVal::Opened));
    QCOMPARE(back.datasets, raw);
    QCOMPARE(back.meter, QStringLiteral("Lumora"));
    QCOMPARE(back.serialNumber, QStringLiteral("S-0042"));
    QCOMPARE(back.user, QStringLiteral("J\u00f6rg M\u00fcller"));
    QCOMPARE(back.date, when);
    QCOMPARE(walkAll(back.datasets, 14), walkAll(raw, 14));
    QCOMPARE(walkAll(back.datasets, 14).size(), 50);
}

void TestMeasVals::openRejectsBadFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray line2 = "Lumora;1;u;3/7/2012;14:30:0\r\n";
    const QByteArray header =
        "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2\r\n";
    QTest::newRow("lower-case first line")
        << "meter;s/n;user;date;time\r\n" + line2 + "\r\n" + header + "1;2";
    QTest::newRow("lower-case column header")
        << "METER;S/N;USER;DATE;TIME\r\n" + line2 + "\r\n" + header.toLower() + "1;2";
    QTest::newRow("four lines only") << "METER;S/N;USER;DATE;TIME\r\n" + line2 + "\r\n" + header.chopped(2);
    QTest::newRow("four fields in line 2")
        << QByteArray("METER;S/N;USER;DATE;TIME\r\nLumora;1;u;3/7/2012\r\n\r\n") + header;
    QTest::newRow("date not a number")
        << QByteArray("METER;S/N;USER;DATE;TIME\r\nLumora;1;u;3/x/2012;1:2:3\r\n\r\n") + header;
    QTest::newRow("time with two parts")
        << QByteArray("METER;S/N;USER;DATE;TIME\r\nLumora;1;u;3/7/2012;1:2\r\n\r\n") + header;
    QTest::newRow("time keeps further fields")
        << QByteArray("METER;S/N;USER;DATE;TIME\r\nLumora;1;u;3/7/2012;1:2:3;x\r\n\r\n") + header;
    QTest::newRow("year beyond a 16-bit integer")
        << QByteArray("METER;S/N;USER;DATE;TIME\r\nLumora;1;u;3/7/70000;1:2:3\r\n\r\n") + header;
    QTest::newRow("negative year") << QByteArray(
                                          "METER;S/N;USER;DATE;TIME\r\nLumora;1;u;3/7/-5;1:2:3\r\n\r\n") +
                                          header;
    QTest::newRow("no such day") << QByteArray(
                                        "METER;S/N;USER;DATE;TIME\r\nLumora;1;u;2/30/2012;1:2:3\r\n\r\n") +
                                        header;
    QTest::newRow("LF line ends") << QByteArray("METER;S/N;USER;DATE;TIME\nLumora;1;u;3/7/2012;1:2:3\n\n") +
                                         header;
}

void TestMeasVals::openRejectsBadFiles()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("bad.csv"));
    writeBytes(path, content);
    MeasuredValues doc;
    QCOMPARE(shared.measVal->OpenFile(doc, path), qint16(CMeasVal::InvalidFormat));
    QVERIFY(doc.datasets.isEmpty());
    QVERIFY(shared.measVal->lastResult().messages().isEmpty());
}

void TestMeasVals::openAcceptsSevenFieldHeaderAndLooseNumbers()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("k4.csv"));
    // Leading zeros are read, and text after the records is loaded as further records.
    writeBytes(path, "METER;S/N;USER;DATE;TIME\r\nKlaro 4 IR;9;Bo;03/07/2012;09:05:03\r\nanything\r\n"
                     "NO;DATE;TIME;ID;VALUE;UNIT;VALID\r\n1;d;t;0;1.5;NTU;OK\r\nedited by hand");
    MeasuredValues doc;
    QCOMPARE(shared.measVal->OpenFile(doc, path), qint16(CMeasVal::Opened));
    QCOMPARE(doc.meter, QStringLiteral("Klaro 4 IR"));
    QCOMPARE(doc.date, QDateTime(QDate(2012, 3, 7), QTime(9, 5, 3)));
    QCOMPARE(doc.datasets, QStringLiteral("\r\n1;d;t;0;1.5;NTU;OK\r\nedited by hand\r\n!\r\n>"));
    QCOMPARE(walkAll(doc.datasets, 7).size(), 2);
    // A hand-written two-digit year.
    writeBytes(path, "METER;S/N;USER;DATE;TIME\r\nKlaro 4 IR;9;Bo;3/7/12;9:5:3\r\n\r\n"
                     "NO;DATE;TIME;ID;VALUE;UNIT;VALID\r\n");
    QCOMPARE(shared.measVal->OpenFile(doc, path), qint16(CMeasVal::Opened));
    QCOMPARE(doc.date.date(), QDate(2012, 3, 7));
    // Date and time parts are numbers taken to the nearest integer, not only digit strings.
    writeBytes(path, "METER;S/N;USER;DATE;TIME\r\nKlaro 4 IR;9;Bo;3.0/ 7 /2012;9:5:2.5\r\n\r\n"
                     "NO;DATE;TIME;ID;VALUE;UNIT;VALID\r\n");
    QCOMPARE(shared.measVal->OpenFile(doc, path), qint16(CMeasVal::Opened));
    QCOMPARE(doc.date, QDateTime(QDate(2012, 3, 7), QTime(9, 5, 2)));
}

void TestMeasVals::openStatusesForMissingAndEmptyFiles()
{
    QTemporaryDir dir;
    SharedObjects shared;
    MeasuredValues doc;
    doc.datasets = doc.meter = QStringLiteral("keep");
    QCOMPARE(shared.measVal->OpenFile(doc, dir.filePath(QStringLiteral("none.csv"))),
             qint16(CMeasVal::FileMissing));
    QVERIFY(shared.measVal->lastResult().messages().isEmpty());
    // A folder is there, but is no file: it cannot be read, and is not called missing.
    QCOMPARE(shared.measVal->OpenFile(doc, dir.path()), qint16(CMeasVal::ReadFailed));
    const QStringList told = shared.measVal->lastResult().messages();
    QCOMPARE(told.size(), 1);
    QVERIFY(told.first().contains(TextTable::text(TextTable::NotRegularFile)));
    const QString empty = dir.filePath(QStringLiteral("empty.csv"));
    writeBytes(empty, QByteArray());
    QCOMPARE(shared.measVal->OpenFile(doc, empty), qint16(CMeasVal::ReadFailed));
    QCOMPARE(shared.measVal->lastResult().failure, FileResult::Failure::Empty);
    QCOMPARE(doc.datasets, QStringLiteral("keep"));
    QCOMPARE(doc.meter, QStringLiteral("keep"));
}

void TestMeasVals::openLeavesFieldsReadSoFar()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("part.csv"));
    writeBytes(path, "METER;S/N;USER;DATE;TIME\r\nKlaro 7 T;55\r\n\r\nNO;DATE;TIME;ID;VALUE;UNIT;VALID\r\n");
    MeasuredValues doc;
    doc.datasets = doc.user = QStringLiteral("old");
    QCOMPARE(shared.measVal->OpenFile(doc, path), qint16(CMeasVal::InvalidFormat));
    QCOMPARE(doc.meter, QStringLiteral("Klaro 7 T"));
    QCOMPARE(doc.serialNumber, QStringLiteral("55"));
    QCOMPARE(doc.user, QString());
    QCOMPARE(doc.datasets, QString());
    QCOMPARE(doc.date, QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
}

void TestMeasVals::saveRefusesFieldsThatBreakTheLayout()
{
    QTemporaryDir dir;
    SharedObjects shared;
    const QString path = dir.filePath(QStringLiteral("x.csv"));
    writeBytes(path, "previous");
    QVERIFY(!shared.measVal->SaveFile(
        {QStringLiteral("Lumora"), QStringLiteral("1"), QStringLiteral("a;b"), kImport, rawText({})}, path));
    QCOMPARE(shared.measVal->lastResult().messages().size(), 1);
    QVERIFY(!shared.measVal->SaveFile(
        {QStringLiteral("Lumora"), QStringLiteral("1\r\n"), QStringLiteral("ab"), kImport, rawText({})},
        path));
    QCOMPARE(shared.measVal->lastResult().failure, FileResult::Failure::Refused);
    QCOMPARE(shared.measVal->lastResult().messages().size(), 1);
    QCOMPARE(readBytes(path), QByteArray("previous"));
}

QTEST_GUILESS_MAIN(TestMeasVals)
#include "tst_measvals.moc"
