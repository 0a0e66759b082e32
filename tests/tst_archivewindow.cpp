// The archive in the desktop program: every import kept and told in the document, the archive
// window's filters, pages and documents, and the adding of measured-value files.
#include "Archive.h"
#include "ArchiveTableModel.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "ExportProfile.h"
#include "frmArchive.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "frmProfileEdit.h"
#include "GuiTestSupport.h"
#include "MValTableModel.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

constexpr qint64 kStation = 3600; // a day and an hour of a river station: 3456 on 1 March, 144 on 2 March

// A main window online with a river station's photometer; archive settings given before the start.
struct Session : GuiSession {
    std::unique_ptr<SimDatasets> datasets;

    explicit Session(qint64 count, const QList<QPair<QString, QString>> &archiveSettings = {})
        : GuiSession(
              meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.50"), QStringLiteral("S-0042"))),
          datasets(std::make_unique<SimDatasets>(*sim))
    {
        datasets->setRecords(SimDatasets::stationRecords(count), count);
        for (const auto &[key, value] : archiveSettings)
            sandbox.setSetting(QStringLiteral("Archive"), key, value);
        logIn();
    }
    ~Session() { main.reset(); }
    frmDocument *doc() const { return main->documents().first(); }
    qint64 archived() const
    {
        qint64 n = -1;
        main->shared().archive->count(ArchiveFilter(), &n);
        return n;
    }
    frmArchive *archiveWindow(int pageSize)
    {
        main->MenuArchive();
        frmArchive *window = main->archiveWindow();
        window->model()->setPageSize(pageSize);
        window->search();
        return window;
    }
    // A measured-value file of another meter in the private folder.
    QString klaroFile(const char *name, qint64 count)
    {
        const QString meter = QStringLiteral("Klaro 7 T");
        const QByteArray raw = "\r\n" + SimDatasets::generatedRecords(meter, count) + "\r\n!\r\n>";
        main->shared().measVal->SaveFile(
            {meter, "K-7", "Bo", QDateTime::currentDateTime(), Cp1252::decode(raw)}, path(name));
        return path(name);
    }
};

QString note(qint64 added, qint64 repeated, qint64 conflicting)
{
    return Archive::report({}, {added, repeated, conflicting, false, {}});
}

} // namespace

class TestArchiveWindow : public QObject {
    Q_OBJECT
private slots:
    void importIsArchived_data();
    void importIsArchived();
    void windowFiltersAndPages_data();
    void windowFiltersAndPages();
    void openAsDocumentOnePerMeter();
    void addFilesCancelLeavesArchiveAsBefore();
    void autoImportOncePerAppearance();
    void profileEditorWritesWholeProfiles();
};

void TestArchiveWindow::importIsArchived_data()
{
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("location");  // "damaged": a file of random bytes
    QTest::addColumn<QStringList>("notes"); // after each import; none for a refused one
    const QString away = QStringLiteral("postgresql://127.0.0.1:9/lab"); // nothing listens there
    QTest::newRow("new, then already archived")
        << "1" << QString() << QStringList{note(30, 0, 0), note(0, 30, 0)};
    QTest::newRow("switched off") << "0" << QString() << QStringList{QString(), QString()};
    QTest::newRow("damaged archive file") << "1" << QStringLiteral("damaged") << QStringList{QString()};
    QTest::newRow("server away: kept on this PC")
        << "1" << away << QStringList{Archive::report({}, {30, 0, 0, true, {}})};
}

void TestArchiveWindow::importIsArchived()
{
    QFETCH(QString, enabled);
    QFETCH(QString, location);
    QFETCH(QStringList, notes);
    QTemporaryDir elsewhere;
    const bool damaged = location == QLatin1String("damaged");
    if (damaged) {
        location = elsewhere.filePath(QStringLiteral("archive.sqlite"));
        writeBytes(location, QByteArray(4096, '\x5a'));
    }
    Session s(30, {{QStringLiteral("Enabled"), enabled}, {QStringLiteral("Location"), location}});
    for (const QString &expected : notes) {
        s.doc()->MenuImport();
        // The import and its document are as they always were, whatever the archive did.
        QCOMPARE(s.doc()->model()->rowCount(), 30);
        QVERIFY(s.doc()->isModified());
        // Told in the header; a refused import also at once, in a warning.
        QCOMPARE(s.dialogs.messageTexts(), damaged ? QStringList{s.doc()->archiveNote()} : QStringList());
        if (!damaged)
            QCOMPARE(s.doc()->archiveNote(), expected);
    }
    if (enabled == QLatin1String("0"))
        QVERIFY(!QFile::exists(ArchiveSettings::localPath()));
    // The archive window tells why it shows nothing.
    if (damaged)
        QVERIFY(s.archiveWindow(100)->message().contains(location));
}

void TestArchiveWindow::windowFiltersAndPages_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<qint64>("count"); // -1: refused with the message
    QTest::addColumn<QString>("message");
    const QString tooLong(ArchiveFilter::kMaxText + 1, QLatin1Char('x'));
    const struct {
        const char *name, *field;
        QString value;
        qint64 count;
        QString message;
    } rows[] = {
        {"everything", "", {}, kStation, {}},
        {"program", "txtProgram", QStringLiteral("902"), kStation / 3, {}},
        {"unit", "txtUnit", QStringLiteral("mg/l Fe"), kStation / 3, {}},
        {"from a date", "txtFrom", QStringLiteral("2026-03-02"), 144, {}},
        {"a quote", "txtId", QStringLiteral("1' OR '1'='1"), 0, {}},
        {"no such day", "txtFrom", QStringLiteral("2026-02-30"), -1,
         TextTable::text(TextTable::ArchiveFilterDate).arg(QStringLiteral("2026-02-30"))},
        {"text too long", "txtId", tooLong, -1,
         TextTable::text(TextTable::ArchiveFilterTooLong).arg(ArchiveFilter::kMaxText)},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.field) << row.value << row.count << row.message;
}

void TestArchiveWindow::windowFiltersAndPages()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(qint64, count);
    QFETCH(QString, message);
    Session s(kStation);
    s.doc()->MenuImport();
    constexpr int kPage = 400;
    frmArchive *window = s.archiveWindow(kPage);
    const QString everything = window->countText();
    if (!field.isEmpty())
        window->field(field.toLatin1().constData())->setText(value);
    window->search();
    QCOMPARE(window->message(), message);
    ArchiveTableModel &model = *window->model();
    if (count < 0) {
        // Refused before the archive is asked: what was shown stays.
        QCOMPARE(window->countText(), everything);
        QCOMPARE(model.rowCount(), kPage);
        return;
    }
    QCOMPARE(window->countText(), TextTable::text(TextTable::ArchiveCount).arg(QLocale().toString(count)));
    // Page by page as the view scrolls, never more than asked, and every row the filter finds.
    QCOMPARE(model.rowCount(), int(std::min<qint64>(count, kPage)));
    while (model.canFetchMore({})) {
        const int before = model.rowCount();
        model.fetchMore({});
        QVERIFY(model.rowCount() > before && model.rowCount() - before <= kPage);
    }
    QCOMPARE(model.rowCount(), int(count));
    QVERIFY(s.dialogs.asked.isEmpty());
}

void TestArchiveWindow::openAsDocumentOnePerMeter()
{
    Session s(kStation);
    s.doc()->MenuImport();
    s.dialogs.filesAnswers.enqueue({s.klaroFile("klaro.csv", 25)});
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
    s.main->MenuArchiveAddFiles();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{note(25, 0, 0)});
    frmArchive *window = s.archiveWindow(500);
    window->field("txtProgram")->setText(QStringLiteral("915"));
    window->search();

    // Nothing selected: every dataset the filter finds, in one document of their meter.
    window->openAsDocuments();
    QCOMPARE(s.main->NumDocs(), short(2));
    frmDocument *programDoc = s.main->activeDocument();
    QCOMPARE(programDoc->model()->rowCount(), int(kStation / 3));
    QCOMPARE(programDoc->headerValue(1), QStringLiteral("S-0042"));
    QCOMPARE(programDoc->model()->index(0, 4).data().toString(), QStringLiteral("915"));
    QVERIFY(!programDoc->isModified());
    // An ordinary document: saved as any other.
    s.dialogs.fileAnswers.enqueue(s.path("program915.csv"));
    programDoc->MenuFileSaveAs();
    QCOMPARE(programDoc->filePath(), s.path("program915.csv"));

    // A selection over two meters: one document each, the rows as the meter delivered them.
    window->clearFilter();
    QTableView *table = window->table();
    table->selectRow(0);
    while (window->model()->rowCount() <= kStation)
        window->model()->fetchMore({});
    table->selectionModel()->select(window->model()->index(int(kStation), 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window->openAsDocuments();
    QCOMPARE(s.main->NumDocs(), short(4));
    const QList<frmDocument *> docs = s.main->documents();
    QCOMPARE(docs[2]->model()->rowCount(), 1);
    QCOMPARE(docs[2]->rawData(), Cp1252::decode("\r\n" + SimDatasets::stationRecords(1) + "\r\n!\r\n>"));
    QCOMPARE(docs[3]->headerValue(0), QStringLiteral("Klaro 7 T"));
    QCOMPARE(docs[3]->model()->columnCount(), 10);
    QCOMPARE(s.dialogs.asked.size(), 3); // the file dialogs and the summary only
}

void TestArchiveWindow::addFilesCancelLeavesArchiveAsBefore()
{
    Session s(12);
    s.doc()->MenuImport();
    s.dialogs.clear();
    const QString notAFile = s.path("notes.txt");
    writeBytes(notAFile, "shopping list");
    s.dialogs.filesAnswers.enqueue({s.klaroFile("a.csv", 20), notAFile, s.klaroFile("b.csv", 60)});
    QTimer::singleShot(0, [] {
        if (auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget()))
            progress->cancel();
    });
    s.main->MenuArchiveAddFiles();
    // The file that is no measured-value file is named with the reason; the others were on their way
    // when cancelled.
    QCOMPARE(s.dialogs.asked.size(), 3);
    QVERIFY(s.dialogs.asked[1].text.endsWith(notAFile + QStringLiteral(": ") +
                                             TextTable::text(TextTable::InvalidCsvFormat)));
    QCOMPARE(s.dialogs.asked[2].text, TextTable::text(TextTable::ArchiveCancelled));
    QCOMPARE(s.archived(), qint64(12));
}

// The option of the desktop program: the meter present when it is turned on and each time it comes
// back is imported once, told by the notice, never by a dialog; the option is kept for the next start.
void TestArchiveWindow::autoImportOncePerAppearance()
{
    Session s(30);
    writeBytes(s.path("worklist.csv"), "Id;SampleId\n1;LIMS-1\n");
    s.dialogs.fileAnswers.enqueue(s.path("worklist.csv"));
    s.main->MenuLoadWorklist();
    s.main->setAutoImport(true);
    QTRY_COMPARE_WITH_TIMEOUT(s.archived(), qint64(30), 20000);
    QVERIFY(s.main->autoImportNotice().contains(note(30, 0, 0)));
    QVERIFY(s.main->autoImportNotice().contains(
        TextTable::text(TextTable::WorklistReport).section(QLatin1Char('%'), 0, 0)));
    spin(500); // staying connected imports nothing more
    QVERIFY(s.main->autoImportNotice().contains(note(30, 0, 0)));
    const MeterIdentity identity = s.sim->identity();
    s.sim->close();
    spin(200);
    s.sim = &s.bench.addMeter(1, identity);
    s.datasets = std::make_unique<SimDatasets>(*s.sim);
    s.datasets->setRecords(SimDatasets::stationRecords(30), 30);
    QTRY_VERIFY_WITH_TIMEOUT(s.main->autoImportNotice().contains(note(0, 30, 0)), 20000);
    QCOMPARE(s.archived(), qint64(30));
    QCOMPARE(s.dialogs.messageTexts(), QStringList());
    s.main->setAutoImport(false);
    QVERIFY(!s.main->autoImport());
}

// The editor writes the profile files the deliveries read, and never one with an error.
void TestArchiveWindow::profileEditorWritesWholeProfiles()
{
    Session s(0);
    frmProfileEdit editor(*s.main, s.main.get());
    editor.nameBox()->setCurrentText(QStringLiteral("lims"));
    auto line = [&](const char *key) { return qobject_cast<QLineEdit *>(editor.field(QLatin1String(key))); };
    line("Columns")->setText(QStringLiteral("SampleId,Value7"));
    line("Folder")->setText(QStringLiteral("/mnt/lims"));
    qobject_cast<QComboBox *>(editor.field(QStringLiteral("DecimalMark")))
        ->setCurrentText(QStringLiteral(","));
    const QString path = ExportProfile::userFolder() + QStringLiteral("/lims.ini");
    QVERIFY(!editor.save());
    QVERIFY(!QFile::exists(path));
    QVERIFY2(s.dialogs.messageTexts().value(0).contains(path + QStringLiteral(", line 2")),
             qPrintable(s.dialogs.messageTexts().value(0)));
    line("Columns")->setText(QStringLiteral("SampleId,Value1"));
    QVERIFY(editor.save());
    ExportProfile profile;
    QString error;
    QVERIFY2(ExportProfile::read(path, &profile, &error), qPrintable(error));
    QCOMPARE(profile.folder, QStringLiteral("/mnt/lims"));
    QCOMPARE(profile.decimalMark, QLatin1Char(','));
    // Shown again as written, the defaults filled in.
    frmProfileEdit again(*s.main, s.main.get());
    QVERIFY(again.iniText().contains(QStringLiteral("\nFolder=/mnt/lims\n")));
    QVERIFY(again.iniText().contains(QStringLiteral("\nDecimalMark=,\nEncoding=UTF-8\n")));
}

QTEST_MAIN(TestArchiveWindow)
#include "tst_archivewindow.moc"
