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

QString frmHelp::htmlFileFor(const QString &helpFileName, const QString &language)
{
    QString name = helpFileName;
    if (name.endsWith(QLatin1String(".chm"), Qt::CaseInsensitive))
        name.chop(4);
    if (language != QLatin1String("en") && name.endsWith(QLatin1String("_e")))
        name = name.chopped(1) + language;
    return name + QStringLiteral(".html");
}

bool frmHelp::showTopic(const QString &helpFile, int contextNumber)
{
    const QFileInfo info(helpFile);
    // The page of the chosen language; the English page stands in where it is not shipped.
    QString html = info.dir().filePath(htmlFileFor(info.fileName(), TextTable::language()));
    if (!QFileInfo::exists(html))
        html = info.dir().filePath(htmlFileFor(info.fileName()));
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
