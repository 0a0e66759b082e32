// The program console against a simulated meter on a pty and program files in a temporary working
// directory: lists, selection rules, copying and erasing in both directions, the editor and the timer.
#include "basMain.h"
#include "CDevice.h"
#include "CUsrDefProg.h"
#include "frmConfirm.h"
#include "frmMain.h"
#include "frmProgConsole.h"
#include "frmProgEdit.h"
#include "frmWait.h"
#include "GuiTestSupport.h"
#include "SimPrograms.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

const QString kRest = QStringLiteral("ABCDE,16,436,0.0,2.0,0.0,1.0,0.01,Fe,mg/l,0,1,0");

// A program as files hold it.
ProgramRecord programArray(const QString &number, const QString &model, const QString &user)
{
    ProgramRecord a = ProgramRecord::fromMeter((number + u',' + kRest).split(u','));
    a.MODEL = model;
    a.USER = user;
    return a;
}

// Answers the program's own erase question.
void answerConfirm(bool yes)
{
    QTimer::singleShot(0, [yes] {
        auto *confirm = qobject_cast<frmConfirm *>(QApplication::activeModalWidget());
        if (!confirm)
            qFatal("the confirmation dialog is not shown");
        if (yes)
            confirm->yesOption()->setChecked(true);
        confirm->okButton()->click();
    });
}

QPushButton *button(const frmProgConsole &console, const char *name)
{
    return console.findChild<QPushButton *>(QString::fromLatin1(name));
}

QStringList entries(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QString selected(const QListWidget *list)
{
    const QList<QListWidgetItem *> items = list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

// A main window logged in as Ann, online with a Lumora on port 1 (or offline), and a working directory.
struct Session : GuiSession {
    std::unique_ptr<SimPrograms> programs;

    explicit Session(bool online = true, const QStringList &meterPrograms = {})
        : GuiSession(meterIdentity(QStringLiteral("Lumora"))), programs(std::make_unique<SimPrograms>(*sim))
    {
        for (const QString &p : meterPrograms)
            programs->put(p + u',' + kRest);
        logIn(online);
        useWorkDir();
    }
    ~Session() { main.reset(); }
    void writeFile(const QString &name, const QString &number, const QString &model = QStringLiteral("FILE"),
                   const QString &user = QStringLiteral("Bob"))
    {
        if (!prog().SaveToFile(programArray(number, model, user), work.filePath(name)))
            qFatal("cannot write a program file");
    }
    ProgramRecord readFile(const QString &name)
    {
        ProgramRecord program;
        prog().ReadFromFile(program, name);
        return program;
    }
};

} // namespace

class TestProgConsole : public QObject {
    Q_OBJECT
private slots:
    void entryFormatsAndCaption();
    void listsAndDetails();
    void offlineConsoleCreatesFilesOnly();
    void unreadableMeterTableBlocksWriting();
    void cancelWhileReadingLeavesTableUnused();
    void eraseInMeterSelectsNext();
    void secondCommandDuringAnExchangeIsRefused();
    void eraseFilesGoToTrashAfterQuestion();
    void copyToPcWritesLoginUser();
    void copyToPcAllCancelled();
    void copyToMeterKeepsFileAndAsks();
    void copyAllToMeterYesNoCancel();
    void editorStopsTimerAndSelectsSaved();
    void timerRefreshKeepsSelection();
    void pollWaitsForTheExchange_data();
    void pollWaitsForTheExchange();
    void menuCommandOpensConsole();
    void failuresAreReportedAndStop();
};

void TestProgConsole::entryFormatsAndCaption()
{
    QString name;
    QVERIFY(frmProgConsole::FileNameFromEntry(QStringLiteral("905   (PROG 905.csv)"), name));
    QCOMPARE(name, QStringLiteral("PROG 905.csv"));
    QVERIFY(!frmProgConsole::FileNameFromEntry(QStringLiteral("905   ("), name));
    QVERIFY(!frmProgConsole::FileNameFromEntry(QStringLiteral("905"), name));
    // A file whose number is not three characters still gives its own name.
    QVERIFY(frmProgConsole::FileNameFromEntry(QStringLiteral("9050   (x.csv)"), name));
    QCOMPARE(name, QStringLiteral("x.csv"));

    const QString sep = QDir::separator();
    QCOMPARE(frmProgConsole::WorkDirCaption(sep + QStringLiteral("data")), sep + QStringLiteral("data"));
    QCOMPARE(frmProgConsole::WorkDirCaption(sep + QStringLiteral("home") + sep + QStringLiteral("lab") + sep +
                                            QStringLiteral("Programs")),
             sep + QStringLiteral("...") + sep + QStringLiteral("Programs"));

    const QString csv = UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv"));
    const QString sheets = UserDialogs::filter(QStringLiteral("Sheet"), QStringLiteral("*.xls")) +
                           QStringLiteral(";;") +
                           UserDialogs::filter(QStringLiteral("Book"), QStringLiteral("*.xlsx"));
    const struct {
        QString path, filter, offered, expected;
    } names[] = {
        {"/a/PROG 901", csv, {}, "/a/PROG 901.csv"},
        {"/a/Messung 15.03.2026", csv, {}, "/a/Messung 15.03.2026.csv"},
        {"/a/p.txt", csv, {}, "/a/p.txt.csv"},
        {"/a/p.CSV", csv, {}, "/a/p.CSV"},
        {"/a/v.xlsx", sheets, sheets, "/a/v.xlsx"},
        {"/a/v 1.5", sheets, sheets, "/a/v 1.5.xls"},
    };
    for (const auto &n : names)
        QCOMPARE(UserDialogs::withDefaultSuffix(n.path, n.filter, n.offered), n.expected);
}

void TestProgConsole::listsAndDetails()
{
    Session s(true, {QStringLiteral("903"), QStringLiteral("901")});
    s.writeFile(QStringLiteral("PROG 905.csv"), QStringLiteral("905"));
    QDir(s.work.path()).mkpath(QStringLiteral("deep/er/Programs"));
    frmProgConsole console(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QVERIFY(console.meterProgramsRead());
    QCOMPARE(console.windowTitle(), QStringLiteral("User defined programs"));
    QCOMPARE(entries(console.meterList()), (QStringList{"901", "903"}));
    QCOMPARE(entries(console.directoryList()), QStringList{"905   (PROG 905.csv)"});
    auto *frame = console.findChild<QGroupBox *>(QStringLiteral("fraProgsPC"));
    QCOMPARE(frame->toolTip(), s.work.path());
    QCOMPARE(frame->title(), frmProgConsole::WorkDirCaption(s.work.path()));
    QCOMPARE(button(console, "cmdCopyToPC")->text(), QStringLiteral("Copy --->"));
    QCOMPARE(button(console, "cmdCopyToPC")->toolTip(),
             QStringLiteral("Copy selected program into directory"));

    // The default selection prefers the meter.
    QCOMPARE(selected(console.meterList()), QStringLiteral("901"));
    QCOMPARE(console.detailText("txtModel"), QStringLiteral("ABCDE"));
    QCOMPARE(console.detailText("txtUserName"), QStringLiteral("---"));
    QCOMPARE(console.detailText("chkCalLinePossible"), QStringLiteral("1"));
    QVERIFY(button(console, "cmdCopyToPC")->isEnabled());
    QVERIFY(!button(console, "cmdCopyToMeter")->isEnabled());
    QVERIFY(!button(console, "cmdDeletePC")->isEnabled());

    // Choosing the file clears the meter's selection and shows the file.
    console.directoryList()->setCurrentRow(0);
    QCOMPARE(selected(console.meterList()), QString());
    QCOMPARE(console.detailText("txtModel"), QStringLiteral("FILE"));
    QCOMPARE(console.detailText("txtUserName"), QStringLiteral("Bob"));
    QVERIFY(button(console, "cmdCopyToMeter")->isEnabled());
    QVERIFY(!button(console, "cmdCopyToPC")->isEnabled());
    QString number, file;
    bool meter = true;
    QVERIFY(console.GetSelProgram(number, file, meter));
    QCOMPARE(file, QStringLiteral("PROG 905.csv"));
    QVERIFY(!meter);

    // A file that turned unreadable: the message and an empty panel.
    QFile::remove(s.work.filePath(QStringLiteral("PROG 905.csv")));
    QFile bad(s.work.filePath(QStringLiteral("PROG 905.csv")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a program");
    bad.close();
    console.meterList()->setCurrentRow(1);
    console.directoryList()->setCurrentRow(0);
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ProgramReadFailed)});
    QCOMPARE(console.detailText("txtModel"), QString());
    QCOMPARE(console.detailText("cboCuvette"), QStringLiteral("16"));
    QCOMPARE(console.detailText("cboResolution"), QStringLiteral("0.01"));
}

void TestProgConsole::offlineConsoleCreatesFilesOnly()
{
    Session s(false);
    s.writeFile(QStringLiteral("PROG 905.csv"), QStringLiteral("905"));
    frmProgConsole console(*s.main);
    QVERIFY(s.dialogs.asked.isEmpty());
    QVERIFY(console.meterProgramsRead());
    QCOMPARE(console.meterList()->count(), 0);
    QCOMPARE(selected(console.directoryList()), QStringLiteral("905   (PROG 905.csv)"));
    QVERIFY(!button(console, "cmdCopyToMeter")->isEnabled());
    QVERIFY(!button(console, "cmdCopyToMeterAll")->isEnabled());
    QVERIFY(button(console, "cmdDeletePC")->isEnabled());
    QVERIFY(button(console, "cmdNewProgram")->isEnabled());

    // New opens the editor with the lowest free number, as a copy of the selected file.
    QString seenNumber;
    bool sendEnabled = true;
    bool timerActive = true;
    QTimer::singleShot(0, [&] {
        auto *editor = qobject_cast<frmProgEdit *>(QApplication::activeModalWidget());
        if (!editor)
            qFatal("the editor is not shown");
        seenNumber = editor->findChild<QLineEdit *>(QStringLiteral("txtProgNum"))->text();
        sendEnabled = editor->findChild<QPushButton *>(QStringLiteral("cmdSaveDevice"))->isEnabled();
        timerActive = console.updateTimer()->isActive();
        editor->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
    });
    button(console, "cmdNewProgram")->click();
    QCOMPARE(seenNumber, QStringLiteral("900"));
    QVERIFY(!sendEnabled);
    QVERIFY(!timerActive);
    QVERIFY(console.updateTimer()->isActive());
    QVERIFY(console.NewProgramPressed());
}

void TestProgConsole::unreadableMeterTableBlocksWriting()
{
    Session s(true, {QStringLiteral("901")});
    s.programs->readAnswers.insert(QStringLiteral("901"),
                                   QByteArray("\r\n901;X;16;436;0;1;7;0;1;0.01;Fe;mg/l;0;0;0\r\n>"));
    s.writeFile(QStringLiteral("PROG 905.csv"), QStringLiteral("905"));
    s.skipIdleWaits(250); // the answer without its end marker is waited out
    frmProgConsole console(*s.main);
    QVERIFY(!console.meterProgramsRead());
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
    QCOMPARE(s.dialogs.asked[0].text, TextTable::text(TextTable::ProgramUpdateFailed));
    QCOMPARE(console.meterList()->count(), 0);
    QCOMPARE(console.directoryList()->count(), 1);
    for (const char *name : {"cmdModifyProgram", "cmdNewProgram", "cmdCopyToMeter", "cmdCopyToMeterAll"})
        QVERIFY2(!button(console, name)->isEnabled(), name);
    QVERIFY(button(console, "cmdDeletePC")->isEnabled());
}

void TestProgConsole::cancelWhileReadingLeavesTableUnused()
{
    QStringList many;
    for (int n = 900; n < 930; ++n)
        many << QString::number(n);
    Session s(true, many);
    s.sim->faults().delayMs = 150;
    frmWait &wait = s.main->waitDialog();
    QTimer::singleShot(900, &wait, [&wait] { wait.cancelButton()->click(); });
    QElapsedTimer timer;
    timer.start();
    frmProgConsole console(*s.main);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(wait.isHidden());
    QVERIFY(!console.meterProgramsRead());
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ProgramUpdateFailed)});
    QCOMPARE(console.meterList()->count(), 0);
    QVERIFY(!button(console, "cmdNewProgram")->isEnabled());
}

void TestProgConsole::eraseInMeterSelectsNext()
{
    Session s(true, {QStringLiteral("901"), QStringLiteral("902"), QStringLiteral("903")});
    s.writeFile(QStringLiteral("PROG 905.csv"), QStringLiteral("905"));
    frmProgConsole console(*s.main);
    console.meterList()->setCurrentRow(1);

    // No keeps the program.
    answerConfirm(false);
    button(console, "cmdDeleteMeter")->click();
    QCOMPARE(s.programs->programs().size(), 3);

    answerConfirm(true);
    button(console, "cmdDeleteMeter")->click();
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(s.programs->programs().keys(), (QStringList{"901", "903"}));
    QCOMPARE(entries(console.meterList()), (QStringList{"901", "903"}));
    QCOMPARE(selected(console.meterList()), QStringLiteral("901"));

    answerConfirm(true);
    button(console, "cmdDeleteAllMeter")->click();
    QVERIFY(s.programs->programs().isEmpty());
    QCOMPARE(console.meterList()->count(), 0);
    QCOMPARE(selected(console.directoryList()), QStringLiteral("905   (PROG 905.csv)"));
    QVERIFY(!button(console, "cmdDeleteAllMeter")->isEnabled());
}

void TestProgConsole::secondCommandDuringAnExchangeIsRefused()
{
    Session s(true, {QStringLiteral("901"), QStringLiteral("902"), QStringLiteral("903")});
    frmProgConsole console(*s.main);
    console.meterList()->setCurrentRow(1);
    s.sim->faults().delayMs = 400;
    QList<bool> inside = {true, true}; // console enabled, second command started
    QStringList told;
    connect(s.sim, &MeterSim::commandReceived, &console, [&](const QString &line) {
        // While the meter is still answering the erase: a click and a direct second command.
        if (line == QLatin1String("U.521#1,902"))
            QTimer::singleShot(100, &console, [&] {
                QTest::mouseClick(button(console, "cmdDeleteAllMeter"), Qt::LeftButton);
                inside = {console.isEnabled(), s.prog().DeleteAll()};
                told = s.prog().linkResult().messages();
            });
    });
    answerConfirm(true);
    button(console, "cmdDeleteMeter")->click();
    QCOMPARE(inside, QList<bool>({false, false}));
    QCOMPARE(told, QStringList{TextTable::text(TextTable::ExchangeRunning)});
    // Only the first command ran, to its end; the console is usable again.
    QCOMPARE(entries(console.meterList()), (QStringList{"901", "903"}));
    QVERIFY(!s.sim->commandLog().contains(QStringLiteral("U.520")));
    QVERIFY(console.isEnabled());
}

void TestProgConsole::eraseFilesGoToTrashAfterQuestion()
{
    Session s(false);
    s.writeFile(QStringLiteral("A.csv"), QStringLiteral("905"));
    s.writeFile(QStringLiteral("B.csv"), QStringLiteral("906"));
    s.writeFile(QStringLiteral("C.csv"), QStringLiteral("907"));
    frmProgConsole console(*s.main);
    QCOMPARE(console.directoryList()->count(), 3);
    for (int i = 0; i < 3; ++i) {
        if (console.directoryList()->item(i)->text().contains(QStringLiteral("B.csv")))
            console.directoryList()->setCurrentRow(i);
    }
    answerConfirm(false);
    button(console, "cmdDeletePC")->click();
    QVERIFY(QFile::exists(s.work.filePath(QStringLiteral("B.csv"))));

    answerConfirm(true);
    button(console, "cmdDeletePC")->click();
    QVERIFY(s.dialogs.asked.isEmpty());
    QVERIFY(!QFile::exists(s.work.filePath(QStringLiteral("B.csv"))));
    QCOMPARE(console.directoryList()->count(), 2);
    QCOMPARE(selected(console.directoryList()), console.directoryList()->item(0)->text());

    answerConfirm(true);
    button(console, "cmdDeleteAllPC")->click();
    QVERIFY(s.dialogs.asked.isEmpty());
    QCOMPARE(console.directoryList()->count(), 0);
    QVERIFY(QDir(s.work.path()).entryList(QDir::Files).isEmpty());
    QVERIFY(!button(console, "cmdDeleteAllPC")->isEnabled());
    QVERIFY(!button(console, "cmdModifyProgram")->isEnabled());
}

void TestProgConsole::copyToPcWritesLoginUser()
{
    Session s(true, {QStringLiteral("901"), QStringLiteral("902")});
    frmProgConsole console(*s.main);
    console.meterList()->setCurrentRow(1);
    const QString target = s.work.filePath(QStringLiteral("PROG 902"));
    s.dialogs.fileAnswers.enqueue(target); // typed without extension
    button(console, "cmdCopyToPC")->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("save"));
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Save as"));
    QCOMPARE(s.dialogs.asked[0].text, s.work.filePath(QStringLiteral("PROG 902.csv")));
    QCOMPARE(s.dialogs.asked[0].filter, QStringLiteral("CSV (separator-delimited) (*.csv)"));
    const ProgramRecord file = s.readFile(QStringLiteral("PROG 902.csv"));
    QCOMPARE(file.NO, QStringLiteral("902"));
    QCOMPARE(file.USER, QStringLiteral("Ann"));
    QCOMPARE(file.MODEL, QStringLiteral("ABCDE"));
    QCOMPARE(entries(console.directoryList()), QStringList{"902   (PROG 902.csv)"});
    // The meter program stays selected.
    QCOMPARE(selected(console.meterList()), QStringLiteral("902"));

    // Cancelled: silent, nothing written.
    s.dialogs.clear();
    console.meterList()->setCurrentRow(0);
    button(console, "cmdCopyToPC")->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(console.directoryList()->count(), 1);
}

void TestProgConsole::copyToPcAllCancelled()
{
    Session s(true, {QStringLiteral("901"), QStringLiteral("902"), QStringLiteral("903")});
    frmProgConsole console(*s.main);
    s.dialogs.fileAnswers.enqueue(s.work.filePath(QStringLiteral("PROG 901.csv")));
    s.dialogs.fileAnswers.enqueue(QString());
    button(console, "cmdCopyToPCAll")->click();
    QCOMPARE(s.dialogs.asked.size(), 3);
    QCOMPARE(s.dialogs.asked[2].title, QStringLiteral("Warning"));
    QCOMPARE(s.dialogs.asked[2].icon, UserDialogs::Icon::Warning);
    QCOMPARE(s.dialogs.asked[2].text,
             QStringLiteral("Program copying canceled!\r\nThe programs were not completely copied!"));
    QCOMPARE(entries(console.directoryList()), QStringList{"901   (PROG 901.csv)"});
    QCOMPARE(selected(console.meterList()), QStringLiteral("901"));

    s.dialogs.clear();
    for (const char *n : {"901", "902", "903"})
        s.dialogs.fileAnswers.enqueue(s.work.filePath(QStringLiteral("P%1.csv").arg(QLatin1String(n))));
    button(console, "cmdCopyToPCAll")->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList());
    QCOMPARE(console.directoryList()->count(), 4);
}

void TestProgConsole::copyToMeterKeepsFileAndAsks()
{
    Session s(true, {QStringLiteral("901")});
    s.writeFile(QStringLiteral("new.csv"), QStringLiteral("905"), QStringLiteral("NEW"),
                QStringLiteral("Bob"));
    s.writeFile(QStringLiteral("old.csv"), QStringLiteral("901"), QStringLiteral("OLD"),
                QStringLiteral("Bob"));
    frmProgConsole console(*s.main);
    auto selectFile = [&](const QString &name) {
        for (int i = 0; i < console.directoryList()->count(); ++i)
            if (console.directoryList()->item(i)->text().contains(name))
                console.directoryList()->setCurrentRow(i);
    };
    selectFile(QStringLiteral("new.csv"));
    button(console, "cmdCopyToMeter")->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Information"));
    QCOMPARE(s.dialogs.asked[0].text, QStringLiteral("Program successfully saved!"));
    QCOMPARE(s.programs->programs().value(QStringLiteral("905")).value(1), QStringLiteral("NEW"));
    QCOMPARE(entries(console.meterList()), (QStringList{"901", "905"}));
    QCOMPARE(selected(console.directoryList()), QStringLiteral("905   (new.csv)"));
    QCOMPARE(s.readFile(QStringLiteral("new.csv")).USER, QStringLiteral("Bob"));

    // An existing number: No sends nothing, Yes modifies.
    s.dialogs.clear();
    selectFile(QStringLiteral("old.csv"));
    s.sim->clearLog();
    s.dialogs.buttonAnswers.enqueue(UserDialogs::No);
    button(console, "cmdCopyToMeter")->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Question"));
    QCOMPARE(s.dialogs.asked[0].icon, UserDialogs::Icon::Question);
    QCOMPARE(s.dialogs.asked[0].buttons, UserDialogs::Yes | UserDialogs::No);
    QCOMPARE(s.dialogs.asked[0].defaultButton, int(UserDialogs::No));
    QCOMPARE(s.dialogs.asked[0].text,
             QStringLiteral("Program already existing!\r\nModify existing program?\r\n(Program No: 901)"));
    QVERIFY(s.sim->commandLog().isEmpty());
    QCOMPARE(s.programs->programs().value(QStringLiteral("901")).value(1), QStringLiteral("ABCDE"));

    s.dialogs.clear();
    s.dialogs.buttonAnswers.enqueue(UserDialogs::Yes);
    button(console, "cmdCopyToMeter")->click();
    QCOMPARE(s.dialogs.messageTexts(),
             (QStringList{s.dialogs.asked[0].text, TextTable::text(TextTable::ProgramSaved)}));
    QCOMPARE(s.programs->programs().value(QStringLiteral("901")).value(1), QStringLiteral("OLD"));
    QCOMPARE(selected(console.directoryList()), QStringLiteral("901   (old.csv)"));

    // A file the editor could not have written is refused before the question and the meter.
    s.writeFile(QStringLiteral("long.csv"), QStringLiteral("901"), QString(70, u'L'));
    console.UpdateDirectoryList();
    selectFile(QStringLiteral("long.csv"));
    s.dialogs.clear();
    s.sim->clearLog();
    button(console, "cmdCopyToMeter")->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(2364).arg("Model").arg(70).arg(5)});
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Warning"));
    QVERIFY(s.sim->commandLog().isEmpty());
}

void TestProgConsole::copyAllToMeterYesNoCancel()
{
    Session s(true, {QStringLiteral("901"), QStringLiteral("902"), QStringLiteral("903")});
    for (const char *n : {"901", "902", "903"})
        s.writeFile(QStringLiteral("F%1.csv").arg(QLatin1String(n)), QLatin1String(n),
                    QStringLiteral("F") + QLatin1String(n));
    frmProgConsole console(*s.main);
    console.directoryList()->setCurrentRow(0);
    const QString first = selected(console.directoryList());
    // The folder's order decides which file comes first.
    QStringList order;
    for (const QString &entry : entries(console.directoryList()))
        order << entry.left(3);
    s.dialogs.clear();
    s.dialogs.buttonAnswers << UserDialogs::Yes << UserDialogs::No << UserDialogs::Cancel;
    button(console, "cmdCopyToMeterAll")->click();
    QCOMPARE(s.dialogs.asked.size(), 4);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(s.dialogs.asked[i].buttons, UserDialogs::Yes | UserDialogs::No | UserDialogs::Cancel);
        QVERIFY(s.dialogs.asked[i].text.endsWith(QStringLiteral("(Program No: ") + order[i] + u')'));
    }
    QCOMPARE(s.dialogs.asked[3].title, QStringLiteral("Warning"));
    QCOMPARE(s.dialogs.asked[3].text,
             QStringLiteral("Program copying canceled!\r\nThe programs were not completely copied!"));
    QCOMPARE(s.programs->programs().value(order[0]).value(1), QStringLiteral("F") + order[0]);
    QCOMPARE(s.programs->programs().value(order[1]).value(1), QStringLiteral("ABCDE"));
    QCOMPARE(s.programs->programs().value(order[2]).value(1), QStringLiteral("ABCDE"));
    QCOMPARE(selected(console.directoryList()), first);
}

void TestProgConsole::editorStopsTimerAndSelectsSaved()
{
    Session s(true, {QStringLiteral("901")});
    frmProgConsole console(*s.main);
    QVERIFY(console.updateTimer()->isActive());
    QCOMPARE(console.updateTimer()->interval(), 5000);
    // Modify: the editor saves the program as a file; the console then selects that file.
    const QString target = s.work.filePath(QStringLiteral("saved.csv"));
    s.dialogs.fileAnswers.enqueue(target);
    bool timerActive = true;
    QString caption;
    QTimer::singleShot(0, [&] {
        auto *editor = qobject_cast<frmProgEdit *>(QApplication::activeModalWidget());
        if (!editor)
            qFatal("the editor is not shown");
        timerActive = console.updateTimer()->isActive();
        caption = editor->windowTitle();
        editor->cmdSaveFile_Click();
        editor->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
    });
    button(console, "cmdModifyProgram")->click();
    QVERIFY(!timerActive);
    QCOMPARE(caption, QStringLiteral("Modify program"));
    QVERIFY(!console.NewProgramPressed());
    QVERIFY(console.updateTimer()->isActive());
    QVERIFY(QFile::exists(target));
    QCOMPARE(selected(console.directoryList()), QStringLiteral("901   (saved.csv)"));
    QCOMPARE(selected(console.meterList()), QString());

    // All locations taken: the warning, no editor.
    s.dialogs.clear();
    for (int n = 900; n <= 999; ++n)
        s.programs->put(QString::number(n) + u',' + kRest);
    QElapsedTimer opening;
    s.sim->clearLog();
    opening.start();
    frmProgConsole full(*s.main);
    QCOMPARE(s.sim->commandLog().filter(QStringLiteral("U.513")).size(), 100);
    qInfo("console opened with 100 meter programs in %lld ms", opening.elapsed());
    QCOMPARE(full.meterList()->count(), 100);
    s.dialogs.clear();
    button(full, "cmdNewProgram")->click();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Warning"));
    QCOMPARE(s.dialogs.asked[0].text,
             QStringLiteral("All program locations occupied!\r\nPlease erase a program first!"));
    QVERIFY(full.updateTimer()->isActive());
}

void TestProgConsole::timerRefreshKeepsSelection()
{
    Session s(false);
    s.writeFile(QStringLiteral("b.csv"), QStringLiteral("906"));
    frmProgConsole console(*s.main);
    QCOMPARE(selected(console.directoryList()), QStringLiteral("906   (b.csv)"));
    // Files made or removed outside the program appear with the next tick; the selection stays.
    s.writeFile(QStringLiteral("a.csv"), QStringLiteral("905"));
    s.writeFile(QStringLiteral("ab.csv"), QStringLiteral("907"));
    console.UpdateDirectoryList();
    QCOMPARE(console.directoryList()->count(), 3);
    QCOMPARE(selected(console.directoryList()), QStringLiteral("906   (b.csv)"));
    console.directoryList()->setCurrentRow(console.directoryList()->row(
        console.directoryList()->findItems(QStringLiteral("905   (a.csv)"), Qt::MatchExactly).first()));
    QFile::remove(s.work.filePath(QStringLiteral("b.csv")));
    console.UpdateDirectoryList();
    QCOMPARE(console.directoryList()->count(), 2);
    // The name "a.csv" is part of "ab.csv": the exact file stays selected.
    QCOMPARE(selected(console.directoryList()), QStringLiteral("905   (a.csv)"));
    // An unchanged folder leaves the list as it is.
    const QListWidgetItem *item = console.directoryList()->selectedItems().first();
    console.UpdateDirectoryList();
    QCOMPARE(console.directoryList()->selectedItems().first(), item);
    QVERIFY(s.dialogs.asked.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(console.updateTimer()->isActive(), true, 100);
}

void TestProgConsole::pollWaitsForTheExchange_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("held"); // the command code the meter holds its answer to
    QTest::addRow("erase in meter") << "cmdDeleteMeter"
                                    << "U.521";
    QTest::addRow("copy to meter") << "cmdCopyToMeter"
                                   << "U.500";
}

void TestProgConsole::pollWaitsForTheExchange()
{
    QFETCH(QString, command);
    QFETCH(QString, held);
    Session s(true, {QStringLiteral("901")});
    s.writeFile(QStringLiteral("new.csv"), QStringLiteral("905"));
    frmProgConsole console(*s.main);
    console.meterList()->setCurrentRow(command == QLatin1String("cmdDeleteMeter") ? 0 : -1);
    console.directoryList()->setCurrentRow(command == QLatin1String("cmdCopyToMeter") ? 0 : -1);
    // The link clock stands still and the meter keeps quiet: the exchange lasts until the test ends it,
    // while the timer would have polled many times over.
    s.main->link().setClock(&s.clock);
    s.sim->faults().silentCommands = QStringList{held};
    console.updateTimer()->setInterval(10);
    QStringList seenDuring;
    connect(s.sim, &MeterSim::commandReceived, &console, [&](const QString &line) {
        if (!line.startsWith(held))
            return;
        QTimer::singleShot(0, &console, [&] {
            s.writeFile(QStringLiteral("late.csv"), QStringLiteral("906"));
            QTest::qWait(60);
            seenDuring = entries(console.directoryList());
            s.clock.advance(5000);
        });
    });
    if (command == QLatin1String("cmdDeleteMeter"))
        answerConfirm(true);
    button(console, command.toLatin1().constData())->click();
    QCOMPARE(seenDuring, QStringList{"905   (new.csv)"});
    // Once the exchange is over, polling goes on.
    QTRY_COMPARE(entries(console.directoryList()).size(), 2);
}

void TestProgConsole::menuCommandOpensConsole()
{
    Session s(true, {QStringLiteral("901")});
    for (int round = 0; round < 2; ++round) {
        QStringList seen;
        // The console reads the meter before it shows: wait until it is the modal window.
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *console = qobject_cast<frmProgConsole *>(QApplication::activeModalWidget());
            if (!console)
                return;
            poll.stop();
            seen = entries(console->meterList());
            button(*console, "cmdCancel")->click();
        });
        poll.start();
        // The menu item, then the toolbar button.
        if (round == 0)
            s.main->MenuProgsUserDef();
        else
            s.main->commands().button(Command::UserPrograms).trigger();
        QCOMPARE(seen, QStringList{"901"});
    }
    QVERIFY(s.dialogs.asked.isEmpty());
}

void TestProgConsole::failuresAreReportedAndStop()
{
    Session s(true, {QStringLiteral("901"), QStringLiteral("902"), QStringLiteral("903")});
    s.writeFile(QStringLiteral("gone.csv"), QStringLiteral("905"));
    frmProgConsole console(*s.main);

    // The meter refuses the erasure: the message, the program stays, the first one is selected.
    console.meterList()->setCurrentRow(2);
    s.sim->faults().rejectCommands = {QStringLiteral("U.521")};
    answerConfirm(true);
    button(console, "cmdDeleteMeter")->click();
    s.sim->faults().rejectCommands.clear();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
    QCOMPARE(s.dialogs.asked[0].text, TextTable::text(TextTable::ProgramEraseFailed));
    QCOMPARE(entries(console.meterList()), (QStringList{"901", "902", "903"}));
    QCOMPARE(selected(console.meterList()), QStringLiteral("901"));

    // A file removed behind the list's back cannot be erased: the message and the refreshed list.
    s.dialogs.clear();
    console.directoryList()->setCurrentRow(0);
    QVERIFY(QFile::remove(s.work.filePath(QStringLiteral("gone.csv"))));
    answerConfirm(true);
    button(console, "cmdDeletePC")->click();
    QCOMPARE(s.dialogs.messageTexts(), QStringList{TextTable::text(TextTable::ProgramEraseFailed)});
    QCOMPARE(console.directoryList()->count(), 0);
    QCOMPARE(selected(console.meterList()), QStringLiteral("901"));

    // The working directory vanished: the first copy is saved elsewhere, the directory message stops the
    // rest.
    s.dialogs.clear();
    QTemporaryDir elsewhere;
    s.dialogs.fileAnswers.enqueue(elsewhere.filePath(QStringLiteral("PROG 901.csv")));
    s.dialogs.fileAnswers.enqueue(elsewhere.filePath(QStringLiteral("PROG 902.csv")));
    QVERIFY(QDir(s.work.path()).removeRecursively());
    console.meterList()->setCurrentRow(1);
    button(console, "cmdCopyToPCAll")->click();
    QCOMPARE(s.dialogs.asked.size(), 2);
    QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("save"));
    QCOMPARE(s.dialogs.asked[1].title, QStringLiteral("Error"));
    QCOMPARE(s.dialogs.asked[1].text, TextTable::text(TextTable::DirectoryReadFailed));
    QVERIFY(QFile::exists(elsewhere.filePath(QStringLiteral("PROG 901.csv"))));
    QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("PROG 902.csv"))));
    QCOMPARE(selected(console.meterList()), QStringLiteral("901"));
}

QTEST_MAIN(TestProgConsole)
#include "tst_progconsole.moc"
