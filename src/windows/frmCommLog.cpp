#include "frmCommLog.h"

#include "CommLog.h"
#include "FileWrites.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmCommLog::frmCommLog(CommLog &log, UserDialogs &dialogs, QWidget *owner)
    : QDialog(owner), m_log(log), m_dialogs(dialogs), m_view(new QPlainTextEdit(this)),
      m_cmdSaveAs(new QPushButton(TextTable::text(TextTable::CommLogSaveAs), this)),
      m_cmdClose(new QPushButton(TextTable::text(TextTable::CommLogClose), this))
{
    setObjectName(QStringLiteral("frmCommLog"));
    setWindowTitle(TextTable::text(TextTable::CommLogTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    m_view->setObjectName(QStringLiteral("txtLog"));
    m_view->setReadOnly(true);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setFont(QFont(QStringLiteral("monospace")));
    // The view keeps a bounded tail; the whole run is in the files and in Save as.
    m_view->setMaximumBlockCount(20000);
    m_cmdSaveAs->setObjectName(QStringLiteral("cmdSaveAs"));
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto *where = new QLabel(
        TextTable::text(TextTable::CommLogWhere).arg(QDir::toNativeSeparators(CommLog::defaultFolder())),
        this);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setWordWrap(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdSaveAs);
    buttons->addWidget(m_cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addWidget(m_view);
    layout->addLayout(buttons);
    resize(760, 420);

    QString text = m_log.runText();
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    m_view->setPlainText(text);
    connect(&m_log, &CommLog::lineAdded, m_view, &QPlainTextEdit::appendPlainText);
    connect(m_cmdSaveAs, &QPushButton::clicked, this, [this] { saveAs(); });
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::close);
}

bool frmCommLog::saveAs()
{
    const QString filter =
        UserDialogs::filter(TextTable::text(TextTable::CommLogFilter), QStringLiteral("*.log"));
    const QString path = m_dialogs.saveFileName(this, TextTable::text(TextTable::CommLogSaveAs),
                                                QStringLiteral("meravo-comm.log"), filter);
    if (path.isEmpty())
        return false;
    const QString failure = FileWrites::writeWhole(path, m_log.runText().toUtf8());
    if (failure.isEmpty())
        return true;
    m_dialogs.error(this,
                    TextTable::text(TextTable::CommLogNotSaved).arg(QDir::toNativeSeparators(path), failure));
    return false;
}
