#pragma once
// One connection to an archive database, SQLite file or PostgreSQL server, and what tells them
// apart: opening, the schema and its version, transactions, and failures named so the user learns
// what to check instead of reading a driver's text alone.
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

class QSqlQuery;
struct sqlite3;

#include <locale.h>

// While it lives, this thread reads the database drivers' messages untranslated: libpq tells a failed
// or lost connection only in words, and those words, not the user's language, tell a server that is
// away (the import waits on this PC) from other failures.
class UntranslatedDriverMessages {
public:
    UntranslatedDriverMessages();
    ~UntranslatedDriverMessages();
    UntranslatedDriverMessages(const UntranslatedDriverMessages &) = delete;
    UntranslatedDriverMessages &operator=(const UntranslatedDriverMessages &) = delete;

private:
    locale_t m_messages = nullptr;
    locale_t m_previous = nullptr;
};

class ArchiveDatabase {
public:
    enum Engine { SQLite, PostgreSQL };

    struct Result {
        enum Failure {
            None,
            Unreachable, // server not answering (the import may wait on this PC)
            LoginRefused,
            Certificate,
            NoRights,
            NoSchema,
            NewerSchema,
            Damaged, // no database, not an archive, or a broken file: never written
            NetworkFileSystem,
            CannotWrite, // folder or file not writable, or not creatable
            DiskFull,
            Busy,
            Cancelled,  // by the user: the archive is as it was before
            BadFilter,  // a filter that cannot run (too long, dates reversed): nothing was asked
            NotWritten, // an output file (a backup) refused or not written; the archive untouched
            Other,
        };
        Failure failure = None;
        QString message; // for the user: what happened and what to check
        explicit operator bool() const { return failure == None; }
    };

    static constexpr int kSchemaVersion = 6;

    // shared: an SQLite file of the administrator's set-up for several accounts (a group's file),
    // otherwise one account's own.
    explicit ArchiveDatabase(const QString &location, bool shared = false);
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase &) = delete;
    ArchiveDatabase &operator=(const ArchiveDatabase &) = delete;

    // Connects; an SQLite archive that does not exist yet is created with the schema, an older one
    // is migrated forward in one transaction.
    Result open();
    bool isOpen() const { return m_open; }
    Engine engine() const { return m_engine; }
    // The location for people: a path, or server/database without any credential.
    QString displayName() const { return m_display; }
    QString location() const { return m_location; }
    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }

    // A write transaction: on SQLite it takes the write lock at once (waiting for another writer up
    // to the busy time-out) so two importers never deadlock on an upgrade.
    Result begin();
    Result commit();
    void rollback();

    // The SQLite connection under Qt's (null on a server): the paths that read or write many rows
    // go past Qt's per-value wrapping.
    sqlite3 *sqliteHandle() const;
    // SQLite's last error on that connection, told apart for the user like Qt's.
    Result sqliteFailure() const;

    // A failure of a statement, told apart for the user.
    Result failure(const QSqlError &error) const;

    // Bytes the archive takes on disk (SQLite: file and its write-ahead log; server: the database).
    qint64 sizeOnDisk() const;

private:
    Result openSQLite();
    Result openServer();
    // The server location's settings as libpq reads them (key, value), after refusing a password in
    // any spelling; false with the failure.
    Result serverSettings(QList<QPair<QString, QString>> *settings) const;
    // The server's connection did not open: away, or there and refusing this login.
    Result serverOpenFailure(const QSqlDatabase &db, bool timeout);
    Result checkSchema(bool mayCreate);
    Result createSchema();
    // Within an open transaction: the steps from version `from` on, the version written with
    // versionStatement, the commit; any failure rolls all of it back.
    Result stepsForward(QSqlQuery &q, int from, const char *versionStatement);
    // Rolls the open transaction back and names the failure.
    Result abandon(const QSqlError &error);
    // The server's connection is gone (told by libpq's state, not by its translated text).
    bool connectionLost() const;

    QString m_location;
    QString m_display;
    QString m_connection;
    Engine m_engine;
    bool m_shared = false;
    bool m_open = false;
};
