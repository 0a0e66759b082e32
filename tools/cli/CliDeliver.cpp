// meravo-cli deliver and watch: the datasets reach the lab's systems without a person at the program.
#include "Archive.h"
#include "CliCommands.h"
#include "CLogin.h"
#include "Delivery.h"
#include "DeviceWatcher.h"
#include "EndingSignals.h"
#include "ExportProfile.h"
#include "Worklist.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

namespace Cli {
namespace {

enum Exit {
    kDone = 0,
    kBadInput = 2,
    kArchiveFailed = 4,
    kWaiting = 5,
};

const char *const kDeliverHelp =
    "meravo-cli deliver [--profile NAME] [--again FROM-TO] [--to FOLDER] [--user NAME]\n\n"
    "Writes the archived datasets not yet delivered to a profile into its drop folder, one file per "
    "meter, under a temporary name that is renamed when the file is complete; the delivery is recorded "
    "per dataset and profile, with the file's path and SHA-256 in the trail, so each dataset reaches "
    "each profile once. Profiles: ~/.config/Meravo/profiles/*.ini and /etc/meravo/profiles/*.ini.\n"
    "Without --profile, every profile that names a Folder.\n"
    "  --again FROM-TO  the datasets FROM to TO (archive dataset numbers, as archive query shows them)\n"
    "                   once more, on purpose, recorded as a repeat\n"
    "  --to FOLDER      this folder instead of the profile's\n\n"
    "Each run first finishes a delivery an earlier run left unfinished (a crash, a failed commit): the\n"
    "file it began is placed or recognised as taken, never written twice.\n"
    "One line per file: delivered TAB PROFILE TAB DATASETS TAB PATH, DATASETS the file's own count.\n"
    "Exit codes: 0 done (also when nothing was pending); 2 a profile is refused or unknown (also when\n"
    "no --profile is given), a refused drop folder, or a bad range; 4 the archive is unavailable; 5\n"
    "datasets stay pending: a folder could not take a file, or a dataset is held back because the\n"
    "profile's encoding cannot write its text unaltered; 64 a command line that cannot be understood.";

const char *const kWatchHelp =
    "meravo-cli watch [--device-folder DIR]... [--device PATH]... [--interval MINUTES]\n"
    "                 [--worklist FILE] [--user NAME]\n\n"
    "Runs until stopped (Ctrl-C, SIGTERM): a stop ends a meter read under way at once (nothing of it is "
    "archived, its line says 6), lets an import already being archived be archived and delivered whole, "
    "and exits. When a serial device appears in /dev/serial/by-id (or a "
    "--device-folder) or as a --device path, it is searched for a meter; a meter's datasets are "
    "imported into the archive and delivered to the profiles, as archive import does. The meter is "
    "never erased. A meter that stays connected is imported again only after it went and came back, "
    "or every --interval minutes (0: never, the default).\n"
    "One line per event on stdout: UTC-TIME TAB EVENT TAB DEVICE [TAB DETAIL], EVENT one of appeared,\n"
    "imported (DETAIL: exit code of the import, 0 done), gone. Notices of the imports go to stderr and\n"
    "the communication log.\n"
    "Exit codes: 0 stopped; 2 the devices cannot be watched; 64 a command line that cannot be understood.";

void printEvent(const QString &event, const QString &device, const QString &detail = QString())
{
    QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char('\t') + event +
                   QLatin1Char('\t') + device;
    if (!detail.isEmpty())
        line += QLatin1Char('\t') + detail;
    printLine(line);
    // A reader of the pipe (systemd's journal, a script) gets each event as it happens.
    std::fflush(stdout);
}

bool findProfile(const QString &name, QList<ExportProfile> *profiles)
{
    QStringList errors;
    const QList<ExportProfile> all = ExportProfile::loadAll(&errors);
    for (const QString &error : errors)
        printError(error);
    profiles->clear();
    for (const ExportProfile &profile : all)
        if (name.isEmpty() ? !profile.folder.isEmpty() : profile.name == name)
            profiles->append(profile);
    if (!name.isEmpty() && profiles->isEmpty()) {
        printError(QStringLiteral("meravo-cli deliver: no profile %1").arg(name));
        return false;
    }
    // A refused profile is a failure a timer must see, whether or not it was the one asked for.
    return errors.isEmpty();
}

// Imports each meter that appears, and again every interval while it stays connected.
class MeterWatch {
public:
    MeterWatch(DeviceWatcher &watcher, const QString &user, const QString &worklist, bool hasWorklist,
               int minutes)
        : m_watcher(watcher), m_user(user), m_worklist(worklist), m_hasWorklist(hasWorklist),
          m_minutes(minutes)
    {
    }

    // Deliveries that waited for a folder go at the start, as in the desktop program.
    void deliverWaiting()
    {
        Session session;
        session.shared.login->setUserName(m_user);
        if (session.shared.archive->enabled())
            for (const QString &line :
                 Delivery::deliverToAll(*session.shared.archive, session.shared.login->UserName(), &m_told))
                printError(line);
    }

    void importFrom(const QString &path)
    {
        // Stopping: no new import starts.
        if (EndingSignals::stopRequested())
            return;
        // The meter on this device only: it is port 1 while the import runs.
        const QByteArray previous = qgetenv("MERAVO_PORTS");
        const bool hadPrevious = qEnvironmentVariableIsSet("MERAVO_PORTS");
        qputenv("MERAVO_PORTS", QFile::encodeName(path));
        int code = 0;
        {
            Session session;
            session.shared.deliveryTold = m_told;
            session.shared.login->setUserName(m_user);
            if (!m_hasWorklist || loadWorklist(session.shared, m_worklist))
                code = importMeter(session, QString());
            m_told = session.shared.deliveryTold;
        }
        if (hadPrevious)
            qputenv("MERAVO_PORTS", previous);
        else
            qunsetenv("MERAVO_PORTS");
        printEvent(QStringLiteral("imported"), path, QString::number(code));
    }

    void appeared(const QString &path)
    {
        printEvent(QStringLiteral("appeared"), path);
        importFrom(path);
        if (m_minutes > 0 && !EndingSignals::stopRequested()) {
            auto *timer = new QTimer(&m_watcher);
            timer->setInterval(m_minutes * 60000);
            QObject::connect(timer, &QTimer::timeout, timer, [this, path] { importFrom(path); });
            timer->start();
            m_repeats.insert(path, timer);
        }
    }

    void gone(const QString &path)
    {
        delete m_repeats.take(path);
        printEvent(QStringLiteral("gone"), path);
    }

private:
    DeviceWatcher &m_watcher;
    const QString m_user;
    const QString m_worklist;
    const bool m_hasWorklist;
    const int m_minutes;
    QSet<QString> m_told;
    QHash<QString, QTimer *> m_repeats;
};

// SIGINT and SIGTERM (systemd's stop) end the loop. An import under way sees the same request: its meter
// read ends at once, an archiving under way ends whole. Its own loop, not the application's: quitting
// the application would make every wait inside the import return at once and spin.
int runUntilStopped()
{
    if (EndingSignals::stopRequested())
        return kDone;
    QEventLoop loop;
    QSocketNotifier stop(EndingSignals::stopDescriptor(), QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &loop, [&loop, &stop] {
        // The request stays readable: once is enough.
        stop.setEnabled(false);
        loop.quit();
    });
    loop.exec();
    return kDone;
}

} // namespace

int deliver(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption profileOption(QStringLiteral("profile"), QStringLiteral("Only this profile."),
                                           QStringLiteral("NAME"));
    const QCommandLineOption again(QStringLiteral("again"),
                                   QStringLiteral("Deliver datasets FROM-TO once more."),
                                   QStringLiteral("FROM-TO"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Into this folder."),
                                QStringLiteral("FOLDER"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login name (default ---)."),
                                  QStringLiteral("NAME"));
    parser.addOptions({profileOption, again, to, user});
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kDeliverHelp), 0, 0, &exitCode))
        return exitCode;
    qint64 from = 0;
    qint64 until = 0;
    if (parser.isSet(again)) {
        const QStringList range = parser.value(again).split(QLatin1Char('-'));
        bool okFrom = false;
        bool okTo = false;
        if (range.size() == 2) {
            from = range.at(0).toLongLong(&okFrom);
            until = range.at(1).toLongLong(&okTo);
        }
        if (!okFrom || !okTo || from < 1 || until < from) {
            printError(QStringLiteral("meravo-cli deliver: --again takes FROM-TO, as 12-40"));
            return kBadInput;
        }
    }
    QList<ExportProfile> profiles;
    const bool allGood = findProfile(parser.value(profileOption), &profiles);
    if (profiles.isEmpty())
        return allGood ? kDone : kBadInput;
    Session session;
    session.shared.login->setUserName(parser.value(user));
    const QString login = session.shared.login->UserName();
    // A folder on the command line is the user's own, relative to where they are.
    const QString folder = parser.isSet(to) ? QFileInfo(parser.value(to)).absoluteFilePath() : QString();
    int exit = allGood ? kDone : kBadInput;
    for (const ExportProfile &profile : profiles) {
        const DeliveryOutcome outcome =
            from > 0 ? Delivery::deliverAgain(*session.shared.archive, profile, from, until, login, folder)
                     : Delivery::deliverPending(*session.shared.archive, profile, login, folder);
        for (qsizetype i = 0; i < outcome.files.size(); ++i)
            printLine(QStringLiteral("delivered\t%1\t%2\t%3")
                          .arg(profile.name)
                          .arg(outcome.counts.value(i))
                          .arg(outcome.files.at(i)));
        for (const QString &held : outcome.held)
            printError(held);
        if (!outcome.held.isEmpty())
            exit = qMax(exit, int(kWaiting));
        if (!outcome.result) {
            printError(outcome.result.message);
            exit = qMax(exit, int(outcome.refused ? kBadInput : outcome.waiting ? kWaiting : kArchiveFailed));
        }
    }
    return exit;
}

int watch(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption folders(
        QStringLiteral("device-folder"),
        QStringLiteral("Watch this folder's entries (default /dev/serial/by-id)."), QStringLiteral("DIR"));
    const QCommandLineOption devices(QStringLiteral("device"), QStringLiteral("Watch this device path."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Import a meter that stays connected every MINUTES."),
                                      QStringLiteral("MINUTES"), QStringLiteral("0"));
    const QCommandLineOption worklist(QStringLiteral("worklist"),
                                      QStringLiteral("Sample IDs for the imports."), QStringLiteral("FILE"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login name (default ---)."),
                                  QStringLiteral("NAME"));
    parser.addOptions({folders, devices, interval, worklist, user});
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kWatchHelp), 0, 0, &exitCode))
        return exitCode;
    bool ok = false;
    const int minutes = parser.value(interval).toInt(&ok);
    if (!ok || minutes < 0) {
        printError(QStringLiteral("meravo-cli watch: --interval takes whole minutes"));
        return kUsageError;
    }
    // From here to the end a stop is asked, not obeyed at once: also during the deliveries at the start.
    const EndingSignals::StopCatcher stops;
    if (EndingSignals::stopDescriptor() < 0) {
        printError(QStringLiteral("meravo-cli watch: the stop signals cannot be caught"));
        return kBadInput;
    }
    QStringList watchedFolders = parser.values(folders);
    if (watchedFolders.isEmpty() && parser.values(devices).isEmpty())
        watchedFolders.append(QStringLiteral("/dev/serial/by-id"));
    if (parser.isSet(worklist)) {
        Worklist probe;
        QString error;
        if (!probe.read(parser.value(worklist), &error)) {
            printError(error);
            return kBadInput;
        }
    }
    DeviceWatcher watcher(watchedFolders, parser.values(devices));
    QString error;
    if (!watcher.start(&error)) {
        printError(QStringLiteral("meravo-cli watch: %1").arg(error));
        return kBadInput;
    }
    MeterWatch meterWatch(watcher, parser.value(user), parser.value(worklist), parser.isSet(worklist),
                          minutes);
    meterWatch.deliverWaiting();
    // The watcher lives as long as this function's loop: the lambdas' captures outlive every call.
    QObject::connect(&watcher, &DeviceWatcher::appeared, &watcher,
                     [&meterWatch](const QString &path) { meterWatch.appeared(path); });
    QObject::connect(&watcher, &DeviceWatcher::disappeared, &watcher,
                     [&meterWatch](const QString &path) { meterWatch.gone(path); });
    return runUntilStopped();
}

} // namespace Cli
