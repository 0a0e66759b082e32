#pragma once
// Help > Connection check: the report of the serial ports, the port grabbers and the meter search.
#include "ConnectionCheck.h"

#include <QDialog>

class CDevice;
class CCommunication;
class QPlainTextEdit;
class QPushButton;

class frmConnCheck : public QDialog {
    Q_OBJECT
public:
    frmConnCheck(CDevice &device, const CCommunication &communication, bool onlyKlaro7, QWidget *owner);

    QPlainTextEdit *reportView() const { return m_report; }
    const ConnectionCheck::Report &report() const { return m_last; }

    // Checks the ports again; with search, also searches the meter.
    void runCheck(bool search);

private:
    CDevice &m_device;
    const CCommunication &m_communication;
    bool m_onlyKlaro7;
    ConnectionCheck::Report m_last;
    QPlainTextEdit *m_report;
    QPushButton *m_cmdPorts;
    QPushButton *m_cmdSearch;
};
