#include "frmCalProtEdit.h"

#include "CalRecordWindow.h"
#include "GuiAssets.h"
#include "HeaderBand.h"
#include "InputFilters.h"
#include "MainWindowContext.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

// Typing stops at fifteen characters, but a longer entry the caller hands over (from a file written
// elsewhere) is kept whole, so taking over unchanged fields stores the same values again.
void setLimited(QLineEdit *edit, const QString &text)
{
    edit->setMaxLength(std::max<int>(frmCalProtEdit::kMaxLength, int(text.size())));
    edit->setText(text);
}

} // namespace

frmCalProtEdit &frmCalProtEdit::instance(MainWindowContext &main)
{
    if (auto *editor = main.frameWidget().findChild<frmCalProtEdit *>(QString(), Qt::FindDirectChildrenOnly))
        return *editor;
    return *new frmCalProtEdit(main);
}

frmCalProtEdit::frmCalProtEdit(MainWindowContext &main)
    : QDialog(&main.frameWidget()), m_main(main), m_frmLOT(new QGroupBox(this)),
      m_txtLOTTotal(new QLineEdit(m_frmLOT)), m_txtExpiry(new QLineEdit(m_frmLOT)),
      m_txtManufacturer(new QLineEdit(m_frmLOT)), m_cmdAccept(new QPushButton(this)),
      m_cmdCancel(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmCalProtEdit"));
    m_frmLOT->setObjectName(QStringLiteral("frmLOT"));
    m_txtLOTTotal->setObjectName(QStringLiteral("txtLOTTotal"));
    m_txtExpiry->setObjectName(QStringLiteral("txtExpiry"));
    m_txtManufacturer->setObjectName(QStringLiteral("txtManufacturer"));
    m_cmdAccept->setObjectName(QStringLiteral("cmdAccept"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    buildLotGrid();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdAccept);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(HeaderBand::inLayout(this, *m_main.shared().ini));
    layout->addWidget(m_frmLOT);
    layout->addLayout(buttons);
    // The dialog shrinks and grows with the rows shown.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Load: texts, pictures, help, tab order; the standard rows wait for their first activation.
    m_dlgRetVal = false;
    TextApplier::tag(this, TextTable::EditLot);
    TextApplier::tag(m_cmdAccept, TextTable::TakeOver);
    TextApplier::tag(m_cmdCancel, TextTable::Cancel);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    CalRecordWindows::installHelp(m_main, this, kHelpContext);
    setUpEntries();
    m_cmdAccept->setDefault(true);

    connect(m_cmdAccept, &QPushButton::clicked, this, &frmCalProtEdit::TakeOver);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmCalProtEdit::reject);
}

// The lot's three fields, then a row per standard (filled and shown when the record is activated).
void frmCalProtEdit::buildLotGrid()
{
    auto *grid = new QGridLayout(m_frmLOT);
    auto label = [this](const char *name, int number) {
        auto *l = new QLabel(m_frmLOT);
        l->setObjectName(QString::fromLatin1(name));
        TextApplier::tag(l, number);
        return l;
    };
    grid->addWidget(label("lblLOTTotal", TextTable::SetLotNumberLabel), 0, 0);
    grid->addWidget(m_txtLOTTotal, 0, 1);
    grid->addWidget(label("lblExpiry", TextTable::ExpiryDateLabel), 1, 0);
    grid->addWidget(m_txtExpiry, 1, 1);
    grid->addWidget(label("lblManufacturer", TextTable::ManufacturerLabel), 2, 0);
    grid->addWidget(m_txtManufacturer, 2, 1);
    grid->setRowMinimumHeight(3, 8);
    QLabel *used = label("lblUsedStds", TextTable::ColumnStandard);
    QLabel *comment = label("lblStdComment", TextTable::ColumnComment);
    QFont bold = used->font();
    bold.setBold(true);
    used->setFont(bold);
    comment->setFont(bold);
    grid->addWidget(used, 4, 0);
    grid->addWidget(comment, 4, 1);
    const char *rows[kRows] = {"StdLow", "StdMid", "StdHigh", "Std4", "Std5"};
    for (int i = 0; i < kRows; ++i) {
        m_lblStd[i] = new QLabel(m_frmLOT);
        m_lblStd[i]->setObjectName(QStringLiteral("lbl") + QString::fromLatin1(rows[i]));
        m_txtStd[i] = new QLineEdit(m_frmLOT);
        m_txtStd[i]->setObjectName(QStringLiteral("txt") + QString::fromLatin1(rows[i]));
        grid->addWidget(m_lblStd[i], 5 + i, 0);
        grid->addWidget(m_txtStd[i], 5 + i, 1);
    }
    grid->setColumnStretch(1, 1);
    // Room for the fifteen characters a field takes.
    grid->setColumnMinimumWidth(
        1, m_txtLOTTotal->fontMetrics().horizontalAdvance(QString(kMaxLength + 2, u'0')) + 12);
}

// Tab order, lengths and the characters the record file cannot take; the standard rows hidden.
void frmCalProtEdit::setUpEntries()
{
    QWidget *order[] = {m_txtLOTTotal, m_txtExpiry, m_txtManufacturer, m_txtStd[0], m_txtStd[1],
                        m_txtStd[2],   m_txtStd[3], m_txtStd[4],       m_cmdAccept, m_cmdCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_frmLOT->setTitle(QString());
    for (QLineEdit *edit : {m_txtLOTTotal, m_txtExpiry, m_txtManufacturer}) {
        edit->setMaxLength(kMaxLength);
        // The entries go into the ';'-separated record file.
        InputFilters::replaceCharacter(edit, u';', u',');
    }
    for (int i = 0; i < kRows; ++i) {
        m_lblStd[i]->clear();
        m_lblStd[i]->hide();
        m_txtStd[i]->setMaxLength(kMaxLength);
        InputFilters::replaceCharacter(m_txtStd[i], u';', u',');
        m_txtStd[i]->hide();
    }
}

QString frmCalProtEdit::ChargeIDTotal() const
{
    return m_txtLOTTotal->text();
}

void frmCalProtEdit::setChargeIDTotal(const QString &strChargeIDTotal)
{
    setLimited(m_txtLOTTotal, strChargeIDTotal);
}

QString frmCalProtEdit::Expiry() const
{
    return m_txtExpiry->text();
}

void frmCalProtEdit::setExpiry(const QString &strExpiry)
{
    setLimited(m_txtExpiry, strExpiry);
}

QString frmCalProtEdit::Manufacturer() const
{
    return m_txtManufacturer->text();
}

void frmCalProtEdit::setManufacturer(const QString &strManufacturer)
{
    setLimited(m_txtManufacturer, strManufacturer);
}

QString frmCalProtEdit::ChargeIDStd(int i) const
{
    return i >= 0 && i < kRows ? m_txtStd[i]->text() : QString();
}

void frmCalProtEdit::setChargeIDStd(int i, const QString &strChargeIDStd)
{
    if (i >= 0 && i < kRows)
        setLimited(m_txtStd[i], strChargeIDStd);
}

void frmCalProtEdit::setStd_FNUNTU(int i, const QString &strStd_FNUNTU)
{
    if (i >= 0 && i < kRows)
        m_lblStd[i]->setText(strStd_FNUNTU);
}

void frmCalProtEdit::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        m_dlgRetVal = false;
        for (int i = 0; i < kRows; ++i) {
            m_lblStd[i]->setVisible(i < m_numCalPoints);
            m_txtStd[i]->setVisible(i < m_numCalPoints);
        }
        m_txtLOTTotal->setFocus();
    }
    QDialog::setVisible(visible);
}

void frmCalProtEdit::TakeOver()
{
    m_dlgRetVal = true;
    accept();
}

void frmCalProtEdit::reject()
{
    m_dlgRetVal = false;
    QDialog::reject();
}

void frmCalProtEdit::closeEvent(QCloseEvent *event)
{
    m_dlgRetVal = false;
    QDialog::closeEvent(event);
}
