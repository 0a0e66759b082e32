#include "ArchiveFileRights.h"

#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ArchiveFileRights {
namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

QString accountName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

bool inGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    std::vector<gid_t> groups(size_t(::getgroups(0, nullptr)) + 1);
    const int count = ::getgroups(int(groups.size()), groups.data());
    for (int i = 0; i < count; ++i)
        if (groups[size_t(i)] == gid)
            return true;
    return false;
}

mode_t fileMode(Setup setup)
{
    return setup == Setup::Private ? 0600 : 0660;
}

} // namespace

QString makeFolder(const QString &folder, Setup setup)
{
    QStringList missing;
    for (QString f = QDir::cleanPath(folder); !QFileInfo::exists(f); f = QFileInfo(f).absolutePath()) {
        missing.prepend(f);
        if (f == QFileInfo(f).absolutePath())
            break;
    }
    for (const QString &f : missing) {
        if (::mkdir(native(f).constData(), 0700) != 0 && errno != EEXIST)
            return QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral(": ") + f;
        if (setup == Setup::Shared)
            ::chmod(native(f).constData(), 0770);
    }
    return {};
}

namespace {

// A new archive file, empty (SQLite makes an empty file its database), with the set-up's rights.
QString createFile(const QString &path, Setup setup)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, fileMode(setup));
    if (fd < 0)
        return errno == EEXIST ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    // Past the umask, which would take the group's write right.
    ::fchmod(fd, fileMode(setup));
    ::close(fd);
    return {};
}

QString checkFile(const QString &path, const struct stat &info, Setup setup)
{
    const QString display = QDir::toNativeSeparators(path);
    if (info.st_mode & S_IWOTH)
        return TextTable::text(TextTable::ArchiveWritableByAll).arg(display);
    // The owner's write bit is the file's own "read-only", which binds root too.
    if (!(info.st_mode & S_IWUSR))
        return TextTable::text(TextTable::ArchiveReadOnlyFile).arg(display);
    if (info.st_uid == ::geteuid())
        return {};
    if (setup == Setup::Private)
        return TextTable::text(TextTable::ArchiveForeignOwner).arg(display, accountName(info.st_uid));
    if (!(info.st_mode & S_IWGRP) || !inGroup(info.st_gid))
        return TextTable::text(TextTable::ArchiveSharedGroup).arg(display, groupName(info.st_gid));
    return {};
}

// An archive made before it was owner-only: it and the files beside it become so.
void tightenPrivate(const QString &path)
{
    ::chmod(native(QFileInfo(path).absolutePath()).constData(), 0700);
    QStringList files{path};
    for (const char *suffix : kCompanions)
        files.append(path + QLatin1String(suffix));
    for (const QString &file : files) {
        struct stat info {};
        if (::stat(native(file).constData(), &info) == 0 && info.st_uid == ::geteuid() &&
            (info.st_mode & 077))
            ::chmod(native(file).constData(), info.st_mode & 0700);
    }
}

} // namespace

QString prepare(const QString &path, Setup setup, bool tighten)
{
    const QString folder = QFileInfo(path).absolutePath();
    struct stat folderInfo {};
    // Anybody could replace the file in a folder every account may write (unless it is sticky).
    if (::stat(native(folder).constData(), &folderInfo) == 0 && (folderInfo.st_mode & S_IWOTH) &&
        !(folderInfo.st_mode & S_ISVTX))
        return TextTable::text(TextTable::ArchiveWritableByAll).arg(QDir::toNativeSeparators(folder));
    struct stat info {};
    if (::stat(native(path).constData(), &info) != 0) {
        if (errno != ENOENT)
            return {};
        if (QString why = createFile(path, setup); !why.isEmpty())
            return TextTable::text(TextTable::ArchiveCannotWrite).arg(QDir::toNativeSeparators(path), why);
        return {};
    }
    // A folder or device is told apart by the opening itself.
    if (!S_ISREG(info.st_mode))
        return {};
    if (QString why = checkFile(path, info, setup); !why.isEmpty())
        return why;
    if (tighten && setup == Setup::Private)
        tightenPrivate(path);
    return {};
}

void settleCompanions(const QString &path, Setup setup)
{
    struct stat archive {};
    if (::stat(native(path).constData(), &archive) != 0)
        return;
    for (const char *suffix : kCompanions) {
        const QByteArray companion = native(path) + suffix;
        struct stat info {};
        if (::stat(companion.constData(), &info) != 0 || info.st_uid != ::geteuid())
            continue;
        if (setup == Setup::Shared && info.st_gid != archive.st_gid)
            (void)::chown(companion.constData(), uid_t(-1), archive.st_gid);
        if ((info.st_mode & 0777) != (archive.st_mode & 0777))
            ::chmod(companion.constData(), archive.st_mode & 0777);
    }
}

} // namespace ArchiveFileRights
