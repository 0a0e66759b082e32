#pragma once
// The window of the meter's last pH calibration record: reads it on opening, shows it, saves it as a
// record file, opens record files and prints it. The record itself lives in the shared CCalProtocol.
#include <QDialog>

class CIni;
class QBoxLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class MainWindowContext;

// What both record windows share: the header band, the value texts, and the file and print steps.
namespace CalRecordWindows {

// The header picture with the maker's logo at its right end.
QBoxLayout *headBand(QWidget *window, const CIni &ini);
// A number as "0.0" with the system's decimal separator.
QString oneDecimal(double value);
// The slope in mV/pH, or in percent of the ideal slope when the record asks for it.
QString slopeText(const QString &slope, bool fShowSlopePC);
// A temperature in degrees Celsius, or converted to Fahrenheit when the record asks for it.
QString temperatureText(MainWindowContext &main, const QString &celsius, bool fShowTempF);
// Reads the record behind the wait dialog; false when the readout failed.
bool readFromMeter(MainWindowContext &main, QWidget *window, bool fPH, bool fExtended);
// Save with the proposed name; every failure is reported, a cancelled dialog is silent.
void saveRecord(MainWindowContext &main, QWidget *window, const QString &kindWord);
// The open dialog and the read; true when a file was read (a failed read is reported here).
bool openRecord(MainWindowContext &main, QWidget *window);
// The printer question and the printout.
void printRecord(MainWindowContext &main, QWidget *window);
// F1 shows the window's help topic.
void installHelp(MainWindowContext &main, QWidget *window, int contextNumber);
// A caption label (by text number) or, without a number, a selectable value label.
QLabel *addLabel(QWidget *parent, const QString &name, int captionNumber);
// The text of a window's label by its control name ("" when there is none).
QString labelText(const QWidget *window, const QString &name);

} // namespace CalRecordWindows

class frmCalProtocolPH : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 30010;

    // Loads the window: texts, pictures, and the record read from the meter when it supports pH.
    explicit frmCalProtocolPH(MainWindowContext &main);

    QPushButton *saveButton() const { return m_cmdSaveAsFile; }
    QPushButton *openButton() const { return m_cmdReadFile; }
    QPushButton *printButton() const { return m_cmdPrint; }
    QPushButton *cancelButton() const { return m_cmdCancel; }
    // A value or buffer-table label by its control name (tests, screenshots).
    QString labelText(const QString &name) const;

private:
    QLabel *addLabel(QWidget *parent, const char *name, int captionNumber = 0);
    void Load();
    bool ReadFromMeter();
    bool ShowRecord();
    void ClearDisplay();
    void UpdateButtons();
    void SaveAsFile();
    void ReadFile();
    void PrintRecord();

    MainWindowContext &m_main;
    QGroupBox *m_frmDevice;
    QGroupBox *m_frmProtocol;
    QLabel *m_lblMeterValue;
    QLabel *m_lblSerNoValue;
    QLabel *m_lblUserValue;
    QLabel *m_lblCalDateValue;
    QLabel *m_lblCalTimeValue;
    QLabel *m_lblCalIntervalValue;
    QLabel *m_lblCalModeValue;
    QLabel *m_lblSlopeValue;
    QLabel *m_lblAsyValue;
    QLabel *m_lblSensQualValue;
    QLabel *m_lblBufNo[3];
    QLabel *m_lblBufPH[3];
    QLabel *m_lblBufVolt[3];
    QLabel *m_lblBufTemp[3];
    QPushButton *m_cmdSaveAsFile;
    QPushButton *m_cmdReadFile;
    QPushButton *m_cmdPrint;
    QPushButton *m_cmdCancel;
};
