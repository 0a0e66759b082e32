// The windows under a real window manager (run by with-window-manager.sh): where the main window comes
// back after a restart, and what a document looks like when it is no longer maximised.
#include "basMain.h"
#include "frmDocument.h"
#include "frmMain.h"
#include "frmProgConsole.h"
#include "frmProgEdit.h"
#include "frmWait.h"
#include "GuiTestSupport.h"
#include "TextTable.h"
#include "Twips.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTest>

namespace {

// Starts the program as a user does, and waits until the window manager has framed the window.
bool start(frmMain &main)
{
    answerLogin(QStringLiteral("Ann"), false);
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !basMain::Main(main) ||
        !QTest::qWaitForWindowExposed(&main))
        return false;
    return QTest::qWaitFor([&main] { return main.frameGeometry() != main.geometry(); });
}

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT
private slots:
    void frameComesBackWhereItWasLeft();
    void maximisedComesBackAndDefaultUsesTheScreen_data();
    void maximisedComesBackAndDefaultUsesTheScreen();
    void unreachablePositionFallsBack_data();
    void unreachablePositionFallsBack();
    void restoredDocumentShowsRows_data();
    void restoredDocumentShowsRows();
    void waitDialogKeepsItsSizeWhileCounting();
    void growingWindowsStayOnScreen();
    void fileCommandsHaveTheirKeys();
};

void TestWindowManager::frameComesBackWhereItWasLeft()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    QRect left;
    for (int round = 0; round < 4; ++round) {
        frmMain main(dialogs);
        QVERIFY(start(main));
        if (round == 0) {
            // Where the user drags it: the frame's corner.
            main.move(QPoint(210, 170));
            QTRY_COMPARE(main.frameGeometry().topLeft(), QPoint(210, 170));
            left = main.frameGeometry();
        } else {
            QTRY_COMPARE(main.frameGeometry(), left);
        }
        QVERIFY(main.close());
    }
}

void TestWindowManager::maximisedComesBackAndDefaultUsesTheScreen_data()
{
    QTest::addColumn<bool>("maximised");
    QTest::newRow("maximised") << true;
    QTest::newRow("normal") << false;
}

void TestWindowManager::maximisedComesBackAndDefaultUsesTheScreen()
{
    QFETCH(bool, maximised);
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    for (int round = 0; round < 2; ++round) {
        frmMain main(dialogs);
        QVERIFY(start(main));
        if (round == 0) {
            const QRect available = main.screen()->availableGeometry();
            QVERIFY(main.frameGeometry().width() * 3 >= available.width() * 2);
            QVERIFY(available.contains(main.frameGeometry()));
            if (maximised)
                main.showMaximized();
            QTRY_COMPARE(main.isMaximized(), maximised);
        } else {
            QTRY_COMPARE(main.isMaximized(), maximised);
        }
        QVERIFY(main.close());
    }
}

void TestWindowManager::unreachablePositionFallsBack_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("left of every screen") << -90000 << 1000;
    QTest::newRow("right of every screen") << 90000 << 1000;
    QTest::newRow("below every screen") << 1000 << 90000;
    QTest::newRow("title above the screen") << 1000 << -300;
}

void TestWindowManager::unreachablePositionFallsBack()
{
    QFETCH(int, left);
    QFETCH(int, top);
    GuiSandbox sandbox;
    QSettings store(QSettings::UserScope, QStringLiteral("Meravo"), QStringLiteral("Meravo"));
    store.setValue(QStringLiteral("Settings/MainLeft"), QString::number(left));
    store.setValue(QStringLiteral("Settings/MainTop"), QString::number(top));
    store.sync();
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(start(main));
    const QPoint placed(Twips::toPixels(1000, &main), Twips::toPixels(1000, &main));
    QTRY_COMPARE(main.geometry().topLeft(), placed);
    QVERIFY(main.screen()->availableGeometry().contains(main.frameGeometry().topLeft()));
}

void TestWindowManager::restoredDocumentShowsRows_data()
{
    QTest::addColumn<bool>("cascade");
    QTest::newRow("Window > Cascade") << true;
    QTest::newRow("Restore button") << false;
}

void TestWindowManager::restoredDocumentShowsRows()
{
    QFETCH(bool, cascade);
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(start(main));
    frmDocument *doc = main.documents().first();
    auto *window = qobject_cast<QMdiSubWindow *>(doc->parentWidget());
    QVERIFY(window && window->isMaximized());
    if (cascade)
        main.MenuWindowCascade();
    else
        window->showNormal();
    QTRY_VERIFY(!window->isMaximized());
    QTest::qWait(100);
    // The header band, and the grid's header row with at least three rows below it.
    QTableView *grid = doc->grid();
    QVERIFY(grid->isVisible());
    const int rows = grid->horizontalHeader()->height() + 3 * grid->verticalHeader()->defaultSectionSize();
    QVERIFY2(grid->height() >= rows, qPrintable(QStringLiteral("grid %1 px high").arg(grid->height())));
    QVERIFY(doc->width() >= Twips::toPixels(3500, doc));
}

void TestWindowManager::waitDialogKeepsItsSizeWhileCounting()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(start(main));
    frmWait &wait = main.waitDialog();
    QVERIFY(wait.ShowWithText(TextTable::text(TextTable::DataLoading)));
    QVERIFY(QTest::qWaitForWindowExposed(&wait));
    QTest::qWait(100);
    const QSize size = wait.frameGeometry().size();
    // An import as long as the link takes: the counter line grows digit by digit.
    for (const qint64 bytes : {1LL, 4096LL, 1048576LL, 67108864LL}) {
        wait.setProgress(bytes, bytes / 40);
        QTest::qWait(50);
        QCOMPARE(wait.frameGeometry().size(), size);
        QVERIFY(wait.progressLabel()->sizeHint().width() <= wait.progressLabel()->width());
    }
    wait.Unload();
}

void TestWindowManager::growingWindowsStayOnScreen()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the window manager");
    GuiSession s(meterIdentity(QStringLiteral("Lumora")));
    s.logIn();
    frmProgConsole console(*s.main);
    frmProgEdit editor(*s.main, console);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    // Where the user left it, then the calibration panel opened.
    editor.move(201, 40);
    QTRY_COMPARE(editor.frameGeometry().topLeft(), QPoint(201, 40));
    editor.cmdExtended_Click();
    const QRect area = editor.screen()->availableGeometry();
    QTRY_VERIFY2(area.contains(editor.frameGeometry()), qPrintable(QStringLiteral("%1 px wide at x = %2")
                                                                       .arg(editor.frameGeometry().width())
                                                                       .arg(editor.frameGeometry().x())));
}

void TestWindowManager::fileCommandsHaveTheirKeys()
{
    GuiSandbox sandbox;
    ScriptedDialogs dialogs;
    frmMain main(dialogs);
    QVERIFY(start(main));
    QVERIFY(QTest::qWaitForWindowActive(&main));
    // Open asks for a file; Save and Print tell that the empty document has nothing; Quit ends.
    for (const Qt::Key key : {Qt::Key_O, Qt::Key_S, Qt::Key_P})
        QTest::keyClick(&main, key, Qt::ControlModifier);
    QCOMPARE(dialogs.asked.size(), 3);
    QCOMPARE(dialogs.asked[0].kind, QStringLiteral("open"));
    QCOMPARE(dialogs.messageTexts(), QStringList(2, TextTable::text(TextTable::NoDatasetsImported)));
    QTest::keyClick(&main, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!main.isVisible());
}

QTEST_MAIN(TestWindowManager)
#include "tst_wm.moc"
