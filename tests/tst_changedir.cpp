// The working-directory dialog on real folders: start folder, OK and Cancel, new folders and their
// errors, and the console taking the chosen folder over.
#include "CUsrDefProg.h"
#include "frmChangeDir.h"
#include "frmMain.h"
#include "frmProgConsole.h"
#include "GuiTestSupport.h"
#include "TextTable.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// An offline main window with a working directory.
struct Session : GuiSession {
    Session()
    {
        load();
        useWorkDir();
    }
};

// Runs the steps on the shown dialog; Path() returns when a step closes it.
QString pathAfter(frmChangeDir &dialog, const std::function<void(frmChangeDir &)> &steps)
{
    QTimer::singleShot(0, &dialog, [&dialog, steps] { steps(dialog); });
    return dialog.Path();
}

void click(frmChangeDir &dialog, const char *name)
{
    dialog.findChild<QPushButton *>(QString::fromLatin1(name))->click();
}

int rowOf(const QListWidget *list, const QString &text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().trimmed() == text)
            return i;
    return -1;
}

} // namespace

class TestChangeDir : public QObject {
    Q_OBJECT
private slots:
    void okWithoutChangeReturnsStart();
    void missingWorkDirStartsAtHome();
    void chooseSubfolder();
    void newDirectoryAndCancel();
    void newDirectoryErrors();
    void closeBoxReturnsEmpty();
    void consoleTakesChosenDirectory();
};

void TestChangeDir::okWithoutChangeReturnsStart()
{
    Session s;
    frmChangeDir dialog(*s.main, s.main.get());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select directory"));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("cmdNewDir"))->text(), QStringLiteral("New"));
    QCOMPARE(dialog.currentDirectory(), s.work.path());
    // The drive list offers the mounted volumes and stands on the working directory's.
    QVERIFY(dialog.driveList()->count() >= 1);
    QCOMPARE(dialog.driveList()->currentData().toString(), QStorageInfo(s.work.path()).rootPath());
    QVERIFY(dialog.driveIndex(QDir::rootPath()) >= 0);
    QCOMPARE(pathAfter(dialog, [](frmChangeDir &d) { click(d, "cmdOK"); }),
             QDir::toNativeSeparators(s.work.path()));
    QVERIFY(s.dialogs.asked.isEmpty());
}

void TestChangeDir::missingWorkDirStartsAtHome()
{
    Session s;
    const QString gone = s.work.filePath(QStringLiteral("gone"));
    QDir().mkdir(gone);
    s.main->shared().usrDefProg->setWorkDir(gone);
    QDir().rmdir(gone);
    frmChangeDir dialog(*s.main, s.main.get());
    const QString home = QDir::cleanPath(QDir::homePath());
    QCOMPARE(dialog.currentDirectory(), home);
    QCOMPARE(pathAfter(dialog, [](frmChangeDir &d) { click(d, "cmdOK"); }), QDir::toNativeSeparators(home));
}

void TestChangeDir::chooseSubfolder()
{
    Session s;
    QDir(s.work.path()).mkpath(QStringLiteral("Programs/old"));
    QDir(s.work.path()).mkpath(QStringLiteral("archive"));
    frmChangeDir dialog(*s.main, s.main.get());
    QListWidget *dir = dialog.directoryList();
    // Ancestors first, then the folder itself (selected), then its subfolders in name order.
    QCOMPARE(dir->item(0)->text(), QDir::toNativeSeparators(QDir::rootPath()));
    QCOMPARE(dir->currentItem()->text().trimmed(), QDir(s.work.path()).dirName());
    QCOMPARE(dir->item(dir->count() - 2)->text().trimmed(), QStringLiteral("archive"));
    QCOMPARE(dir->item(dir->count() - 1)->text().trimmed(), QStringLiteral("Programs"));
    // Opening a folder shows its subfolders.
    emit dir->itemActivated(dir->item(rowOf(dir, QStringLiteral("Programs"))));
    QCOMPARE(dialog.currentDirectory(), s.work.filePath(QStringLiteral("Programs")));
    QVERIFY(rowOf(dir, QStringLiteral("old")) > 0);
    const QString chosen = pathAfter(dialog, [](frmChangeDir &d) {
        d.directoryList()->setCurrentRow(rowOf(d.directoryList(), QStringLiteral("old")));
        click(d, "cmdOK");
    });
    QCOMPARE(chosen, QDir::toNativeSeparators(s.work.filePath(QStringLiteral("Programs/old"))));

    // The root of a drive shows the drive's top folders.
    frmChangeDir second(*s.main, s.main.get());
    second.driveList()->setCurrentIndex(second.driveIndex(QDir::rootPath()));
    second.drv_Change();
    QCOMPARE(second.currentDirectory(), QDir::rootPath());
    QVERIFY(s.dialogs.asked.isEmpty());

    // A drive that cannot be read: its message, then back to the root.
    second.ShowDirectory(s.work.path());
    const QString missing = s.work.filePath(QStringLiteral("no-medium"));
    second.driveList()->addItem(missing, missing);
    second.driveList()->setCurrentIndex(second.driveList()->count() - 1);
    second.drv_Change();
    QCOMPARE(s.dialogs.asked.size(), 1);
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Error"));
    QCOMPARE(s.dialogs.asked[0].text, TextTable::text(TextTable::DriveUnreadable).arg(missing));
    QCOMPARE(second.currentDirectory(), QDir::rootPath());
    QCOMPARE(second.driveList()->currentData().toString(), QDir::rootPath());
}

void TestChangeDir::newDirectoryAndCancel()
{
    Session s;
    QCOMPARE(frmChangeDir::ChildPath(QStringLiteral("/"), QStringLiteral("x")), QStringLiteral("/x"));
    QCOMPARE(frmChangeDir::ChildPath(QStringLiteral("/a"), QStringLiteral("x")), QStringLiteral("/a/x"));
    QCOMPARE(frmChangeDir::ChildPath(QStringLiteral("/a/"), QStringLiteral("x")), QStringLiteral("/a/x"));

    frmChangeDir dialog(*s.main, s.main.get());
    // An empty answer and a cancelled box create nothing.
    s.dialogs.inputAnswers << QStringLiteral("") << QString();
    dialog.cmdNewDir_Click();
    dialog.cmdNewDir_Click();
    QVERIFY(QDir(s.work.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    QCOMPARE(s.dialogs.asked.size(), 2);
    QCOMPARE(s.dialogs.asked[0].kind, QStringLiteral("input"));
    QCOMPARE(s.dialogs.asked[0].title, QStringLiteral("Create directory"));
    QCOMPARE(s.dialogs.asked[0].text,
             QStringLiteral("Create new directory in:\r\n") + QDir::toNativeSeparators(s.work.path()));

    // A new folder is shown and selected; Cancel still returns nothing and the folder stays.
    const QString made = s.work.filePath(QStringLiteral("Lab 2"));
    const QString chosen = pathAfter(dialog, [&s](frmChangeDir &d) {
        s.dialogs.inputAnswers << QStringLiteral("Lab 2");
        d.cmdNewDir_Click();
        QCOMPARE(d.currentDirectory(), s.work.filePath(QStringLiteral("Lab 2")));
        QCOMPARE(d.selectedDirectory(), s.work.filePath(QStringLiteral("Lab 2")));
        click(d, "cmdCancel");
    });
    QCOMPARE(chosen, QString());
    QVERIFY(QFileInfo(made).isDir());
    QCOMPARE(s.dialogs.asked.size(), 3);
}

void TestChangeDir::newDirectoryErrors()
{
    Session s;
    QDir(s.work.path()).mkdir(QStringLiteral("taken"));
    frmChangeDir dialog(*s.main, s.main.get());
    s.dialogs.inputAnswers << QStringLiteral("taken") << QStringLiteral("a/b") << QStringLiteral("..");
    dialog.cmdNewDir_Click();
    dialog.cmdNewDir_Click();
    dialog.cmdNewDir_Click();
    QCOMPARE(s.dialogs.asked.size(), 6);
    QCOMPARE(s.dialogs.asked[1].title, QStringLiteral("Error"));
    QCOMPARE(s.dialogs.asked[1].text,
             TextTable::text(TextTable::DirExists)
                 .arg(QDir::toNativeSeparators(s.work.filePath(QStringLiteral("taken")))));
    QCOMPARE(s.dialogs.asked[3].text, TextTable::text(TextTable::InvalidDirName).arg(QStringLiteral("a/b")));
    QCOMPARE(s.dialogs.asked[5].text, TextTable::text(TextTable::InvalidDirName).arg(QStringLiteral("..")));
    QVERIFY(!QFileInfo::exists(s.work.filePath(QStringLiteral("a"))));
    // The dialog stays where it was.
    QCOMPARE(dialog.currentDirectory(), s.work.path());
}

void TestChangeDir::closeBoxReturnsEmpty()
{
    Session s;
    frmChangeDir dialog(*s.main, s.main.get());
    QCOMPARE(pathAfter(dialog, [](frmChangeDir &d) { d.close(); }), QString());
    QCOMPARE(pathAfter(dialog, [](frmChangeDir &d) { click(d, "cmdCancel"); }), QString());
}

void TestChangeDir::consoleTakesChosenDirectory()
{
    Session s;
    QTemporaryDir other;
    ProgramRecord program;
    QVERIFY(program.setFromFile(QStringLiteral("905,M,16,436,0,2,0,1,0.01,Fe,mg/l,Bob").split(u',')));
    QVERIFY(s.main->shared().usrDefProg->SaveToFile(program, other.filePath(QStringLiteral("x.csv"))));
    frmProgConsole console(*s.main);
    QCOMPARE(console.directoryList()->count(), 0);
    bool timerActive = true;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<frmChangeDir *>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("the working-directory dialog is not shown");
        timerActive = console.updateTimer()->isActive();
        dialog->ShowDirectory(other.path());
        click(*dialog, "cmdOK");
    });
    console.cmdChangeWorkDir_Click();
    QVERIFY(!timerActive);
    QVERIFY(console.updateTimer()->isActive());
    QCOMPARE(s.main->shared().usrDefProg->WorkDir(), other.path());
    QCOMPARE(console.findChild<QGroupBox *>(QStringLiteral("fraProgsPC"))->toolTip(), other.path());
    QCOMPARE(console.directoryList()->count(), 1);
    QCOMPARE(console.directoryList()->selectedItems().first()->text(), QStringLiteral("905   (x.csv)"));
    QVERIFY(s.dialogs.asked.isEmpty());
}

QTEST_MAIN(TestChangeDir)
#include "tst_changedir.moc"
