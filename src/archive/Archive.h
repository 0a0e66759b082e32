#pragma once
// The lab's archive of every import: each dataset kept once, with the original bytes it came from,
// in an SQLite file on this PC or on the lab's PostgreSQL server. When the server cannot be reached
// an import waits in this PC's own archive and is sent, once, when it answers again.
#include "ArchiveDatabase.h"
#include "ArchiveFilter.h"
#include "ArchiveImport.h"
#include "ArchiveSettings.h"
#include "Trail.h"

#include <functional>
#include <memory>
#include <optional>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>

class CDevice;
class CIni;

// One archived dataset as queries return it.
struct ArchivedRow {
    qint64 id = 0;
    qint64 importId = 0;
    QString meter;
    QString serial;
    int layout = 14;
    DatasetFields::Values fields;
    QString line;
    bool conflict = false;
    QDateTime importedUtc;
    QString login;
    bool withdrawn = false;
    QString withdrawnReason;
    QStringList notes; // annotations, oldest first
};

struct ArchiveStatus {
    QString engine;   // "SQLite" or "PostgreSQL"
    QString location; // for people
    qint64 imports = 0;
    qint64 datasets = 0;
    qint64 conflicts = 0;
    qint64 meters = 0;
    qint64 bytes = -1;
    qint64 pending = 0; // imports waiting on this PC for the server
};

class Archive {
public:
    using Result = ArchiveDatabase::Result;
    // Called with the work done so far and the whole (0: unknown); false cancels the work, which
    // then leaves the archive as it was.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    struct Summary {
        qint64 added = 0;
        qint64 repeated = 0;
        qint64 conflicting = 0;
        bool keptLocally = false;    // the server did not answer: waiting on this PC
        QList<qint64> newDatasetIds; // the datasets this import added (new and conflicting), in order
        qint64 alreadyKept = 0;      // imports the archive held before (by their uid): a sync repeated
        QString text() const;        // "N new, M already archived, K conflicting"
    };

    // What the user reads after an import was (or was not) archived.
    static QString report(const Result &result, const Summary &summary);

    struct SyncOutcome {
        Result result;
        qint64 sent = 0;         // taken in by the server now
        qint64 alreadyThere = 0; // the server held them before (a sync whose note here got lost)
        qint64 remaining = 0;
        QList<qint64> newDatasetIds{}; // the datasets the server took in, by its ids, to be judged there
    };

    // The settings are read at the first use, not here: creating the shared objects reads no file.
    Archive(const CDevice &device, const CIni &ini);
    // With given settings instead of those of the settings files.
    Archive(const CDevice &device, ArchiveSettings settings);
    ~Archive();
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    bool enabled() const { return settings().enabled; }
    const ArchiveSettings &settings() const;
    // Reads the settings files again (after a change of location) and reconnects at the next use.
    void reload();
    QString displayName() const;

    // Connects to the configured archive (once; after a failure it tries again at the next call).
    Result open();

    // Keeps one import: its datasets are classified against what is archived (new, already
    // archived, conflicting) and stored with the import and its bytes in one transaction. A server
    // that cannot be reached leaves the import on this PC, pending; the summary says so.
    Result keep(const ImportRecord &record, Summary *summary);
    // Several imports in one transaction: all are kept, or (an error, a cancel) none.
    Result keepAll(const QList<ImportRecord> &records, Summary *summary, const Progress &progress = {});

    // Datasets matching the filter with an id above afterId, ascending, at most limit (0: all).
    Result query(const ArchiveFilter &filter, qint64 afterId, qint64 limit, QList<ArchivedRow> *rows,
                 const Progress &progress = {});
    Result count(const ArchiveFilter &filter, qint64 *count);
    // The original bytes of an import, after checking them against their SHA-256.
    Result raw(qint64 importId, QByteArray *bytes, bool *found);
    Result status(ArchiveStatus *status);
    // A consistent copy of an SQLite archive while it is in use, written beside path, synced and renamed
    // to it. Never onto the archive or the files SQLite keeps beside it; an existing file only when
    // replace. A refused or failed write: NotWritten, the archive untouched.
    Result backup(const QString &path, bool replace = false);

    // Sends the imports that wait on this PC to the server, oldest first, each exactly once.
    SyncOutcome sync(const Progress &progress = {});

    // An action without archived data of its own (a file written, a printout, a change on the meter):
    // its trail entry, committed alone. While the server is away it waits on this PC like an import.
    Result record(const TrailAction &action);
    // The chain, every import's original bytes and the datasets read from them, on the archive and
    // on the entries waiting on this PC; the verdict is itself recorded.
    Result verify(TrailVerdict *verdict, qint64 anchorSeq = 0, const QString &anchorHash = QString(),
                  const QString &login = QString(), const Progress &progress = {});
    Result trailHead(TrailEntry *entry);
    Result trail(const TrailFilter &filter, QList<TrailEntry> *entries);
    Result trailCount(const TrailFilter &filter, qint64 *count);
    Result findFile(const QString &sha256, QList<TrailEntry> *entries);
    // Corrections that keep the original: a note beside a dataset, or its withdrawal from queries
    // and outputs. Both need a text (the reason) and are in the trail.
    Result annotate(qint64 datasetId, const QString &text, const QString &login);
    Result withdraw(qint64 datasetId, const QString &reason, const QString &login);

    // Control samples: their definitions and the revisions of their limits, each a new row with its
    // trail entry (action "qc-define" or "qc-limits"), never an edit. Rows of a name oldest first.
    enum QcTable { QcDefinitions, QcRevisions };
    Result keepQc(QcTable table, const QString &name, const QJsonObject &content, const QString &login);
    // The same inside a transaction of the caller's (transaction(), an import check).
    static Result keepQc(ArchiveDatabase &db, QcTable table, const QString &name, const QJsonObject &content,
                         const QString &login);
    Result qcRows(QcTable table, const QString &name, QList<QJsonObject> *rows);
    // Work that writes beside the archived data (a delivery, sample IDs) and its trail entries, in one
    // write transaction on the archive: committed when work succeeds, rolled back otherwise. Only on the
    // archive itself, never on this PC's waiting copy, whose datasets the server does not know yet.
    Result transaction(const std::function<Result(ArchiveDatabase &db)> &work);
    // Work that commits with every import the archive itself takes (never one waiting on this PC,
    // whose datasets the server does not know yet): the control samples' verdicts on the new
    // datasets, with their trail entries. Its failure rolls the import back: nothing is archived
    // without the verdict on it.
    using ImportCheck = std::function<Result(ArchiveDatabase &db, const QList<qint64> &newIds)>;
    void setImportCheck(ImportCheck check) { m_importCheck = std::move(check); }

private:
    Result store(ArchiveDatabase &db, const ImportRecord &record, Summary *summary);
    Result keepOn(ArchiveDatabase &db, const QList<ImportRecord> &records, Summary *summary,
                  const Progress &progress, const QString &outboxTarget);
    ArchiveDatabase &local();
    // The server is away: this PC's own archive, opened, where the work waits for it (null: not even
    // that, with the reason).
    ArchiveDatabase *waitingHere(Result *result);
    // One import or entry waiting here, to the server; alreadyThere when the server held it before.
    Result sendOne(ArchiveDatabase &waiting, const QString &uid, bool *alreadyThere, QList<qint64> *newIds);
    Result sendEntry(ArchiveDatabase &waiting, qint64 seq, bool *alreadyThere);
    // The notes and withdrawals of the rows a query found.
    Result attachCorrections(ArchiveDatabase &db, QList<ArchivedRow> *rows);
    Result correct(qint64 datasetId, const QString &kind, const QString &text, const QString &login);
    Result verifyImports(ArchiveDatabase &db, TrailVerdict *verdict);

    const CDevice &m_device;
    const CIni *m_ini = nullptr;
    mutable std::optional<ArchiveSettings> m_settings;
    std::unique_ptr<ArchiveDatabase> m_primary;
    std::unique_ptr<ArchiveDatabase> m_local; // pending imports, when the primary is a server
    QElapsedTimer m_serverAway;               // since the server last failed to answer
    QJsonObject m_keptOn;                     // while a sync sends an import: its entry on this PC
    ImportCheck m_importCheck;
    static constexpr qint64 kServerRetryMs = 60000;
    void serverAway(bool away);
};
