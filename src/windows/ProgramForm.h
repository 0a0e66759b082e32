#pragma once
// The fifteen controls a program is shown in, in their frame, as the program console and the program
// editor both embed it: one place builds, fills and reads them, so both windows show a program alike.
#include "ProgramRecord.h"

#include <QGroupBox>
#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;

class ProgramForm : public QGroupBox {
    Q_OBJECT
public:
    enum class Arrangement {
        // Three columns of five, for looking only (the console).
        Display,
        // Two to a row with the flags below, typed in with tool tips, key filters and field lengths
        // (the editor).
        Entry,
    };

    ProgramForm(Arrangement arrangement, QWidget *parent);

    // Every field but the calibration pairs, which only the editor has.
    void showProgram(const ProgramRecord &program);
    // The fields as they stand, the pairs left empty.
    ProgramRecord program() const;
    // The lists as offered (a value a file brought in goes again), at their defaults.
    void resetLists();
    // Empty texts, the lists at their defaults, the flags cleared; keepNumber leaves the program number
    // and the user name, as the editor's Clear does.
    void clear(bool keepNumber = false);

    QLineEdit *numberEdit() const { return m_txtProgNum; }
    void setNumber(const QString &number);
    void setUser(const QString &user);
    // The calibration line, as the editor's extended view takes it over.
    void setLine(const QString &e0, const QString &slope);
    // The line is typed in only while the extended view does not compute it.
    void setLineEditable(bool editable);
    // The calibration-line flags, for meters that have one.
    void setCalLineOffered(bool offered);
    // The controls a user types in, in the order the Tab key visits them.
    QList<QWidget *> tabChain() const;

    // Selects value in the list; a value the list does not offer is still shown, as it is.
    static void showInCombo(QComboBox *combo, const QString &value);

private:
    void nameControls(Arrangement arrangement);
    void arrangeInColumns();
    void arrangeInPairs();
    void installInputFilters();

    QLineEdit *m_txtProgNum;
    QLineEdit *m_txtModel;
    QComboBox *m_cboCuvette;
    QComboBox *m_cboLambda;
    QLineEdit *m_txtMRB;
    QLineEdit *m_txtMRE;
    QLineEdit *m_txtE0;
    QLineEdit *m_txtSlope;
    QComboBox *m_cboResolution;
    QLineEdit *m_txtFormula;
    QLineEdit *m_txtMeasUnit;
    QLineEdit *m_txtUserName;
    QCheckBox *m_chkBlankRequired;
    QCheckBox *m_chkCalLinePossible;
    QCheckBox *m_chkCalLineRequired;
};
