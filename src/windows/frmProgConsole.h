#pragma once
// The program console: the meter's user-defined programs beside the program files of the working
// directory, with copying, erasing, the editor for new and modified programs and the working directory.
#include <QDialog>
#include <QStringList>

class CUsrDefProg;
class HeaderBand;
class MainWindowContext;
class ProgramForm;
struct ProgramRecord;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;
class UserDialogs;

class frmProgConsole : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 20000;
    static constexpr int kUpdateInterval = 5000;

    // Loads the window: texts, lists, and the meter's programs behind the wait dialog.
    explicit frmProgConsole(MainWindowContext &main);
    ~frmProgConsole() override;

    // Used by the program editor.
    bool GetSelProgram(QString &strProgNum, QString &strFileName, bool &fMeterSelected) const;
    bool RequestSelProgram(const QString &strProgNum, const QString &strFileName, bool fMeterSelected);
    bool NewProgramPressed() const { return m_newProgram; }

    // The file name inside a directory entry "905   (PROG 905.csv)"; false when there is none.
    static bool FileNameFromEntry(const QString &strEntry, QString &strFileName);
    // The frame caption of a working directory: short paths whole, long ones as first\...\last.
    static QString WorkDirCaption(const QString &path);
    // Whether a program may be stored: refused with every problem at once, or, where it only leaves
    // the editor's lists or the absorbance range (a program the meter held), once the user confirms
    // it (confirmed set, for the store).
    static bool MayStore(UserDialogs &dialogs, QWidget *parent, const CUsrDefProg &prog,
                         const ProgramRecord &program, bool &confirmed);

    // The timer's refresh of the directory list.
    void UpdateDirectoryList();

    // For tests and the screenshots.
    bool meterProgramsRead() const { return m_meterPrograms; }
    QListWidget *meterList() const { return m_lstProgsMeter; }
    QListWidget *directoryList() const { return m_lstProgsPC; }
    QTimer *updateTimer() const { return m_timUpdate; }
    QString detailText(const char *field) const;

    void cmdCopyToPC_Click();
    void cmdCopyToPCAll_Click();
    void cmdCopyToMeter_Click();
    void cmdCopyToMeterAll_Click();
    void cmdDeleteMeter_Click();
    void cmdDeleteAllMeter_Click();
    void cmdDeletePC_Click();
    void cmdDeleteAllPC_Click();
    void cmdModifyProgram_Click();
    void cmdNewProgram_Click();
    void cmdChangeWorkDir_Click();

private:
    enum class Step { Done, Cancelled, Failed, ListFailed };

    void buildWindow();
    void nameControls();
    void buildMeterList();
    void buildDirectoryList();
    void arrangeWindow();
    void setTabOrders();
    void connectCommands();
    void Load();
    bool ReadMeterPrograms();
    bool FillMeterList();
    bool FillDirectoryList();
    bool ReadDirectoryEntries(QStringList &entries) const;
    void ShowWorkDir();
    bool ShowProgramDetails(const ProgramRecord &program);
    void ClearProgramDetails();
    void UpdateConsoleButtons(bool fDefault, bool fMeter, const QString &strKey);
    void SelectAfterRefresh(bool fDefault, bool fMeter, const QString &strKey);
    void DefaultSelection(bool fPreferMeter);
    // Selects the row (clearing the other list) and shows its program.
    void SelectEntry(QListWidget *list, int row, bool fReload = false);
    void EntrySelectedByUser(QListWidget *list);
    int selectedRow(const QListWidget *list) const;
    Step CopyOneToPC(const QString &strProgNum);
    bool ConfirmErase(const QString &text);
    void OpenEditor(bool fNew);
    void SetBusy(bool busy);
    void followExchange(bool running);
    void pollTick();

    MainWindowContext &m_main;
    bool m_meterPrograms = false;
    bool m_newProgram = false;
    QString m_reqProgNum;
    QString m_reqFileName;
    bool m_reqMeter = true;
    bool m_pausedForExchange = false;

    HeaderBand *m_imgHead;
    QGroupBox *m_fraProgsMeter;
    QListWidget *m_lstProgsMeter;
    QGroupBox *m_fraProgsPC;
    QListWidget *m_lstProgsPC;
    QPushButton *m_cmdCopyToPC;
    QPushButton *m_cmdCopyToPCAll;
    QPushButton *m_cmdCopyToMeter;
    QPushButton *m_cmdCopyToMeterAll;
    QPushButton *m_cmdDeleteMeter;
    QPushButton *m_cmdDeleteAllMeter;
    QPushButton *m_cmdDeletePC;
    QPushButton *m_cmdDeleteAllPC;
    QPushButton *m_cmdModifyProgram;
    QPushButton *m_cmdNewProgram;
    QPushButton *m_cmdCancel;
    QToolButton *m_cmdChangeWorkDir;
    ProgramForm *m_form;
    QTimer *m_timUpdate;
    QStatusBar *m_sbWorkDir;
    QLabel *m_sbWorkDirText;
};
