#include "frmAbout.h"

#include "CIni.h"
#include "ErrorFrame.h"
#include "GuiAssets.h"
#include "HeaderBand.h"
#include "ProgramFolder.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString aboutSetting(const CIni &ini, const char *key, const QString &fallback = QString())
{
    return ProgramFolder::setting(ini, QStringLiteral("About"), QString::fromLatin1(key), fallback);
}

} // namespace

frmAbout::frmAbout(const CIni &ini, QWidget *owner)
    : QDialog(owner), m_ini(ini), m_lblAppTitle(new QLabel(this)), m_lblVersion(new QLabel(this)),
      m_lblDisclaimer(new QLabel(this)), m_lblInternet(new QLabel(this)),
      m_lblInternetValue(new QLabel(this)), m_lblMail(new QLabel(this)), m_lblMailValue(new QLabel(this)),
      m_cmdOK(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmAbout"));
    m_lblAppTitle->setObjectName(QStringLiteral("lblAppTitle"));
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    m_lblInternet->setObjectName(QStringLiteral("lblInternet"));
    m_lblInternetValue->setObjectName(QStringLiteral("lblInternetValue"));
    m_lblMail->setObjectName(QStringLiteral("lblMail"));
    m_lblMailValue->setObjectName(QStringLiteral("lblMailValue"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    TextApplier::tag(m_cmdOK, TextTable::Ok);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const QString appName = aboutSetting(ini, "AppName", QStringLiteral("Meravo"));
    setWindowTitle(TextTable::text(TextTable::ToolAbout) + QLatin1Char(' ') + appName);
    m_lblAppTitle->setText(appName);
    QFont titleFont = m_lblAppTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_lblAppTitle->setFont(titleFont);
    m_lblVersion->setText(versionText());
    m_lblDisclaimer->setText(aboutSetting(ini, "Disclaimer", TextTable::text(TextTable::AboutDisclaimer)));
    m_lblDisclaimer->setWordWrap(true);

    const QString internet = aboutSetting(ini, "Internet");
    m_lblInternetValue->setText(internet);
    m_lblInternet->setText(internet.isEmpty() ? QString() : TextTable::text(TextTable::AboutInternet));
    const QString mail = aboutSetting(ini, "Mail");
    m_lblMailValue->setText(mail);
    m_lblMail->setText(mail.isEmpty() ? QString() : TextTable::text(TextTable::AboutMail));
    if (!internet.isEmpty()) {
        QPalette palette = m_lblInternetValue->palette();
        palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
        m_lblInternetValue->setPalette(palette);
        const QPixmap finger(GuiAssets::grafics(QStringLiteral("Finger.ico")));
        m_lblInternetValue->setCursor(finger.isNull() ? QCursor(Qt::PointingHandCursor)
                                                      : QCursor(finger, 9, 2));
    }
    m_lblInternetValue->installEventFilter(this);

    auto *imgLab = new QLabel(this);
    imgLab->setObjectName(QStringLiteral("imgLab"));
    const QString labPath = GuiAssets::grafics(QStringLiteral("Lab.jpg"));
    if (QFileInfo::exists(labPath))
        imgLab->setPixmap(QPixmap(labPath));
    else
        ErrorFrame::report(TextTable::text(TextTable::FileMissing).arg(labPath));

    auto *details = new QGridLayout;
    details->addWidget(m_lblAppTitle, 0, 0, 1, 2);
    details->addWidget(m_lblVersion, 1, 0, 1, 2);
    details->addWidget(m_lblDisclaimer, 2, 0, 1, 2);
    details->addWidget(m_lblInternet, 3, 0);
    details->addWidget(m_lblInternetValue, 3, 1);
    details->addWidget(m_lblMail, 4, 0);
    details->addWidget(m_lblMailValue, 4, 1);
    details->setColumnStretch(1, 1);
    details->setRowStretch(5, 1);
    auto *body = new QHBoxLayout;
    body->addWidget(imgLab, 0, Qt::AlignTop);
    body->addLayout(details, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(HeaderBand::inLayout(this, ini));
    layout->addLayout(body);
    layout->addWidget(m_cmdOK, 0, Qt::AlignRight);
    // As wide as the header band needs, so its picture ends in white before the logo.
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

QString frmAbout::versionText()
{
    return TextTable::text(TextTable::Version) + QStringLiteral(" %1.%2%3")
                                                     .arg(MERAVO_VERSION_MAJOR)
                                                     .arg(MERAVO_VERSION_MINOR)
                                                     .arg(MERAVO_VERSION_PATCH);
}

void frmAbout::openInternet()
{
    if (m_lblInternetValue->text().isEmpty())
        return;
    const QString address = aboutSetting(m_ini, "Internet");
    if (!address.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lblInternetValue && event->type() == QEvent::MouseButtonRelease)
        openInternet();
    return QDialog::eventFilter(watched, event);
}
