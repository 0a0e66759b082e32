#pragma once
// The communication log of the running program, live: what the file holds so far, then every new line.
#include <QDialog>

class CommLog;
class QPlainTextEdit;
class QPushButton;
class UserDialogs;

class frmCommLog : public QDialog {
    Q_OBJECT
public:
    frmCommLog(CommLog &log, UserDialogs &dialogs, QWidget *owner);

    QPlainTextEdit *view() const { return m_view; }
    // Asks for a file and writes the whole run to it; false when cancelled or not written.
    bool saveAs();

private:
    CommLog &m_log;
    UserDialogs &m_dialogs;
    QPlainTextEdit *m_view;
    QPushButton *m_cmdSaveAs;
    QPushButton *m_cmdClose;
};
