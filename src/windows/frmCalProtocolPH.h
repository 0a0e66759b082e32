#pragma once
// The window of the meter's last pH calibration record: reads it on opening, shows it, saves it as a
// record file, opens record files and prints it.
#include "CalRecordWindow.h"

class frmCalProtocolPH : public CalRecordWindow {
    Q_OBJECT
public:
    // Loads the window: texts, pictures, and the record read from the meter when it supports pH.
    explicit frmCalProtocolPH(MainWindowContext &main);

private:
    void buildDeviceFrame();
    void buildProtocolFrame();
    bool ReadFromMeter() override;
    bool ShowRecord() override;
    void ClearDisplay() override;
    bool isOwnKind() const override;
    QString saveKindWord() const override;

    QLabel *m_lblSlopeValue;
    QLabel *m_lblAsyValue;
    QLabel *m_lblSensQualValue;
    QLabel *m_lblBufNo[3];
    QLabel *m_lblBufPH[3];
    QLabel *m_lblBufVolt[3];
    QLabel *m_lblBufTemp[3];
};
