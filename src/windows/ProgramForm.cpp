#include "ProgramForm.h"

#include "CUsrDefProg.h"
#include "InputFilters.h"
#include "ProgramChoices.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

QString flag(const QCheckBox *check)
{
    return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

ProgramForm::ProgramForm(Arrangement arrangement, QWidget *parent)
    : QGroupBox(parent), m_txtProgNum(new QLineEdit), m_txtModel(new QLineEdit), m_cboCuvette(new QComboBox),
      m_cboLambda(new QComboBox), m_txtMRB(new QLineEdit), m_txtMRE(new QLineEdit), m_txtE0(new QLineEdit),
      m_txtSlope(new QLineEdit), m_cboResolution(new QComboBox), m_txtFormula(new QLineEdit),
      m_txtMeasUnit(new QLineEdit), m_txtUserName(new QLineEdit), m_chkBlankRequired(new QCheckBox),
      m_chkCalLinePossible(new QCheckBox), m_chkCalLineRequired(new QCheckBox)
{
    nameControls(arrangement);
    if (arrangement == Arrangement::Display) {
        arrangeInColumns();
    } else {
        arrangeInPairs();
        installInputFilters();
    }
    // The user name is the login's, never typed.
    m_txtUserName->setEnabled(false);
}

// Object names, and the tool tips of the fields a user types in.
void ProgramForm::nameControls(Arrangement arrangement)
{
    const bool entry = arrangement == Arrangement::Entry;
    const auto tip = [entry](int number) { return entry ? number : 0; };
    TextApplier::nameAndTag({
        {this, "fraProgram", TextTable::ProgramCaption, 0},
        {m_txtProgNum, "txtProgNum", 0, tip(TextTable::TipProgramNumber)},
        {m_txtModel, "txtModel", 0, tip(TextTable::TipModel)},
        {m_cboCuvette, "cboCuvette", 0, 0},
        {m_cboLambda, "cboLambda", 0, 0},
        {m_txtMRB, "txtMRB", 0, tip(TextTable::TipRangeBegin)},
        {m_txtMRE, "txtMRE", 0, tip(TextTable::TipRangeEnd)},
        {m_txtE0, "txtE0", 0, tip(TextTable::AxisIntercept)},
        {m_txtSlope, "txtSlope", 0, 0},
        {m_cboResolution, "cboResolution", 0, 0},
        {m_txtFormula, "txtFormula", 0, tip(TextTable::TipCitationForm)},
        {m_txtMeasUnit, "txtMeasUnit", 0, tip(TextTable::TipUnit)},
        {m_txtUserName, "txtUserName", 0, 0},
        {m_chkBlankRequired, "chkBlankRequired", 0, 0},
        {m_chkCalLinePossible, "chkCalLinePossible", 0, 0},
        {m_chkCalLineRequired, "chkCalLineRequired", 0, 0},
    });
    m_cboCuvette->addItems(ProgramChoices::cuvettes());
    m_cboLambda->addItems(ProgramChoices::lambdas());
    m_cboResolution->addItems(ProgramChoices::resolutions());
}

// Three columns of five label and field pairs; nothing in them can be changed.
void ProgramForm::arrangeInColumns()
{
    auto *grid = new QGridLayout(this);
    struct Field {
        int label;
        QWidget *field;
    };
    const Field fields[] = {
        {TextTable::ProgramNumberLabel, m_txtProgNum},
        {TextTable::ModelLabel, m_txtModel},
        {TextTable::CellLabel, m_cboCuvette},
        {TextTable::WaveLengthLabel, m_cboLambda},
        {TextTable::UnitLabel, m_txtMeasUnit},
        {TextTable::MrbLabel, m_txtMRB},
        {TextTable::MreLabel, m_txtMRE},
        {TextTable::A0Label, m_txtE0},
        {TextTable::SlopeLabel, m_txtSlope},
        {TextTable::ResolutionLabel, m_cboResolution},
        {TextTable::CitationFormLabel, m_txtFormula},
        {TextTable::UserLabel, m_txtUserName},
        {TextTable::BlankRequiredLabel, m_chkBlankRequired},
        {TextTable::StdAdjustPossibleLabel, m_chkCalLinePossible},
        {TextTable::StdAdjustRequiredLabel, m_chkCalLineRequired},
    };
    int i = 0;
    for (const Field &f : fields) {
        QLabel *label = TextApplier::fieldLabel(this, f.field, f.label);
        const int row = i % 5;
        const int column = (i / 5) * 2;
        grid->addWidget(label, row, column);
        grid->addWidget(f.field, row, column + 1);
        f.field->setEnabled(false);
        ++i;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    grid->setColumnMinimumWidth(2, 0);
}

// The program's fields, two to a row, the flags below.
void ProgramForm::arrangeInPairs()
{
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    struct Field {
        int label;
        QWidget *field;
        int row;
        int column;
    };
    const Field fields[] = {
        {TextTable::ProgramNumberLabel, m_txtProgNum, 0, 0},
        {TextTable::ModelLabel, m_txtModel, 0, 2},
        {TextTable::CellLabel, m_cboCuvette, 1, 0},
        {TextTable::WaveLengthLabel, m_cboLambda, 1, 2},
        {TextTable::CitationFormLabel, m_txtFormula, 2, 0},
        {TextTable::UnitLabel, m_txtMeasUnit, 2, 2},
        {TextTable::MrbLabel, m_txtMRB, 3, 0},
        {TextTable::MreLabel, m_txtMRE, 3, 2},
        {TextTable::A0Label, m_txtE0, 4, 0},
        {TextTable::SlopeLabel, m_txtSlope, 4, 2},
        {TextTable::ResolutionLabel, m_cboResolution, 5, 0},
        {TextTable::UserLabel, m_txtUserName, 5, 2},
    };
    for (const Field &f : fields) {
        grid->addWidget(TextApplier::fieldLabel(this, f.field, f.label), f.row, f.column);
        grid->addWidget(f.field, f.row, f.column + 1);
        // Room for a value of eight characters, however long the captions of a language are.
        f.field->setMinimumWidth(f.field->fontMetrics().horizontalAdvance(QString(8, u'0')) + 12);
    }
    const std::pair<int, QCheckBox *> flags[] = {{TextTable::BlankRequiredLabel, m_chkBlankRequired},
                                                 {TextTable::StdAdjustPossibleLabel, m_chkCalLinePossible},
                                                 {TextTable::StdAdjustRequiredLabel, m_chkCalLineRequired}};
    int row = 6;
    for (const auto &[text, check] : flags) {
        grid->addWidget(TextApplier::fieldLabel(this, check, text), row, 0, 1, 3);
        grid->addWidget(check, row, 3);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

// Key filters, applied to typed and pasted text alike, and the lengths the meter takes.
void ProgramForm::installInputFilters()
{
    for (QLineEdit *edit : {m_txtModel, m_txtFormula, m_txtMeasUnit}) {
        InputFilters::replaceCharacter(edit, u',', u'.');
        InputFilters::replaceCharacter(edit, u';', u'.');
    }
    for (QLineEdit *edit : {m_txtFormula, m_txtMeasUnit})
        InputFilters::replaceCharacter(edit, u' ', u'_');
    for (QLineEdit *edit : {m_txtMRB, m_txtMRE, m_txtE0, m_txtSlope}) {
        InputFilters::replaceCharacter(edit, u',', u'.');
        // A ';' would break the program file; fields that go into a file never take one.
        InputFilters::replaceCharacter(edit, u';', u'.');
    }
    InputFilters::replaceCharacter(m_txtProgNum, u';', u'.');
    m_txtModel->setMaxLength(CUsrDefProg::kModelLength);
    m_txtFormula->setMaxLength(CUsrDefProg::kFormLength);
    m_txtMeasUnit->setMaxLength(CUsrDefProg::kUnitLength);
}

QList<QWidget *> ProgramForm::tabChain() const
{
    return {
        m_txtProgNum,       m_txtModel,           m_cboCuvette, m_cboLambda, m_txtFormula,    m_txtMeasUnit,
        m_chkBlankRequired, m_chkCalLinePossible, m_txtMRB,     m_txtMRE,    m_cboResolution, m_txtE0,
        m_txtSlope,         m_chkCalLineRequired};
}

void ProgramForm::showInCombo(QComboBox *combo, const QString &value)
{
    int index = combo->findText(value);
    if (index < 0) {
        combo->addItem(value);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

void ProgramForm::showProgram(const ProgramRecord &program)
{
    m_txtProgNum->setText(program.NO);
    m_txtModel->setText(program.MODEL);
    showInCombo(m_cboCuvette, program.CUV);
    showInCombo(m_cboLambda, program.LAMBDA);
    m_txtMRB->setText(program.MRB);
    m_txtMRE->setText(program.MRE);
    m_txtE0->setText(program.E0);
    m_txtSlope->setText(program.SLOPE);
    showInCombo(m_cboResolution, program.RES);
    m_txtFormula->setText(program.FORM);
    m_txtMeasUnit->setText(program.UNIT);
    m_txtUserName->setText(program.USER);
    m_chkBlankRequired->setChecked(program.BLANKREQ == QStringLiteral("1"));
    m_chkCalLinePossible->setChecked(program.CALPSB == QStringLiteral("1"));
    m_chkCalLineRequired->setChecked(program.CALREQ == QStringLiteral("1"));
}

ProgramRecord ProgramForm::program() const
{
    ProgramRecord program;
    program.NO = m_txtProgNum->text();
    program.MODEL = m_txtModel->text();
    program.CUV = m_cboCuvette->currentText();
    program.LAMBDA = m_cboLambda->currentText();
    program.MRB = m_txtMRB->text();
    program.MRE = m_txtMRE->text();
    program.E0 = m_txtE0->text();
    program.SLOPE = m_txtSlope->text();
    program.RES = m_cboResolution->currentText();
    program.FORM = m_txtFormula->text();
    program.UNIT = m_txtMeasUnit->text();
    program.USER = m_txtUserName->text();
    program.BLANKREQ = flag(m_chkBlankRequired);
    program.CALPSB = flag(m_chkCalLinePossible);
    program.CALREQ = flag(m_chkCalLineRequired);
    return program;
}

void ProgramForm::resetLists()
{
    const struct {
        QComboBox *combo;
        QStringList items;
        int index;
    } lists[] = {{m_cboCuvette, ProgramChoices::cuvettes(), ProgramChoices::kDefaultCuvette},
                 {m_cboLambda, ProgramChoices::lambdas(), ProgramChoices::kDefaultLambda},
                 {m_cboResolution, ProgramChoices::resolutions(), ProgramChoices::kDefaultResolution}};
    for (const auto &list : lists) {
        list.combo->clear();
        list.combo->addItems(list.items);
        list.combo->setCurrentIndex(list.index);
    }
}

void ProgramForm::clear(bool keepNumber)
{
    for (QLineEdit *edit : {m_txtModel, m_txtMRB, m_txtMRE, m_txtE0, m_txtSlope, m_txtFormula, m_txtMeasUnit})
        edit->clear();
    if (!keepNumber) {
        m_txtProgNum->clear();
        m_txtUserName->clear();
    }
    resetLists();
    for (QCheckBox *check : {m_chkBlankRequired, m_chkCalLinePossible, m_chkCalLineRequired})
        check->setChecked(false);
}

void ProgramForm::setNumber(const QString &number)
{
    m_txtProgNum->setText(number);
}

void ProgramForm::setUser(const QString &user)
{
    m_txtUserName->setText(user);
}

void ProgramForm::setLine(const QString &e0, const QString &slope)
{
    m_txtE0->setText(e0);
    m_txtSlope->setText(slope);
}

void ProgramForm::setLineEditable(bool editable)
{
    m_txtE0->setEnabled(editable);
    m_txtSlope->setEnabled(editable);
}

void ProgramForm::setCalLineOffered(bool offered)
{
    m_chkCalLinePossible->setEnabled(offered);
    m_chkCalLineRequired->setEnabled(offered);
}
