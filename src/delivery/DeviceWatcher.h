#pragma once
// Tells when a serial device appears or goes: the links in folders such as /dev/serial/by-id and the
// pinned device paths, watched through the kernel's file notifications from the event loop, so that
// waiting for a meter costs no CPU. A folder that does not exist yet (by-id appears with the first
// adapter) is waited for in its parent.
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

class QSocketNotifier;

class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    // folders: every entry in them is a device; pinned: single device paths.
    DeviceWatcher(const QStringList &folders, const QStringList &pinned, QObject *parent = nullptr);
    ~DeviceWatcher() override;
    DeviceWatcher(const DeviceWatcher &) = delete;
    DeviceWatcher &operator=(const DeviceWatcher &) = delete;

    // Starts watching; the devices present now are reported as appearing (from the event loop). false
    // with the system's reason.
    bool start(QString *error);
    QStringList present() const;

signals:
    void appeared(const QString &path);
    void disappeared(const QString &path);

private:
    void readEvents();
    void watchFolder(const QString &folder);
    void scan(const QString &folder);
    bool wanted(const QString &path) const;
    void seen(const QString &path, bool exists);

    QStringList m_folders;
    QStringList m_pinned;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, QString> m_watches; // watch descriptor -> folder
    QSet<QString> m_present;
};
