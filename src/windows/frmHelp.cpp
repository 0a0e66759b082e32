#include "frmHelp.h"

#include "ErrorFrame.h"
#include "GuiAssets.h"
#include "TextTable.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

frmHelp::frmHelp(QWidget *owner) : QDialog(owner), m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(TextTable::text(TextTable::HelpTitle));
    GuiAssets::applyIcon(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    m_browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(760, 620);
}

QString frmHelp::htmlFileFor(const QString &helpFileName)
{
    QString name = helpFileName;
    if (name.endsWith(QLatin1String(".chm"), Qt::CaseInsensitive))
        name.chop(4);
    return name + QStringLiteral(".html");
}

bool frmHelp::showTopic(const QString &helpFile, int contextNumber)
{
    const QString html = QFileInfo(helpFile).dir().filePath(htmlFileFor(QFileInfo(helpFile).fileName()));
    if (!QFileInfo::exists(html)) {
        ErrorFrame::report(TextTable::text(TextTable::FileMissing).arg(html));
        return false;
    }
    QUrl url = QUrl::fromLocalFile(html);
    if (contextNumber > 0)
        url.setFragment(QStringLiteral("ctx%1").arg(contextNumber));
    m_browser->setSource(url);
    show();
    raise();
    activateWindow();
    return true;
}
