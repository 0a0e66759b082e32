#include "DeviceWatcher.h"

#include <algorithm>

#include "FileWrites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>

#include <sys/inotify.h>
#include <unistd.h>

DeviceWatcher::DeviceWatcher(const QStringList &folders, const QStringList &pinned, QObject *parent)
    : QObject(parent)
{
    for (const QString &folder : folders)
        m_folders.append(QDir::cleanPath(QDir(folder).absolutePath()));
    for (const QString &path : pinned)
        m_pinned.append(QDir::cleanPath(QDir(path).absolutePath()));
}

DeviceWatcher::~DeviceWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DeviceWatcher::start(QString *error)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        *error = FileWrites::systemText(errno);
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatcher::readEvents);
    QSet<QString> folders(m_folders.cbegin(), m_folders.cend());
    for (const QString &path : m_pinned)
        folders.insert(QFileInfo(path).absolutePath());
    for (const QString &folder : folders)
        watchFolder(folder);
    return true;
}

QStringList DeviceWatcher::present() const
{
    QStringList list(m_present.cbegin(), m_present.cend());
    list.sort();
    return list;
}

void DeviceWatcher::watchFolder(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    const int wd = ::inotify_add_watch(m_fd, name.constData(),
                                       IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF |
                                           IN_ONLYDIR);
    if (wd >= 0) {
        m_watches.insert(wd, folder);
        // What is there already counts as appearing, once the caller listens.
        QTimer::singleShot(0, this, [this, folder] { scan(folder); });
        return;
    }
    // Not there (yet): its parent says when it comes.
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder && std::find(m_watches.cbegin(), m_watches.cend(), parent) == m_watches.cend())
        watchFolder(parent);
}

void DeviceWatcher::scan(const QString &folder)
{
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries)
        seen(entry.absoluteFilePath(), true);
}

bool DeviceWatcher::wanted(const QString &path) const
{
    return m_pinned.contains(path) || m_folders.contains(QFileInfo(path).absolutePath());
}

void DeviceWatcher::seen(const QString &path, bool exists)
{
    if (!wanted(path)) {
        // A folder waited for in a parent has come, or a folder on its way to one.
        if (!exists)
            return;
        QSet<QString> targets(m_folders.cbegin(), m_folders.cend());
        for (const QString &pinned : m_pinned)
            targets.insert(QFileInfo(pinned).absolutePath());
        const QList<QString> watched = m_watches.values();
        for (const QString &target : targets)
            if (!watched.contains(target) && (target == path || target.startsWith(path + QLatin1Char('/'))))
                watchFolder(target);
        return;
    }
    if (exists == m_present.contains(path))
        return;
    if (exists) {
        m_present.insert(path);
        emit appeared(path);
    } else {
        m_present.remove(path);
        emit disappeared(path);
    }
}

void DeviceWatcher::readEvents()
{
    alignas(inotify_event) std::array<char, 8192> buffer{};
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer.data(), buffer.size());
        if (got <= 0)
            return;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer.data() + at);
            at += ssize_t(sizeof(inotify_event)) + event->len;
            const QString folder = m_watches.value(event->wd);
            if (event->mask & (IN_DELETE_SELF | IN_IGNORED)) {
                // The folder went (the last adapter unplugged): its devices went with it, and it is
                // waited for again.
                m_watches.remove(event->wd);
                const QStringList gone = present();
                for (const QString &path : gone)
                    if (QFileInfo(path).absolutePath() == folder)
                        seen(path, false);
                if (!folder.isEmpty())
                    watchFolder(folder);
                continue;
            }
            if (folder.isEmpty() || event->len == 0)
                continue;
            const QString path = folder + QLatin1Char('/') + QFile::decodeName(event->name);
            seen(path, (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0);
        }
    }
}
