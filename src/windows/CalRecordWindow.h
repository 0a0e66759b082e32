#pragma once
// What the pH and turbidity record windows share: the header band, the device and record frames with
// the values both records carry, the file and print commands and the read-on-opening step. The record
// itself lives in the shared CCalProtocol.
#include "PrintJobs.h"

#include <QDialog>

class CIni;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;
class MainWindowContext;

// Value texts and steps the record windows and the lot editor use.
namespace CalRecordWindows {

// A number as "0.0" with the system's decimal separator.
QString oneDecimal(double value);
// The slope in mV/pH, or in percent of the ideal slope when the record asks for it.
QString slopeText(const QString &slope, bool fShowSlopePC);
// A temperature in degrees Celsius, or converted to Fahrenheit when the record asks for it.
QString temperatureText(MainWindowContext &main, const QString &celsius, bool fShowTempF);
// F1 shows the window's help topic.
void installHelp(MainWindowContext &main, QWidget *window, int contextNumber);

} // namespace CalRecordWindows

class CalRecordWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 30010;

    QPushButton *saveButton() const { return m_cmdSaveAsFile; }
    QPushButton *openButton() const { return m_cmdReadFile; }
    QPushButton *printButton() const { return m_cmdPrint; }
    QPushButton *cancelButton() const { return m_cmdCancel; }
    // Print preview, PDF file and page setup, in a menu beside Print.
    QToolButton *printMoreButton() const { return m_cmdPrintMore; }
    void PrintPreview();
    bool PrintToPdf();
    // A label by its control name (tests, screenshots).
    QString labelText(const QString &name) const;

protected:
    CalRecordWindow(MainWindowContext &main, const QString &objectName);

    // A caption label (by text number) or, without a number, a selectable value label.
    QLabel *addLabel(QWidget *parent, const QString &name, int captionNumber = 0);
    // Save, open, the window's own commands, print, and cancel at the right end.
    QHBoxLayout *buttonRow(const QList<QPushButton *> &ownCommands);
    // Texts, icon, help and tab order; then the record read from the meter when it supports the kind.
    void Load(int titleNumber, const QList<QPushButton *> &ownCommands, bool meterSupportsKind);
    // The values every record carries.
    void showCommonValues(const QString &meter, const QString &serial, const QString &user,
                          const QString &date, const QString &time, const QString &interval,
                          const QString &mode);
    void clearCommonValues();
    // Save and print need a valid record.
    virtual void UpdateButtons();

    virtual bool ReadFromMeter() = 0;
    virtual bool ShowRecord() = 0;
    virtual void ClearDisplay() = 0;
    // Whether the record read from a file is of this window's kind.
    virtual bool isOwnKind() const = 0;
    // The word of the proposed file name.
    virtual QString saveKindWord() const = 0;
    // Reads the record behind the wait dialog; false when the readout failed.
    bool readFromMeter(bool fPH, bool fExtended);

    MainWindowContext &m_main;
    QGroupBox *m_frmDevice;
    QGroupBox *m_frmProtocol;
    QLabel *m_lblMeterValue = nullptr;
    QLabel *m_lblSerNoValue = nullptr;
    QLabel *m_lblUserValue = nullptr;
    QLabel *m_lblCalDateValue = nullptr;
    QLabel *m_lblCalTimeValue = nullptr;
    QLabel *m_lblCalIntervalValue = nullptr;
    QLabel *m_lblCalModeValue = nullptr;
    QPushButton *m_cmdSaveAsFile;
    QPushButton *m_cmdReadFile;
    QPushButton *m_cmdPrint;
    QPushButton *m_cmdCancel;
    QToolButton *m_cmdPrintMore;

private:
    // Save with the proposed name; every failure is reported, a cancelled dialog is silent.
    void SaveAsFile();
    // The open dialog and the read; a record of the other kind is reported.
    void ReadFile();
    // The printer question and the printout.
    void PrintRecord();
    static PrintJobs::Job printJob();
};
