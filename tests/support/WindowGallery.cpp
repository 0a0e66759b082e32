#include "WindowGallery.h"

#include "Archive.h"
#include "basMain.h"
#include "CMeasVal.h"
#include "CommLog.h"
#include "Cp1252.h"
#include "CUsrDefProg.h"
#include "frmAbout.h"
#include "frmArchive.h"
#include "frmCalProtEdit.h"
#include "frmCalProtocolPH.h"
#include "frmCalProtocolTurb.h"
#include "frmChangeDir.h"
#include "frmCommLog.h"
#include "frmConfirm.h"
#include "frmConnCheck.h"
#include "frmControlChart.h"
#include "frmDocument.h"
#include "frmHelp.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmProfileEdit.h"
#include "frmProgConsole.h"
#include "frmProgEdit.h"
#include "frmTrail.h"
#include "frmWait.h"
#include "GuiTestSupport.h"
#include "QcStore.h"
#include "SharedObjects.h"
#include "SimCalRecords.h"
#include "SimDatasets.h"
#include "SimPrograms.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "ValueChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

WindowGallery::Visit g_visit;
QString g_out;

void save(QWidget *widget, const char *name)
{
    QTest::qWait(50);
    g_visit(widget, name);
}

// The main window after an import from a simulated meter of the given model.
void importScreen(const char *model, const char *firmware, qint64 count, const char *name)
{
    GuiSandbox sandbox;
    SimBench bench(3);
    MeterIdentity id;
    id.model = QString::fromLatin1(model);
    id.firmware = QString::fromLatin1(firmware);
    id.serial = QStringLiteral("190412");
    MeterSim &sim = bench.addMeter(3, id);
    SimDatasets datasets(sim);
    datasets.generate(count);
    ScriptedDialogs dialogs;
    dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
    frmMain main(dialogs);
    answerLogin(QStringLiteral("M. Keller"), true);
    basMain::Main(main);
    main.resize(1100, 640);
    main.documents().first()->MenuImport();
    save(&main, name);
    if (id.model != QLatin1String("Lumora"))
        return;
    main.link().CloseAllPorts();
    frmConnCheck check(*main.shared().device, *main.shared().communication, false, &main);
    check.show();
    check.runCheck(true);
    save(&check, "connection-check");
    frmCommLog log(main.commLog(), dialogs, &main);
    log.show();
    save(&log, "communication-log");
}

// A document opened from a file of a river station's datasets, with the chart beside the table.
void chartScreen()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(1280, 760);
    main.show();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("River station.csv"));
    const QString raw = Cp1252::decode("\r\n" + SimDatasets::stationRecords(2400) + "\r\n!\r\n>");
    main.shared().measVal->SaveFile({QStringLiteral("Lumora"), QStringLiteral("190412"),
                                     QStringLiteral("M. Keller"), QDateTime(QDate(2026, 3, 2), QTime(9, 30)),
                                     raw},
                                    path);
    frmDocument *doc = main.OpenDocumentWindow(path);
    doc->setChartShown(true);
    save(&main, "document-chart");
    // The chart as Save chart... writes it, zoomed in on the first hours.
    ValueChart &chart = *doc->chart();
    chart.zoom(0.3, 1.0, 0.0);
    const QString saved = QDir(g_out).filePath(QStringLiteral("chart-saved.png"));
    if (chart.saveImage(saved, QSize(1000, 600)))
        std::printf("%s\n", qPrintable(saved));
    doc->setChartShown(false);
}

// The archive window over a river station's datasets, the first of them archived before with other content.
void archiveScreen()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(1100, 640);
    main.show();
    const QDateTime at(QDate(2026, 3, 2), QTime(9, 30));
    QByteArray records = SimDatasets::stationRecords(900);
    QList<ImportRecord> imports;
    // The first dataset as it was read once, with another program: the station's own reading conflicts.
    for (const QByteArray &text :
         {records.left(records.indexOf("\r\n")).replace(";901;", ";902;"), records}) {
        ImportRecord record = ImportRecord::fromMeter(Cp1252::decode("\r\n" + text + "\r\n!\r\n>"), at);
        record.meter = QStringLiteral("Lumora");
        record.serial = QStringLiteral("190412");
        record.login = QStringLiteral("M. Keller");
        imports.append(record);
    }
    Archive::Summary summary;
    main.shared().archive->keepAll(imports, &summary);
    // A note beside one dataset, another withdrawn, shown as asked for.
    Archive &archive = *main.shared().archive;
    archive.annotate(3, QStringLiteral("Sample diluted 1:10 by hand, value x10"),
                     QStringLiteral("M. Keller"));
    archive.withdraw(5, QStringLiteral("Cuvette scratched"), QStringLiteral("M. Keller"));
    TrailAction printout;
    printout.action = QStringLiteral("print");
    printout.object = QStringLiteral("River station.csv");
    printout.login = QStringLiteral("A. Brandt");
    printout.details = {{QStringLiteral("printer"), QStringLiteral("Lab-Laser")}};
    archive.record(printout);
    main.MenuArchive();
    frmArchive *window = main.archiveWindow();
    window->resize(1040, 600);
    window->findChild<QCheckBox *>(QStringLiteral("chkWithdrawn"))->setChecked(true);
    save(window, "archive");
    frmTrail *trail = frmTrail::open(main);
    trail->resize(1100, 480);
    save(trail, "trail");
    // The report of the trail as a PDF file, and its first page as pdftoppm draws it.
    const QString pdf = QDir(g_out).filePath(QStringLiteral("trail-report.pdf"));
    dialogs.fileAnswers.enqueue(pdf);
    if (!trail->saveReportAsPdf())
        return;
    const QString page = QDir(g_out).filePath(QStringLiteral("trail-report-page1"));
    if (QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                           QStringLiteral("-singlefile"), pdf, page}) == 0)
        std::printf("%s.png\n", qPrintable(page));
    // The station's nitrate values as a control sample (their drift breaks the run tests), its
    // definition, and the editor of a delivery profile.
    QcDefinition nitrate;
    nitrate.name = QStringLiteral("NO3 station check");
    nitrate.program = QStringLiteral("902");
    QcStore::define(archive, nitrate, QStringLiteral("M. Keller"));
    frmControlChart chart(main, &main);
    chart.reload(nitrate.name);
    chart.resize(1100, 640);
    chart.show();
    save(&chart, "control-chart");
    QcDefinitionDialog definition(nitrate, true, &main);
    definition.show();
    save(&definition, "qc-definition");
    frmProfileEdit profiles(main, &main);
    profiles.show();
    save(&profiles, "profile-editor");
}

// The print preview of an imported document, and the first page of its PDF file as pdftoppm draws it.
void printoutScreens()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    MeterIdentity id;
    id.model = QStringLiteral("Lumora");
    id.serial = QStringLiteral("190412");
    SimDatasets datasets(bench.addMeter(1, id));
    datasets.generate(120);
    ScriptedDialogs dialogs;
    dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
    frmMain main(dialogs);
    answerLogin(QStringLiteral("M. Keller"), true);
    basMain::Main(main);
    frmDocument *doc = main.documents().first();
    doc->MenuImport();
    QTimer::singleShot(300, [] {
        if (QWidget *preview = QApplication::activeModalWidget()) {
            preview->resize(900, 700);
            save(preview, "print-preview");
            preview->close();
        }
    });
    doc->MenuFilePrintPreview();
    const QString pdf = QDir(g_out).filePath(QStringLiteral("printout.pdf"));
    dialogs.fileAnswers.enqueue(pdf);
    if (!doc->MenuFilePdf())
        return;
    const QString page = QDir(g_out).filePath(QStringLiteral("printout-page1"));
    if (QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                           QStringLiteral("-singlefile"), pdf, page}) == 0)
        std::printf("%s.png\n", qPrintable(page));
}

// A main window online with a simulated meter that keeps calibration records.
struct RecordSession {
    GuiSandbox sandbox;
    SimBench bench{1};
    std::unique_ptr<SimCalRecords> records;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> main;

    explicit RecordSession(const char *model)
    {
        MeterIdentity id;
        id.model = QString::fromLatin1(model);
        id.firmware = QStringLiteral("2.50");
        id.serial = QStringLiteral("190412");
        records = std::make_unique<SimCalRecords>(bench.addMeter(1, id));
        dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
        main = std::make_unique<frmMain>(dialogs);
        answerLogin(QStringLiteral("M. Keller"), true);
        basMain::Main(*main);
    }
};

// Both calibration record windows with records read from simulated meters, and the lot editor.
void calRecordScreens()
{
    {
        RecordSession s("Lumora pH");
        s.records->ph =
            "0,2026,3,15,10,20,30,1,-58.6,-3.2,3,30,0,0,3,7.00,-3.2,25.0,4.01,171.5,25.1,10.01,-177.9,24.9";
        frmCalProtocolPH window(*s.main);
        window.show();
        save(&window, "calrecord-ph");
    }
    RecordSession s("Klaro 7 T");
    frmCalProtocolTurb window(*s.main);
    window.show();
    auto *poll = new QTimer(&window);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll] {
        auto *editor = qobject_cast<frmCalProtEdit *>(QApplication::activeModalWidget());
        if (!editor || !editor->isVisible())
            return;
        poll->stop();
        editor->lotTotalEdit()->setText(QStringLiteral("F-2611"));
        editor->expiryEdit()->setText(QStringLiteral("2027-05-31"));
        editor->manufacturerEdit()->setText(QStringLiteral("Formazin Lab"));
        const char *lots[5] = {"2611-04A", "2611-04B", "2611-05A", "2611-05C", "2611-06A"};
        for (int i = 0; i < 5; ++i)
            editor->stdEdit(i)->setText(QString::fromLatin1(lots[i]));
        save(editor, "calrecord-lot-editor");
        editor->acceptButton()->click();
    });
    poll->start();
    window.editLotButton()->click();
    save(&window, "calrecord-turbidity");
}

} // namespace

namespace WindowGallery {

void showEveryWindow(const Visit &visit, const QString &fileFolder)
{
    g_visit = visit;
    g_out = fileFolder;
    importScreen("Klaro 7 T", "2.42", 40, "main-klaro7-import");
    importScreen("Lumora", "2.10", 60, "main-lumora-import");
    chartScreen();
    archiveScreen();

    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(900, 560);
    main.show();
    save(&main, "main-offline-empty");

    frmLogin login(*main.shared().login, &main);
    login.userName()->setText(QStringLiteral("M. Keller"));
    login.show();
    save(&login, "login");

    frmWait &wait = main.waitDialog();
    wait.ShowWithText(TextTable::text(TextTable::DataLoading));
    wait.setProgress(183422, 2114);
    // A meter that stalled after those: the line saying so fits in every language too.
    wait.setSilence(9999);
    save(&wait, "wait-import-progress");
    wait.Unload();

    frmConfirm confirm(&main);
    confirm.SetText(TextTable::text(TextTable::ConfirmEraseAllPrograms));
    confirm.show();
    save(&confirm, "confirm");

    sandbox.setSetting(QStringLiteral("About"), QStringLiteral("Internet"),
                       QStringLiteral("www.example.org"));
    sandbox.setSetting(QStringLiteral("About"), QStringLiteral("Mail"),
                       QStringLiteral("service@example.org"));
    frmAbout about(*main.shared().ini, &main);
    about.show();
    save(&about, "about");

    frmHelp help(&main);
    help.showTopic(main.helpFile(), 10000);
    save(&help, "help-documents");
    calRecordScreens();
    printoutScreens();

    {
        // The program console and the editor against a simulated meter with programs, a working
        // directory with program files, and the working-directory dialog.
        GuiSandbox programSandbox;
        SimBench programBench(3);
        MeterIdentity programMeter;
        programMeter.model = QStringLiteral("Lumora");
        programMeter.firmware = QStringLiteral("2.10");
        programMeter.serial = QStringLiteral("190412");
        SimPrograms programs(programBench.addMeter(3, programMeter));
        programs.put(QStringLiteral("901,PO4,16,690,0.05,5.0,0.012,0.385,0.01,PO4-P,mg/l,1,1,0"));
        programs.put(QStringLiteral("902,NO3,28,436,0.2,12,0.004,0.161,0.1,NO3-N,mg/l,1,0,0"));
        programs.put(QStringLiteral("915,FE2,16,517,0.02,3.0,0.003,0.615,0.01,Fe,mg/l,0,1,1"));
        ScriptedDialogs programDialogs;
        programDialogs.buttonAnswers.enqueue(UserDialogs::Ok);
        frmMain programMain(programDialogs);
        answerLogin(QStringLiteral("M. Keller"), true);
        basMain::Main(programMain);
        CUsrDefProg &prog = *programMain.shared().usrDefProg;
        const QString work = programSandbox.home() + QStringLiteral("/Lab/Methods/Programs");
        QDir().mkpath(work);
        QDir().mkpath(work + QStringLiteral("/Archive"));
        const char *files[3][2] = {
            {"PROG 901.csv", "901,PO4,16,690,0.05,5.0,0.012,0.385,0.01,PO4-P,mg/l,M. Keller,1,1,0"},
            {"Silica 930.csv", "930,SIO2,16,690,0.1,8.0,0.008,0.242,0.01,SiO2,mg/l,A. Brandt,1,0,0"},
            {"PROG 940.csv", "940,NH4,16,690,0.02,2.5,0.021,0.712,0.01,NH4-N,mg/l,A. Brandt,1,1,1"}};
        for (const auto &file : files) {
            const QStringList v = QString::fromLatin1(file[1]).split(u',');
            ProgramRecord program;
            program.setFromFile(v);
            prog.SaveToFile(program, work + u'/' + QLatin1String(file[0]));
        }
        prog.setWorkDir(work);
        frmProgConsole console(programMain);
        console.show();
        save(&console, "progconsole");

        console.meterList()->setCurrentRow(0);
        frmProgEdit editor(programMain, console);
        editor.show();
        save(&editor, "progedit-normal");
        const char *pairs[5][2] = {
            {"0", "0.014"}, {"1", "0.392"}, {"2", "0.785"}, {"3", "1.164"}, {"4", "1.553"}};
        for (int i = 0; i < 5; ++i) {
            editor.valX(i)->setText(QLatin1String(pairs[i][0]));
            editor.valY(i)->setText(QLatin1String(pairs[i][1]));
        }
        editor.cmdExtended_Click();
        editor.cmdCalCalculate_Click();
        editor.cmdTransfer_Click();
        save(&editor, "progedit-extended");
        editor.hide();

        frmChangeDir changeDir(programMain, &console);
        changeDir.show();
        save(&changeDir, "changedir");
    }
}

} // namespace WindowGallery
