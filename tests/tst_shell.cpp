// The desktop program's shell: start-up, login, meter search, command states, main window commands.
#include "basMain.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CLogin.h"
#include "frmAbout.h"
#include "frmCommLog.h"
#include "frmConfirm.h"
#include "frmConnCheck.h"
#include "frmDocument.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmWait.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

MeterIdentity meter(const char *model, const char *firmware = "2.00")
{
    MeterIdentity id;
    id.model = QString::fromLatin1(model);
    id.firmware = QString::fromLatin1(firmware);
    id.serial = QStringLiteral("123456");
    return id;
}

bool enabled(frmMain &main, Command command)
{
    return main.commands().action(command).isEnabled();
}

bool button(frmMain &main, Command command)
{
    return main.commands().button(command).isEnabled();
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void offlineStartTouchesNoPort();
    void loginCancelEndsBeforeSearch();
    void loginNameFilterAndLength();
    void searchRecognisedAndAccepted();
    void searchRecognisedAndDeclinedStaysOffline();
    void searchFailuresInBothEditions();
    void firmwareTooOld();
    void commandStatesByMeter_data();
    void commandStatesByMeter();
    void commandStatesOfflineEditionAndDocumentCount();
    void documentCommandsActOnTheActiveDocument_data();
    void documentCommandsActOnTheActiveDocument();
    void searchAgainKeepsOldMeterPanelsAndOneDocument();
    void changeUser();
    void inputFieldShowsItsLimitAndTitle();
    void toolbarToggleStaysInStep();
    void windowPositionIsRestored();
    void waitDialogCancelStopsTheLink();
    void confirmationAnswersOnlyYesWithOk();
    void aboutBoxShowsOnlyTheAddressesSet();
    void connectionCheckWhileOnline();
    void commLogWindowFollowsTheLinkAndSaves_data();
    void commLogWindowFollowsTheLinkAndSaves();
};

void TestShell::commLogWindowFollowsTheLinkAndSaves_data()
{
    QTest::addColumn<bool>("toFolder");
    QTest::newRow("to a file") << false;
    QTest::newRow("onto a folder: refused") << true;
}

void TestShell::commLogWindowFollowsTheLinkAndSaves()
{
    QFETCH(bool, toFolder);
    GuiSession session(meterIdentity(QStringLiteral("Lumora"), QStringLiteral("2.05")));
    session.logIn(true);
    session.main->commands().action(Command::CommLog).trigger();
    auto *window = session.main->findChild<frmCommLog *>();
    QVERIFY(window && window->isVisible());
    // The search before the window opened comes from the file, the exchange after it arrives live.
    QVERIFY(window->view()->toPlainText().contains(QStringLiteral("U.595\\r\\n")));
    QVERIFY(session.main->link().BeginExchange(1, QStringLiteral("4800")));
    session.main->link().COMDeinit();
    QVERIFY(window->view()->toPlainText().endsWith(QStringLiteral("exchange ended")));
    // The same folder the command-line companion writes to, whatever the program's own names.
    const QString folder = QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath(QStringLiteral("Meravo/log"));
    QCOMPARE(QFileInfo(session.main->commLog().runFiles().value(0)).absolutePath(), folder);

    const QString path = session.path("comm.log");
    if (toFolder)
        QVERIFY(QDir().mkdir(path));
    session.dialogs.fileAnswers.enqueue(path);
    QCOMPARE(window->saveAs(), !toFolder);
    if (toFolder) {
        QCOMPARE(session.dialogs.messageTexts().size(), 1);
        QVERIFY(QFileInfo(path).isDir());
    } else {
        QCOMPARE(QString::fromUtf8(readBytes(path)), session.main->commLog().runText());
    }
    session.main->commands().action(Command::CommLog).trigger();
    QCOMPARE(session.main->findChildren<frmCommLog *>().size(), 1);
}

void TestShell::offlineStartTouchesNoPort()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1);
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), false);
    QVERIFY(basMain::Main(main));
    QCOMPARE(main.statusText(frmMain::PanelInterface), TextTable::text(TextTable::Offline));
    QCOMPARE(main.statusText(frmMain::PanelUser), QStringLiteral("Ann"));
    QVERIFY(sim.commandLog().isEmpty());
    QVERIFY(!main.link().isControlOpen(0));
    QCOMPARE(main.NumDocs(), short(1));
    QVERIFY(!enabled(main, Command::Import));
    QVERIFY(!button(main, Command::Import));
    QVERIFY(button(main, Command::FileSave));
    QVERIFY(enabled(main, Command::CalRecordPH));
    QVERIFY(dialogs.asked.isEmpty());
    QCOMPARE(main.windowTitle(), QStringLiteral("Meravo"));
    QCOMPARE(main.commands().action(Command::About).text(), QStringLiteral("&About "));
}

void TestShell::loginCancelEndsBeforeSearch()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1);
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true, false);
    QVERIFY(!basMain::Main(main));
    QVERIFY(sim.commandLog().isEmpty());
    QVERIFY(!main.isVisible());
}

void TestShell::loginNameFilterAndLength()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(main.Load());
    CLogin &login = *main.shared().login;
    frmLogin dialog(login, &main);
    dialog.show();
    QTest::keyClicks(dialog.userName(), QStringLiteral("a;b"));
    QCOMPARE(dialog.userName()->text(), QStringLiteral("a.b"));
    dialog.userName()->clear();
    dialog.userName()->insert(QStringLiteral("x;y;z")); // as a paste does
    QCOMPARE(dialog.userName()->text(), QStringLiteral("x.y.z"));
    QTest::keyClicks(dialog.userName(), QStringLiteral("0123456789abcdefghij"));
    QCOMPARE(dialog.userName()->text().size(), 15);
    dialog.userName()->clear();
    dialog.okButton()->click();
    QVERIFY(login.Successful());
    QVERIFY(login.SearchDevice());
    QCOMPARE(login.UserName(), QStringLiteral("---"));
}

void TestShell::searchRecognisedAndAccepted()
{
    GuiSandbox sandbox;
    SimBench bench(2);
    bench.addMeter(2, meter("Lumora pH"));
    ScriptedDialogs dialogs;
    dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true);
    QVERIFY(basMain::Main(main));
    QCOMPARE(dialogs.asked.size(), 1);
    const ScriptedDialogs::Asked &question = dialogs.asked.first();
    QCOMPARE(question.title, QStringLiteral("Information"));
    QCOMPARE(question.text, QStringLiteral("Lumora pH recognized!"));
    QCOMPARE(question.icon, UserDialogs::Icon::Information);
    QCOMPARE(question.buttons, UserDialogs::Ok | UserDialogs::Cancel);
    QCOMPARE(main.statusText(frmMain::PanelInterface), QStringLiteral("COM 2"));
    QCOMPARE(main.statusText(frmMain::PanelBaud), QStringLiteral("4800 Baud"));
    QCOMPARE(main.statusText(frmMain::PanelMeter), QStringLiteral("Lumora pH"));
    QCOMPARE(main.statusText(frmMain::PanelSerial), QStringLiteral("123456"));
    QVERIFY(main.shared().device->Online());
    QVERIFY(enabled(main, Command::Import));
    QVERIFY(button(main, Command::Import));
    QVERIFY(main.waitDialog().isHidden());
    // The search leaves the port open for the next exchange; the program's end closes it.
    QVERIFY(main.link().isControlOpen(0));
    QVERIFY(main.close());
    QVERIFY(!main.link().isControlOpen(0));
}

void TestShell::searchRecognisedAndDeclinedStaysOffline()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    bench.addMeter(1, meter("Lumora"));
    ScriptedDialogs dialogs;
    dialogs.buttonAnswers.enqueue(UserDialogs::Cancel);
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true);
    QVERIFY(basMain::Main(main));
    QVERIFY(!main.shared().device->Online());
    QCOMPARE(main.statusText(frmMain::PanelInterface), TextTable::text(TextTable::Offline));
    QCOMPARE(main.statusText(frmMain::PanelBaud), QString());
    QCOMPARE(main.statusText(frmMain::PanelMeter), QString());
    QCOMPARE(main.shared().communication->COMPort(), 1); // found, but not taken
    QVERIFY(!enabled(main, Command::Import));
}

void TestShell::searchFailuresInBothEditions()
{
    for (const bool klaro7Edition : {false, true}) {
        GuiSandbox sandbox;
        if (klaro7Edition)
            sandbox.setSetting(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"),
                               QStringLiteral("True"));
        SimBench bench(1);
        bench.addMeter(1, meter("Lumora Turb"));
        ScriptedDialogs dialogs;
        frmMain main(dialogs);
        if (!klaro7Edition)
            bench.meter(1)->identity().model = QStringLiteral("lumora turb"); // names are compared exactly
        answerLogin(QStringLiteral("Ann"), true);
        QVERIFY(basMain::Main(main));
        QCOMPARE(dialogs.asked.size(), 1);
        QCOMPARE(dialogs.asked.first().title, QStringLiteral("Error"));
        QCOMPARE(dialogs.asked.first().icon, UserDialogs::Icon::Critical);
        QCOMPARE(dialogs.asked.first().text, TextTable::text(klaro7Edition ? TextTable::NoKlaro7Recognized
                                                                           : TextTable::NoMeterRecognized));
        QCOMPARE(main.statusText(frmMain::PanelInterface), TextTable::text(TextTable::Offline));
        QCOMPARE(main.helpFile().endsWith(klaro7Edition ? QStringLiteral("ClarixHlp_e.chm")
                                                        : QStringLiteral("MeravoHlp_e.chm")),
                 true);
    }
}

void TestShell::firmwareTooOld()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    bench.addMeter(1, meter("Klaro 4 T", "1.59"));
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true);
    QVERIFY(basMain::Main(main));
    QCOMPARE(dialogs.messageTexts(),
             QStringList{QStringLiteral(
                 "The software version of the meter is too low!\r\nPlease update the firmware!")});
}

void TestShell::commandStatesByMeter_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("ph");
    QTest::addColumn<bool>("turbidity");
    QTest::addColumn<bool>("programs");
    QTest::newRow("Klaro 4") << "Klaro 4 IR" << false << true << false;
    QTest::newRow("Klaro 7") << "Klaro 7 T" << false << true << false;
    QTest::newRow("Lumora without pH") << "Lumora STD" << false << false << true;
    QTest::newRow("Lumora Turb") << "Lumora Turb" << true << true << true;
}

void TestShell::commandStatesByMeter()
{
    QFETCH(QString, model);
    QFETCH(bool, ph);
    QFETCH(bool, turbidity);
    QFETCH(bool, programs);
    GuiSandbox sandbox;
    SimBench bench(1);
    MeterIdentity id = meter("Lumora");
    id.model = model;
    id.firmware = QStringLiteral("2.50");
    bench.addMeter(1, id);
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true);
    QVERIFY(basMain::Main(main));
    QVERIFY(main.shared().device->Online());
    QCOMPARE(enabled(main, Command::CalRecordPH), ph);
    QCOMPARE(enabled(main, Command::CalRecordTurbidity), turbidity);
    QCOMPARE(enabled(main, Command::ProgramsMenu), programs);
    QCOMPARE(button(main, Command::UserPrograms), programs);
    QVERIFY(enabled(main, Command::Import));
}

void TestShell::commandStatesOfflineEditionAndDocumentCount()
{
    GuiSandbox sandbox;
    sandbox.setSetting(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"), QStringLiteral("true"));
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), false);
    QVERIFY(basMain::Main(main));
    // "true" is not the edition switch.
    QVERIFY(enabled(main, Command::CalRecordPH));
    QVERIFY(button(main, Command::UserPrograms));

    sandbox.setSetting(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"), QStringLiteral("True"));
    QVERIFY(basMain::UpdateCommandStates(main, true)); // the switch is read at each use
    QVERIFY(!enabled(main, Command::CalRecordPH));
    QVERIFY(!enabled(main, Command::ProgramsMenu));
    QVERIFY(enabled(main, Command::CalRecordTurbidity));
    QVERIFY(!button(main, Command::UserPrograms));

    // Closing the last document: its own update still counts it, and disables the document buttons.
    QVERIFY(button(main, Command::FileSave));
    QVERIFY(main.documents().first()->closeWindow());
    QCOMPARE(main.NumDocs(), short(0));
    for (const Command command : {Command::FileSave, Command::FilePrint, Command::Import, Command::Export})
        QVERIFY(!button(main, command));
    // With no document the forwarded buttons do nothing.
    main.commands().button(Command::FileSave).trigger();
    QVERIFY(dialogs.asked.isEmpty());
}

void TestShell::documentCommandsActOnTheActiveDocument_data()
{
    QTest::addColumn<int>("active");
    QTest::newRow("the first") << 0;
    QTest::newRow("the one added") << 1;
}

void TestShell::documentCommandsActOnTheActiveDocument()
{
    QFETCH(int, active);
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), false);
    QVERIFY(basMain::Main(main));
    main.addDocumentWindow();
    const QList<frmDocument *> docs = main.documents();
    auto activate = [&main](frmDocument *doc) {
        main.findChild<QMdiArea *>()->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(doc->parentWidget()));
    };
    activate(docs[active]);
    QAction &chart = main.commands().action(Command::ViewChart);
    chart.trigger();
    QVERIFY(docs[active]->isChartShown());
    QVERIFY(!docs[1 - active]->isChartShown());
    // The mark is the activated document's.
    activate(docs[1 - active]);
    QVERIFY(!chart.isChecked());
    main.commands().action(Command::FileClose).trigger();
    QCOMPARE(main.documents(), QList<frmDocument *>{docs[active]});
    // With the last one closed the document commands leave the menu.
    main.commands().action(Command::FileClose).trigger();
    QCOMPARE(main.NumDocs(), short(0));
    QVERIFY(!main.commands().action(Command::FileSave).isVisible());
}

void TestShell::searchAgainKeepsOldMeterPanelsAndOneDocument()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    bench.addMeter(1, meter("Lumora"));
    ScriptedDialogs dialogs;
    FakeLinkClock clock;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true);
    QVERIFY(basMain::Main(main));
    QCOMPARE(main.statusText(frmMain::PanelMeter), QStringLiteral("Lumora"));
    main.MenuFileNew();
    bench.meter(1)->faults().silent = true;
    clock.skipIdleAfter(250); // the silent meter's waits
    main.link().setClock(&clock);
    dialogs.clear();
    main.MenuDeviceSearch();
    QCOMPARE(dialogs.messageTexts(), QStringList{TextTable::text(TextTable::NoMeterRecognized)});
    QCOMPARE(main.statusText(frmMain::PanelInterface), TextTable::text(TextTable::Offline));
    QCOMPARE(main.statusText(frmMain::PanelMeter), QStringLiteral("Lumora"));
    QCOMPARE(main.statusText(frmMain::PanelSerial), QStringLiteral("123456"));
    QVERIFY(!main.shared().device->Online());
    QCOMPARE(main.NumDocs(), short(1));
    QCOMPARE(main.documents().first()->windowTitle(), TextTable::text(TextTable::Datasets));
    QVERIFY(!enabled(main, Command::Import));
}

void TestShell::changeUser()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), false);
    QVERIFY(basMain::Main(main));
    dialogs.inputAnswers.enqueue(QString(""));
    main.MenuChangeUser();
    QCOMPARE(main.statusText(frmMain::PanelUser), QStringLiteral("Ann"));
    QCOMPARE(dialogs.asked.last().title, QStringLiteral("Change user"));
    QCOMPARE(dialogs.asked.last().text, QStringLiteral("User:"));
    dialogs.inputAnswers.enqueue(QString()); // cancelled
    main.MenuChangeUser();
    QCOMPARE(main.shared().login->UserName(), QStringLiteral("Ann"));
    dialogs.inputAnswers.enqueue(QStringLiteral("Bartholomew Longname"));
    main.MenuChangeUser();
    QCOMPARE(main.statusText(frmMain::PanelUser), QStringLiteral("Bartholomew Lon"));
    // The name goes into ';'-separated files: the same rule as the login's field.
    dialogs.inputAnswers.enqueue(QStringLiteral("Ann;Lee;"));
    main.MenuChangeUser();
    QCOMPARE(main.shared().login->UserName(), QStringLiteral("Ann.Lee."));
}

void TestShell::inputFieldShowsItsLimitAndTitle()
{
    TextTable::setLanguage(QStringLiteral("de"));
    const auto english = qScopeGuard([] { TextTable::setLanguage(QStringLiteral("en")); });
    QtUserDialogs real;
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QVERIFY(dialog->width() > dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()));
        QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("Bartholomew Longname"));
        dialog->accept();
    });
    QString answer;
    QVERIFY(real.inputText(nullptr, TextTable::text(TextTable::ChangeUserCaption),
                           TextTable::text(TextTable::UserLabel), QString(), &answer, 15));
    // Typing stopped at the limit: the user saw what is kept.
    QCOMPARE(answer, QStringLiteral("Bartholomew Lon"));
}

void TestShell::toolbarToggleStaysInStep()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), false);
    QVERIFY(basMain::Main(main));
    QVERIFY(main.ToolbarIsChecked());
    main.commands().action(Command::ViewToolbar).trigger();
    QVERIFY(!main.toolBar()->isVisible());
    QVERIFY(!main.ToolbarIsChecked());
    main.commands().action(Command::ViewToolbar).trigger();
    QVERIFY(main.toolBar()->isVisible());
    QVERIFY(main.ToolbarIsChecked());
    // While the main window is hidden the toggle still hides and shows the toolbar.
    main.hide();
    main.commands().action(Command::ViewToolbar).trigger();
    QVERIFY(!main.ToolbarIsChecked());
    main.show();
    QVERIFY(!main.toolBar()->isVisible());
}

void TestShell::windowPositionIsRestored()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    {
        frmMain main(dialogs);
        answerLogin(QStringLiteral("Ann"), false);
        QVERIFY(basMain::Main(main));
        main.setGeometry(120, 90, 700, 500);
        QVERIFY(main.close());
    }
    {
        QSettings store(QSettings::UserScope, QStringLiteral("Meravo"), QStringLiteral("Meravo"));
        QCOMPARE(store.value(QStringLiteral("Settings/MainWidth")).toString().toInt() > 0, true);
        frmMain main(dialogs);
        answerLogin(QStringLiteral("Ann"), false);
        QVERIFY(basMain::Main(main));
        QVERIFY(qAbs(main.geometry().width() - 700) <= 1);
        QVERIFY(qAbs(main.geometry().height() - 500) <= 1);
        // Minimised: the position of before is kept.
        main.showMinimized();
        QVERIFY(main.close());
        QSettings again(QSettings::UserScope, QStringLiteral("Meravo"), QStringLiteral("Meravo"));
        QCOMPARE(again.value(QStringLiteral("Settings/MainWidth")).toString(),
                 store.value(QStringLiteral("Settings/MainWidth")).toString());
    }
}

void TestShell::waitDialogCancelStopsTheLink()
{
    GuiSandbox sandbox;
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1);
    sim.faults().delayMs = 3000;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(main.Load());
    frmWait &wait = main.waitDialog();
    QVERIFY(wait.ShowWithText(QStringLiteral("x")));
    QVERIFY(wait.isModal() || wait.windowModality() == Qt::ApplicationModal);
    QVERIFY(main.link().COMInit(1, QStringLiteral("4800"), 4));
    QTimer::singleShot(200, &wait, [&wait] { wait.cancelButton()->click(); });
    QElapsedTimer timer;
    timer.start();
    QString answer;
    QVERIFY(!main.link().COMSendAndReceive(QStringLiteral("U.597\r\n"), answer));
    QVERIFY(timer.elapsed() < 1500);
    QVERIFY(wait.isHidden());
}

void TestShell::confirmationAnswersOnlyYesWithOk()
{
    GuiSandbox sandbox;
    frmConfirm confirm(nullptr);
    QCOMPARE(confirm.windowTitle(), QStringLiteral("Question"));
    QVERIFY(confirm.SetText(QStringLiteral("Sure?")));
    // OK without touching the options: No is preselected.
    QTimer::singleShot(0, &confirm, [&confirm] { confirm.okButton()->click(); });
    QVERIFY(!confirm.Result());
    QTimer::singleShot(0, &confirm, [&confirm] {
        confirm.yesOption()->setChecked(true);
        confirm.okButton()->click();
    });
    QVERIFY(confirm.Result());
    // Each showing starts at No again; the close box declines too.
    QTimer::singleShot(0, &confirm, [&confirm] {
        QVERIFY(!confirm.yesOption()->isChecked());
        confirm.yesOption()->setChecked(true);
        confirm.close();
    });
    QVERIFY(!confirm.Result());
}

void TestShell::aboutBoxShowsOnlyTheAddressesSet()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(main.Load());
    {
        frmAbout about(*main.shared().ini, &main);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Meravo"));
        QVERIFY(about.internetLabel()->text().isEmpty());
        QVERIFY(about.internetValue()->text().isEmpty());
        QVERIFY(about.mailLabel()->text().isEmpty());
        QVERIFY(about.mailValue()->text().isEmpty());
        QCOMPARE(about.versionLabel()->text(), QStringLiteral("Version %1.%2%3")
                                                   .arg(MERAVO_VERSION_MAJOR)
                                                   .arg(MERAVO_VERSION_MINOR)
                                                   .arg(MERAVO_VERSION_PATCH));
        about.openInternet(); // an empty address opens nothing
    }
    sandbox.setSetting(QStringLiteral("About"), QStringLiteral("AppName"), QStringLiteral("Labsuite"));
    sandbox.setSetting(QStringLiteral("About"), QStringLiteral("Mail"), QStringLiteral("lab@example.org"));
    frmAbout about(*main.shared().ini, &main);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Labsuite"));
    QVERIFY(about.internetLabel()->text().isEmpty());
    QCOMPARE(about.mailLabel()->text(), QStringLiteral("E-mail:"));
    QCOMPARE(about.mailValue()->text(), QStringLiteral("lab@example.org"));
}

void TestShell::connectionCheckWhileOnline()
{
    GuiSandbox sandbox;
    SimBench bench(2);
    bench.addMeter(2, meter("Lumora pH"));
    ScriptedDialogs dialogs;
    dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
    frmMain main(dialogs);
    answerLogin(QStringLiteral("Ann"), true);
    QVERIFY(basMain::Main(main));
    QVERIFY(main.link().isControlOpen(0));
    ConnectionCheck::Report first;
    ConnectionCheck::Report searched;
    QTimer::singleShot(0, &main, [&] {
        auto *check = qobject_cast<frmConnCheck *>(QApplication::activeModalWidget());
        if (!check)
            return;
        first = check->report();
        check->runCheck(true);
        searched = check->report();
        check->reject();
    });
    main.commands().action(Command::ConnectionCheck).trigger();
    // The program's own open port is not another program's.
    QCOMPARE(first.ports.size(), 2);
    QCOMPARE(first.ports.at(1).verdict, ConnectionCheck::Verdict::Usable);
    QCOMPARE(first.ports.at(0).verdict, ConnectionCheck::Verdict::Vanished);
    QCOMPARE(first.probe, ConnectionCheck::Probe::NotRun);
    QCOMPARE(searched.probe, ConnectionCheck::Probe::Found);
    QCOMPARE(searched.foundPort, 2);
    QCOMPARE(searched.baud, QStringLiteral("4800"));
    QVERIFY(dialogs.asked.size() == 1);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
