#include "CConfig.h"

#include "CCSVFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString kPrefix = QStringLiteral("Dir = ");
}

QString CConfig::configFilePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("MeravoConfig.ini"));
}

QString CConfig::defaultWorkDir()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

bool CConfig::WriteConfigFile(const QString &path, const QString &line)
{
    // The application-data folder does not exist before the first run.
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return CCSVFile().WriteFile(path, line);
}

QString CConfig::WorkDir() const
{
    const QString path = configFilePath();
    if (!QFileInfo::exists(path) && !WriteConfigFile(path, kPrefix + defaultWorkDir()))
        return QString();
    QString text;
    if (!CCSVFile().ReadFile(text, path) || text.size() <= kPrefix.size())
        return QString();
    // Only the length of the prefix counts, not its text.
    return text.mid(kPrefix.size());
}

void CConfig::setWorkDir(const QString &strWorkDir)
{
    // The write replaces the file as a whole (also a read-only one), or leaves it as it was; what is
    // not a regular file keeps its permissions and is refused by the write.
    const QString path = configFilePath();
    if (QFileInfo(path).isFile())
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    WriteConfigFile(path, kPrefix + strWorkDir);
}
