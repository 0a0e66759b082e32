#include "frmConnCheck.h"

#include "CDevice.h"
#include "TellUser.h"
#include "TextTable.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmConnCheck::frmConnCheck(CDevice &device, const CCommunication &communication, bool onlyKlaro7,
                           QWidget *owner)
    : QDialog(owner), m_device(device), m_communication(communication), m_onlyKlaro7(onlyKlaro7),
      m_report(new QPlainTextEdit(this)),
      m_cmdPorts(new QPushButton(TextTable::text(TextTable::CheckRunPorts), this)),
      m_cmdSearch(new QPushButton(TextTable::text(TextTable::CheckRunSearch), this))
{
    setObjectName(QStringLiteral("frmConnCheck"));
    setWindowTitle(TextTable::text(TextTable::CheckTitle));
    m_report->setReadOnly(true);
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    // Qt's own caption would stay English in every language.
    buttons->button(QDialogButtonBox::Close)->setText(TextTable::text(TextTable::CommLogClose));
    buttons->addButton(m_cmdPorts, QDialogButtonBox::ActionRole);
    buttons->addButton(m_cmdSearch, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_cmdPorts, &QPushButton::clicked, this, [this] { runCheck(false); });
    connect(m_cmdSearch, &QPushButton::clicked, this, [this] { runCheck(true); });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_report);
    layout->addWidget(buttons);
    resize(760, 420);
    runCheck(false);
}

void frmConnCheck::runCheck(bool search)
{
    m_cmdPorts->setEnabled(false);
    m_cmdSearch->setEnabled(false);
    setCursor(Qt::WaitCursor);
    m_last = ConnectionCheck::collect();
    if (search) {
        ConnectionCheck::probe(m_last, m_device, m_communication, m_onlyKlaro7);
        TellUser::link(m_device.linkResult());
    }
    m_report->setPlainText(ConnectionCheck::text(m_last));
    unsetCursor();
    m_cmdPorts->setEnabled(true);
    m_cmdSearch->setEnabled(true);
}
