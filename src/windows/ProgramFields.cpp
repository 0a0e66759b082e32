#include "ProgramFields.h"

#include "ProgramChoices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

void ProgramFields::showInCombo(QComboBox *combo, const QString &value)
{
    int index = combo->findText(value);
    if (index < 0) {
        combo->addItem(value);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

void ProgramFields::show(const ProgramRecord &program) const
{
    progNum->setText(program.NO);
    model->setText(program.MODEL);
    showInCombo(cuvette, program.CUV);
    showInCombo(lambda, program.LAMBDA);
    mrb->setText(program.MRB);
    mre->setText(program.MRE);
    e0->setText(program.E0);
    slope->setText(program.SLOPE);
    showInCombo(resolution, program.RES);
    formula->setText(program.FORM);
    unit->setText(program.UNIT);
    user->setText(program.USER);
    blankRequired->setChecked(program.BLANKREQ == QStringLiteral("1"));
    calLinePossible->setChecked(program.CALPSB == QStringLiteral("1"));
    calLineRequired->setChecked(program.CALREQ == QStringLiteral("1"));
}

void ProgramFields::resetLists() const
{
    const struct {
        QComboBox *combo;
        QStringList items;
        int index;
    } lists[] = {{cuvette, ProgramChoices::cuvettes(), ProgramChoices::kDefaultCuvette},
                 {lambda, ProgramChoices::lambdas(), ProgramChoices::kDefaultLambda},
                 {resolution, ProgramChoices::resolutions(), ProgramChoices::kDefaultResolution}};
    for (const auto &list : lists) {
        list.combo->clear();
        list.combo->addItems(list.items);
        list.combo->setCurrentIndex(list.index);
    }
}

void ProgramFields::clear() const
{
    for (QLineEdit *edit : {progNum, model, mrb, mre, e0, slope, formula, unit, user})
        edit->clear();
    resetLists();
    for (QCheckBox *check : {blankRequired, calLinePossible, calLineRequired})
        check->setChecked(false);
}
