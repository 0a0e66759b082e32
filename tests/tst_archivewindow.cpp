// The archive in the desktop program: every import kept and told in the document, the archive
// window's filters, pages and documents, and the adding of measured-value files.
#include "Archive.h"
#include "ArchiveTableModel.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "frmArchive.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "MValTableModel.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QApplication>
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
    Archive &archive() const { return *main->shared().archive; }
    qint64 archived() const
    {
        qint64 n = -1;
        archive().count(ArchiveFilter(), &n);
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
        const QString file = path(name);
        const QString raw = Cp1252::decode(
            "\r\n" + SimDatasets::generatedRecords(QStringLiteral("Klaro 7 T"), count) + "\r\n!\r\n>");
        main->shared().measVal->SaveFile({QStringLiteral("Klaro 7 T"), QStringLiteral("K-7"),
                                          QStringLiteral("Bo"), QDateTime(QDate(2026, 3, 2), QTime(9, 30)),
                                          raw},
                                         file);
        return file;
    }
};

QString note(qint64 added, qint64 repeated, qint64 conflicting)
{
    return Archive::report({}, {added, repeated, conflicting, false});
}

} // namespace

class TestArchiveWindow : public QObject {
    Q_OBJECT
private slots:
    void importIsArchived_data();
    void importIsArchived();
    void windowFiltersAndPages_data();
    void windowFiltersAndPages();
    void unreadableArchiveIsExplained();
    void openAsDocumentOnePerMeter();
    void addFilesCancelLeavesArchiveAsBefore_data();
    void addFilesCancelLeavesArchiveAsBefore();
};

void TestArchiveWindow::importIsArchived_data()
{
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("location");  // "damaged": a file of random bytes
    QTest::addColumn<QStringList>("notes"); // after each import
    QTest::addColumn<qint64>("archived");
    QTest::newRow("new, then already archived")
        << "1" << QString() << QStringList{note(30, 0, 0), note(0, 30, 0)} << qint64(30);
    QTest::newRow("switched off") << "0" << QString() << QStringList{QString(), QString()} << qint64(-1);
    QTest::newRow("damaged archive file") << "1"
                                          << "damaged" << QStringList{QString()} << qint64(-1);
    // Nothing listens on the discard port: the import waits on this PC.
    QTest::newRow("server away") << "1"
                                 << "postgresql://127.0.0.1:9/lab"
                                 << QStringList{Archive::report({}, {30, 0, 0, true})} << qint64(-1);
}

void TestArchiveWindow::importIsArchived()
{
    QFETCH(QString, enabled);
    QFETCH(QString, location);
    QFETCH(QStringList, notes);
    QFETCH(qint64, archived);
    QTemporaryDir elsewhere;
    const QString damagedFile = elsewhere.filePath(QStringLiteral("archive.sqlite"));
    const bool damaged = location == QLatin1String("damaged");
    if (damaged) {
        writeBytes(damagedFile, QByteArray(4096, '\x5a'));
        location = damagedFile;
    }
    Session s(30, {{QStringLiteral("Enabled"), enabled}, {QStringLiteral("Location"), location}});
    for (const QString &expected : notes) {
        s.doc()->MenuImport();
        // The import and its document are as they always were, whatever the archive did.
        QCOMPARE(s.doc()->model()->rowCount(), 30);
        QVERIFY(s.doc()->isModified());
        if (damaged) {
            QCOMPARE(s.dialogs.asked.size(), 1);
            QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Warning);
            QCOMPARE(s.doc()->archiveNote(), s.dialogs.asked[0].text);
            QVERIFY(s.doc()->archiveNote().startsWith(
                TextTable::text(TextTable::ArchiveNotArchived).arg(QString())));
            QCOMPARE(readBytes(damagedFile), QByteArray(4096, '\x5a'));
        } else {
            QVERIFY(s.dialogs.asked.isEmpty());
            QCOMPARE(s.doc()->archiveNote(), expected);
        }
    }
    if (archived >= 0)
        QCOMPARE(s.archived(), archived);
    if (enabled == QLatin1String("0"))
        QVERIFY(!QFile::exists(ArchiveSettings::localPath()));
}

void TestArchiveWindow::windowFiltersAndPages_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<qint64>("count"); // -1: refused with the message
    QTest::addColumn<QString>("message");
    QTest::newRow("everything") << QString() << QString() << kStation << QString();
    QTest::newRow("program") << "txtProgram"
                             << "902" << kStation / 3 << QString();
    QTest::newRow("unit") << "txtUnit"
                          << "mg/l Fe" << kStation / 3 << QString();
    QTest::newRow("from a date") << "txtFrom"
                                 << "2026-03-02" << qint64(144) << QString();
    QTest::newRow("to a date") << "txtTo"
                               << "2026-03-01" << qint64(3456) << QString();
    QTest::newRow("a quote") << "txtId"
                             << "1' OR '1'='1" << qint64(0) << QString();
    QTest::newRow("no such day")
        << "txtFrom"
        << "2026-02-30" << qint64(-1)
        << TextTable::text(TextTable::ArchiveFilterDate).arg(QStringLiteral("2026-02-30"));
    QTest::newRow("text too long")
        << "txtId" << QString(ArchiveFilter::kMaxText + 1, QLatin1Char('x')) << qint64(-1)
        << TextTable::text(TextTable::ArchiveFilterTooLong).arg(ArchiveFilter::kMaxText);
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

void TestArchiveWindow::unreadableArchiveIsExplained()
{
    QTemporaryDir elsewhere;
    const QString file = elsewhere.filePath(QStringLiteral("archive.sqlite"));
    writeBytes(file, "no database at all");
    Session s(10, {{QStringLiteral("Location"), file}});
    frmArchive *window = s.archiveWindow(100);
    QVERIFY(window->message().contains(file));
    QCOMPARE(window->model()->rowCount(), 0);
    QVERIFY(s.dialogs.asked.isEmpty());
    // The rest of the program works on.
    s.doc()->MenuImport();
    QCOMPARE(s.doc()->model()->rowCount(), 10);
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

void TestArchiveWindow::addFilesCancelLeavesArchiveAsBefore_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<qint64>("added");
    QTest::newRow("added") << false << qint64(60);
    QTest::newRow("cancelled") << true << qint64(0);
}

void TestArchiveWindow::addFilesCancelLeavesArchiveAsBefore()
{
    QFETCH(bool, cancel);
    QFETCH(qint64, added);
    Session s(12);
    s.doc()->MenuImport();
    s.dialogs.clear();
    const QString notAFile = s.path("notes.txt");
    writeBytes(notAFile, "shopping list");
    s.dialogs.filesAnswers.enqueue({s.klaroFile("a.csv", 20), notAFile, s.klaroFile("b.csv", 60)});
    if (cancel) {
        QTimer::singleShot(0, [] {
            if (auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget()))
                progress->cancel();
        });
    }
    s.main->MenuArchiveAddFiles();
    // The file that is no measured-value file is named, the others go on.
    QCOMPARE(s.dialogs.asked.size(), 3);
    QVERIFY(s.dialogs.asked[1].text.endsWith(notAFile));
    QCOMPARE(s.dialogs.asked[2].text,
             cancel ? TextTable::text(TextTable::ArchiveCancelled) : note(added, 20, 0));
    QCOMPARE(s.archived(), 12 + added);
}

QTEST_MAIN(TestArchiveWindow)
#include "tst_archivewindow.moc"
