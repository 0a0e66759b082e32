#pragma once
// A PostgreSQL 15 server of the test executable's own: a cluster in a temporary folder, reached on a
// Unix socket only (no TCP port that another run could hold), run by an unprivileged account when the
// tests run as root (initdb refuses root). Started at the first use, stopped and removed at the end.
#include <QString>
#include <QTemporaryDir>

#include <memory>

class PgServer {
public:
    // The program's login: a member of the archive's group role, as the administrator makes one.
    static constexpr const char *kLogin = "lab_pc1";
    static constexpr const char *kSuperuser = "postgres";

    // The executable's server, started at the first call.
    static PgServer &shared();
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    // Empty when the server runs; otherwise why not (for QSKIP).
    QString skipReason() const { return m_skip; }

    // A new, empty database with the archive's schema script loaded; its name.
    QString createArchive();
    // The location the program is given for a database, logging in as role.
    QString location(const QString &database, const QString &role = QLatin1String(kLogin)) const;
    // Runs SQL through psql in the database; false with psql's error text in *output.
    bool sql(const QString &database, const QString &statements, QString *output = nullptr,
             const QString &role = QLatin1String(kSuperuser)) const;

    // The server going away and coming back (faults).
    bool stop();
    bool start();

private:
    PgServer();
    bool control(const QStringList &arguments, QString *output = nullptr) const;
    bool runAs(const QString &program, const QStringList &arguments, QString *output) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_skip;
    bool m_running = false;
    bool m_asNobody = false;
    int m_databases = 0;
};
