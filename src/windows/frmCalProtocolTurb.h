#pragma once
// The window of the meter's last turbidity calibration record with the lot data of its standards:
// reads the record on opening, shows it, lets the user enter the lot data, saves, opens and prints.
#include "CalRecordWindow.h"

class frmCalProtocolTurb : public CalRecordWindow {
    Q_OBJECT
public:
    static constexpr int kRows = 5;

    // Loads the window: texts, pictures, and the record read from the meter when it supports turbidity.
    explicit frmCalProtocolTurb(MainWindowContext &main);

    QPushButton *editLotButton() const { return m_cmdEditLOT; }

private:
    void buildValueFrames();
    void buildStandardsTable(QGridLayout *charge, int firstRow);
    bool ReadFromMeter() override;
    bool ShowRecord() override;
    void ClearDisplay() override;
    void UpdateButtons() override;
    bool isOwnKind() const override;
    QString saveKindWord() const override;
    void EditLot();

    QGroupBox *m_frmCharge;
    QLabel *m_lblLOTTotalValue;
    QLabel *m_lblExpiryValue;
    QLabel *m_lblManufacturerValue;
    // Rows low, mid, high, 4 and 5: nominal value, lot entry, status.
    QLabel *m_lblStd[kRows];
    QLabel *m_lblStdValue[kRows];
    QLabel *m_lblStdStatus[kRows];
    QPushButton *m_cmdEditLOT;
};
