#include "frmConfirm.h"

#include "GuiAssets.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

frmConfirm::frmConfirm(QWidget *owner)
    : QDialog(owner), m_lblText(new QLabel(this)), m_optYes(new QRadioButton), m_optNo(new QRadioButton),
      m_cmdOK(new QPushButton(this)), m_cmdCancel(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmConfirm"));
    auto *fraSelection = new QGroupBox(this);
    fraSelection->setObjectName(QStringLiteral("fraSelection"));
    m_optNo->setChecked(true);
    m_optYes->setObjectName(QStringLiteral("optYes"));
    m_optNo->setObjectName(QStringLiteral("optNo"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto *options = new QHBoxLayout(fraSelection);
    options->addWidget(m_optYes);
    options->addWidget(m_optNo);

    TextApplier::tag(this, TextTable::QuestionCaption);
    TextApplier::tag(m_optYes, TextTable::Yes);
    TextApplier::tag(m_optNo, TextTable::No);
    TextApplier::tag(m_cmdOK, TextTable::Ok);
    TextApplier::tag(m_cmdCancel, TextTable::Cancel);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);

    m_lblText->setWordWrap(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblText);
    layout->addWidget(fraSelection);
    layout->addLayout(buttons);
    setTabOrder(m_cmdCancel, m_cmdOK);
    setTabOrder(m_cmdOK, m_optYes);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    connect(m_cmdOK, &QPushButton::clicked, this, [this] {
        m_result = m_optYes->isChecked();
        accept();
    });
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool frmConfirm::SetText(const QString &strText)
{
    m_lblText->setText(strText);
    return true;
}

bool frmConfirm::Result()
{
    m_result = false;
    m_optNo->setChecked(true);
    m_cmdCancel->setFocus();
    exec();
    return m_result;
}
