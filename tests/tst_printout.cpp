// Printouts as PDF files, in the print preview and with the page settings: the pages and lines the
// printer gets, from the windows and from meravo-cli.
#include "CCalProtocol.h"
#include "CPrint.h"
#include "frmCalProtocolPH.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "PrintJobs.h"
#include "SimCalRecords.h"
#include "TextTable.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <unistd.h>

namespace {

// A Qt printer that also keeps the lines and page breaks it is given, as pdftotext reads them back.
class KeepingTarget : public QtPrintTarget {
public:
    using QtPrintTarget::QtPrintTarget;
    QList<QStringList> pages{{}};
    bool printLine(const QString &text) override
    {
        if (!text.trimmed().isEmpty())
            pages.last() << text.simplified();
        return QtPrintTarget::printLine(text);
    }
    bool newPage() override
    {
        pages.append(QStringList());
        return QtPrintTarget::newPage();
    }
};

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Each page's non-empty lines, spaces simplified.
QList<QStringList> pdfPages(const QString &path)
{
    QStringList texts =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")}).split(u'\f');
    texts.removeLast(); // after the last page's form feed
    QList<QStringList> pages;
    for (const QString &text : texts) {
        pages.append(QStringList());
        for (const QString &line : text.split(u'\n'))
            if (!line.trimmed().isEmpty())
                pages.last() << line.simplified();
    }
    return pages;
}

QString allLines(const QList<QStringList> &pages)
{
    QStringList lines;
    for (const QStringList &page : pages)
        lines += page;
    return lines.join(u'\n');
}

QByteArray measuredValueFile(int count)
{
    QByteArray text = "METER;S/N;USER;DATE;TIME\r\nLumora;S-0042;M\xfcller;3/7/2026;14:30:05\r\n\r\n"
                      "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2";
    for (int k = 1; k <= count; ++k)
        text += "\r\n" + QByteArray::number(k) +
                ";07.03.26;14:01;7;900;;;1:1;-1.5e-3;\xb5S/cm;OK;25;\xb0"
                "C;OK";
    return text + "\r\n";
}

// Logged in with a meter that keeps a pH record of three points; a document of count datasets.
struct Session : GuiSession {
    std::unique_ptr<SimCalRecords> records;
    frmDocument *doc = nullptr;
    explicit Session(int count)
        : GuiSession(meterIdentity(QStringLiteral("Lumora pH"), QString(), QStringLiteral("S-0042"))),
          records(std::make_unique<SimCalRecords>(*sim))
    {
        records->ph = SimCalRecords::phRecord(3);
        logIn();
        main->shared().print->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 0)); });
        writeBytes(path("values.csv"), measuredValueFile(count));
        doc = main->documents().first();
        doc->FillFromFile(path("values.csv"));
    }
    ~Session() { main.reset(); }
    // The PDF file a window's command writes, chosen in the save dialog.
    QList<QStringList> pdfOf(const std::function<void()> &command)
    {
        QFile::remove(path("out.pdf"));
        dialogs.fileAnswers.enqueue(path("out.pdf"));
        command();
        return pdfPages(path("out.pdf"));
    }
};

void setOrientation(QPageLayout::Orientation orientation)
{
    QPageLayout layout = PrintJobs::pageLayout();
    layout.setOrientation(orientation);
    PrintJobs::setPageLayout(layout);
}

// Runs command while the modal dialog it opens is answered.
template <typename Dialog>
void answering(const std::function<void()> &command, std::function<void(Dialog &)> answer)
{
    const ModalAnswer<Dialog> answerer(std::move(answer));
    command();
    QVERIFY(answerer.answered());
}

qsizetype previewPages(QAction *command)
{
    int pages = -1;
    answering<QPrintPreviewDialog>([command] { command->trigger(); },
                                   [&pages](QPrintPreviewDialog &dialog) {
                                       auto *widget = dialog.findChild<QPrintPreviewWidget *>();
                                       widget->updatePreview();
                                       pages = widget->pageCount();
                                       dialog.reject();
                                   });
    return pages;
}

// Where a line's cells begin: a character after two spaces, as pdftotext -layout sets columns apart.
QList<qsizetype> cellStarts(const QString &line)
{
    QList<qsizetype> starts;
    for (qsizetype i = 0; i < line.size(); ++i)
        if (line[i] != u' ' && (i == 0 || (i >= 2 && line[i - 1] == u' ' && line[i - 2] == u' ')))
            starts << i;
    return starts;
}

} // namespace

class TestPrintout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pagesAndLines_data();
    void pagesAndLines();
    void pageSetupTurnsThePage();
    void pdfInsteadOfPrinterAndLastPage();
    void cliPrint_data();
    void cliPrint();
    void tablePrintout_data();
    void tablePrintout();
};

void TestPrintout::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        MERAVO_READER_MISSING("pdftotext is not installed (scripts/setup.sh installs poppler-utils)");
}

void TestPrintout::pagesAndLines_data()
{
    QTest::addColumn<bool>("record");
    QTest::newRow("measured values") << false;
    QTest::newRow("pH record") << true;
}

void TestPrintout::pagesAndLines()
{
    QFETCH(bool, record);
    Session s(150);
    frmCalProtocolPH window(*s.main);
    CPrint &print = *s.main->shared().print;
    const PrintJobs::Job job{
        [&](CPrint &p) {
            return record ? p.PrintCalProtocol()
                          : p.PrintMVals({QStringLiteral("Lumora"), QStringLiteral("S-0042"),
                                          QStringLiteral("M\u00fcller"),
                                          QDateTime(QDate(2026, 3, 7), QTime(14, 30, 5)), s.doc->rawData()});
        },
        {}};
    KeepingTarget printer(s.path("kept.pdf"));
    QVERIFY(PrintJobs::run(print, printer, job));
    QCOMPARE(pdfPages(s.path("kept.pdf")), printer.pages);
    QVERIFY(record ? printer.pages.size() == 1 : printer.pages.size() > 2);
    QVERIFY(allLines(printer.pages).contains(record ? QStringLiteral("#3") : QStringLiteral("M\u00fcller")));
    if (record) {
        // The points' columns stand under each other, apart, as pdftotext lays the page out.
        const QStringList lines = run(QStringLiteral("pdftotext"),
                                      {QStringLiteral("-layout"), s.path("kept.pdf"), QStringLiteral("-")})
                                      .split(u'\n')
                                      .filter(QRegularExpression(QStringLiteral("^\\s*#\\d")));
        QCOMPARE(lines.size(), 3);
        const QRegularExpression columns(
            QStringLiteral("^\\s*#\\d(\\s{2,})\\S+(\\s{2,})\\S+ mV(\\s{2,})\\S+ \u00b0C$"));
        QList<qsizetype> starts;
        for (const QString &line : lines) {
            const QRegularExpressionMatch match = columns.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            for (int c = 1; c <= 3; ++c)
                starts << match.capturedEnd(c);
        }
        QCOMPARE(starts.mid(3, 3), starts.mid(0, 3));
        QCOMPARE(starts.mid(6, 3), starts.mid(0, 3));
    }

    // The window's PDF command and its preview show those pages.
    QAction *pdf = window.findChild<QAction *>(QStringLiteral("actPrintPdf"));
    QCOMPARE(s.pdfOf([&] { record ? pdf->trigger() : (void)s.doc->MenuFilePdf(); }), printer.pages);
    QCOMPARE(previewPages(record ? window.findChild<QAction *>(QStringLiteral("actPrintPreview"))
                                 : &s.main->commands().action(Command::FilePrintPreview)),
             printer.pages.size());
}

void TestPrintout::pageSetupTurnsThePage()
{
    Session s(300);
    setOrientation(QPageLayout::Portrait);
    const qsizetype portrait = s.pdfOf([&] { s.doc->MenuFilePdf(); }).size();
    // Accepted, the setting is kept; cancelled, nothing changes.
    for (const auto &[radio, accept] : {std::pair{"landscape", true}, std::pair{"portrait", false}}) {
        answering<QPageSetupDialog>([&] { s.main->commands().action(Command::FilePageSetup).trigger(); },
                                    [radio, accept](QPageSetupDialog &dialog) {
                                        dialog.findChild<QRadioButton *>(QLatin1String(radio))->click();
                                        accept ? dialog.accept() : dialog.reject();
                                    });
        QCOMPARE(PrintJobs::pageLayout().orientation(), QPageLayout::Landscape);
    }
    // Fewer lines fit a landscape page.
    QVERIFY(s.pdfOf([&] { s.doc->MenuFilePdf(); }).size() > portrait);
}

void TestPrintout::pdfInsteadOfPrinterAndLastPage()
{
    Session s(20);
    setOrientation(QPageLayout::Portrait);
    s.main->shared().print->setTarget(nullptr);
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    const qsizetype pages = s.pdfOf([&] { s.doc->MenuFilePrint(); }).size();
    QCOMPARE(s.dialogs.asked[0].text, TextTable::text(TextTable::NoPrinterOfferPdf));

    s.doc->setExtraPrintPage([](QPainter &painter, const QRectF &page) {
        painter.drawText(page, Qt::AlignCenter,
                         QStringLiteral("The last page %1").arg(page.height() > page.width()));
    });
    const QList<QStringList> extra = s.pdfOf([&] { s.doc->MenuFilePdf(); });
    QCOMPARE(extra.size(), pages + 1);
    QCOMPARE(extra.last(), QStringList{QStringLiteral("The last page 1")});
    QCOMPARE(previewPages(&s.main->commands().action(Command::FilePrintPreview)), extra.size());
    // The record's printout does not get the document's page.
    frmCalProtocolPH window(*s.main);
    QCOMPARE(s.pdfOf([&] { window.PrintToPdf(); }).size(), 1);
}

void TestPrintout::cliPrint_data()
{
    QTest::addColumn<QString>("input");
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
    // Records no meter writes: 99 standards (the turbidity points' count), the year 99999.
    QTest::newRow("99 points") << "points99.csv"
                               << "out.pdf" << 4 << "";
    QTest::newRow("year 99999") << "year99999.csv"
                                << "out.pdf" << 4 << "";
    // A folder is there, but no file: unreadable, not missing.
    QTest::newRow("a folder") << "folder"
                              << "out.pdf" << 3 << "";
    // One 100 MB line: cut before it is laid out, printed as fast as any file.
    QTest::newRow("100 MB line") << "huge.csv"
                                 << "out.pdf" << 0 << "No.; Date; Time";
    QTest::newRow("read-only target") << "values.csv"
                                      << "readonly.pdf" << 5 << "";
}

void TestPrintout::cliPrint()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(QString, inPdf);
    Session s(70);
    writeBytes(s.path("secret.csv"), measuredValueFile(1));
    writeBytes(s.path("other.csv"), "METER;S/N\r\nno measured values\r\n");
    writeBytes(s.path("readonly.pdf"), "old");
    {
        frmCalProtocolPH window(*s.main);
        QVERIFY(s.main->shared().calProtocol->SaveToFile(s.path("record.csv")));
    }
    {
        const QByteArray record = readBytes(s.path("record.csv"));
        const QList<QByteArray> lines = record.split('\n');
        QByteArray points = record;
        points.replace("\n" + lines.value(9), "\n99" + lines.value(9).mid(lines.value(9).indexOf(';')));
        writeBytes(s.path("points99.csv"), points);
        QByteArray year = record;
        year.replace("\n" + lines.value(3), "\n99999" + lines.value(3).mid(lines.value(3).indexOf(';')));
        writeBytes(s.path("year99999.csv"), year);
    }
    QVERIFY(QDir().mkpath(s.path("folder")));
    if (input == QLatin1String("huge.csv")) {
        QByteArray huge = measuredValueFile(1);
        huge.replace(";7;900;", ";" + QByteArray(100 * 1024 * 1024, '7') + ";900;");
        writeBytes(s.path("huge.csv"), huge);
    }
    QVERIFY(QFile::setPermissions(s.path("readonly.pdf"), QFileDevice::ReadOwner));
    QVERIFY(QFile::setPermissions(s.path("secret.csv"), {}));
    // The desktop program's Page Setup applies.
    PrintJobs::setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10)));
    QStringList command = {QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"), QStringLiteral("print"),
                           s.path(qPrintable(input)), QStringLiteral("--pdf"), s.path(qPrintable(output))};
    // Root reads any file: the unreadable one is tried as another user.
    if (input == QLatin1String("secret.csv") && ::geteuid() == 0) {
        QVERIFY(QFile::setPermissions(s.work.path(), QFileDevice::Permissions(0x7777)));
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("nobody"),
                              QStringLiteral("--")} +
                  command;
    }
    QProcess process;
    // No display: the command draws offscreen by itself.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(command.takeFirst(), command);
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    if (input == QLatin1String("huge.csv")) {
        // Before the cut: 263 s, 3.96 GB and a flood on stderr.
        qInfo("100 MB line printed in %lld ms", clock.elapsed());
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(errors.size() < 1000, qPrintable(errors.left(1000)));
    }
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode,
             qPrintable(errors));
    if (exitCode != 0) {
        QVERIFY(!QFile::exists(s.path("out.pdf")));
        QCOMPARE(readBytes(s.path("readonly.pdf")), QByteArray("old"));
        return;
    }
    QVERIFY(allLines(pdfPages(s.path("out.pdf"))).contains(inPdf));
    QVERIFY(run(QStringLiteral("pdfinfo"), {s.path("out.pdf")}).contains(QStringLiteral("842 x 595")));
}

void TestPrintout::tablePrintout_data()
{
    QTest::addColumn<bool>("cli");
    QTest::addColumn<QSizeF>("paper"); // mm
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("sections"); // the columns' parts, one after another
    QTest::newRow("window: File > Print as table, Save as PDF") << false << QSizeF(210, 297) << 3 << 1;
    QTest::newRow("meravo-cli print --table") << true << QSizeF(210, 297) << 3 << 1;
    QTest::newRow("a table wider than the paper") << true << QSizeF(105, 148) << 8 << 2;
}

void TestPrintout::tablePrintout()
{
    QFETCH(bool, cli);
    QFETCH(QSizeF, paper);
    QFETCH(int, pages);
    QFETCH(int, sections);
    Session s(150);
    PrintJobs::setPageLayout(QPageLayout(QPageSize(paper, QPageSize::Millimeter), QPageLayout::Portrait,
                                         QMarginsF(10, 10, 10, 10)));
    qsizetype previewed = 0;
    if (cli) {
        QProcess process;
        process.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                      {QStringLiteral("print"), s.path("values.csv"), QStringLiteral("--pdf"),
                       s.path("out.pdf"), QStringLiteral("--table")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
    } else {
        s.main->commands().action(Command::TablePrintout).trigger();
        QVERIFY(frmDocument::tablePrintout());
        s.pdfOf([&] { s.doc->MenuFilePdf(); });
        previewed = previewPages(&s.main->commands().action(Command::FilePrintPreview));
    }
    QStringList texts =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), s.path("out.pdf"), QStringLiteral("-")})
            .split(u'\f');
    texts.removeLast();
    QCOMPARE(texts.size(), pages);
    if (!cli)
        QCOMPARE(previewed, pages);
    qsizetype datasets = 0;
    const QRegularExpression datasetLine(QStringLiteral("^\\d+ {2,}\\S"));
    const QStringList values =
        QStringLiteral("07.03.26 14:01 7 900 1:1 -1.5e-3 \u00b5S/cm OK 25 \u00b0C").split(u' ');
    for (qsizetype k = 0; k < pages; ++k) {
        QStringList lines = texts[k].split(u'\n');
        lines.removeAll(QString());
        for (const char *text : {"Lumora", "S-0042", "M\u00fcller"})
            QVERIFY2(texts[k].contains(QString::fromUtf8(text)), text);
        QCOMPARE(lines.last().trimmed(), QStringLiteral("Page %1 of %2").arg(k + 1).arg(pages));
        // Every dataset's cells start under their column's header, whole, none run together.
        const QString header = lines.filter(QStringLiteral("No.")).value(0);
        const qsizetype indent = header.indexOf(QStringLiteral("No."));
        const QList<qsizetype> columns = cellStarts(header.mid(indent));
        QVERIFY(columns.size() > 5);
        for (const QString &line : lines) {
            if (!datasetLine.match(line.mid(indent)).hasMatch())
                continue;
            ++datasets;
            for (qsizetype start : cellStarts(line.mid(indent)))
                QVERIFY2(columns.contains(start), qPrintable(header + u'\n' + line));
            const QStringList cells = line.trimmed().split(QRegularExpression(QStringLiteral(" {2,}")));
            for (const QString &cell : cells.mid(1))
                QVERIFY2(values.contains(cell), qPrintable(line));
        }
    }
    // Every dataset once in each section, none lost between pages.
    QCOMPARE(datasets, 150 * sections);
}

QTEST_MAIN(TestPrintout)
#include "tst_printout.moc"
