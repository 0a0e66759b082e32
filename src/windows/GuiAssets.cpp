#include "GuiAssets.h"

#include "ErrorFrame.h"
#include "ProgramFolder.h"
#include "TextTable.h"

#include <QFileInfo>
#include <QWidget>

namespace GuiAssets {

QString grafics(const QString &fileName)
{
    return ProgramFolder::file(QStringLiteral("Grafics/") + fileName);
}

QIcon windowIcon()
{
    const QString path = grafics(QStringLiteral("Main.ico"));
    if (!QFileInfo::exists(path)) {
        ErrorFrame::report(TextTable::text(TextTable::FileMissing).arg(path));
        return QIcon();
    }
    return QIcon(path);
}

QPixmap logo(const CIni &ini)
{
    const QString maker = ProgramFolder::setting(ini, QStringLiteral("General"),
                                                 QStringLiteral("Manufacturer"), QStringLiteral("0"));
    const QString path = grafics(QStringLiteral("Logo_") + maker + QStringLiteral(".gif"));
    return QFileInfo::exists(path) ? QPixmap(path) : QPixmap();
}

QPixmap head()
{
    return QPixmap(grafics(QStringLiteral("Head.png")));
}

void applyIcon(QWidget *window)
{
    const QIcon icon = windowIcon();
    if (!icon.isNull())
        window->setWindowIcon(icon);
}

} // namespace GuiAssets
