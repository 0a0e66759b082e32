#include "PgServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin");

QString quoted(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

} // namespace

PgServer &PgServer::shared()
{
    static PgServer server;
    return server;
}

PgServer::PgServer()
{
    for (const char *tool : {"initdb", "pg_ctl", "postgres", "psql"})
        if (!QFileInfo(kBin + QLatin1Char('/') + QLatin1String(tool)).isExecutable()) {
            m_skip = QStringLiteral("no PostgreSQL 15 (%1/%2 missing; scripts/setup.sh installs it)")
                         .arg(kBin, QLatin1String(tool));
            return;
        }
    // Short: a socket's path must stay under 108 bytes.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/meravo-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        m_skip = QStringLiteral("no temporary folder for the server");
        return;
    }
    m_asNobody = ::geteuid() == 0;
    if (m_asNobody) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody ||
            ::chown(QFile::encodeName(m_dir->path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_skip = QStringLiteral("cannot hand the server's folder to the account nobody");
            return;
        }
    }
    QString output;
    if (!runAs(kBin + QStringLiteral("/initdb"),
               {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-U"),
                QLatin1String(kSuperuser), QStringLiteral("-A"), QStringLiteral("trust"),
                QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                QStringLiteral("--no-sync")},
               &output)) {
        m_skip = QStringLiteral("initdb failed: ") + output.right(500);
        return;
    }
    if (!start()) {
        QFile log(m_dir->filePath(QStringLiteral("log")));
        m_skip = QStringLiteral("the test server did not start: ") +
                 (log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(500))
                                                : QStringLiteral("no log"));
        return;
    }
    // The administrator's steps of the README: the group role comes with the first schema, then a login.
    const QString first = createArchive();
    if (first.isEmpty() ||
        !sql(QStringLiteral("postgres"),
             QStringLiteral("CREATE ROLE %1 LOGIN IN ROLE meravo_user").arg(QLatin1String(kLogin)), &output))
        m_skip = QStringLiteral("the archive's schema did not load: ") + output;
}

PgServer::~PgServer()
{
    if (!m_running || !m_dir)
        return;
    // At the process's end, without an event loop: a plain shell command.
    const QString command = (m_asNobody ? QStringLiteral("runuser -u nobody -- ") : QString()) + kBin +
                            QStringLiteral("/pg_ctl -D %1 -m immediate -w stop >/dev/null 2>&1")
                                .arg(quoted(m_dir->filePath(QStringLiteral("data"))));
    [[maybe_unused]] const int ignored = std::system(command.toLocal8Bit().constData());
}

bool PgServer::runAs(const QString &program, const QStringList &arguments, QString *output) const
{
    QProcess process;
    if (m_asNobody) {
        process.setProgram(QStringLiteral("runuser"));
        process.setArguments(
            QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program} +
            arguments);
    } else {
        process.setProgram(program);
        process.setArguments(arguments);
    }
    process.setWorkingDirectory(m_dir->path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    const bool done = process.waitForFinished(120000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return done && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PgServer::control(const QStringList &arguments, QString *output) const
{
    return runAs(kBin + QStringLiteral("/pg_ctl"),
                 QStringList{QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data"))} + arguments,
                 output);
}

bool PgServer::start()
{
    // No TCP at all; the socket in the server's own folder.
    m_running = control({QStringLiteral("-w"), QStringLiteral("-l"), m_dir->filePath(QStringLiteral("log")),
                         QStringLiteral("-o"),
                         QStringLiteral("-c listen_addresses='' -k %1 -c fsync=off").arg(m_dir->path()),
                         QStringLiteral("start")});
    return m_running;
}

bool PgServer::stop()
{
    if (!control(
            {QStringLiteral("-w"), QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")}))
        return false;
    m_running = false;
    return true;
}

QString PgServer::createArchive()
{
    const QString name = QStringLiteral("archive%1").arg(++m_databases);
    QString output;
    if (!sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + name, &output))
        return QString();
    QProcess psql;
    psql.start(kBin + QStringLiteral("/psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), m_dir->path(), QStringLiteral("-U"),
                QLatin1String(kSuperuser), QStringLiteral("-d"), name, QStringLiteral("-f"),
                QStringLiteral(MERAVO_ARCHIVE_SCHEMA)});
    if (!psql.waitForFinished(60000) || psql.exitCode() != 0)
        return QString();
    return name;
}

QString PgServer::location(const QString &database, const QString &role) const
{
    return QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(database, m_dir->path(), role);
}

bool PgServer::sql(const QString &database, const QString &statements, QString *output,
                   const QString &role) const
{
    QProcess psql;
    psql.setProcessChannelMode(QProcess::MergedChannels);
    psql.start(kBin + QStringLiteral("/psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), m_dir->path(),
                QStringLiteral("-U"), role, QStringLiteral("-d"), database, QStringLiteral("-c"),
                statements});
    const bool done = psql.waitForFinished(60000);
    if (output)
        *output = QString::fromLocal8Bit(psql.readAll()).trimmed();
    return done && psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0;
}
