#include "frmProgEdit.h"

#include "CalLineChart.h"
#include "CCalibration.h"
#include "CDevice.h"
#include "CIni.h"
#include "CLogin.h"
#include "CUsrDefProg.h"
#include "frmProgConsole.h"
#include "GuiAssets.h"
#include "HeaderBand.h"
#include "InputFilters.h"
#include "LineEnd.h"
#include "MainWindowContext.h"
#include "ProgramForm.h"
#include "SharedObjects.h"
#include "TellUser.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "Twips.h"
#include "UserDialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Window sizes in twips.
constexpr int kNormalWidth = 6075;
constexpr int kNormalHeight = 6550;
constexpr int kExtendedWidth = 13770;
constexpr int kExtendedHeight = 8895;
constexpr int kHeadHeight = 700;
constexpr int kLogoNormal = 2770;
constexpr int kLogoExtended = 10500;

// The result rows: name, meaning, and the name the value label carries.
struct ResultRow {
    int name;
    int meaning;
    const char *key;
};
constexpr ResultRow kResultRows[9] = {{TextTable::ResultA0, TextTable::AxisIntercept, "A0"},
                                      {TextTable::ResultA1, TextTable::Slope, "A1"},
                                      {TextTable::ResultYq, TextTable::MeanOfAbsorbances, "YQ"},
                                      {TextTable::ResultXq, TextTable::MeanOfConcentrations, "XQ"},
                                      {TextTable::ResultN, TextTable::CalibrationPointCount, "N"},
                                      {TextTable::ResultSx0, TextTable::StandardDeviation, "SX0"},
                                      {TextTable::ResultVx0, TextTable::CoefficientOfVariation, "VX0"},
                                      {TextTable::ResultXn, TextTable::LimitOfDetection, "XN"},
                                      {TextTable::ResultXb, TextTable::LimitOfQuantification, "XB"}};

QString scientific(double value)
{
    // "0.000E+00": the C locale always writes a point.
    return QString::number(value, 'E', 3);
}

} // namespace

frmProgEdit::frmProgEdit(MainWindowContext &main, frmProgConsole &console)
    : QDialog(&console), m_main(main), m_console(console), m_imgHead(new HeaderBand(this, true)),
      m_panelProgram(new QWidget(this)), m_panelCal(new QWidget(this)), m_linDivider(new QFrame(this)),
      m_form(new ProgramForm(ProgramForm::Arrangement::Entry, m_panelProgram)),
      m_cmdSaveDevice(new QPushButton), m_cmdSaveFile(new QPushButton), m_cmdExtended(new QPushButton),
      m_cmdCalCalculate(new QPushButton), m_cmdTransfer(new QPushButton), m_cmdClear(new QPushButton),
      m_cmdCancel(new QPushButton), m_fraPairsOfVariates(new QGroupBox(m_panelCal)),
      m_fraCalLine(new QGroupBox(m_panelCal)), m_fraCalResults(new QGroupBox(m_panelCal)),
      m_chart(new CalLineChart(m_fraCalLine))
{
    for (int i = 0; i < kPairs; ++i) {
        m_txtValX[i] = new QLineEdit;
        m_txtValY[i] = new QLineEdit;
    }
    m_new = m_console.NewProgramPressed();
    buildWindow();
    Load();
}

frmProgEdit::~frmProgEdit() = default;

void frmProgEdit::buildWindow()
{
    setObjectName(QStringLiteral("frmProgEdit"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    TextApplier::tag(this, m_new ? TextTable::NewProgram : TextTable::ModifyProgram);
    m_linDivider->setObjectName(QStringLiteral("linDivider"));
    m_linDivider->setFrameShape(QFrame::VLine);
    m_linDivider->setFrameShadow(QFrame::Sunken);
    nameControls();
    buildProgramPanel();
    buildPairsTable();
    buildResultsTable();
    buildCalPanel();
    installInputFilters();
    setTabOrders();
    connectCommands();
}

// Object names, captions and tool tips of the controls.
void frmProgEdit::nameControls()
{
    TextApplier::nameAndTag({
        {m_cmdSaveDevice, "cmdSaveDevice", TextTable::SendToMeter, 0},
        {m_cmdSaveFile, "cmdSaveFile", TextTable::SaveAsFile, 0},
        {m_cmdExtended, "cmdExtended", TextTable::CalibrationMore, 0},
        {m_cmdCalCalculate, "cmdCalCalculate", TextTable::Calculate, 0},
        {m_cmdTransfer, "cmdTransfer", TextTable::TakeOver, 0},
        {m_cmdClear, "cmdClear", TextTable::Reset, 0},
        {m_cmdCancel, "cmdCancel", TextTable::Cancel, 0},
        {m_fraPairsOfVariates, "fraPairsOfVariates", TextTable::ValuePairs, 0},
        {m_fraCalLine, "fraCalLine", TextTable::CalibrationLine, 0},
        {m_fraCalResults, "fraCalResults", TextTable::Results, 0},
    });
}

// The left panel: the program and its commands.
void frmProgEdit::buildProgramPanel()
{
    auto *buttons = new QGridLayout;
    buttons->addWidget(m_cmdSaveDevice, 0, 0);
    buttons->addWidget(m_cmdSaveFile, 0, 1);
    buttons->addWidget(m_cmdExtended, 0, 2);
    buttons->addWidget(m_cmdClear, 1, 0);
    buttons->addWidget(m_cmdCancel, 1, 2);
    auto *left = new QVBoxLayout(m_panelProgram);
    left->setContentsMargins(8, 4, 8, 8);
    left->addWidget(m_form);
    left->addLayout(buttons);
    left->addStretch();
}

// The value pairs of the calibration line.
void frmProgEdit::buildPairsTable()
{
    auto *pairs = new QGridLayout(m_fraPairsOfVariates);
    pairs->setVerticalSpacing(3);
    auto *headX = new QLabel(m_fraPairsOfVariates);
    headX->setObjectName(QStringLiteral("lblValX"));
    headX->setText(
        TextTable::text(TextTable::ConcentrationColumn).arg(TextTable::text(TextTable::ConcentrationUnit)));
    auto *headY = new QLabel(m_fraPairsOfVariates);
    headY->setObjectName(QStringLiteral("lblValY"));
    TextApplier::tag(headY, TextTable::Absorbance);
    pairs->addWidget(headX, 0, 1, Qt::AlignHCenter);
    pairs->addWidget(headY, 0, 2, Qt::AlignHCenter);
    for (int i = 0; i < kPairs; ++i) {
        auto *number = new QLabel(QString::number(i + 1), m_fraPairsOfVariates);
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_txtValX[i]->setObjectName(QStringLiteral("txtValX%1").arg(i));
        m_txtValY[i]->setObjectName(QStringLiteral("txtValY%1").arg(i));
        m_txtValX[i]->setFixedWidth(72);
        m_txtValY[i]->setFixedWidth(72);
        pairs->addWidget(number, i + 1, 0);
        pairs->addWidget(m_txtValX[i], i + 1, 1);
        pairs->addWidget(m_txtValY[i], i + 1, 2);
    }
    pairs->setRowStretch(kPairs + 1, 1);
}

// The calculated values with their names and meanings.
void frmProgEdit::buildResultsTable()
{
    auto *results = new QGridLayout(m_fraCalResults);
    results->setVerticalSpacing(2);
    for (int i = 0; i < 9; ++i) {
        auto *name = new QLabel(m_fraCalResults);
        name->setObjectName(QStringLiteral("lblName") + QLatin1String(kResultRows[i].key));
        TextApplier::tag(name, kResultRows[i].name);
        m_results[i] = new QLabel(m_fraCalResults);
        m_results[i]->setObjectName(QStringLiteral("lblResult") + QLatin1String(kResultRows[i].key));
        m_results[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto *meaning = new QLabel(m_fraCalResults);
        meaning->setObjectName(QStringLiteral("lblMeaning") + QLatin1String(kResultRows[i].key));
        TextApplier::tag(meaning, kResultRows[i].meaning);
        results->addWidget(name, i, 0);
        results->addWidget(m_results[i], i, 1);
        results->addWidget(meaning, i, 2);
    }
    // Room for the widest result with its unit at the font in use, so filling in the results never
    // squeezes the meanings beside them.
    results->setColumnMinimumWidth(1, std::max(150, m_fraCalResults->fontMetrics().horizontalAdvance(
                                                        QStringLiteral("-0.000E+00  1/(mg/l)")) +
                                                        8));
    results->setColumnStretch(2, 1);
}

// The right panel of the extended view: pairs and chart above, results and commands below.
void frmProgEdit::buildCalPanel()
{
    auto *chartLayout = new QVBoxLayout(m_fraCalLine);
    chartLayout->addWidget(m_chart);

    auto *calcButtons = new QVBoxLayout;
    calcButtons->addWidget(m_cmdCalCalculate);
    calcButtons->addWidget(m_cmdTransfer);
    calcButtons->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(m_fraPairsOfVariates);
    top->addWidget(m_fraCalLine, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_fraCalResults, 1);
    bottom->addLayout(calcButtons);
    auto *right = new QVBoxLayout(m_panelCal);
    right->setContentsMargins(8, 4, 8, 8);
    right->addLayout(top, 3);
    right->addLayout(bottom, 2);
}

// Key filters of the pairs, applied to typed and pasted text alike (the form has its own).
void frmProgEdit::installInputFilters()
{
    for (int i = 0; i < kPairs; ++i) {
        for (QLineEdit *edit : {m_txtValX[i], m_txtValY[i]}) {
            InputFilters::replaceCharacter(edit, u',', u'.');
            // A ';' would break the program file; fields that go into a file never take one.
            InputFilters::replaceCharacter(edit, u';', u'.');
        }
    }
}

// Tab order as in the window; no button takes Return.
void frmProgEdit::setTabOrders()
{
    QList<QWidget *> order = {m_cmdClear, m_cmdCancel, m_cmdSaveDevice, m_cmdSaveFile, m_cmdExtended};
    order << m_form->tabChain() << m_cmdCalCalculate << m_cmdTransfer;
    for (int i = 0; i < kPairs; ++i)
        order << m_txtValX[i] << m_txtValY[i];
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
}

void frmProgEdit::connectCommands()
{
    connect(m_cmdSaveDevice, &QPushButton::clicked, this, &frmProgEdit::cmdSaveDevice_Click);
    connect(m_cmdSaveFile, &QPushButton::clicked, this, &frmProgEdit::cmdSaveFile_Click);
    connect(m_cmdExtended, &QPushButton::clicked, this, &frmProgEdit::cmdExtended_Click);
    connect(m_cmdCalCalculate, &QPushButton::clicked, this, &frmProgEdit::cmdCalCalculate_Click);
    connect(m_cmdTransfer, &QPushButton::clicked, this, &frmProgEdit::cmdTransfer_Click);
    connect(m_cmdClear, &QPushButton::clicked, this, &frmProgEdit::cmdClear_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_form->numberEdit(), &QLineEdit::editingFinished, this, [this] { txtProgNum_Validate(); });
    for (int i = 0; i < kPairs; ++i) {
        QLineEdit *x = m_txtValX[i];
        QLineEdit *y = m_txtValY[i];
        connect(x, &QLineEdit::editingFinished, this, [this, x] { NormalisePair(x); });
        connect(y, &QLineEdit::editingFinished, this, [this, y] { NormalisePair(y); });
    }
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { m_main.showHelp(helpContext()); });
}

void frmProgEdit::Load()
{
    SharedObjects &shared = m_main.shared();
    UserDialogs &dialogs = m_main.dialogs();
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    m_imgHead->load(*shared.ini);
    m_form->resetLists();
    m_form->numberEdit()->setEnabled(m_new);
    m_form->setCalLineOffered(shared.device->SupportsCalLine(QString()));
    ClearResults();

    QString number, fileName;
    bool meter = false;
    if (m_console.GetSelProgram(number, fileName, meter)) {
        ProgramRecord program;
        const bool read = meter ? shared.usrDefProg->GetProgramMeter(program, number)
                                : shared.usrDefProg->ReadFromFile(program, fileName);
        if (!meter)
            TellUser::file(shared.usrDefProg->lastFileResult());
        if (read) {
            LoadProgram(program, true);
            Calculate(false);
        } else {
            dialogs.error(this, TextTable::text(TextTable::ProgramReadFailed));
        }
    }
    if (m_new) {
        QString free;
        if (shared.usrDefProg->GetFreeProgNumMeter(free))
            m_form->setNumber(free);
        else
            dialogs.error(this, TextTable::text(TextTable::SystemError));
    } else if (meter) {
        m_form->setNumber(number);
    }
    m_form->setUser(shared.login->UserName());
    m_cmdSaveDevice->setEnabled(shared.device->Online());
    m_extended = false;
    layoutWindow();
}

int frmProgEdit::helpContext() const
{
    if (m_extended)
        return kHelpExtended;
    return m_new ? kHelpNew : kHelpModify;
}

void frmProgEdit::layoutWindow()
{
    auto px = [this](int twips) { return Twips::toPixels(twips, this); };
    m_linDivider->setVisible(m_extended);
    m_panelCal->setVisible(m_extended);
    m_cmdCalCalculate->setVisible(m_extended);
    m_cmdTransfer->setVisible(m_extended);
    m_chart->setVisible(m_extended && m_chartShown);
    // Sizes are measured in the window's style and fonts, which a hidden panel has not taken on yet.
    ensurePolished();
    // The window's own sizes, widened where a language's captions need more room.
    const int programWidth = std::max(px(kNormalWidth), m_panelProgram->minimumSizeHint().width());
    const int calWidth =
        std::max(px(kExtendedWidth - kNormalWidth - 30), m_panelCal->minimumSizeHint().width());
    int bodyHeight = std::max(px((m_extended ? kExtendedHeight : kNormalHeight) - kHeadHeight),
                              m_panelProgram->minimumSizeHint().height());
    if (m_extended)
        bodyHeight = std::max(bodyHeight, m_panelCal->minimumSizeHint().height());
    const int width = m_extended ? programWidth + px(30) + calWidth : programWidth;
    setFixedSize(width, px(kHeadHeight) + bodyHeight);
    Twips::keepOnScreen(this);
    m_imgHead->setGeometry(0, 0, width, px(kHeadHeight));
    // The narrow view is narrower than the picture: it is fitted so its light end stays behind the logo.
    m_imgHead->setPictureFitted(!m_extended);
    m_imgHead->placeLogo(px(m_extended ? kLogoExtended : kLogoNormal) + width -
                         px(m_extended ? kExtendedWidth : kNormalWidth));
    m_panelProgram->setGeometry(0, px(kHeadHeight), programWidth, bodyHeight);
    m_linDivider->setGeometry(programWidth, px(kHeadHeight + 100), px(30), bodyHeight - px(200));
    m_panelCal->setGeometry(programWidth + px(30), px(kHeadHeight), calWidth, bodyHeight);
    m_form->setLineEditable(!m_extended);
    m_cmdExtended->setText(TextTable::text(m_extended ? TextTable::Hide : TextTable::CalibrationMore));
}

void frmProgEdit::cmdExtended_Click()
{
    m_extended = !m_extended;
    layoutWindow();
}

bool frmProgEdit::BuildProgram(ProgramRecord &program) const
{
    program = m_form->program();
    for (int i = 0; i < kPairs; ++i) {
        program.valX[size_t(i)] = m_txtValX[i]->text();
        program.valY[size_t(i)] = m_txtValY[i]->text();
    }
    // Every field the meter receives, apart from the flags, must be filled in.
    for (const QString &value : program.toMeter().mid(0, 11))
        if (value.isEmpty())
            return false;
    return true;
}

void frmProgEdit::LoadProgram(const ProgramRecord &program, bool withPairs)
{
    m_form->showProgram(program);
    if (withPairs) {
        for (int i = 0; i < kPairs; ++i) {
            m_txtValX[i]->setText(program.valX[size_t(i)]);
            m_txtValY[i]->setText(program.valY[size_t(i)]);
        }
    }
}

bool frmProgEdit::ParseNumber(const QString &text, double &value)
{
    return CUsrDefProg::ReadNumber(text, value);
}

QString frmProgEdit::GeneralNumber(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    // Fifteen significant digits; an exponent, where one is needed, written as 1E-05.
    return QString::number(value, 'g', 15).toUpper();
}

QString frmProgEdit::FourDigits(double value)
{
    return GeneralNumber(scientific(value).toDouble());
}

bool frmProgEdit::txtProgNum_Validate()
{
    if (CUsrDefProg::IsProgramNumber(m_form->numberEdit()->text()))
        return true;
    m_main.dialogs().warning(this, TextTable::text(TextTable::ProgramNumberOutOfRange));
    m_form->setNumber(QStringLiteral("900"));
    return false;
}

void frmProgEdit::NormalisePair(QLineEdit *edit)
{
    double value = 0;
    if (ParseNumber(edit->text(), value))
        edit->setText(GeneralNumber(value));
    else
        edit->clear();
}

void frmProgEdit::ClearResults()
{
    for (QLabel *label : m_results)
        label->clear();
}

void frmProgEdit::setChartShown(bool shown)
{
    m_chartShown = shown;
    if (!shown)
        m_chart->Clear();
    m_chart->setVisible(m_extended && shown);
}

QString frmProgEdit::resultText(const QString &name) const
{
    for (int i = 0; i < 9; ++i)
        if (name == QLatin1String(kResultRows[i].key))
            return m_results[i]->text();
    return QString();
}

void frmProgEdit::ShowResults(double a0, double a1, double ym, double xm, int n, double sx0, double vx0,
                              double xn, double xb)
{
    const QString unit = TextTable::text(TextTable::ConcentrationUnit);
    const QString twoBlanks = QStringLiteral("  ");
    m_results[0]->setText(scientific(a0));
    m_results[1]->setText(scientific(a1) + QStringLiteral("  1/(") + unit + u')');
    m_results[2]->setText(scientific(ym));
    m_results[3]->setText(scientific(xm) + twoBlanks + unit);
    m_results[4]->setText(QString::number(n));
    m_results[5]->setText(scientific(sx0) + twoBlanks + unit);
    m_results[6]->setText(QString::number(vx0, 'f', 1) + twoBlanks + u'%');
    m_results[7]->setText(scientific(xn) + twoBlanks + unit);
    m_results[8]->setText(scientific(xb) + twoBlanks + unit);
}

bool frmProgEdit::Calculate(bool withMessages)
{
    UserDialogs &dialogs = m_main.dialogs();
    m_calcValid = false;
    m_usedX.clear();
    m_usedY.clear();
    m_usedCount = 0;
    m_a0 = m_a1 = 0;
    setChartShown(false);
    ClearResults();

    // Leading rows with both values; a value that is not a number ends them like an empty one.
    QList<double> x;
    QList<double> y;
    for (int i = 0; i < kPairs; ++i) {
        if (withMessages) {
            NormalisePair(m_txtValX[i]);
            NormalisePair(m_txtValY[i]);
        }
        double vx = 0;
        double vy = 0;
        if (!ParseNumber(m_txtValX[i]->text(), vx) || !ParseNumber(m_txtValY[i]->text(), vy))
            break;
        x.append(vx);
        y.append(vy);
    }
    if (x.size() < 3) {
        if (withMessages)
            dialogs.warning(this, TextTable::text(TextTable::TooFewValuePairs));
        return false;
    }
    double a0 = 0, a1 = 0, ym = 0, xm = 0, sx0 = 0, vx0 = 0, xn = 0, xb = 0;
    const qint16 n = qint16(x.size());
    if (!m_main.shared().calibration->Calculate(a0, a1, ym, xm, sx0, vx0, xn, xb, x, y, n)) {
        if (withMessages)
            dialogs.error(this, TextTable::text(TextTable::CalculationError));
        return false;
    }
    ShowResults(a0, a1, ym, xm, n, sx0, vx0, xn, xb);
    m_usedX = x;
    m_usedY = y;
    m_usedCount = n;
    m_a0 = a0;
    m_a1 = a1;
    m_calcValid = true;
    if (!m_chart->Draw(x, y, a0, a1)) {
        if (withMessages)
            dialogs.error(this, TextTable::text(TextTable::CalibrationLineError));
        return true;
    }
    setChartShown(true);
    return true;
}

void frmProgEdit::cmdCalCalculate_Click()
{
    Calculate(true);
}

void frmProgEdit::cmdTransfer_Click()
{
    if (!m_calcValid)
        return;
    // A line that does not give two finite numbers (also after rounding to four digits) is nothing a
    // meter can take.
    const QString e0 = FourDigits(m_a0);
    const QString slope = FourDigits(m_a1);
    double value = 0;
    if (!std::isfinite(m_a0) || !std::isfinite(m_a1) || !ParseNumber(e0, value) ||
        !ParseNumber(slope, value)) {
        m_main.dialogs().error(this, TextTable::text(TextTable::CalculationError));
        return;
    }
    m_form->setLine(e0, slope);
}

void frmProgEdit::cmdClear_Click()
{
    m_form->clear(true);
    m_form->setUser(m_main.shared().login->UserName());
}

bool frmProgEdit::CheckBeforeSaving(ProgramRecord &program, bool &confirmed)
{
    confirmed = false;
    UserDialogs &dialogs = m_main.dialogs();
    if (m_new && m_form->numberEdit()->isEnabled() && !txtProgNum_Validate())
        return false;
    if (!BuildProgram(program)) {
        dialogs.warning(this, TextTable::text(TextTable::DataIncomplete));
        return false;
    }
    // The same limits whatever sends the program: each field, then the measuring range.
    return frmProgConsole::MayStore(dialogs, this, *m_main.shared().usrDefProg, program, confirmed);
}

void frmProgEdit::cmdSaveDevice_Click()
{
    SharedObjects &shared = m_main.shared();
    UserDialogs &dialogs = m_main.dialogs();
    ProgramRecord program;
    bool confirmed = false;
    if (!CheckBeforeSaving(program, confirmed))
        return;
    const QString number = program.NO;
    using Result = CUsrDefProg::StoreResult;
    const auto askModify = [&](const QString &) {
        QString text = TextTable::text(TextTable::ConfirmModifyProgram) + kCrLf + QStringLiteral("(") +
                       TextTable::text(TextTable::ProgramNumberLabel) + u' ' + number + u')';
        if (m_new)
            text = TextTable::text(TextTable::ProgramExists) + kCrLf + text;
        return dialogs.question(this, text, UserDialogs::Yes | UserDialogs::No, UserDialogs::No) ==
                       UserDialogs::Yes
                   ? CUsrDefProg::ExistingProgram::Modify
                   : CUsrDefProg::ExistingProgram::Keep;
    };
    const auto busy = [this](bool on) {
        m_main.SetMousePointer(on ? 11 : 0);
        if (on)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    };
    const Result result = shared.usrDefProg->storeOrModify(program, askModify, busy, confirmed);
    TellUser::link(shared.usrDefProg->linkResult());
    // Whatever was sent, the console shows the meter's table with this program.
    if (result != Result::Kept) {
        m_console.RequestSelProgram(number, QString(), true);
        if (result == Result::Added || result == Result::Modified)
            dialogs.information(this, TextTable::text(TextTable::ProgramSaved));
        else
            dialogs.error(this,
                          TextTable::text(result == Result::ModifyFailed ? TextTable::ProgramModifyFailed
                                                                         : TextTable::ProgramSaveFailed));
    }
    // Show what the meter holds now (the pairs stay as typed).
    ProgramRecord stored;
    if (shared.usrDefProg->GetProgramMeter(stored, number))
        LoadProgram(stored, false);
    else
        dialogs.error(this, TextTable::text(TextTable::ProgramReadFailed));
    m_form->setUser(shared.login->UserName());
}

void frmProgEdit::cmdSaveFile_Click()
{
    SharedObjects &shared = m_main.shared();
    UserDialogs &dialogs = m_main.dialogs();
    ProgramRecord program;
    if (bool confirmed = false; !CheckBeforeSaving(program, confirmed))
        return;
    QString path = dialogs.saveFileName(
        this, TextTable::text(TextTable::SaveAsCaption), shared.usrDefProg->ProposedFilePath(program.NO),
        UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv")));
    if (path.isEmpty())
        return;
    if (!shared.usrDefProg->SaveToFile(program, path)) {
        TellUser::file(shared.usrDefProg->lastFileResult());
        dialogs.error(this, TextTable::text(TextTable::ProgramSaveFailed));
        return;
    }
    m_console.RequestSelProgram(QString(), QFileInfo(path).fileName(), false);
}
