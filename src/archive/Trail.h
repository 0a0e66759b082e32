#pragma once
// The activity trail: who did what, when, on which PC, one entry per action, each sealed with the
// SHA-256 of its content and of the entry before it. It cannot stop someone with full rights over
// the database from rewriting it, but every change, removal, insertion or reordering breaks the
// chain, and a rewrite of the whole chain is found against a head noted outside the system.
#include "ArchiveDatabase.h"

#include <functional>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

struct TrailEntry {
    qint64 seq = 0;
    QDateTime atUtc;
    int utcOffset = 0;      // seconds east of UTC on the PC that acted
    bool clockBack = false; // the PC's clock showed a time before the previous entry's
    qint64 osUid = -1;
    QString osUser;
    QString osFullName;
    QString login;
    QString host;
    QString programVersion;
    QString action;     // "import", "save", "export", "print", "pdf", "trail-verify", ...
    QString object;     // what it acted on: "import:<uid>", a path, "program:915"
    QString details;    // compact JSON
    QString reason;     // where the user was asked for one
    QString fileSha256; // of a file the action wrote (hex), for "trail check"
    QString prevHash;
    QString hash;

    // The seal: SHA-256 (hex) over every field above but the hash itself, in one fixed form: the
    // fields as texts (the time as ISO 8601 UTC with milliseconds), in this order, as a compact JSON
    // array of strings.
    QString computeHash() const;
    static constexpr int kSealedFields = 16;
    static QString sealOf(const QStringView (&fields)[kSealedFields]);
};

// What an action says of itself; the trail adds time, account, host, version and the seal.
struct TrailAction {
    QString action;
    QString object;
    QJsonObject details;
    QString reason;
    QString fileSha256;
    QString login;
};

struct TrailFilter {
    QDate from;
    QDate to;
    QString user; // login name or account name
    QString action;
    QString object; // part of it
};

struct TrailVerdict {
    bool intact = true;
    qint64 entries = 0;
    qint64 imports = 0;
    qint64 brokenSeq = 0; // the first entry found changed, missing, inserted or out of order
    QString problem;      // for people

    // Notes a break; the first one found is the one told.
    void breakAt(qint64 seq, const QString &why)
    {
        if (!intact)
            return;
        intact = false;
        brokenSeq = seq;
        problem = why;
    }
};

namespace Trail {

using Result = ArchiveDatabase::Result;
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Appends an entry within the caller's open write transaction on db, so the action's own data and
// its entry commit together or not at all.
Result append(ArchiveDatabase &db, const TrailAction &action, TrailEntry *written = nullptr);

// The newest entry (seq 0 when the trail is empty).
Result head(ArchiveDatabase &db, TrailEntry *entry);

// Entries matching the filter, oldest first.
Result entries(ArchiveDatabase &db, const TrailFilter &filter, QList<TrailEntry> *list);

// Entries that recorded writing a file with this SHA-256 (hex), oldest first.
Result findFile(ArchiveDatabase &db, const QString &sha256, QList<TrailEntry> *list);

// Walks the chain from its first entry: every seal, every link, no gap. With an anchor (seq and hash
// noted earlier), the entry seq must still carry that hash.
Result verify(ArchiveDatabase &db, TrailVerdict *verdict, qint64 anchorSeq = 0,
              const QString &anchorHash = QString(), const Progress &progress = {});

} // namespace Trail
