// The measured-value document window: import into the grid, save, open, export, print, and the
// questions that keep data from being lost.
#include "basMain.h"
#include "CPrint.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "frmWait.h"
#include "GuiTestSupport.h"
#include "LocaleTexts.h"
#include "MValTableModel.h"
#include "QtPrintTarget.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "Twips.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeySequence>
#include <QMdiArea>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <tuple>

namespace {

// A main window logged in and online with the meter of the bench.
struct Session : GuiSession {
    std::unique_ptr<SimDatasets> datasets;

    explicit Session(const char *model, qint64 count, const char *firmware = "2.50")
        : GuiSession(meterIdentity(QString::fromLatin1(model), QString::fromLatin1(firmware),
                                   QStringLiteral("S-0042"))),
          datasets(std::make_unique<SimDatasets>(*sim))
    {
        datasets->generate(count);
        logIn();
    }
    ~Session() { main.reset(); }
    frmDocument *doc() const { return main->documents().first(); }
};

QString cell(const frmDocument *doc, int row, int column)
{
    return doc->model()->index(row, column).data().toString();
}

QString header(const frmDocument *doc, int column)
{
    return doc->model()->headerData(column, Qt::Horizontal).toString();
}

} // namespace

class TestDocument : public QObject {
    Q_OBJECT
private slots:
    void hugeFieldIsCutForTheGrid();
    void importKlaro7IntoGrid();
    void importLumoraIntoGrid();
    void importWithoutDatasetsKeepsOneEmptyRow();
    void cancelledImportSendsStopAndFails();
    void saveAndOpenRoundTrip();
    void cancelledSaveChangesNothing();
    void fileDialogsAddTheExtensionAndStartWhereLastUsed();
    void unsavedImportIsOfferedForSaving();
    void dismissedSaveQuestionKeepsTheProgram_data();
    void dismissedSaveQuestionKeepsTheProgram();
    void emptyDocumentHasNothingToSaveExportOrPrint();
    void exportWritesSpreadsheet();
    void printToPdf();
    void badFilesAreReported();
};

void TestDocument::importKlaro7IntoGrid()
{
    Session s("Klaro 7 T", 25);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(doc->model()->columnCount(), 10);
    QCOMPARE(doc->model()->rowCount(), 25);
    const QStringList headers = {"No.",  "Date",   "Time",    "ID",        "Value",
                                 "Unit", "Status", "AQA/Cal", "Date cal.", "Time cal."};
    for (int i = 0; i < headers.size(); ++i)
        QCOMPARE(header(doc, i), headers[i]);
    const QList<QByteArray> first = s.datasets->records().split('\r').first().split(';');
    QCOMPARE(cell(doc, 0, 0), QString::fromLatin1(first[0]));
    QCOMPARE(cell(doc, 0, 9), QString::fromLatin1(first[9]));
    QCOMPARE(doc->grid()->columnWidth(7), Twips::toPixels(1600, doc));
    // A column is at least as wide as the layout says, and wide enough for its dates.
    QVERIFY(doc->grid()->columnWidth(1) >= Twips::toPixels(800, doc));
    QVERIFY(doc->grid()->columnWidth(1) > doc->grid()->fontMetrics().horizontalAdvance(cell(doc, 0, 1)));
    QCOMPARE(doc->headerValue(0), QStringLiteral("Klaro 7 T"));
    QCOMPARE(doc->headerValue(1), QStringLiteral("S-0042"));
    QCOMPARE(doc->headerValue(2), QStringLiteral("Ann"));
    QCOMPARE(doc->headerValue(3), LocaleTexts::shortDate(QDate::currentDate()));
    QVERIFY(doc->isModified());
    QVERIFY(s.main->waitDialog().isHidden());
}

void TestDocument::importLumoraIntoGrid()
{
    Session s("Lumora", 3);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    QCOMPARE(doc->model()->columnCount(), 14);
    QCOMPARE(doc->model()->rowCount(), 3);
    QCOMPARE(header(doc, 4), QStringLiteral("PROG"));
    QCOMPARE(header(doc, 13), QStringLiteral("Status 2"));
    const QList<QByteArray> third = s.datasets->records().split('\n').at(2).trimmed().split(';');
    QCOMPARE(cell(doc, 2, 13), QString::fromLatin1(third[13]));
    // The number column widens to the digits the last datasets' numbers have.
    s.datasets->generate(10200);
    doc->MenuImport();
    QTableView *grid = doc->grid();
    // As the cell draws it: the text between the style's margins.
    const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
    QVERIFY(grid->fontMetrics().horizontalAdvance(cell(doc, 10199, 0)) + margins <= grid->columnWidth(0));
}

void TestDocument::importWithoutDatasetsKeepsOneEmptyRow()
{
    Session s("Lumora", 0);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(doc->model()->rowCount(), 1);
    QCOMPARE(doc->model()->columnCount(), 14);
    QCOMPARE(cell(doc, 0, 0), QString());
    QVERIFY(doc->isModified());
}

void TestDocument::cancelledImportSendsStopAndFails()
{
    Session s("Lumora", 400);
    s.sim->faults().pace = true; // about 8 s at 4800 baud
    // The link clock stands still: no answer time can end this wait, only the stop.
    s.main->link().setClock(&s.clock);
    frmDocument *doc = s.doc();
    frmWait &wait = s.main->waitDialog();
    // Cancelled as a user would, once the datasets are on their way.
    QMetaObject::Connection cancel;
    cancel = connect(&s.main->link(), &CSerialLink::transferProgress, &wait, [&](qint64 bytes, qint64) {
        if (bytes == 0 || !s.sim->commandLog().contains(QStringLiteral("U.581")))
            return;
        disconnect(cancel);
        QTimer::singleShot(0, &wait, [&wait] { wait.cancelButton()->click(); });
    });
    const qint64 sentBefore = s.sim->bytesSent();
    doc->MenuImport();
    const qint64 sentCancelled = s.sim->bytesSent() - sentBefore;
    QCOMPARE(s.main->link().timedOutSeconds(), qint64(0));
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ImportError)});
    QCOMPARE(s.datasets->stopCommands(), 1);
    QCOMPARE(doc->model()->columnCount(), 9); // the blank grid: nothing was shown
    QVERIFY(!doc->isModified());

    // A rejected import of a document with data keeps the data.
    s.sim->faults().pace = false;
    const qint64 sentWhole = s.sim->bytesSent();
    doc->MenuImport();
    QCOMPARE(doc->model()->rowCount(), 400);
    // The stop cut the transfer short, at once: the whole one is many times longer.
    QVERIFY(sentCancelled * 4 < s.sim->bytesSent() - sentWhole);
    s.dialogs.clear();
    s.sim->faults().rejectCommands = {QStringLiteral("U.581")};
    doc->MenuImport();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ImportError)});
    QCOMPARE(doc->model()->rowCount(), 400);
    QCOMPARE(doc->headerValue(0), QStringLiteral("Lumora"));
}

void TestDocument::saveAndOpenRoundTrip()
{
    Session s("Lumora", 12);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    const QString target = s.path("run1.csv");
    s.dialogs.fileAnswers.enqueue(target);
    doc->MenuFileSave(); // no file yet: Save As
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("save"));
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Save as"));
    QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Lumora"));
    QCOMPARE(s.dialogs.asked[0].filter, QStringLiteral("CSV (separator-delimited) (*.csv)"));
    QVERIFY(QFile::exists(target));
    QCOMPARE(doc->windowTitle(), QStringLiteral("run1.csv"));
    QVERIFY(!doc->isModified());
    const QString raw = doc->rawData();

    // Saving again writes to the same file without asking.
    s.dialogs.clear();
    doc->MenuFileSave();
    QVERIFY(s.dialogs.asked.isEmpty());

    // A file made read-only since is not written over: Save asks for a name (cancelled here).
    QVERIFY(QFile::setPermissions(target,
                                  QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    doc->MenuFileSave();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("save"));
    QCOMPARE(doc->filePath(), target);
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    s.dialogs.clear();

    s.dialogs.fileAnswers.enqueue(target);
    s.main->MenuFileOpen();
    QCOMPARE(s.main->NumDocs(), short(1));
    frmDocument *opened = s.doc();
    QVERIFY(opened != doc);
    QCOMPARE(opened->windowTitle(), QStringLiteral("run1.csv"));
    QCOMPARE(opened->rawData(), raw);
    QCOMPARE(opened->model()->rowCount(), 12);
    QCOMPARE(opened->headerValue(0), QStringLiteral("Lumora"));
    QCOMPARE(opened->headerValue(2), QStringLiteral("Ann"));
    QVERIFY(!opened->isModified());
}

void TestDocument::fileDialogsAddTheExtensionAndStartWhereLastUsed()
{
    Session s("Lumora", 3);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    const QString folder = s.path("runs");
    QVERIFY(QDir().mkpath(folder));
    s.dialogs.fileAnswers.enqueue(folder + QStringLiteral("/run"));
    doc->MenuFileSaveAs();
    // Before any choice: the documents folder, or the home folder without one; never the current one.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(QFileInfo(s.dialogs.asked[0].start).absolutePath(),
             QFileInfo(documents).isDir() ? documents : QDir::homePath());
    QCOMPARE(doc->filePath(), folder + QStringLiteral("/run.csv"));
    QVERIFY(QFile::exists(doc->filePath()));
    // The dialog asked about "run": replacing "run.csv" is asked here, and refused.
    s.dialogs.clear();
    s.dialogs.fileAnswers.enqueue(folder + QStringLiteral("/run"));
    s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
    doc->MenuFileSaveAs();
    doc->MenuExport();
    s.main->MenuFileOpen();
    QCOMPARE(s.dialogs.asked.size(), 4);
    QCOMPARE(s.dialogs.asked[1].buttons, UserDialogs::Yes | UserDialogs::No);
    QCOMPARE(s.dialogs.asked[2].start, folder + QStringLiteral("/Lumora"));
    QCOMPARE(s.dialogs.asked[3].start, folder);
}

void TestDocument::cancelledSaveChangesNothing()
{
    Session s("Lumora", 2);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    doc->MenuFileSaveAs(); // the script cancels
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(doc->windowTitle(), TextTable::text(TextTable::Datasets));
    QVERIFY(doc->isModified());
    QVERIFY(doc->filePath().isEmpty());
}

void TestDocument::unsavedImportIsOfferedForSaving()
{
    Session s("Lumora", 2);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    // Yes, then the save dialog cancelled: the document stays open, nothing is lost.
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    QVERIFY(!doc->closeWindow());
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Question"));
    QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Data was modified!\r\nDo you want to save the data?"));
    QCOMPARE(s.dialogs.asked[0].buttons, UserDialogs::Yes | UserDialogs::No);
    QCOMPARE(s.main->NumDocs(), short(1));
    // New keeps the document the user did not let go of.
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    s.main->MenuFileNew();
    QCOMPARE(s.main->documents().first(), doc);
    // No closes without saving.
    s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
    QVERIFY(doc->closeWindow());
    QTRY_COMPARE(s.main->NumDocs(), short(0));
}

void TestDocument::dismissedSaveQuestionKeepsTheProgram_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Escape") << true;
    QTest::newRow("close button") << false;
}

void TestDocument::dismissedSaveQuestionKeepsTheProgram()
{
    QFETCH(bool, escape);
    // The real question box, dismissed as a user does.
    QtUserDialogs real;
    QTimer::singleShot(0, [escape] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        // Yes and No have their access keys.
        int keys = 0;
        for (const QPushButton *button : box->findChildren<QPushButton *>())
            keys += QKeySequence::mnemonic(button->text()).isEmpty() ? 0 : 1;
        QCOMPARE(keys, 2);
        if (escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    const int answer =
        real.question(nullptr, TextTable::text(TextTable::AskSaveData), UserDialogs::Yes | UserDialogs::No);
    QCOMPARE(answer, int(UserDialogs::Cancel));
    // That answer to the question at exit: the program and its import stay.
    Session s("Lumora", 2);
    s.doc()->MenuImport();
    s.dialogs.buttonAnswers.enqueue(answer);
    QVERIFY(!s.main->close());
    QCOMPARE(s.main->NumDocs(), short(1));
    QVERIFY(s.doc()->isModified());
}

void TestDocument::emptyDocumentHasNothingToSaveExportOrPrint()
{
    Session s("Lumora", 2);
    frmDocument *doc = s.doc();
    doc->MenuFileSave();
    doc->MenuExport();
    doc->MenuFilePrint();
    QCOMPARE(s.dialogs.messageTexts(), QStringList(3, TextTable::text(TextTable::NoDatasetsImported)));
    for (const auto &asked : s.dialogs.asked) {
        QCOMPARE(asked.title, QStringLiteral("Information"));
        QCOMPARE(asked.icon, UserDialogs::Icon::Information);
    }
    // Nothing imported, nothing to lose: closing asks nothing.
    QVERIFY(doc->closeWindow());
    QCOMPARE(s.dialogs.asked.size(), 3);
}

void TestDocument::exportWritesSpreadsheet()
{
    Session s("Klaro 7 IR", 30);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    const QString target = s.path("run.xls");
    s.dialogs.fileAnswers.enqueue(target);
    doc->MenuExport();
    QCOMPARE(s.dialogs.asked.size(), 1);
    // The sheet first (the default), the workbook second.
    QCOMPARE(s.dialogs.asked[0].filter,
             QStringLiteral("Microsoft Office Excel workbook (*.xls);;Excel workbook (*.xlsx)"));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith(QByteArray::fromHex("0900040002001000")));
    QVERIFY(bytes.endsWith(QByteArray::fromHex("0A000000")));
    // The name's extension picks the type; a name without one gets the sheet's.
    for (const auto &[chosen, written, start] :
         {std::tuple{"run.xlsx", "run.xlsx", QByteArray("PK")},
          std::tuple{"plain", "plain.xls", QByteArray::fromHex("0900")}}) {
        s.dialogs.fileAnswers.enqueue(s.path(chosen));
        doc->MenuExport();
        QVERIFY2(readBytes(s.path(written)).startsWith(start), written);
    }
    // Export changes neither path, caption nor the modified flag.
    QVERIFY(doc->filePath().isEmpty());
    QVERIFY(doc->isModified());
}

void TestDocument::printToPdf()
{
    Session s("Lumora", 4);
    const QString pdf = s.path("print.pdf");
    QtPrintTarget target(pdf);
    s.main->shared().print->setTarget(&target);
    frmDocument *doc = s.doc();
    doc->MenuImport();
    s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
    doc->MenuFilePrint();
    QCOMPARE(s.dialogs.asked.last().text,
             TextTable::text(TextTable::PrintOnPrinterLabel) + QLatin1Char(' ') + pdf);
    QVERIFY(!QFile::exists(pdf));
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    doc->MenuFilePrint();
    QCOMPARE(s.dialogs.asked.size(), 2); // no error
    QVERIFY(QFile::exists(pdf));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        MERAVO_READER_MISSING("pdftotext is not installed");
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(process.waitForFinished(30000));
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(text.contains(QStringLiteral("Meter: Lumora")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("S/N: S-0042")));
    QVERIFY(text.contains(QStringLiteral("No.; Date; Time; ID; PROG;")));
    const QList<QByteArray> first = s.datasets->records().split('\r').first().split(';');
    QVERIFY(text.contains(QString::fromLatin1(first[0] + "; " + first[1] + "; ")));
}

void TestDocument::badFilesAreReported()
{
    Session s("Lumora", 1);
    const QString bad = s.path("bad.csv");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("meter;s/n;user;date;time\r\nx\r\n");
    file.close();
    s.dialogs.fileAnswers.enqueue(bad);
    s.main->MenuFileOpen();
    s.dialogs.fileAnswers.enqueue(s.path("missing.csv"));
    s.main->MenuFileOpen();
    QCOMPARE(s.dialogs.messageTexts(), QStringList({TextTable::text(TextTable::InvalidCsvFormat),
                                                    TextTable::text(TextTable::FileReadError)}));
    QCOMPARE(s.dialogs.asked.last().title, QStringLiteral("Error"));
    QCOMPARE(s.main->NumDocs(), short(1));
    QCOMPARE(s.doc()->model()->columnCount(), 9);
}

// A 60 MB field of a damaged answer: the grid shows its start and its length, so the table measures
// a thousand characters instead of sixty million (before: 52 s and 2.4 GB for the import).
void TestDocument::hugeFieldIsCutForTheGrid()
{
    MValTableModel model;
    const QList<TableColumn> layout{
        {QStringLiteral("No."), 500, 0}, {QStringLiteral("ID"), 500, 2}, {QStringLiteral("Value"), 500, 1}};
    const qsizetype size = 60 * 1024 * 1024;
    QVERIFY(model.fill(QStringLiteral("1;") + QString(size, u'7') + QStringLiteral(";0.5\r\n2;short;1.5\r\n"),
                       layout));
    QElapsedTimer clock;
    clock.start();
    QStringList cells;
    for (int column = 0; column < model.columnCount(); ++column)
        cells << model.data(model.index(0, column)).toString();
    QVERIFY(clock.elapsed() < 1000);
    const QString cut = QString(MValTableModel::kMaxCellChars, u'7') + QStringLiteral("... [%1]").arg(size);
    QVERIFY(cells.contains(cut));
    QVERIFY(cells.contains(QStringLiteral("0.5")));
}

QTEST_MAIN(TestDocument)
#include "tst_document.moc"
