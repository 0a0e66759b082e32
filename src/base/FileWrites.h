#pragma once
// The rules every file the program writes follows, whoever writes it: which existing file may be
// replaced, and how a failed write is told to the user.
#include <QString>

class QFileDevice;

namespace FileWrites {

struct Refusal {
    enum Kind {
        None,
        NotRegularFile, // a device, a pipe, a folder: never replaced by a file
        ReadOnly,       // the owner's write bit is clear: read-only also for an administrator
        NoPermission,   // this user may not write it
        Unresolvable,   // a symbolic link that cannot be followed (a loop)
    };
    Kind kind = None;
    QString reason;
    explicit operator bool() const { return kind != None; }
};

// Why the file at path must not be replaced; None when it may, also when nothing is there yet.
// Symbolic links are followed: the write goes to the link's target and keeps the link.
Refusal checkTarget(const QString &path);

// The reason a write on file failed: Qt's text, or the system's (systemError, an errno value taken
// right after the failing call) when Qt's says nothing, as after a write that stopped part-way.
QString failureReason(const QFileDevice &file, int systemError);
QString failureReason(const QString &qtText, int systemError);

// For writers that can only write a file by its name (libraries, Qt's PDF printer): they write a
// temporary file in the target's folder, which replaces the target by a rename only when the whole
// write succeeded, so a failed write leaves the previous file intact and no partial file.
class ReplaceByRename {
public:
    explicit ReplaceByRename(const QString &target);
    ~ReplaceByRename(); // a temporary file not committed goes
    ReplaceByRename(const ReplaceByRename &) = delete;
    ReplaceByRename &operator=(const ReplaceByRename &) = delete;

    // Checks the target (checkTarget) and creates the temporary file; false with errorString.
    bool open();
    // Where the writer writes, once open succeeded.
    QString temporaryPath() const { return m_temporary; }
    // Moves the written temporary file over the target (the end of a link chain); false with errorString.
    bool commit();
    QString errorString() const { return m_error; }

private:
    QString m_target;
    QString m_temporary;
    QString m_error;
};

// A write beyond the file-size limit then fails like any other write instead of ending the process.
void ignoreFileSizeSignal();

} // namespace FileWrites
