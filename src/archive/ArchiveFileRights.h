#pragma once
// Who may read and write an SQLite archive file. By default it is its account's own (file 0600 in a
// 0700 folder, the files SQLite makes beside it alike); several accounts of one PC share one only in a
// set-up an administrator makes on purpose: a folder and file of a group those accounts are in, not
// writable by others, named in the program's settings. A file writable by everybody, read-only (also
// for root), or of another account outside that set-up is refused before SQLite opens it.
#include <QString>

namespace ArchiveFileRights {

enum class Setup {
    Private, // this account's own
    Shared,  // the administrator's group set-up
};

// The files SQLite keeps beside the archive file.
inline const char *const kCompanions[] = {"-wal", "-shm", "-journal"};

// Makes the missing folders down to folder (0700 when private, 0770 shared: the umask would leave 0755,
// every account could list and read what is in it). Empty on success, else the system's reason.
QString makeFolder(const QString &folder, Setup setup);

// Before SQLite opens path, in its made folder: creates a missing file empty with the set-up's rights,
// brings an older private default archive to owner-only (tighten), and checks an existing one. Empty
// when SQLite may open it, else the reason for the user.
QString prepare(const QString &path, Setup setup, bool tighten);

// After SQLite opened path: the files it made beside it keep the file's rights and, in the shared
// set-up, its group (SQLite gives them the file's mode, but the group of the account that made them).
void settleCompanions(const QString &path, Setup setup);

} // namespace ArchiveFileRights
