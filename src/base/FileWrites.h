#pragma once
// The rules every file the program writes follows, whoever writes it: which existing file may be
// replaced, how the new file reaches the disk, what is left when a write fails or the program is ended
// on the way, and how a failed write is told to the user. Every writer writes through ReplaceByRename.
#include <QString>

#include <functional>
#include <memory>

class QFileDevice;
class QIODevice;

namespace FileWrites {

struct Refusal {
    enum Kind {
        None,
        NotRegularFile, // a device, a pipe, a folder: never replaced by a file
        ReadOnly,       // the owner's write bit is clear: read-only also for an administrator
        NoPermission,   // this user may not write it
        Unresolvable,   // a symbolic link that cannot be followed (a loop)
        ForeignLink,    // a link another user planted in a shared (sticky, world-writable) folder
        InvalidName,    // a name that is not valid UTF-8 text: it could not be written byte for byte
        NameTooLong,    // a name longer than the file system takes
    };
    Kind kind = None;
    QString reason;
    explicit operator bool() const { return kind != None; }
};

// Why the file at path must not be replaced; None when it may, also when nothing is there yet.
// Symbolic links are followed: the write goes to the link's target and keeps the link. A link in a
// sticky world-writable folder (/tmp) is followed only when it belongs to this user or to the folder's
// owner, the kernel's own rule for links there (protected_symlinks), which a rename over the resolved
// target would otherwise sidestep.
Refusal checkTarget(const QString &path);

// The reason a write on file failed: Qt's text, or the system's (systemError, an errno value taken
// right after the failing call) when Qt's says nothing, as after a write that stopped part-way.
QString failureReason(const QFileDevice &file, int systemError);
QString failureReason(const QString &qtText, int systemError);
// The system's text for an errno value.
QString systemText(int error);

// Makes a written file durable: its data (fdatasync on fd), then its entry in folder (fsync on the
// folder). The one place every writer's bytes and names reach the disk: ReplaceByRename::commit syncs
// the file before and the folder after its rename; a writer that writes a file in place (a database)
// calls it with both. Empty on success, else the system's text.
QString syncFileAndFolder(int fd, const QString &folder);

// Moves from to to only when nothing has that name: renameat2's flag where the file system knows it,
// else a hard link (which fails on an existing name) and the old name's removal. false with errno.
bool renameNoReplace(const QByteArray &from, const QByteArray &to);

// Writes a file in the target's folder under a temporary name, which replaces the target by a rename
// only when every byte reached the disk, so a failed write leaves the previous file byte for byte and
// no partial file. Writers that write the bytes themselves use write() or device(); writers that can
// only write by a name (libraries) write temporaryPath() and report their own failures with fail().
//
// The temporary name is ".NAME.meravo-XXXXXX" with NAME shortened so the whole stays within the
// file system's 255 bytes. It is removed when the write fails, when this object goes, when the program
// is ended by a signal it can catch, and, after a kill -9 or a power cut, at the next write into that
// folder (a file of this user with such a name that no write holds and that is older than a minute).
class ReplaceByRename {
public:
    explicit ReplaceByRename(const QString &target);
    ~ReplaceByRename(); // a temporary file not committed goes
    ReplaceByRename(const ReplaceByRename &) = delete;
    ReplaceByRename &operator=(const ReplaceByRename &) = delete;

    // Checks the target (checkTarget), removes stale temporaries, creates the temporary file; false with
    // errorString.
    bool open();
    // Where a writer by name writes, once open succeeded.
    QString temporaryPath() const { return m_temporary; }
    // A private folder beside the temporary file for a library's own temporary files, made at the first
    // call; it goes with everything in it like the temporary file (also on a signal). Empty on failure.
    QString scratchFolder();
    // The temporary file as a device open for writing, once open succeeded: every write goes through
    // write(), so a write that stopped part-way fails the device's write and the commit, whatever the
    // writer on top (a PDF writer) makes of it.
    QIODevice &device() { return *m_device; }
    // Writes bytes to the temporary file; false with the system's reason, and every later write and
    // commit fail.
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    // A writer by name tells that its write failed (reason for the user); commit then fails.
    void fail(const QString &reason);
    bool failed() const { return !m_error.isEmpty(); }
    // Syncs the temporary file, moves it over the target (the end of a link chain) and syncs the folder;
    // false with errorString, the target untouched.
    bool commit();
    // As commit, for a file that must be new (a delivery a reader polls for): it never replaces a file
    // of that name (false, the temporary file dropped), and nobody is told of it, since its writer
    // records it with its own data.
    bool commitNew();
    // Drops the temporary file; the target stays as it is.
    void cancel();
    QString errorString() const { return m_error; }

    // The stale temporaries of this user in folder go (see above); the count removed.
    static int removeStale(const QString &folder);
    // The age after which an unheld temporary file counts as stale.
    static constexpr int kStaleSeconds = 60;

private:
    bool place(bool replace);

    QString m_target;
    QString m_temporary;
    std::unique_ptr<QIODevice> m_device;
    int m_fd = -1;
    int m_slot = -1;
    QString m_scratch;
    int m_scratchFd = -1;
    int m_scratchSlot = -1;
    QString m_error;
};

// The whole file at path replaced by bytes through ReplaceByRename; empty on success, else the reason.
QString writeWhole(const QString &path, const QByteArray &bytes);

// Told of every file committed through ReplaceByRename: the path the writer named and the SHA-256
// (hex) of the bytes now there. The activity trail listens; setting returns a token, and clearing
// with a token that is no longer the current one leaves the newer observer in place.
using CommitObserver = std::function<void(const QString &path, const QString &sha256)>;
int setCommitObserver(CommitObserver observer);
void clearCommitObserver(int token);

// A write beyond the file-size limit then fails like any other write instead of ending the process.
void ignoreFileSizeSignal();

} // namespace FileWrites
