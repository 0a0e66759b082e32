#include "FileWrites.h"

#include "TextTable.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>

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

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace FileWrites
