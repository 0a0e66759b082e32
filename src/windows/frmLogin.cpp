#include "frmLogin.h"

#include "CLogin.h"
#include "GuiAssets.h"
#include "InputFilters.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

frmLogin::frmLogin(CLogin &login, QWidget *owner)
    : QDialog(owner), m_login(login), m_txtUserName(new QLineEdit(this)), m_optSearchDevice(new QRadioButton),
      m_optWorkOffline(new QRadioButton), m_cmdOK(new QPushButton(this)), m_cmdCancel(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmLogin"));
    auto *lblUserName = new QLabel(this);
    lblUserName->setObjectName(QStringLiteral("lblUserName"));
    m_txtUserName->setObjectName(QStringLiteral("txtUserName"));
    m_optSearchDevice->setObjectName(QStringLiteral("optSearchDevice"));
    m_optWorkOffline->setObjectName(QStringLiteral("optWorkOffline"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto *frame = new QGroupBox(this);
    auto *options = new QVBoxLayout(frame);
    options->addWidget(m_optSearchDevice);
    options->addWidget(m_optWorkOffline);

    TextApplier::tag(this, TextTable::LoginCaption);
    TextApplier::tag(lblUserName, TextTable::UserLabel);
    TextApplier::tag(m_optSearchDevice, TextTable::SearchForMeter);
    TextApplier::tag(m_optWorkOffline, TextTable::WorkOffline);
    TextApplier::tag(m_cmdOK, TextTable::Ok);
    TextApplier::tag(m_cmdCancel, TextTable::Cancel);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_optSearchDevice->setChecked(true);
    m_txtUserName->clear();
    m_txtUserName->setMaxLength(m_login.UserNameMaxLen());
    InputFilters::filterUserName(m_txtUserName);
    lblUserName->setBuddy(m_txtUserName);

    auto *form = new QGridLayout;
    form->addWidget(lblUserName, 0, 0);
    form->addWidget(m_txtUserName, 0, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    setMinimumWidth(300);
    m_cmdOK->setDefault(true);
    setTabOrder(m_txtUserName, m_cmdOK);
    setTabOrder(m_cmdOK, m_cmdCancel);
    m_txtUserName->setFocus();
    if (m_login.fixed()) {
        m_txtUserName->setText(m_login.UserName());
        m_txtUserName->setReadOnly(true);
        m_txtUserName->setToolTip(TextTable::text(TextTable::LoginFixedToAccount));
        m_cmdOK->setFocus();
    }

    connect(m_cmdOK, &QPushButton::clicked, this, &frmLogin::ok);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmLogin::ok()
{
    m_login.setSuccessful(true);
    if (m_optWorkOffline->isChecked())
        m_login.setSearchDevice(false);
    m_login.setUserName(m_txtUserName->text());
    accept();
}
