#pragma once
// The window of the meter's last turbidity calibration record with the lot data of its standards:
// reads the record on opening, shows it, lets the user enter the lot data, saves, opens and prints.
// The record itself lives in the shared CCalProtocol.
#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class MainWindowContext;

class frmCalProtocolTurb : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 30010;
    static constexpr int kRows = 5;

    // Loads the window: texts, pictures, and the record read from the meter when it supports turbidity.
    explicit frmCalProtocolTurb(MainWindowContext &main);

    QPushButton *saveButton() const { return m_cmdSaveAsFile; }
    QPushButton *openButton() const { return m_cmdReadFile; }
    QPushButton *editLotButton() const { return m_cmdEditLOT; }
    QPushButton *printButton() const { return m_cmdPrint; }
    QPushButton *cancelButton() const { return m_cmdCancel; }
    // A label by its control name (tests, screenshots).
    QString labelText(const QString &name) const;

private:
    QLabel *addLabel(QWidget *parent, const QString &name, int captionNumber = 0);
    void Load();
    bool ReadFromMeter();
    bool ShowRecord();
    void ClearDisplay();
    void UpdateButtons();
    void SaveAsFile();
    void ReadFile();
    void EditLot();
    void PrintRecord();

    MainWindowContext &m_main;
    QGroupBox *m_frmDevice;
    QGroupBox *m_frmProtocol;
    QGroupBox *m_frmCharge;
    QLabel *m_lblMeterValue;
    QLabel *m_lblSerNoValue;
    QLabel *m_lblUserValue;
    QLabel *m_lblCalDateValue;
    QLabel *m_lblCalTimeValue;
    QLabel *m_lblCalIntervalValue;
    QLabel *m_lblCalModeValue;
    QLabel *m_lblLOTTotalValue;
    QLabel *m_lblExpiryValue;
    QLabel *m_lblManufacturerValue;
    // Rows low, mid, high, 4 and 5: nominal value, lot entry, status.
    QLabel *m_lblStd[kRows];
    QLabel *m_lblStdValue[kRows];
    QLabel *m_lblStdStatus[kRows];
    QPushButton *m_cmdSaveAsFile;
    QPushButton *m_cmdReadFile;
    QPushButton *m_cmdEditLOT;
    QPushButton *m_cmdPrint;
    QPushButton *m_cmdCancel;
};
