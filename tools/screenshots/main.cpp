// meravo-screenshots: renders every window of the desktop program with realistic content into PNG
// files, so the look can be reviewed without a display. Usage: meravo-screenshots OUTPUT_FOLDER
#include "GuiTestSupport.h"
#include "SimDatasets.h"
#include "TestSupport.h"
#include "basMain.h"
#include "frmAbout.h"
#include "frmConfirm.h"
#include "frmDocument.h"
#include "frmHelp.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmWait.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
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
    return 0;
}
