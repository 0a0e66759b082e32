// meravo-screenshots: renders every window of the desktop program with realistic content into PNG
// files, so the look can be reviewed without a display. Usage: meravo-screenshots OUTPUT_FOLDER
#include "GuiTestSupport.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "basMain.h"
#include "SimCalRecords.h"
#include "frmAbout.h"
#include "frmCalProtEdit.h"
#include "frmCalProtocolPH.h"
#include "frmCalProtocolTurb.h"
#include "frmConfirm.h"
#include "frmDocument.h"
#include "frmHelp.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmWait.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

QString g_out;

void save(QWidget *widget, const char *name)
{
    QTest::qWait(50);
    const QString path = QDir(g_out).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!widget->grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
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
        s.records->ph = "0,2026,3,15,10,20,30,1,-58.6,-3.2,3,30,0,0,3,7.00,-3.2,25.0,4.01,171.5,25.1,10.01,-177.9,24.9";
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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: meravo-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);

    importScreen("Klaro 7 T", "2.42", 40, "main-klaro7-import");
    importScreen("Lumora", "2.10", 60, "main-lumora-import");

    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    main.Load();
    main.resize(900, 560);
    save(&main, "main-offline-empty");

    frmLogin login(*main.shared().login, &main);
    login.userName()->setText(QStringLiteral("M. Keller"));
    login.show();
    save(&login, "login");

    frmWait &wait = main.waitDialog();
    wait.ShowWithText(QStringLiteral("Data is being loaded..."));
    wait.setProgress(183422, 2114);
    save(&wait, "wait-import-progress");
    wait.Unload();

    frmConfirm confirm(&main);
    confirm.SetText(QStringLiteral("Really erase all programs?"));
    confirm.show();
    save(&confirm, "confirm");

    sandbox.setSetting(QStringLiteral("About"), QStringLiteral("Internet"), QStringLiteral("www.example.org"));
    sandbox.setSetting(QStringLiteral("About"), QStringLiteral("Mail"), QStringLiteral("service@example.org"));
    frmAbout about(*main.shared().ini, &main);
    about.show();
    save(&about, "about");

    frmHelp help(&main);
    help.showTopic(main.helpFile(), 10000);
    save(&help, "help-documents");
    calRecordScreens();
    return 0;
}
