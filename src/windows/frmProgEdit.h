#pragma once
// The program editor: one user-defined program, new or modified, sent to the meter or saved as a
// file; its extended view computes the calibration line from value pairs and takes it over.
#include <QDialog>
#include <QList>
#include <QStringList>

class CalLineChart;
class MainWindowContext;
class ProgramForm;
struct ProgramRecord;
class frmProgConsole;
class HeaderBand;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class frmProgEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpNew = 20010;
    static constexpr int kHelpModify = 20020;
    static constexpr int kHelpExtended = 20030;
    static constexpr int kPairs = 10;

    // Loads the window with the program selected in the console (a new program starts as its copy).
    frmProgEdit(MainWindowContext &main, frmProgConsole &console);
    ~frmProgEdit() override;

    void cmdSaveDevice_Click();
    void cmdSaveFile_Click();
    void cmdExtended_Click();
    void cmdCalCalculate_Click();
    void cmdTransfer_Click();
    void cmdClear_Click();
    // Leaving the program number: a number 900 - 999, else the message and "900".
    bool txtProgNum_Validate();
    // Leaving a value field: its number in general form, or empty.
    void NormalisePair(QLineEdit *edit);

    // The program array from the controls; false when an element 0 to 10 is empty.
    bool BuildProgram(ProgramRecord &program) const;
    void LoadProgram(const ProgramRecord &program, bool withPairs);

    // The general decimal form of a number with "." as separator (1.50 gives 1.5).
    static QString GeneralNumber(double value);
    // Four significant digits, as "0.000E+00" and back.
    static QString FourDigits(double value);
    // The text as a number; false when it is not one.
    static bool ParseNumber(const QString &text, double &value);

    // For tests and the screenshots.
    bool extendedView() const { return m_extended; }
    bool calculationValid() const { return m_calcValid; }
    int helpContext() const;
    QString resultText(const QString &name) const;
    CalLineChart *chart() const { return m_chart; }
    QLineEdit *valX(int i) const { return m_txtValX[i]; }
    QLineEdit *valY(int i) const { return m_txtValY[i]; }

private:
    void buildWindow();
    void nameControls();
    void buildProgramPanel();
    void buildPairsTable();
    void buildResultsTable();
    void buildCalPanel();
    void installInputFilters();
    void setTabOrders();
    void connectCommands();
    void Load();
    void layoutWindow();
    bool Calculate(bool withMessages);
    bool CheckBeforeSaving(ProgramRecord &program, bool &confirmed);
    void ShowResults(double a0, double a1, double ym, double xm, int n, double sx0, double vx0, double xn,
                     double xb);
    void ClearResults();
    void setChartShown(bool shown);

    MainWindowContext &m_main;
    frmProgConsole &m_console;
    bool m_new = false;
    bool m_extended = false;
    bool m_calcValid = false;
    bool m_chartShown = false;
    QList<double> m_usedX;
    QList<double> m_usedY;
    int m_usedCount = 0;
    double m_a0 = 0;
    double m_a1 = 0;

    HeaderBand *m_imgHead;
    QWidget *m_panelProgram;
    QWidget *m_panelCal;
    QFrame *m_linDivider;
    ProgramForm *m_form;
    QLineEdit *m_txtValX[kPairs];
    QLineEdit *m_txtValY[kPairs];
    QPushButton *m_cmdSaveDevice;
    QPushButton *m_cmdSaveFile;
    QPushButton *m_cmdExtended;
    QPushButton *m_cmdCalCalculate;
    QPushButton *m_cmdTransfer;
    QPushButton *m_cmdClear;
    QPushButton *m_cmdCancel;
    QGroupBox *m_fraPairsOfVariates;
    QGroupBox *m_fraCalLine;
    QGroupBox *m_fraCalResults;
    CalLineChart *m_chart;
    QLabel *m_results[9];
};
