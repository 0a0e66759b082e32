#pragma once
// A Yes/No question answered with OK or Cancel; No is preselected, so a hasty OK declines.
#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

class frmConfirm : public QDialog {
    Q_OBJECT
public:
    explicit frmConfirm(QWidget *owner);

    bool SetText(const QString &strText);
    // Shows the dialog modally; true only if Yes was chosen and OK pressed.
    bool Result();

    QRadioButton *yesOption() const { return m_optYes; }
    QPushButton *okButton() const { return m_cmdOK; }

private:
    QLabel *m_lblText;
    QRadioButton *m_optYes;
    QRadioButton *m_optNo;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
    bool m_result = false;
};
