#include "FileWrites.h"

#include "TextTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileWrites {

namespace {

// As deep as the system follows links before it gives up with ELOOP.
constexpr int kMaxLinkDepth = 40;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A link is followed to its end; false when the links never end (a loop).
bool linkChainEnds(QFileInfo info)
{
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        if (!info.isSymLink())
            return true;
        info.setFile(info.symLinkTarget());
    }
    return false;
}

// The file a write to path ends in: the last target of a chain of links, or path itself.
QString linkEnd(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < kMaxLinkDepth && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

} // namespace

Refusal checkTarget(const QString &path)
{
    const QFileInfo info(path); // follows links for everything but isSymLink
    if (!info.exists()) {
        // A link whose target is missing is followed: the write creates the target.
        if (info.isSymLink() && !linkChainEnds(info))
            return {Refusal::Unresolvable, systemText(ELOOP)};
        return {};
    }
    if (!info.isFile())
        return {Refusal::NotRegularFile, TextTable::text(TextTable::NotRegularFile)};
    // The permission bits, not the access check: an administrator passes that for any file.
    if (!info.permissions().testFlag(QFileDevice::WriteOwner))
        return {Refusal::ReadOnly, TextTable::text(TextTable::ReadOnlyFile)};
    if (!info.isWritable())
        return {Refusal::NoPermission, systemText(EACCES)};
    return {};
}

QString failureReason(const QString &qtText, int systemError)
{
    // Qt says "Unknown error" when a write stopped part-way (a full disk, a file-size limit).
    const bool uninformative =
        qtText.isEmpty() || qtText == QCoreApplication::translate("QIODevice", "Unknown error");
    return uninformative && systemError != 0 ? systemText(systemError) : qtText;
}

QString failureReason(const QFileDevice &file, int systemError)
{
    return failureReason(file.errorString(), systemError);
}

ReplaceByRename::ReplaceByRename(const QString &target) : m_target(target) {}

ReplaceByRename::~ReplaceByRename()
{
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

bool ReplaceByRename::open()
{
    if (const Refusal refusal = checkTarget(m_target)) {
        m_error = refusal.reason;
        return false;
    }
    const QString end = linkEnd(m_target);
    const QFileInfo endInfo(end);
    QByteArray name =
        QFile::encodeName(QDir(endInfo.absolutePath())
                              .filePath(QLatin1Char('.') + endInfo.fileName() + QStringLiteral(".XXXXXX")));
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        m_error = systemText(errno);
        return false;
    }
    // mkstemp creates the file for its owner only: a new file gets the usual permissions (the umask's),
    // a replaced one keeps its own, as a file written in place would.
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(end).constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    ::close(fd);
    m_temporary = QFile::decodeName(name);
    return true;
}

bool ReplaceByRename::commit()
{
    if (m_temporary.isEmpty())
        return false;
    const QString end = linkEnd(m_target);
    // The target may have changed since open (made read-only, replaced by a folder).
    if (const Refusal refusal = checkTarget(end)) {
        m_error = refusal.reason;
        return false;
    }
    if (std::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(end).constData()) != 0) {
        m_error = systemText(errno);
        return false;
    }
    m_temporary.clear();
    return true;
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace FileWrites
