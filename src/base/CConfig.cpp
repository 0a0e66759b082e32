#include "CConfig.h"

#include "CCSVFile.h"
#include "Cp1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace {
const QString kPrefix = QStringLiteral("Dir = ");

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    Q_UNUSED(text)
    return !utf8.hasError();
}

// The file is read by this program only. A path the single-byte code page cannot hold (a home folder
// such as "/home/jiří") is stored as UTF-8, and so is one whose single-byte form would pass for UTF-8:
// whatever the path, it reads back as it was.
QByteArray encodeLine(const QString &line)
{
    bool lossless = false;
    const QByteArray single = Cp1252::encode(line, &lossless);
    if (lossless && (isAscii(single) || !isUtf8(single)))
        return single;
    return line.toUtf8();
}

QString decodeLine(const QString &singleByteText)
{
    const QByteArray bytes = Cp1252::encode(singleByteText); // the bytes as they are in the file
    return !isAscii(bytes) && isUtf8(bytes) ? QString::fromUtf8(bytes) : singleByteText;
}

} // namespace

// Beside the communication log's folder ("Meravo/log" in the user's data folder): one folder holds
// what the program keeps for the user, whichever of its programs (desktop or command line) runs.
QString CConfig::configFilePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Meravo/MeravoConfig.ini"));
}

// Where the file was kept before: the desktop program's own data folder.
QString CConfig::earlierConfigFilePath()
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
    return CCSVFile().WriteBytes(path, encodeLine(line));
}

QString CConfig::WorkDir() const
{
    const QString path = configFilePath();
    // A file from before moves over once, so the user's choice of folder stays.
    const QString earlier = earlierConfigFilePath();
    if (earlier != path && !QFileInfo::exists(path) && QFileInfo(earlier).isFile() &&
        QDir().mkpath(QFileInfo(path).absolutePath()) && QFile::rename(earlier, path))
        QDir().rmdir(QFileInfo(earlier).absolutePath()); // only when nothing else is left in it
    if (!QFileInfo::exists(path) && !WriteConfigFile(path, kPrefix + defaultWorkDir()))
        return QString();
    QString text;
    if (!CCSVFile().ReadFile(text, path) || text.size() <= kPrefix.size())
        return QString();
    // Only the length of the prefix counts, not its text.
    const QString dir = decodeLine(text).mid(kPrefix.size());
    // An account without a documents folder: the default is made, rather than every listing failing.
    if (dir == defaultWorkDir() && !QFileInfo(dir).isDir() && QDir().mkpath(dir))
        m_created = dir;
    return dir;
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

QString CConfig::takeCreatedWorkDir()
{
    return std::exchange(m_created, QString());
}
