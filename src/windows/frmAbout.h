#pragma once
// The About box: application name, version, notice, web and mail addresses from Settings.ini.
#include <QDialog>

class CIni;
class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(const CIni &ini, QWidget *owner);

    QLabel *internetLabel() const { return m_lblInternet; }
    QLabel *internetValue() const { return m_lblInternetValue; }
    QLabel *mailLabel() const { return m_lblMail; }
    QLabel *mailValue() const { return m_lblMailValue; }
    QLabel *versionLabel() const { return m_lblVersion; }

    // "Version" + " " + major + "." + minor followed directly by the revision.
    static QString versionText();

    // Opens the web address in the system browser when there is one; errors are ignored.
    void openInternet();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const CIni &m_ini;
    QLabel *m_lblAppTitle;
    QLabel *m_lblVersion;
    QLabel *m_lblDisclaimer;
    QLabel *m_lblInternet;
    QLabel *m_lblInternetValue;
    QLabel *m_lblMail;
    QLabel *m_lblMailValue;
    QPushButton *m_cmdOK;
};
