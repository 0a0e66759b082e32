#pragma once
// The fifteen controls a program is shown in, in the program console and in the program editor: one
// place fills them from a program and puts the lists back, so both windows show a program alike.
#include "ProgramRecord.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

struct ProgramFields {
    QLineEdit *progNum;
    QLineEdit *model;
    QComboBox *cuvette;
    QComboBox *lambda;
    QLineEdit *mrb;
    QLineEdit *mre;
    QLineEdit *e0;
    QLineEdit *slope;
    QComboBox *resolution;
    QLineEdit *formula;
    QLineEdit *unit;
    QLineEdit *user;
    QCheckBox *blankRequired;
    QCheckBox *calLinePossible;
    QCheckBox *calLineRequired;

    // Every field but the calibration pairs, which only the editor has.
    void show(const ProgramRecord &program) const;
    // The lists as offered (a value a file brought in goes again), at their defaults.
    void resetLists() const;
    // Empty texts, the lists at their defaults, the flags cleared.
    void clear() const;
    // Selects value in the list; a value the list does not offer is still shown, as it is.
    static void showInCombo(QComboBox *combo, const QString &value);
};
