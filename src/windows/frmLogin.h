#pragma once
// The login at start: a free-text user name and the choice between searching the meter and working
// offline.
#include <QDialog>

class CLogin;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmLogin : public QDialog {
    Q_OBJECT
public:
    frmLogin(CLogin &login, QWidget *owner);

    QLineEdit *userName() const { return m_txtUserName; }
    QRadioButton *searchOption() const { return m_optSearchDevice; }
    QRadioButton *offlineOption() const { return m_optWorkOffline; }
    QPushButton *okButton() const { return m_cmdOK; }
    QPushButton *cancelButton() const { return m_cmdCancel; }

private:
    void ok();

    CLogin &m_login;
    QLineEdit *m_txtUserName;
    QRadioButton *m_optSearchDevice;
    QRadioButton *m_optWorkOffline;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
};
