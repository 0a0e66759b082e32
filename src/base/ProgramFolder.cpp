#include "ProgramFolder.h"

#include "CIni.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

namespace {

QString &systemFolder()
{
#ifdef Q_OS_WIN
    static QString folder;
#else
    static QString folder = QStringLiteral("/etc/meravo");
#endif
    return folder;
}

// Every Settings.d/*.ini of folder in name order, then its Settings.local.ini.
QStringList localFilesIn(const QDir &folder)
{
    QStringList files;
    const QDir dropIns(folder.filePath(QStringLiteral("Settings.d")));
    for (const QString &name :
         dropIns.entryList({QStringLiteral("*.ini")}, QDir::Files | QDir::Readable, QDir::Name))
        files.append(dropIns.filePath(name));
    const QString local = folder.filePath(QStringLiteral("Settings.local.ini"));
    if (QFileInfo::exists(local))
        files.append(local);
    return files;
}

} // namespace

QString systemSettingsFolder()
{
    return systemFolder();
}

void setSystemSettingsFolder(const QString &folder)
{
    systemFolder() = folder;
}

QStringList localSettingsFiles()
{
    // Behind the program folder's link: the folder of the installed conffile.
    const QFileInfo shipped(settingsFile());
    const QString target = shipped.isSymLink() ? shipped.symLinkTarget() : shipped.absoluteFilePath();
    const QDir folder = QFileInfo(target).absoluteDir();
    QStringList files = localFilesIn(folder);
    const QString system = systemSettingsFolder();
    if (!system.isEmpty() && QDir(system).exists() &&
        QFileInfo(system).canonicalFilePath() != QFileInfo(folder.path()).canonicalFilePath())
        files += localFilesIn(QDir(system));
    return files;
}

QString setting(const CIni &ini, const QString &section, const QString &key, const QString &fallback)
{
    QString value = ini.GetIniString(section, key, fallback, settingsFile(), 256);
    // A value the local files do not hold keeps the one before; a marker tells them apart.
    const QString unset = QStringLiteral("\x01unset\x01");
    for (const QString &local : localSettingsFiles()) {
        const QString override = ini.GetIniString(section, key, unset, local, 256);
        if (override != unset)
            value = override;
    }
    return value;
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
