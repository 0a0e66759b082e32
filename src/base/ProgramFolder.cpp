#include "ProgramFolder.h"

#include "CIni.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

namespace ProgramFolder {

QString path()
{
    const QString overridden = qEnvironmentVariable("MERAVO_PROGRAM_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
    return QCoreApplication::applicationDirPath();
}

QString file(const QString &relative)
{
    return QDir(path()).filePath(relative);
}

QString settingsFile()
{
    return file(QStringLiteral("Settings.ini"));
}

QString setting(const CIni &ini, const QString &section, const QString &key, const QString &fallback)
{
    return ini.GetIniString(section, key, fallback, settingsFile(), 256);
}

bool onlyKlaro7(const CIni &ini)
{
    return setting(ini, QStringLiteral("General"), QStringLiteral("OnlyKlaro7"), QStringLiteral("False")) ==
           QLatin1String("True");
}

QString language(const CIni &ini)
{
    return TextTable::chooseLanguage(
        setting(ini, QStringLiteral("General"), QStringLiteral("Language"), QString()),
        QLocale::system().name());
}

} // namespace ProgramFolder
