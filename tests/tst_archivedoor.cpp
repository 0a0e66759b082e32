// The archive's door for files: `archive add` takes a measured-value file only when it is a regular file
// of a plausible size whose every line is a dataset a meter can have written; anything else is refused
// whole, with the file, line and field named, and the archive stays as it was.
#include "ArchiveImport.h"
#include "ArchiveSettings.h"
#include "FileWrites.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A valid dataset of each layout; the rows put their own text into one of its fields.
const QMap<QString, QByteArray> kValidLine = {
    {QStringLiteral("Lumora"), "3;24.03.26;10:13:00;17;902;;;;1.5;mg/l;OK;;;"},
    {QStringLiteral("Klaro 7 T"), "3;24.03.26;10:13:00;17;1.52;NTU;OK;CAL;20.03.26;09:00"},
    {QStringLiteral("Klaro 4 IR"), "3;24.03.26;10:13:00;17;1.52;NTU;OK"},
};

QByteArray withField(const QByteArray &line, int position, const QByteArray &text)
{
    QList<QByteArray> fields = line.split(';');
    fields[position] = text;
    return fields.join(';');
}

// A measured-value file of the model whose third dataset (line 7) is `third`; `after` follows the
// fifth dataset as it stands.
QByteArray measuredValues(const QString &model, const QByteArray &third, const QByteArray &after = {},
                          const QByteArray &serial = "S1")
{
    const QByteArray header =
        model == QLatin1String("Lumora")
            ? "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2"
            : "NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME";
    QByteArray text = "METER;S/N;USER;DATE;TIME\r\n" + model.toLatin1() + ';' + serial +
                      ";u;3/24/2026;10:00:00\r\n\r\n" + header;
    for (int k = 1; k <= 5; ++k)
        text += "\r\n" + (k == 3 ? third : withField(kValidLine[model], 0, QByteArray::number(k)));
    return text + after;
}

ProcessRun archiveCli(const QStringList &arguments)
{
    return runServed(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                     QStringList{QStringLiteral("archive")} + arguments);
}

// Datasets the archive holds: all of them, and those of every day there is.
QPair<int, int> archivedCounts()
{
    const ProcessRun all = archiveCli({QStringLiteral("query")});
    const ProcessRun period =
        archiveCli({QStringLiteral("query"), QStringLiteral("--from"), QStringLiteral("0001-01-01"),
                    QStringLiteral("--to"), QStringLiteral("9999-12-31")});
    const auto rows = [](const ProcessRun &run) { return int(run.out.trimmed().count(QLatin1Char('\n'))); };
    return {rows(all), rows(period)};
}

} // namespace

class TestArchiveDoor : public QObject {
    Q_OBJECT
private slots:
    void init();
    void datasetsNoMeterWritesAreRefused_data();
    void datasetsNoMeterWritesAreRefused();
    void filesThatAreNoFilesAreRefusedAtOnce_data();
    void filesThatAreNoFilesAreRefusedAtOnce();
    void sampleIdPartFindsItsDataset_data();
    void sampleIdPartFindsItsDataset();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestArchiveDoor::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, (m_home->path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    ArchiveSettings settings;
    settings.enabled = true;
    settings.location = m_home->filePath(QStringLiteral("archive.sqlite"));
    ArchiveSettings::storeForUser(settings);
}

void TestArchiveDoor::datasetsNoMeterWritesAreRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("badLine"); // 0: the file is archived whole
    QTest::addColumn<QString>("field");
    const QByteArray lumora = kValidLine[QStringLiteral("Lumora")];
    const QByteArray klaro7 = kValidLine[QStringLiteral("Klaro 7 T")];
    const QByteArray klaro4 = kValidLine[QStringLiteral("Klaro 4 IR")];
    const QString l = QStringLiteral("Lumora");
    const struct {
        const char *name;
        int position;
        QByteArray text;
        int badLine;
        const char *field;
    } fields[] = {
        {"31 February", 1, "31.02.26", 7, "Date"},
        {"29 February of no leap year", 1, "29.02.25", 7, "Date"},
        {"month 13", 1, "01.13.26", 7, "Date"},
        {"day 0", 1, "00.00.00", 7, "Date"},
        {"year 99999", 1, "01.01.99999", 7, "Date"},
        {"no date", 1, "", 7, "Date"},
        {"29 February of a leap year", 1, "29.02.24", 0, ""},
        {"hour 25", 2, "25:61:00", 7, "Time"},
        {"minute 60", 2, "10:60:00", 7, "Time"},
        {"number -5", 0, "-5", 7, "No"},
        {"number 10^20", 0, "100000000000000000000", 7, "No"},
        {"number 0", 0, "0", 7, "No"},
        {"number past 16 bits", 0, "32768", 7, "No"},
        {"largest number", 0, "32767", 0, ""},
        {"sample ID of 33 characters", 3, QByteArray(33, 'x'), 7, "Id"},
        {"sample ID as wide as allowed", 3, QByteArray(32, 'x'), 0, ""},
        {"unit of 1000 characters", 9, QByteArray(1000, 'm'), 7, "Unit1"},
        {"control character", 10, "O\tK", 7, "Status1"},
    };
    for (const auto &f : fields)
        QTest::newRow(f.name) << measuredValues(l, withField(lumora, f.position, f.text)) << f.badLine
                              << QString::fromLatin1(f.field);
    QByteArray million = "3";
    for (int i = 0; i < 1000000; ++i)
        million += ";1";
    QTest::newRow("a million fields") << measuredValues(l, million) << 7 << QString();
    QTest::newRow("13 fields") << measuredValues(l, lumora.left(lumora.lastIndexOf(';'))) << 7 << QString();
    QTest::newRow("15 fields") << measuredValues(l, lumora + ";") << 7 << QString();
    QTest::newRow("Klaro 7 of 7 fields")
        << measuredValues(QStringLiteral("Klaro 7 T"), klaro4) << 7 << QString();
    QTest::newRow("Klaro 4 of 11 fields")
        << measuredValues(QStringLiteral("Klaro 4 IR"), klaro7 + ";x") << 7 << QString();
    QTest::newRow("Klaro 4 of the ten named fields")
        << measuredValues(QStringLiteral("Klaro 4 IR"), klaro7) << 0 << QString();
    QTest::newRow("Klaro 7 calibrated on 31 February")
        << measuredValues(QStringLiteral("Klaro 7 T"), withField(klaro7, 8, "31.02.26")) << 7
        << QStringLiteral("CalDate");
    QTest::newRow("Klaro 7 never calibrated")
        << measuredValues(QStringLiteral("Klaro 7 T"), withField(withField(klaro7, 8, ""), 9, "")) << 0
        << QString();
    QTest::newRow("datasets after an empty line")
        << measuredValues(l, lumora, "\r\n\r\n" + lumora) << 11 << QString();
    QTest::newRow("empty lines at the end") << measuredValues(l, lumora, "\r\n\r\n") << 0 << QString();
    QTest::newRow("serial number of 40 characters")
        << measuredValues(l, lumora, {}, QByteArray(40, '7')) << 2 << QStringLiteral("S/N");
}

// Dates that do not exist, numbers, fields wider than a meter writes and lines of another layout: the
// file is refused whole with its line named, and whatever is archived is found by every period query.
void TestArchiveDoor::datasetsNoMeterWritesAreRefused()
{
    QFETCH(QByteArray, file);
    QFETCH(int, badLine);
    QFETCH(QString, field);
    const QString path = m_home->filePath(QStringLiteral("values.csv"));
    writeBytes(path, file);
    const ProcessRun run = archiveCli({QStringLiteral("add"), path});
    const QPair<int, int> counts = archivedCounts();
    QCOMPARE(counts.second, counts.first);
    if (badLine == 0) {
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(counts.first, 5);
        return;
    }
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(counts.first, 0);
    QVERIFY2(run.err.startsWith(path + QStringLiteral(", line %1: ").arg(badLine)), qPrintable(run.err));
    if (!field.isEmpty())
        QVERIFY2(run.err.contains(QLatin1Char(' ') + field + QLatin1Char(' ')), qPrintable(run.err));
    QVERIFY(run.err.size() < 400);
}

void TestArchiveDoor::filesThatAreNoFilesAreRefusedAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"missing", "folder", "pipe", "device", "link loop", "no permission",
                             "one byte too large", "1 GB of one line"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// What is no measured-value file is refused at once for its own reason: never waited on, never read
// whole into memory.
void TestArchiveDoor::filesThatAreNoFilesAreRefusedAtOnce()
{
    QFETCH(QString, kind);
    QString path = m_home->filePath(QStringLiteral("in"));
    QString expected;
    const auto sized = [&](qint64 size) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size)); // sparse: no disk used
        expected = TextTable::text(TextTable::ArchiveFileTooLarge)
                       .arg(path)
                       .arg(size)
                       .arg(ImportRecord::kMaxFileBytes);
    };
    if (kind == QLatin1String("missing")) {
        expected = TextTable::text(TextTable::FileMissing).arg(path);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
        expected = TextTable::text(TextTable::ArchiveFileNotRegular).arg(path);
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        expected = TextTable::text(TextTable::ArchiveFileNotRegular).arg(path);
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/zero");
        expected = TextTable::text(TextTable::ArchiveFileNotRegular).arg(path);
    } else if (kind == QLatin1String("link loop")) {
        QVERIFY(QFile::link(path + QStringLiteral("2"), path) &&
                QFile::link(path, path + QStringLiteral("2")));
        expected = TextTable::text(TextTable::FileReadFailed).arg(path, FileWrites::systemText(ELOOP));
    } else if (kind == QLatin1String("no permission")) {
        if (::geteuid() == 0)
            QSKIP("an administrator reads every file");
        writeBytes(path, measuredValues(QStringLiteral("Lumora"), kValidLine[QStringLiteral("Lumora")]));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        expected = TextTable::text(TextTable::FileReadFailed).arg(path, FileWrites::systemText(EACCES));
    } else if (kind == QLatin1String("one byte too large")) {
        sized(ImportRecord::kMaxFileBytes + 1);
    } else {
        sized(qint64(1) << 30);
    }
    const ProcessRun run = archiveCli({QStringLiteral("add"), path});
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.err.section(QLatin1Char('\n'), 0, 0), expected);
}

void TestArchiveDoor::sampleIdPartFindsItsDataset_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<int>("found");
    QTest::newRow("same case, beyond ASCII") << QStringLiteral("e-Ä_") << 1;
    QTest::newRow("other case, within ASCII") << QStringLiteral("PROBE") << 1;
    QTest::newRow("pattern characters taken literally") << QStringLiteral("_%") << 0;
}

// The part of a sample ID finds the dataset whose ID holds it, whatever its characters.
void TestArchiveDoor::sampleIdPartFindsItsDataset()
{
    QFETCH(QString, part);
    QFETCH(int, found);
    const QString path = m_home->filePath(QStringLiteral("ids.csv"));
    const QByteArray lumora = kValidLine[QStringLiteral("Lumora")];
    writeBytes(path, measuredValues(QStringLiteral("Lumora"), withField(lumora, 3, "Probe-\xc4_1")));
    QCOMPARE(archiveCli({QStringLiteral("add"), path}).exitCode, 0);
    const ProcessRun run = archiveCli({QStringLiteral("query"), QStringLiteral("--id"), part});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(int(run.out.trimmed().count(QLatin1Char('\n'))), found);
}

QTEST_MAIN(TestArchiveDoor)
#include "tst_archivedoor.moc"
