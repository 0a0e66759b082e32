#include "FileWrites.h"

#include "EndingSignals.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace FileWrites {

namespace {

// As deep as the system follows links before it gives up with ELOOP.
constexpr int kMaxLinkDepth = 40;
// The longest file name (bytes) of the file systems the program writes to.
constexpr qsizetype kNameMax = NAME_MAX;
const QByteArray kMarker = QByteArrayLiteral(".meravo-");
constexpr qsizetype kRandomChars = 6;

// The temporaries being written, where the signal handler may read them: plain values, no Qt.
struct Slot {
    enum State { Free, Filling, Ready };
    std::atomic<int> state{Free};
    std::atomic<bool> folder{false};
    std::array<char, PATH_MAX> path{};
};
std::array<Slot, 16> g_slots;

// The files in an open folder go (system calls only: safe in a signal handler); the count removed.
int emptyFolder(int folderFd)
{
    struct LinuxDirent {
        ino64_t inode;
        off64_t next;
        unsigned short length;
        unsigned char type;
        char name[1];
    };
    alignas(8) std::array<char, 4096> buffer{};
    int removed = 0;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, folderFd, buffer.data(), buffer.size());
        if (n <= 0)
            return removed;
        for (long at = 0; at < n;) {
            const auto *entry = reinterpret_cast<const LinuxDirent *>(buffer.data() + at);
            at += entry->length;
            const bool dots = entry->name[0] == '.' &&
                              (entry->name[1] == 0 || (entry->name[1] == '.' && entry->name[2] == 0));
            if (!dots && ::unlinkat(folderFd, entry->name, 0) == 0)
                ++removed;
        }
    }
}

void removeTemporariesOnSignal()
{
    for (Slot &slot : g_slots) {
        if (slot.state.load() != Slot::Ready)
            continue;
        if (slot.folder.load()) {
            const int fd = ::open(slot.path.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                emptyFolder(fd);
                ::close(fd);
            }
            ::rmdir(slot.path.data());
        } else {
            ::unlink(slot.path.data());
        }
    }
}

// mkdtemp, and the new folder opened; -1 with errno.
int makeFolder(char *pattern)
{
    if (!::mkdtemp(pattern))
        return -1;
    return ::open(pattern, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Creates the temporary file (or folder) from the template (mkostemp) right in a slot the signal handler
// reads, so that a signal at any moment finds the file's name there; -1 (errno set) when it could not be
// made.
int createTemporary(QByteArray *name, int *slotIndex, bool folder)
{
    *slotIndex = -1;
    for (int i = 0; i < int(g_slots.size()) && name->size() < PATH_MAX; ++i) {
        int free = Slot::Free;
        if (g_slots[size_t(i)].state.compare_exchange_strong(free, Slot::Filling)) {
            Slot &slot = g_slots[size_t(i)];
            std::memcpy(slot.path.data(), name->constData(), size_t(name->size()) + 1);
            slot.folder.store(folder);
            EndingSignals::add(removeTemporariesOnSignal);
            slot.state.store(Slot::Ready);
            const int fd = folder ? makeFolder(slot.path.data()) : ::mkostemp(slot.path.data(), O_CLOEXEC);
            const int error = errno;
            if (fd < 0) {
                slot.state.store(Slot::Free);
                errno = error;
                return -1;
            }
            *name = QByteArray(slot.path.data());
            *slotIndex = i;
            return fd;
        }
    }
    // More writes at once than slots: the file is still made, only a signal would leave it.
    return folder ? makeFolder(name->data()) : ::mkostemp(name->data(), O_CLOEXEC);
}

void unregisterTemporary(int slot)
{
    if (slot >= 0)
        g_slots[size_t(slot)].state.store(Slot::Free);
}

bool inSharedFolder(const struct stat &folder)
{
    return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
}

// A link that the kernel would not follow for this user in its folder (protected_symlinks): in a
// sticky world-writable folder, owned neither by this user nor by the folder's owner.
bool foreignLink(const QString &link)
{
    struct stat linkStat {};
    struct stat folderStat {};
    const QByteArray name = QFile::encodeName(link);
    const QByteArray folder = QFile::encodeName(QFileInfo(link).absolutePath());
    if (::lstat(name.constData(), &linkStat) != 0 || !S_ISLNK(linkStat.st_mode) ||
        ::stat(folder.constData(), &folderStat) != 0)
        return false;
    return inSharedFolder(folderStat) && linkStat.st_uid != ::geteuid() &&
           linkStat.st_uid != folderStat.st_uid;
}

enum class Chain { Ends, Loops, Foreign };

// Follows a chain of links to its end (path itself when it is no link).
Chain followLinks(const QString &path, QString *end)
{
    QFileInfo info(path);
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        if (!info.isSymLink()) {
            *end = info.absoluteFilePath();
            return Chain::Ends;
        }
        if (foreignLink(info.absoluteFilePath()))
            return Chain::Foreign;
        info.setFile(info.symLinkTarget());
    }
    return Chain::Loops;
}

// The file a write to path ends in: the last target of a chain of links, or path itself.
QString linkEnd(const QString &path)
{
    QString end;
    return followLinks(path, &end) == Chain::Ends ? end : QFileInfo(path).absoluteFilePath();
}

// ".NAME.meravo-XXXXXX" in folder, NAME cut (at a character's start) so the name takes at most kNameMax.
QByteArray temporaryTemplate(const QString &end)
{
    const QFileInfo info(end);
    QByteArray name = QFile::encodeName(info.fileName());
    const qsizetype room = kNameMax - 1 - kMarker.size() - kRandomChars;
    if (name.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (quint8(name.at(cut)) & 0xC0) == 0x80)
            --cut;
        name.truncate(cut);
    }
    return QFile::encodeName(info.absolutePath()) + '/' + '.' + name + kMarker +
           QByteArray(kRandomChars, 'X');
}

bool isTemporaryName(const char *name)
{
    const qsizetype length = qsizetype(std::strlen(name));
    const qsizetype tail = kMarker.size() + kRandomChars;
    if (name[0] != '.' || length < 1 + tail)
        return false;
    if (std::memcmp(name + length - tail, kMarker.constData(), size_t(kMarker.size())) != 0)
        return false;
    for (qsizetype i = length - kRandomChars; i < length; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// The temporary file for writers on a QIODevice: every write checked by ReplaceByRename::write.
class CheckedDevice : public QIODevice {
public:
    explicit CheckedDevice(ReplaceByRename &file) : m_file(file) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char * /*data*/, qint64 /*size*/) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override { return m_file.write(data, size) ? size : -1; }

private:
    ReplaceByRename &m_file;
};

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool renameNoReplace(const QByteArray &from, const QByteArray &to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 1U /* NOREPLACE */) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Refusal checkTarget(const QString &path)
{
    const QString fileName = QFileInfo(path).fileName();
    // A name read from bytes that are no UTF-8 text holds U+FFFD: written, it would get another name.
    if (path.contains(QChar::ReplacementCharacter))
        return {Refusal::InvalidName, TextTable::text(TextTable::NameNotUtf8)};
    if (QFile::encodeName(fileName).size() > kNameMax)
        return {Refusal::NameTooLong, systemText(ENAMETOOLONG)};
    QString end;
    switch (followLinks(path, &end)) {
    case Chain::Loops:
        return {Refusal::Unresolvable, systemText(ELOOP)};
    case Chain::Foreign:
        return {Refusal::ForeignLink, TextTable::text(TextTable::ForeignLink)};
    case Chain::Ends:
        break;
    }
    const QFileInfo info(end);
    if (!info.exists() && !info.isSymLink())
        return {};
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

QString syncFileAndFolder(int fd, const QString &folder)
{
    if (fd >= 0 && ::fdatasync(fd) != 0)
        return systemText(errno);
    if (folder.isEmpty())
        return {};
    const int folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return systemText(errno);
    // A file system that cannot sync a folder (EINVAL) keeps its entries by other means.
    const bool ok = ::fsync(folderFd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(folderFd);
    return ok ? QString() : systemText(error);
}

ReplaceByRename::ReplaceByRename(const QString &target) : m_target(target) {}

ReplaceByRename::~ReplaceByRename()
{
    cancel();
}

bool ReplaceByRename::open()
{
    if (const Refusal refusal = checkTarget(m_target)) {
        m_error = refusal.reason;
        return false;
    }
    const QString end = linkEnd(m_target);
    removeStale(QFileInfo(end).absolutePath());
    QByteArray name = temporaryTemplate(end);
    const int fd = createTemporary(&name, &m_slot, false);
    if (fd < 0) {
        m_error = systemText(errno);
        return false;
    }
    // Held while this object lives: the sign that the file is no leftover.
    ::flock(fd, LOCK_EX | LOCK_NB);
    m_fd = fd;
    m_temporary = QFile::decodeName(name);
    // mkstemp creates the file for its owner only: a new file gets the usual permissions (the umask's),
    // a replaced one keeps its own, as a file written in place would.
    struct stat existing {};
    const mode_t mode =
        ::stat(QFile::encodeName(end).constData(), &existing) == 0 ? existing.st_mode & 07777 : newFileMode();
    ::fchmod(fd, mode);
    m_device = std::make_unique<CheckedDevice>(*this);
    m_device->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    return true;
}

bool ReplaceByRename::write(const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that took nothing without an error is a full disk.
            fail(systemText(n < 0 ? errno : ENOSPC));
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void ReplaceByRename::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = reason.isEmpty() ? systemText(EIO) : reason;
}

namespace {

CommitObserver &commitObserver()
{
    static CommitObserver observer;
    return observer;
}
int s_observerToken = 0;

void tellCommitted(const QString &target, const QString &written)
{
    const CommitObserver observer = commitObserver();
    if (!observer)
        return;
    QFile file(written);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
        observer(target, QString::fromLatin1(hash.result().toHex()));
}

} // namespace

int setCommitObserver(CommitObserver observer)
{
    commitObserver() = std::move(observer);
    return ++s_observerToken;
}

void clearCommitObserver(int token)
{
    if (token == s_observerToken)
        commitObserver() = nullptr;
}

bool ReplaceByRename::commit()
{
    return place(true);
}

bool ReplaceByRename::commitNew()
{
    return place(false);
}

bool ReplaceByRename::place(bool replace)
{
    if (m_fd < 0 || failed())
        return false;
    const QString end = linkEnd(m_target);
    const QString folder = QFileInfo(end).absolutePath();
    // Every byte on the disk before the name points at it.
    const QString unsynced = syncFileAndFolder(m_fd, QString());
    if (!unsynced.isEmpty()) {
        fail(unsynced);
        return false;
    }
    // The target may have changed since open (made read-only, replaced by a folder or a link).
    if (const Refusal refusal = checkTarget(m_target)) {
        fail(refusal.reason);
        return false;
    }
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(end);
    if (!replace) {
        // The written file is closed before it gets its name: a reader that waits for a closed write
        // sees it under the temporary name, never under the final one. A read-only descriptor keeps
        // it held against another program's removal of stale temporaries.
        const int held = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
        if (held < 0) {
            fail(systemText(errno));
            return false;
        }
        if (m_device)
            m_device->close();
        ::close(m_fd);
        m_fd = held;
        if (::flock(held, LOCK_EX | LOCK_NB) != 0) {
            fail(systemText(errno));
            return false;
        }
    }
    if (replace ? std::rename(from.constData(), to.constData()) != 0 : !renameNoReplace(from, to)) {
        fail(systemText(errno));
        return false;
    }
    m_temporary.clear();
    // The rename itself on the disk; the file is in place already, so a failure here is only told.
    syncFileAndFolder(-1, folder);
    cancel();
    if (replace)
        tellCommitted(m_target, end);
    return true;
}

QString ReplaceByRename::scratchFolder()
{
    if (!m_scratch.isEmpty() || m_temporary.isEmpty())
        return m_scratch;
    QByteArray name = temporaryTemplate(linkEnd(m_target));
    const int fd = createTemporary(&name, &m_scratchSlot, true);
    if (fd < 0) {
        fail(systemText(errno));
        return {};
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    m_scratchFd = fd;
    m_scratch = QFile::decodeName(name);
    return m_scratch;
}

void ReplaceByRename::cancel()
{
    if (m_scratchFd >= 0) {
        emptyFolder(m_scratchFd);
        ::close(m_scratchFd);
        m_scratchFd = -1;
        ::rmdir(QFile::encodeName(m_scratch).constData());
        m_scratch.clear();
    }
    unregisterTemporary(m_scratchSlot);
    m_scratchSlot = -1;
    if (m_device)
        m_device->close();
    if (!m_temporary.isEmpty()) {
        ::unlink(QFile::encodeName(m_temporary).constData());
        m_temporary.clear();
    }
    unregisterTemporary(m_slot);
    m_slot = -1;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int ReplaceByRename::removeStale(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    const int folderFd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return 0;
    DIR *dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return 0;
    }
    int removed = 0;
    const time_t now = std::time(nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name))
            continue;
        struct stat named {};
        if (::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !(S_ISREG(named.st_mode) || S_ISDIR(named.st_mode)) || named.st_uid != ::geteuid() ||
            now - named.st_mtime < kStaleSeconds)
            continue;
        const bool isFolder = S_ISDIR(named.st_mode);
        const int fd =
            ::openat(folderFd, entry->d_name,
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (isFolder ? O_DIRECTORY : 0));
        if (fd < 0)
            continue;
        struct stat opened {};
        // Still the same file, and no write holds it. A library's scratch folder holds only its files.
        if (::fstat(fd, &opened) == 0 && opened.st_ino == named.st_ino && opened.st_dev == named.st_dev &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (isFolder)
                emptyFolder(fd);
            if (::unlinkat(folderFd, entry->d_name, isFolder ? AT_REMOVEDIR : 0) == 0)
                ++removed;
        }
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

QString writeWhole(const QString &path, const QByteArray &bytes)
{
    ReplaceByRename file(path);
    if (file.open() && file.write(bytes) && file.commit())
        return {};
    return file.errorString();
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace FileWrites
