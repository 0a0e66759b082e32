// Printouts as PDF files, in the print preview and with the page settings: the pages and lines the
// printer gets, from the windows and from meravo-cli.
#include "CCalProtocol.h"
#include "CPrint.h"
#include "frmCalProtocolPH.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "PrintJobs.h"
#include "SharedObjects.h"
#include "SimCalRecords.h"
#include "TextTable.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <unistd.h>

namespace {

// A Qt printer that also keeps the lines and page breaks it is given.
class KeepingTarget : public QtPrintTarget {
public:
    using QtPrintTarget::QtPrintTarget;
    QList<QStringList> pages{{}};
    bool printLine(const QString &text) override
    {
        pages.last() << text.simplified();
        return QtPrintTarget::printLine(text);
    }
    bool newPage() override
    {
        pages.append(QStringList());
        return QtPrintTarget::newPage();
    }
};

// Each page's lines as pdftotext reads them, spaces simplified, empty lines left out.
QList<QStringList> pdfPages(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(60000))
        return {};
    QStringList pageTexts = QString::fromUtf8(process.readAllStandardOutput()).split(u'\f');
    if (!pageTexts.isEmpty() && pageTexts.last().trimmed().isEmpty())
        pageTexts.removeLast();
    QList<QStringList> pages;
    for (const QString &page : pageTexts) {
        QStringList lines;
        for (const QString &line : page.split(u'\n'))
            if (!line.trimmed().isEmpty())
                lines << line.simplified();
        pages << lines;
    }
    return pages;
}

QString allText(const QList<QStringList> &pages)
{
    QStringList lines;
    for (const QStringList &page : pages)
        lines += page;
    return lines.join(u'\n');
}

QList<QStringList> withoutEmptyLines(QList<QStringList> pages)
{
    for (QStringList &page : pages)
        page.removeAll(QString());
    return pages;
}

// A measured-value file of count Lumora datasets with non-ASCII texts.
QByteArray measuredValueFile(int count)
{
    QByteArray text = "METER;S/N;USER;DATE;TIME\r\nLumora;S-0042;M\xfcller;3/7/2026;14:30:05\r\n\r\n"
                      "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2";
    for (int k = 1; k <= count; ++k)
        text += "\r\n" + QByteArray::number(k) + ";07.03.26;14:01;" + QByteArray::number(k % 97) +
                ";900;;;1:1;-1.5e-3;\xb5S/cm;OK;25.4;\xb0"
                "C;OK";
    return text + "\r\n";
}

struct Session : GuiSession {
    std::unique_ptr<SimCalRecords> records;
    Session()
        : GuiSession(
              meterIdentity(QStringLiteral("Lumora pH"), QStringLiteral("2.50"), QStringLiteral("S-0042"))),
          records(std::make_unique<SimCalRecords>(*sim))
    {
        records->ph = SimCalRecords::phRecord(3);
        logIn();
        main->shared().print->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 0)); });
    }
    ~Session() { main.reset(); }
    CPrint &print() { return *main->shared().print; }
    frmDocument *document(int count)
    {
        const QString file = path("values.csv");
        writeBytes(file, measuredValueFile(count));
        frmDocument *doc = main->documents().first();
        doc->FillFromFile(file);
        return doc;
    }
};

void setOrientation(QPageLayout::Orientation orientation)
{
    QPageLayout layout = PrintJobs::pageLayout();
    layout.setOrientation(orientation);
    PrintJobs::setPageLayout(layout);
}

// Runs command while a timer answers the modal dialog of type Dialog it opens.
template <typename Dialog>
void answerDialog(const std::function<void()> &command, std::function<void(Dialog &)> answer)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        answer(*dialog);
    });
    command();
    QVERIFY(seen);
}

int previewPages(const std::function<void()> &command)
{
    int pages = -1;
    answerDialog<QPrintPreviewDialog>(command, [&pages](QPrintPreviewDialog &dialog) {
        auto *widget = dialog.findChild<QPrintPreviewWidget *>();
        widget->updatePreview();
        pages = widget->pageCount();
        dialog.reject();
    });
    return pages;
}

bool havePdfTools()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

} // namespace

class TestPrintout : public QObject {
    Q_OBJECT
private slots:
    void pdfHasThePrintersPagesAndLines_data();
    void pdfHasThePrintersPagesAndLines();
    void previewAndOrientation();
    void pageSetupIsKept();
    void windowPdfCommands();
    void extraPageEndsEveryOutput();
    void cliPrint_data();
    void cliPrint();
};

void TestPrintout::pdfHasThePrintersPagesAndLines_data()
{
    QTest::addColumn<bool>("record");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("measured values, portrait") << false << false;
    QTest::newRow("measured values, landscape") << false << true;
    QTest::newRow("pH record") << true << false;
}

void TestPrintout::pdfHasThePrintersPagesAndLines()
{
    QFETCH(bool, record);
    QFETCH(bool, landscape);
    if (!havePdfTools())
        QSKIP("pdftotext is not installed");
    Session s;
    setOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    PrintJobs::Job job;
    frmDocument *doc = s.document(150);
    std::unique_ptr<frmCalProtocolPH> window;
    if (record) {
        window = std::make_unique<frmCalProtocolPH>(*s.main);
        job.print = [](CPrint &print) { return print.PrintCalProtocol(); };
    } else {
        job.print = [doc](CPrint &print) {
            return print.PrintMVals({doc->headerValue(0), doc->headerValue(1), doc->headerValue(2),
                                     QDateTime(QDate(2026, 3, 7), QTime(14, 30, 5)), doc->rawData()});
        };
    }
    const QString kept = s.path("kept.pdf");
    KeepingTarget target(kept);
    QVERIFY(PrintJobs::run(s.print(), target, job));
    const QList<QStringList> pages = pdfPages(kept);
    QCOMPARE(pages, withoutEmptyLines(target.pages));
    QVERIFY(record ? pages.size() == 1 : pages.size() > 2);

    // The window's own PDF command writes the same pages.
    const QString written = s.path("written.pdf");
    s.dialogs.fileAnswers.enqueue(written);
    if (record)
        window->findChild<QAction *>(QStringLiteral("actPrintPdf"))->trigger();
    else
        QVERIFY(doc->MenuFilePdf());
    QCOMPARE(pdfPages(written), pages);
    QVERIFY(allText(pages).contains(record ? QStringLiteral("#3") : QStringLiteral("M\u00fcller")));
}

void TestPrintout::previewAndOrientation()
{
    if (!havePdfTools())
        QSKIP("pdftotext is not installed");
    Session s;
    frmDocument *doc = s.document(300);
    QList<int> counts;
    for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
        setOrientation(orientation);
        const QString pdf = s.path("o.pdf");
        s.dialogs.fileAnswers.enqueue(pdf);
        QVERIFY(doc->MenuFilePdf());
        counts << int(pdfPages(pdf).size());
        QCOMPARE(previewPages([doc] { doc->menuAction(QStringLiteral("mnuFilePrintPreview"))->trigger(); }),
                 counts.last());
    }
    // Fewer lines fit a landscape page.
    QVERIFY2(counts[1] > counts[0], qPrintable(QStringLiteral("%1 %2").arg(counts[0]).arg(counts[1])));
}

void TestPrintout::pageSetupIsKept()
{
    Session s;
    frmDocument *doc = s.document(3);
    setOrientation(QPageLayout::Portrait);
    answerDialog<QPageSetupDialog>([doc] { doc->menuAction(QStringLiteral("mnuFilePageSetup"))->trigger(); },
                                   [](QPageSetupDialog &dialog) {
                                       dialog.findChild<QRadioButton *>(QStringLiteral("landscape"))->click();
                                       dialog.accept();
                                   });
    QCOMPARE(PrintJobs::pageLayout().orientation(), QPageLayout::Landscape);
    // Cancelled, nothing changes; a paper and margins set come back as set (kept in millimetres).
    answerDialog<QPageSetupDialog>([doc] { doc->MenuFilePageSetup(); },
                                   [](QPageSetupDialog &dialog) {
                                       dialog.findChild<QRadioButton *>(QStringLiteral("portrait"))->click();
                                       dialog.reject();
                                   });
    QCOMPARE(PrintJobs::pageLayout().orientation(), QPageLayout::Landscape);
    const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(20, 15, 20, 25),
                             QPageLayout::Millimeter);
    PrintJobs::setPageLayout(letter);
    QCOMPARE(PrintJobs::pageLayout().pageSize().id(), QPageSize::Letter);
    QCOMPARE(PrintJobs::pageLayout().margins(QPageLayout::Millimeter), QMarginsF(20, 15, 20, 25));
}

void TestPrintout::windowPdfCommands()
{
    Session s;
    frmDocument *doc = s.document(10);
    s.print().setTarget(nullptr);
    // Without a printer the print command offers the PDF file.
    const QString pdf = s.path("offered.pdf");
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    s.dialogs.fileAnswers.enqueue(pdf);
    doc->MenuFilePrint();
    QCOMPARE(s.dialogs.asked[0].text, TextTable::text(TextTable::NoPrinterOfferPdf));
    QVERIFY2(s.dialogs.asked[1].filter.contains(QStringLiteral("*.pdf")),
             qPrintable(s.dialogs.asked[1].filter));
    QVERIFY(readBytes(pdf).startsWith("%PDF"));

    // A PDF that cannot be written is told, and the file it would replace stays.
    writeBytes(pdf, "old");
    QVERIFY(QFile::setPermissions(pdf, QFileDevice::ReadOwner));
    s.dialogs.clear();
    s.dialogs.fileAnswers.enqueue(pdf);
    ErrorRecorder errors;
    QVERIFY(!doc->MenuFilePdf());
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::PdfNotWritten)});
    QCOMPARE(errors.reports.size(), 1);
    QCOMPARE(readBytes(pdf), QByteArray("old"));
}

void TestPrintout::extraPageEndsEveryOutput()
{
    if (!havePdfTools())
        QSKIP("pdftotext is not installed");
    Session s;
    setOrientation(QPageLayout::Portrait);
    frmDocument *doc = s.document(20);
    const QString plain = s.path("plain.pdf");
    s.dialogs.fileAnswers.enqueue(plain);
    QVERIFY(doc->MenuFilePdf());
    QRectF drawnOn;
    doc->setExtraPrintPage([&drawnOn](QPainter &painter, const QRectF &page) {
        drawnOn = page;
        painter.drawText(page, Qt::AlignCenter, QStringLiteral("The last page"));
    });
    const QString extra = s.path("extra.pdf");
    s.dialogs.fileAnswers.enqueue(extra);
    QVERIFY(doc->MenuFilePdf());
    QVERIFY(drawnOn.width() > 0 && drawnOn.height() > drawnOn.width());
    const QList<QStringList> pages = pdfPages(extra);
    QCOMPARE(pages.size(), pdfPages(plain).size() + 1);
    QCOMPARE(pages.last(), QStringList{QStringLiteral("The last page")});
    QCOMPARE(previewPages([doc] { doc->MenuFilePrintPreview(); }), int(pages.size()));
    // The record windows' printouts do not get the document's page.
    const QString record = s.path("record.pdf");
    s.dialogs.fileAnswers.enqueue(record);
    frmCalProtocolPH window(*s.main);
    QVERIFY(window.PrintToPdf());
    QVERIFY(!allText(pdfPages(record)).contains(QStringLiteral("The last page")));
    QCOMPARE(previewPages(
                 [&window] { window.findChild<QAction *>(QStringLiteral("actPrintPreview"))->trigger(); }),
             int(pdfPages(record).size()));
}

void TestPrintout::cliPrint_data()
{
    QTest::addColumn<QString>("input"); // file name in the folder
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("inPdf");
    QTest::newRow("measured values") << "values.csv"
                                     << "out.pdf" << 0 << "No.; Date; Time";
    QTest::newRow("pH record") << "record.csv"
                               << "out.pdf" << 0 << "#3";
    QTest::newRow("no such file") << "missing.csv"
                                  << "out.pdf" << 2 << "";
    QTest::newRow("unreadable") << "secret.csv"
                                << "out.pdf" << 3 << "";
    QTest::newRow("neither kind") << "other.csv"
                                  << "out.pdf" << 4 << "";
    QTest::newRow("read-only target") << "values.csv"
                                      << "readonly.pdf" << 5 << "";
    QTest::newRow("folder as target") << "values.csv"
                                      << "folder" << 5 << "";
}

void TestPrintout::cliPrint()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(QString, inPdf);
    Session s;
    QDir work(s.work.path());
    writeBytes(work.filePath("values.csv"), measuredValueFile(70));
    writeBytes(work.filePath("secret.csv"), measuredValueFile(1));
    writeBytes(work.filePath("other.csv"), "METER;S/N\r\nno measured values\r\n");
    writeBytes(work.filePath("readonly.pdf"), "old");
    QVERIFY(work.mkdir(QStringLiteral("folder")));
    {
        frmCalProtocolPH window(*s.main);
        QVERIFY(s.main->shared().calProtocol->SaveToFile(work.filePath("record.csv")));
    }
    QVERIFY(QFile::setPermissions(work.filePath("readonly.pdf"), QFileDevice::ReadOwner));
    QVERIFY(QFile::setPermissions(work.filePath("secret.csv"), {}));
    const QPageLayout landscapeA4(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                  QMarginsF(10, 10, 10, 10));
    PrintJobs::setPageLayout(landscapeA4);
    QStringList command = {QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), QStringLiteral("print"),
                           work.filePath(input), QStringLiteral("--pdf"), work.filePath(output)};
    // Root reads any file: the unreadable one is tried as another user.
    if (input == QLatin1String("secret.csv") && ::geteuid() == 0) {
        const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        if (runuser.isEmpty())
            QSKIP("runuser is not installed");
        QVERIFY(QFile::setPermissions(work.path(), QFileDevice::Permissions(0x7777)));
        command = QStringList{runuser, QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--")} +
                  command;
    }
    QProcess process;
    // No display: the command draws offscreen by itself.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.start(command.takeFirst(), command);
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode,
             qPrintable(errors));
    if (exitCode != 0) {
        QVERIFY(!errors.isEmpty());
        QVERIFY(!QFile::exists(work.filePath("out.pdf")));
        QCOMPARE(readBytes(work.filePath("readonly.pdf")), QByteArray("old"));
        return;
    }
    if (!havePdfTools())
        QSKIP("pdftotext is not installed");
    QVERIFY(allText(pdfPages(work.filePath(output))).contains(inPdf));
    // The desktop program's Page Setup applies.
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {work.filePath(output)});
    QVERIFY(info.waitForFinished(60000));
    QVERIFY(QString::fromLatin1(info.readAllStandardOutput()).contains(QStringLiteral("842 x 595")));
}

QTEST_MAIN(TestPrintout)
#include "tst_printout.moc"
