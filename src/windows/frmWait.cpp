#include "frmWait.h"

#include "CSerialLink.h"
#include "GuiAssets.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

frmWait::frmWait(QWidget *owner)
    : QDialog(owner), m_lblPleaseWait(new QLabel(this)), m_lblText(new QLabel(this)),
      m_lblProgress(new QLabel(this)), m_lblSilence(new QLabel(this)), m_cmdCancel(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmWait"));
    m_lblPleaseWait->setObjectName(QStringLiteral("lblPleaseWait"));
    m_lblText->setObjectName(QStringLiteral("lblText"));
    m_lblProgress->setObjectName(QStringLiteral("lblProgress"));
    m_lblSilence->setObjectName(QStringLiteral("lblSilence"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    TextApplier::tag(this, TextTable::InformationCaption);
    TextApplier::tag(m_lblPleaseWait, TextTable::PleaseWait);
    TextApplier::tag(m_cmdCancel, TextTable::Cancel);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);

    QFont bold = m_lblPleaseWait->font();
    bold.setBold(true);
    m_lblPleaseWait->setFont(bold);
    // The counter lines keep their place while hidden, so the window never changes its size.
    for (QLabel *line : {m_lblProgress, m_lblSilence}) {
        QSizePolicy keep = line->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        line->setSizePolicy(keep);
        line->setVisible(false);
    }
    m_lblText->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblPleaseWait);
    layout->addWidget(m_lblText);
    layout->addWidget(m_lblProgress);
    layout->addWidget(m_lblSilence);
    layout->addWidget(m_cmdCancel, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    fitOnce();
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    connect(m_cmdCancel, &QPushButton::clicked, this, &frmWait::Unload);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &frmWait::showProgress);
}

void frmWait::fitOnce()
{
    // The longest counter line: an answer as long as the link takes, read for as long as it waits.
    const QString digits = QString::number(CSerialLink::kDefaultAnswerCap);
    const QString longest =
        TextTable::text(TextTable::WaitProgress).arg(digits, digits, QString::number(kLongestWaitSeconds));
    const QString silence = TextTable::text(TextTable::MeterSilentFor).arg(kLongestWaitSeconds);
    const QFontMetrics metrics = m_lblProgress->fontMetrics();
    const int text = std::max(metrics.horizontalAdvance(longest), metrics.horizontalAdvance(silence));
    // The caption sits in the window manager's title bar beside its icon and buttons.
    QFont titleFont = font();
    titleFont.setBold(true);
    const int buttons = 4 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const int caption = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + buttons;
    const QMargins margins = layout()->contentsMargins();
    m_lblText->setFixedWidth(std::max({text, caption - margins.left() - margins.right(), 320}));
}

bool frmWait::ShowWithText(const QString &strText)
{
    m_bytes = -1;
    m_datasets = 0;
    m_lblProgress->clear();
    m_lblProgress->setVisible(false);
    setSilence(0);
    m_loaded = true;
    m_elapsed.start();
    const bool ok = SetText(strText);
    show();
    raise();
    return ok;
}

bool frmWait::SetText(const QString &strText)
{
    m_lblText->setText(strText);
    return true;
}

void frmWait::Unload()
{
    m_clock.stop();
    hide();
    if (!m_loaded)
        return;
    m_loaded = false;
    if (m_onUnload)
        m_onUnload();
}

void frmWait::setProgress(qint64 bytes, qint64 datasets)
{
    m_bytes = bytes;
    m_datasets = datasets;
    if (!m_clock.isActive())
        m_clock.start();
    showProgress();
}

void frmWait::setSilence(qint64 seconds)
{
    if (seconds > 0)
        m_lblSilence->setText(TextTable::text(TextTable::MeterSilentFor).arg(seconds));
    m_lblSilence->setVisible(seconds > 0);
}

void frmWait::showProgress()
{
    if (m_bytes < 0)
        return;
    m_lblProgress->setText(TextTable::text(TextTable::WaitProgress)
                               .arg(m_datasets)
                               .arg(m_bytes)
                               .arg(m_elapsed.elapsed() / 1000));
    m_lblProgress->setVisible(true);
}

void frmWait::closeEvent(QCloseEvent *event)
{
    Unload();
    event->accept();
}

void frmWait::reject()
{
    Unload();
}
