#pragma once
// The program's frame: holds the measured-value documents, the menu bar, toolbar and status bar, owns
// the serial controls and the shared objects, and runs the meter search and the change of user.
#include "Commands.h"
#include "CommLog.h"
#include "CSerialLink.h"
#include "MainWindowContext.h"
#include "SharedObjects.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include <memory>

class PrintTarget;
class frmArchive;
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
class DeviceWatcher;

class frmMain : public QMainWindow, public MainWindowContext {
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

    QWidget &frameWidget() override { return *this; }
    SharedObjects &shared() override { return *m_shared; }
    UserDialogs &dialogs() override { return m_dialogs; }
    CSerialLink &link() override { return m_link; }
    frmWait &waitDialog() override;
    bool UpdateCommandStates(bool flag) override;
    Commands &commands() override { return *m_commands; }

    short NumDocs() const;
    QList<frmDocument *> documents() const;
    frmDocument *activeDocument() const;
    void SetStatusBarCOM(const QString &strCOMPort, const QString &strBaudrate);
    void SetStatusBarDevice(const QString &strDeviceName, const QString &strSerNum);
    void SetStatusBarUserName(const QString &strUserName);
    QString statusText(Panel panel) const;
    void SetMousePointer(int intMousePointerVal) override;
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
    void MenuHelpConnCheck();
    void MenuHelpAbout();
    // View > Communication log: one window, raised when already open.
    void MenuViewCommLog();
    CommLog &commLog() { return m_commLog; }
    // File > Archive: one window, raised when already open.
    void MenuArchive();
    frmArchive *archiveWindow() const;
    // File > Add files to archive.
    void MenuArchiveAddFiles();
    void MenuControlCharts();
    // File > Import automatically when a meter is connected: each meter that appears (in
    // /dev/serial/by-id, or a pinned port of MERAVO_PORTS) is imported into the archive and delivered,
    // told by a notice in the status bar instead of a dialog. Kept in the user's settings.
    void setAutoImport(bool on);
    bool autoImport() const { return m_watcher != nullptr; }
    QString autoImportNotice() const;
    // File > Load worklist: the lab's sample IDs for the imports of this run that follow.
    void MenuLoadWorklist();

    void showHelp(int contextNumber) override;
    QString helpFile() const { return m_helpFile; }

    // Opens a document window (closing the open ones first); false when a document refused to close.
    frmDocument *OpenDocumentWindow(const QString &filePath = QString());
    frmDocument *addDocumentWindow() override;
    // Closes every document window; false when one of them stays open (its user kept it).
    bool CloseAllDocuments();

    QToolBar *toolBar() const { return m_toolBar; }

    // The search behind the wait dialog and its messages; used at start and by the Search command.
    void SearchMeter(bool onlyKlaro7);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void connectCommands();
    void connectDocumentCommands();
    // The document the document commands act on: the one last activated.
    frmDocument *commandTarget() const;
    void createToolBar();
    void createStatusBar();
    // Position and size when none is stored, in twips.
    static constexpr int kDefaultLeft = 1000;
    static constexpr int kDefaultTop = 1000;
    static constexpr int kDefaultSize = 6500;

    void restorePosition();
    void savePosition();
    void activeDocumentChanged(QMdiSubWindow *window);
    QString settingsTitle() const;

    UserDialogs &m_dialogs;
    // Lives longer than the link that writes to it.
    CommLog m_commLog;
    CSerialLink m_link;
    QPointer<QWidget> m_commLogWindow;
    QPointer<frmArchive> m_archiveWindow;
    std::unique_ptr<SharedObjects> m_shared;
    std::unique_ptr<PrintTarget> m_printTarget;
    QMdiArea *m_mdi;
    QStackedWidget *m_menuStack;
    QMenuBar *m_menuBar = nullptr;
    std::unique_ptr<Commands> m_commands;
    QPointer<frmDocument> m_commandTarget;
    QToolBar *m_toolBar = nullptr;
    QLabel *m_panels[PanelCount] = {};
    QTimer m_clock;
    QPointer<frmWait> m_wait;
    QPointer<frmHelp> m_help;
    QString m_helpFile;
    // Qt's own texts (file dialogs, edit menus) in the chosen language, where Qt ships them.
    QTranslator m_qtTexts;
    bool m_closing = false;
    void importAppeared(const QString &path);
    std::unique_ptr<DeviceWatcher> m_watcher;
    QLabel *m_notice = nullptr;
};
