// The activity trail in the desktop program: the Trail window's filters and report, and the Archive
// window's verify, notes and withdrawals.
#include "Archive.h"
#include "ArchiveTableModel.h"
#include "CPrint.h"
#include "frmArchive.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "frmTrail.h"
#include "GuiTestSupport.h"
#include "RecordingPrintTarget.h"
#include "SharedObjects.h"
#include "SimDatasets.h"
#include "SystemAccount.h"
#include "TextTable.h"
#include "TrailTableModel.h"

#include <QAction>
#include <QCheckBox>
#include <QFont>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

namespace {

// Logged in as Ann, 30 datasets imported and archived, then a printout by Bo and an export by Ann:
// four entries (the import's, the login's where recorded, and these two).
struct Session : GuiSession {
    SimDatasets datasets{*sim};

    Session()
        : GuiSession(
              meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.50"), QStringLiteral("S-0042")))
    {
        datasets.setRecords(SimDatasets::stationRecords(30), 30);
        logIn();
        main->documents().first()->MenuImport();
        record(QStringLiteral("print"), QStringLiteral("River station.csv"), QStringLiteral("Bo"));
        record(QStringLiteral("export"), QStringLiteral("/lab/River station.xlsx"), QStringLiteral("Ann"));
        dialogs.clear();
    }
    ~Session() { main.reset(); }
    Archive &archive() const { return *main->shared().archive; }
    void record(const QString &action, const QString &object, const QString &login)
    {
        TrailAction entry;
        entry.action = action;
        entry.object = object;
        entry.login = login;
        archive().record(entry);
    }
    qint64 entries(const QString &action = QString()) const
    {
        TrailFilter filter;
        filter.action = action;
        qint64 n = -1;
        archive().trailCount(filter, &n);
        return n;
    }
    frmArchive *archiveWindow()
    {
        main->MenuArchive();
        return main->archiveWindow();
    }
};

int run(const QString &program, const QStringList &arguments, QString *out = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TestTrailWindow : public QObject {
    Q_OBJECT
private slots:
    void windowFilters_data();
    void windowFilters();
    void verifyTellsTheVerdict_data();
    void verifyTellsTheVerdict();
    void correctionsFromTheWindow_data();
    void correctionsFromTheWindow();
    void reportNamesWhoPrintedIt_data();
    void reportNamesWhoPrintedIt();
};

void TestTrailWindow::windowFilters_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("action"); // the action every row found has; empty: any
    QTest::addColumn<QString>("message");
    QTest::newRow("everything") << QString() << QString() << QString() << QString();
    QTest::newRow("action") << "txtAction"
                            << "print"
                            << "print" << QString();
    QTest::newRow("user, login or account") << "txtUser"
                                            << "Bo"
                                            << "print" << QString();
    QTest::newRow("part of the object") << "txtObject"
                                        << "station.xlsx"
                                        << "export" << QString();
    QTest::newRow("a wildcard is a character") << "txtObject"
                                               << "%"
                                               << "none" << QString();
    QTest::newRow("from tomorrow") << "txtFrom" << QDate::currentDate().addDays(1).toString(Qt::ISODate)
                                   << "none" << QString();
    QTest::newRow("no such day")
        << "txtTo"
        << "2026-02-30"
        << "none" << TextTable::text(TextTable::ArchiveFilterDate).arg(QStringLiteral("2026-02-30"));
}

void TestTrailWindow::windowFilters()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, action);
    QFETCH(QString, message);
    Session s;
    const qint64 all = s.entries();
    // Opened from the menu; pages of one entry, so every row comes through the paging.
    s.main->commands().action(Command::Trail).trigger();
    auto *window = s.main->findChild<frmTrail *>(QStringLiteral("frmTrail"));
    QVERIFY(window);
    window->model()->setPageSize(1);
    if (!field.isEmpty())
        window->field(field.toLatin1().constData())->setText(value);
    window->search();
    QCOMPARE(window->message(), message);
    TrailTableModel &model = *window->model();
    while (model.canFetchMore({}))
        model.fetchMore({});
    const qint64 expected = action.isEmpty() ? all : action == QLatin1String("none") ? 0 : s.entries(action);
    // A refused filter leaves what was shown.
    QCOMPARE(model.rowCount(), int(message.isEmpty() ? expected : all));
    for (int row = 0; row < model.rowCount() && !action.isEmpty() && message.isEmpty(); ++row)
        QCOMPARE(model.entry(row).action, action);
    if (message.isEmpty())
        QCOMPARE(window->countText(),
                 TextTable::text(TextTable::TrailCount).arg(QLocale().toString(expected)));
}

void TestTrailWindow::verifyTellsTheVerdict_data()
{
    QTest::addColumn<QString>("sql"); // run with sqlite3 on the archive first
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<QString>("told"); // the start of what the message says
    QTest::newRow("intact") << QString() << QString()
                            << TextTable::text(TextTable::TrailIntact).section(u':', 0, 0);
    QTest::newRow("value changed")
        << "DROP TRIGGER trail_no_update; UPDATE trail SET login = 'Eve' WHERE seq = 2;" << QString()
        << TextTable::text(TextTable::TrailBroken).arg(2).section(u':', 0, 0);
    QTest::newRow("anchor differs") << QString() << QStringLiteral("1:") + QString(64, u'0')
                                    << TextTable::text(TextTable::TrailBroken).arg(1).section(u':', 0, 0);
    QTest::newRow("no anchor")
        << QString() << "1:abc"
        << TextTable::text(TextTable::ArchiveAnchorInvalid).arg(QStringLiteral("1:abc"));
}

void TestTrailWindow::verifyTellsTheVerdict()
{
    QFETCH(QString, sql);
    QFETCH(QString, anchor);
    QFETCH(QString, told);
    if (!sql.isEmpty() && QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        QSKIP("sqlite3 is not installed");
    Session s;
    if (!sql.isEmpty())
        QCOMPARE(run(QStringLiteral("sqlite3"), {ArchiveSettings::localPath(), sql}), 0);
    const qint64 before = s.entries();
    s.dialogs.inputAnswers.enqueue(anchor.isNull() ? QStringLiteral("") : anchor);
    s.archiveWindow()->verifyTrail();
    const QStringList texts = s.dialogs.messageTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().startsWith(told), qPrintable(texts.first()));
    // Every verdict is itself an entry; a refused anchor is no verdict.
    QCOMPARE(s.entries(), before + (told.contains(anchor) && !anchor.isEmpty() ? 0 : 1));
}

void TestTrailWindow::correctionsFromTheWindow_data()
{
    QTest::addColumn<bool>("withdraw");
    QTest::addColumn<QString>("text"); // null: the dialog cancelled
    QTest::addColumn<int>("corrected");
    QTest::newRow("annotate") << false << "diluted 1:10 by hand, value x10" << 2;
    QTest::newRow("withdraw") << true << "cuvette scratched" << 2;
    QTest::newRow("no reason") << true << "  " << 0;
    QTest::newRow("cancelled") << false << QString() << 0;
}

void TestTrailWindow::correctionsFromTheWindow()
{
    QFETCH(bool, withdraw);
    QFETCH(QString, text);
    QFETCH(int, corrected);
    Session s;
    frmArchive *window = s.archiveWindow();
    ArchiveTableModel &model = *window->model();
    const int rows = model.rowCount();
    const qint64 first = model.archivedRow(0).id;
    window->table()->selectRow(0);
    window->table()->selectionModel()->select(model.index(1, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    s.dialogs.inputAnswers.enqueue(text);
    withdraw ? window->withdrawSelected() : window->annotateSelected();
    const QString action = withdraw ? QStringLiteral("withdraw") : QStringLiteral("annotate");
    QCOMPARE(s.entries(action), qint64(corrected));
    QCOMPARE(s.dialogs.messageTexts(), text.isNull() || corrected
                                           ? QStringList()
                                           : QStringList{TextTable::text(TextTable::TrailReasonMissing)});
    // A withdrawn dataset is hidden until asked for, then shown struck through; a note stays in view.
    QCOMPARE(model.rowCount(), rows - (withdraw ? corrected : 0));
    window->findChild<QCheckBox *>(QStringLiteral("chkWithdrawn"))->setChecked(true);
    QCOMPARE(model.rowCount(), rows);
    QCOMPARE(model.archivedRow(0).id, first);
    const QModelIndex notes = model.index(0, ArchiveTableModel::NotesColumn);
    QCOMPARE(notes.data().toString(), corrected ? text : QString());
    QCOMPARE(notes.data(Qt::FontRole).value<QFont>().strikeOut(), withdraw && corrected > 0);
    // Opened as a document, the notes go into its table printout as a last column.
    window->table()->selectRow(0);
    window->openAsDocuments();
    RecordingPrintTarget printer;
    s.main->shared().print->setTarget(&printer);
    frmDocument::setTablePrintout(true);
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    s.main->commands().action(Command::FilePrint).trigger();
    frmDocument::setTablePrintout(false);
    s.main->shared().print->setTarget(nullptr);
    QCOMPARE(printer.lastLines().join(u'\n').contains(QStringLiteral("value x10")),
             !withdraw && corrected > 0);
}

void TestTrailWindow::reportNamesWhoPrintedIt_data()
{
    QTest::addColumn<bool>("commandLine");
    QTest::newRow("window") << false;
    QTest::newRow("command line") << true;
}

void TestTrailWindow::reportNamesWhoPrintedIt()
{
    QFETCH(bool, commandLine);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext is not installed");
    Session s;
    const QString pdf = s.path("trail.pdf");
    if (commandLine) {
        const QString cli = QStringLiteral(MERAVO_BIN_DIR "/meravo-cli");
        QCOMPARE(run(cli, {QStringLiteral("trail"), QStringLiteral("show"), QStringLiteral("--action"),
                           QStringLiteral("print"), QStringLiteral("--pdf"), pdf}),
                 0);
    } else {
        frmTrail *window = frmTrail::open(*s.main);
        window->field("txtAction")->setText(QStringLiteral("print"));
        window->search();
        s.dialogs.fileAnswers.enqueue(pdf);
        QVERIFY(window->saveReportAsPdf());
    }
    QString text;
    QCOMPARE(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}, &text),
             0);
    // Who printed it: the login, or the account where there is none.
    const QString who = commandLine ? SystemAccount::current().userName : QStringLiteral("Ann");
    QVERIFY2(text.contains(TextTable::text(TextTable::TrailPrintedBy) + u' ' + who), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("River station.csv")));
    QVERIFY(!text.contains(QStringLiteral("River station.xlsx")));
    // The report is a file the program wrote: the trail knows it.
    QCOMPARE(s.entries(QStringLiteral("pdf")), qint64(1));
}

QTEST_MAIN(TestTrailWindow)
#include "tst_trailwindow.moc"
