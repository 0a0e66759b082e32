#include "CPortMap.h"

#include "TextTable.h"

#include <QCollator>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QList<QString> systemDevices()
{
    QList<QString> devices;
#ifdef Q_OS_WIN
    for (int n = CPortMap::kFirstPort; n <= CPortMap::kLastPort; ++n)
        devices.append(QStringLiteral("COM%1").arg(n));
#else
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        devices.append(info.systemLocation());
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(devices.begin(), devices.end(),
              [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
#endif
    return devices;
}

} // namespace

void CPortMap::refresh()
{
    m_devices.clear();
    const QByteArray pinned = qgetenv("MERAVO_PORTS");
    if (!pinned.isNull()) {
        const QStringList entries = QString::fromLocal8Bit(pinned).split(u':');
        for (const QString &entry : entries)
            m_devices.append(entry.trimmed());
    } else {
        m_devices = systemDevices();
    }
    if (m_devices.size() > kLastPort)
        m_devices.resize(kLastPort);
    m_loaded = true;
}

void CPortMap::ensureLoaded() const
{
    if (!m_loaded)
        const_cast<CPortMap *>(this)->refresh();
}

QString CPortMap::device(int portNum) const
{
    ensureLoaded();
    if (portNum < kFirstPort || portNum > m_devices.size())
        return QString();
    return m_devices.at(portNum - 1);
}

QList<int> CPortMap::ports() const
{
    ensureLoaded();
    QList<int> result;
    for (int n = 1; n <= m_devices.size(); ++n) {
        if (!m_devices.at(n - 1).isEmpty())
            result.append(n);
    }
    return result;
}

QString CPortMap::displayName(int portNum) const
{
    const QString dev = device(portNum);
    QString name = QStringLiteral("COM %1").arg(portNum);
#ifndef Q_OS_WIN
    if (!dev.isEmpty())
        name += QStringLiteral(" (%1)").arg(dev);
#endif
    return name;
}

bool CPortMap::portExists(int portNum) const
{
    const QString dev = device(portNum);
    if (dev.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(dev);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EACCES || errno == EPERM || errno == EBUSY;
#else
    QSerialPort probe(dev);
    if (probe.open(QIODevice::ReadWrite)) {
        probe.close();
        return true;
    }
    return false;
#endif
}

LinkResult CPortMap::classifyOpenFailure(const QString &device, const QString &portName,
                                         const QString &systemText)
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return {LinkFailure::Vanished, TextTable::text(TextTable::PortVanished).arg(portName)};
    if (::access(path.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
        QString message = TextTable::text(TextTable::PortNoPermission).arg(portName);
        if (const struct group *owner = ::getgrgid(info.st_gid)) {
            const struct passwd *user = ::getpwuid(::geteuid());
            const QString userName = user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
            message += QLatin1Char(' ') + TextTable::text(TextTable::PortJoinGroup)
                                              .arg(QString::fromLocal8Bit(owner->gr_name), userName);
        }
        return {LinkFailure::NoPermission, message};
    }
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int openErrno = errno;
    if (fd >= 0)
        ::close(fd);
    // Something else holds the device: another program's lock file or an exclusive open.
    if (openErrno == EBUSY || systemText.contains(QLatin1String("lock"), Qt::CaseInsensitive))
        return {LinkFailure::InUse, TextTable::text(TextTable::PortInUse).arg(portName)};
#endif
    return {LinkFailure::OpenFailed, TextTable::text(TextTable::PortOpenFailed).arg(portName, systemText)};
}

QString CPortMap::describeOpenFailure(const QString &device, const QString &portName,
                                      const QString &systemText)
{
    return classifyOpenFailure(device, portName, systemText).message;
}
