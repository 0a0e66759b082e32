#pragma once
// Picks the working directory of the program files: a drive (mounted volume) and a folder in it, with
// a new folder created on the way.
#include <QDialog>

class MainWindowContext;
class QComboBox;
class QListWidget;
class QPushButton;

class frmChangeDir : public QDialog {
    Q_OBJECT
public:
    frmChangeDir(MainWindowContext &main, QWidget *owner);

    // Shows the dialog modally; the chosen directory, or "" when the user cancelled.
    QString Path();

    // The folder shown in the directory list and the one selected in it.
    QString currentDirectory() const { return m_current; }
    QString selectedDirectory() const;
    // Shows a folder: its ancestors, itself (selected) and its subfolders.
    void ShowDirectory(const QString &path);
    // The drive list's entry for a volume root, or -1.
    int driveIndex(const QString &rootPath) const;

    void drv_Change();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdNewDir_Click();

    QComboBox *driveList() const { return m_drv; }
    QListWidget *directoryList() const { return m_dir; }

    // The new folder's path: no second separator after a root.
    static QString ChildPath(const QString &parent, const QString &name);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FillDrives();
    void SelectDrive(const QString &path);
    void GoToFallback();

    MainWindowContext &m_main;
    QComboBox *m_drv;
    QListWidget *m_dir;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
    QPushButton *m_cmdNewDir;
    QString m_current;
    QString m_chosen;
};
