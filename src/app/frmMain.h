#pragma once
// The program's frame: holds the measured-value documents, the menu bar, toolbar and status bar, owns
// the serial controls and the shared objects, and runs the meter search and the change of user.
#include "CSerialLink.h"
#include "SharedObjects.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class PrintTarget;
class frmDocument;
class frmHelp;
class frmWait;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMenuBar;
class QStackedWidget;
class QToolBar;
class UserDialogs;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // Status-bar panels, in order.
    enum Panel {
        PanelInterface,
        PanelBaud,
        PanelMeter,
        PanelSerial,
        PanelUser,
        PanelDate,
        PanelTime,
        PanelCount
    };

    explicit frmMain(UserDialogs &dialogs, QWidget *parent = nullptr);
    ~frmMain() override;

    // The load step: texts, position, icon, shared objects, caption, help file, first document, "offline".
    bool Load();

    SharedObjects &shared() { return *m_shared; }
    UserDialogs &dialogs() { return m_dialogs; }
    CSerialLink &link() { return m_link; }
    frmWait &waitDialog();

    short NumDocs() const;
    QList<frmDocument *> documents() const;
    frmDocument *activeDocument() const;
    void SetStatusBarCOM(const QString &strCOMPort, const QString &strBaudrate);
    void SetStatusBarDevice(const QString &strDeviceName, const QString &strSerNum);
    void SetStatusBarUserName(const QString &strUserName);
    QString statusText(Panel panel) const;
    // 0 default, 11 hourglass; for the main window and every document.
    void SetMousePointer(int intMousePointerVal);
    bool ToolbarIsChecked() const;

    void MenuFileNew();
    void MenuFileOpen();
    void MenuFileExit();
    void MenuDeviceSearch();
    void MenuChangeUser();
    void MenuProgsUserDef();
    void MenuCalProtPH();
    void MenuCalProtTurb();
    void MenuViewToolbar();
    void MenuWindowCascade();
    void MenuWindowTileHorizontal();
    void MenuWindowTileVertical();
    void MenuHelpApp();
    void MenuHelpAbout();

    // The serial link's operations, for every window that talks to the meter.
    bool COMScanPorts(int &intPortNum, QString &strBaudrate)
    {
        return m_link.COMScanPorts(intPortNum, strBaudrate);
    }
    bool COMInit(int intPortNum, const QString &strBaudrate, int intMaxAnswTime_s)
    {
        return m_link.COMInit(intPortNum, strBaudrate, intMaxAnswTime_s);
    }
    bool COMDeinit() { return m_link.COMDeinit(); }
    bool COMStop() { return m_link.COMStop(); }
    bool COMContinue() { return m_link.COMContinue(); }
    bool COMChangeAnswerTime(int intMaxAnswTime_s) { return m_link.COMChangeAnswerTime(intMaxAnswTime_s); }
    bool COMSendAndReceive(const QString &strSend, QString &strAnswer)
    {
        return m_link.COMSendAndReceive(strSend, strAnswer);
    }

    // The windows opened by a menu command (program console, calibration records) register here
    // (WindowCommands.cpp); a command without a window does nothing.
    void setCommandHandler(const QString &command, std::function<void()> handler);

    // Shows the help file at a window's help context number.
    void showHelp(int contextNumber);
    QString helpFile() const { return m_helpFile; }

    // Opens a document window (closing the open ones first); false when a document refused to close.
    frmDocument *OpenDocumentWindow(const QString &filePath = QString());
    // Closes every document window; false when one of them stays open (its user kept it).
    bool CloseAllDocuments();

    // The menu bar of the main window or of a document (the one whose items are named so).
    QAction *menuAction(const QString &name) const;
    QAction *toolButton(const QString &key) const;
    QToolBar *toolBar() const { return m_toolBar; }
    QMdiArea *mdiArea() const { return m_mdi; }

    // The search behind the wait dialog and its messages; used at start and by the Search command.
    void SearchMeter(bool onlyKlaro7);

    // Builds a menu bar with the program's commands (and a document's own commands when doc is set).
    QMenuBar *createMenuBar(frmDocument *doc, QHash<QString, QAction *> &actions);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createToolBar();
    void createStatusBar();
    // Position and size when none is stored, in twips.
    static constexpr int kDefaultLeft = 1000;
    static constexpr int kDefaultTop = 1000;
    static constexpr int kDefaultSize = 6500;

    void restorePosition();
    void savePosition();
    void activeDocumentChanged(QMdiSubWindow *window);
    void runCommand(const QString &command);
    QString settingsTitle() const;

    UserDialogs &m_dialogs;
    CSerialLink m_link;
    std::unique_ptr<SharedObjects> m_shared;
    std::unique_ptr<PrintTarget> m_printTarget;
    QMdiArea *m_mdi;
    QStackedWidget *m_menuStack;
    QMenuBar *m_menuBar = nullptr;
    QHash<QString, QAction *> m_actions;
    QToolBar *m_toolBar = nullptr;
    QHash<QString, QAction *> m_toolButtons;
    QLabel *m_panels[PanelCount] = {};
    QTimer m_clock;
    QPointer<frmWait> m_wait;
    QPointer<frmHelp> m_help;
    QString m_helpFile;
    QHash<QString, std::function<void()>> m_commands;
    bool m_closing = false;
};
