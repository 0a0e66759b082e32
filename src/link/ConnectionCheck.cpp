#include "ConnectionCheck.h"

#include "CCommunication.h"
#include "CDevice.h"
#include "CommLog.h"
#include "CPortMap.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
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

#include <vector>

namespace ConnectionCheck {

namespace {

#ifdef Q_OS_UNIX
// Whether the user is listed in the group, and whether this session already has it: a user added
// to a group gets it only with the next login.
void groupMembership(gid_t gid, bool *listed, bool *active)
{
    *active = ::getegid() == gid;
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(count));
        const int got = ::getgroups(count, groups.data());
        for (int i = 0; i < got; ++i)
            *active = *active || groups[static_cast<size_t>(i)] == gid;
    }
    *listed = false;
    const struct passwd *user = ::getpwuid(::geteuid());
    if (!user)
        return;
    int n = 64;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &n) < 0) {
        groups.resize(static_cast<size_t>(n));
        if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &n) < 0)
            return;
    }
    for (int i = 0; i < n; ++i)
        *listed = *listed || groups[static_cast<size_t>(i)] == gid;
}
#endif

// Other processes with the device open, as /proc shows them (only those of this user for a
// normal user).
QStringList holdersOf(const QString &device)
{
    QStringList holders;
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return holders;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric || pid == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : entries) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == target) {
                QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
                QString name;
                if (comm.open(QIODevice::ReadOnly))
                    name = QString::fromLocal8Bit(comm.readAll()).trimmed();
                holders.append(pid + QLatin1Char(' ') + name);
                break;
            }
        }
    }
    return holders;
}

bool processRunning(const QString &name)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && QString::fromLocal8Bit(comm.readAll()).trimmed() == name)
            return true;
    }
    return false;
}

QString verdictKey(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Usable:
        return QStringLiteral("usable");
    case Verdict::NoPermission:
        return QStringLiteral("no-permission");
    case Verdict::InUse:
        return QStringLiteral("in-use");
    case Verdict::NotSerial:
        return QStringLiteral("not-serial");
    case Verdict::Vanished:
        break;
    }
    return QStringLiteral("vanished");
}

QString verdictText(const PortFacts &facts)
{
    switch (facts.verdict) {
    case Verdict::Usable:
        return TextTable::text(TextTable::CheckUsable);
    case Verdict::NotSerial:
        return TextTable::text(TextTable::CheckNotSerial);
    case Verdict::NoPermission: {
        if (facts.group.isEmpty())
            return TextTable::text(TextTable::CheckNoPermission);
        if (facts.groupPending)
            return TextTable::text(TextTable::CheckGroupPending).arg(facts.group);
        const QString user = qEnvironmentVariable("USER", QStringLiteral("$USER"));
        return TextTable::text(TextTable::CheckJoinGroup).arg(facts.group, user);
    }
    case Verdict::InUse:
        if (facts.holders.isEmpty())
            return TextTable::text(TextTable::CheckInUse);
        return TextTable::text(TextTable::CheckInUseBy).arg(facts.holders.join(QStringLiteral(", ")));
    case Verdict::Vanished:
        break;
    }
    return TextTable::text(TextTable::CheckVanished);
}

QString probeKey(Probe probe)
{
    switch (probe) {
    case Probe::NotRun:
        return QStringLiteral("not-run");
    case Probe::Found:
        return QStringLiteral("found");
    case Probe::NotFound:
        return QStringLiteral("not-found");
    case Probe::FirmwareTooOld:
        break;
    }
    return QStringLiteral("firmware-too-old");
}

QString logFolder()
{
    return CommLog::defaultFolder();
}

} // namespace

PortFacts examine(int port, const QString &device)
{
    PortFacts facts;
    facts.port = port;
    facts.device = device;
    const QSerialPortInfo info(device);
    if (info.hasVendorIdentifier() && info.hasProductIdentifier())
        facts.usbId = QStringLiteral("%1:%2")
                          .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                          .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
    facts.manufacturer = info.manufacturer();
    facts.description = info.description();
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    struct stat status {};
    if (device.isEmpty() || ::stat(path.constData(), &status) != 0) {
        facts.verdict = Verdict::Vanished;
        return facts;
    }
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int openErrno = errno;
    // /dev/null or a file opens as well, but only a terminal device can be a serial line.
    const bool terminal = fd >= 0 && ::isatty(fd);
    if (fd >= 0)
        ::close(fd);
    if (fd >= 0 && !terminal) {
        facts.verdict = Verdict::NotSerial;
        return facts;
    }
    if (fd < 0 && (openErrno == EACCES || openErrno == EPERM)) {
        facts.verdict = Verdict::NoPermission;
        if (const struct group *owner = ::getgrgid(status.st_gid)) {
            facts.group = QString::fromLocal8Bit(owner->gr_name);
            bool listed = false;
            bool active = false;
            groupMembership(status.st_gid, &listed, &active);
            facts.groupPending = listed && !active;
        }
        return facts;
    }
    if (fd < 0 && openErrno == ENOENT) {
        facts.verdict = Verdict::Vanished;
        return facts;
    }
    // An exclusive open (EBUSY) or the lock file of another Qt program; root passes the exclusive
    // open, so the lock file is what tells.
    bool busy = fd < 0 && openErrno == EBUSY;
    if (!busy) {
        QSerialPort trial(device);
        busy = !trial.open(QIODevice::ReadWrite) && trial.error() == QSerialPort::PermissionError;
    }
    if (busy) {
        facts.verdict = Verdict::InUse;
        facts.holders = holdersOf(device);
    }
#else
    QSerialPort trial(device);
    if (!trial.open(QIODevice::ReadWrite)) {
        if (trial.error() == QSerialPort::DeviceNotFoundError)
            facts.verdict = Verdict::Vanished;
        else
            facts.verdict = Verdict::InUse;
    }
#endif
    return facts;
}

Report collect()
{
    Report report;
    CPortMap map;
    map.refresh();
    for (int n : map.ports())
        report.ports.append(examine(n, map.device(n)));
#ifdef Q_OS_LINUX
    if (processRunning(QStringLiteral("ModemManager")))
        report.grabbers.append(
            {QStringLiteral("ModemManager"), QStringLiteral("sudo systemctl disable --now ModemManager")});
    const QStringList rules =
        QDir(QStringLiteral("/usr/lib/udev/rules.d")).entryList({QStringLiteral("*brltty*")}, QDir::Files);
    if (!rules.isEmpty())
        report.grabbers.append({QStringLiteral("brltty"), QStringLiteral("sudo apt remove brltty")});
#endif
    return report;
}

void probe(Report &report, CDevice &device, const CCommunication &communication, bool onlyKlaro7)
{
    QString name;
    QString serial;
    const qint16 result = device.Recognise(name, serial, onlyKlaro7);
    report.foundPort = communication.COMPort();
    report.baud = communication.Baudrate();
    report.meter = name;
    if (result == CDevice::Recognised) {
        report.probe = Probe::Found;
    } else if (result == CDevice::FirmwareTooOld) {
        report.probe = Probe::FirmwareTooOld;
    } else {
        report.probe = Probe::NotFound;
        report.foundPort = 0;
        report.baud.clear();
    }
}

int exitCode(const Report &report)
{
    if (report.probe != Probe::NotRun)
        return report.probe == Probe::Found ? 0 : 1;
    for (const PortFacts &facts : report.ports) {
        if (facts.verdict == Verdict::Usable)
            return 0;
    }
    return 1;
}

QString text(const Report &report)
{
    QStringList lines;
    lines << TextTable::text(TextTable::CheckPortsHeading);
    if (report.ports.isEmpty())
        lines << QStringLiteral("  ") + TextTable::text(TextTable::CheckNoPorts);
    for (const PortFacts &facts : report.ports) {
        QStringList parts{QStringLiteral("COM %1").arg(facts.port), facts.device};
        for (const QString &detail : {facts.usbId, facts.manufacturer, facts.description}) {
            if (!detail.isEmpty())
                parts << detail;
        }
        lines << QStringLiteral("  ") + parts.join(QStringLiteral("  ")) + QStringLiteral(": ") +
                     verdictText(facts);
    }
    lines << TextTable::text(TextTable::CheckGrabbersHeading);
    if (report.grabbers.isEmpty())
        lines << QStringLiteral("  ") + TextTable::text(TextTable::CheckNoGrabbers);
    for (const Grabber &grabber : report.grabbers)
        lines << QStringLiteral("  ") +
                     TextTable::text(TextTable::CheckGrabber).arg(grabber.name, grabber.fix);
    lines << TextTable::text(TextTable::CheckSearchHeading);
    switch (report.probe) {
    case Probe::NotRun:
        lines << QStringLiteral("  ") + TextTable::text(TextTable::CheckSearchNotRun);
        break;
    case Probe::Found:
        lines << QStringLiteral("  ") + TextTable::text(TextTable::CheckMeterFound)
                                            .arg(report.meter)
                                            .arg(report.foundPort)
                                            .arg(report.baud);
        break;
    case Probe::FirmwareTooOld:
        lines << QStringLiteral("  ") +
                     TextTable::text(TextTable::CheckFirmwareTooOld).arg(report.foundPort).arg(report.baud);
        break;
    case Probe::NotFound:
        lines << QStringLiteral("  ") + TextTable::text(TextTable::CheckNoAnswer);
        break;
    }
    lines << TextTable::text(TextTable::CheckLogFolder).arg(logFolder());
    return lines.join(u'\n');
}

QJsonObject json(const Report &report)
{
    QJsonArray ports;
    for (const PortFacts &facts : report.ports) {
        QJsonObject port{{QStringLiteral("com"), facts.port},
                         {QStringLiteral("device"), facts.device},
                         {QStringLiteral("usb"), facts.usbId},
                         {QStringLiteral("manufacturer"), facts.manufacturer},
                         {QStringLiteral("description"), facts.description},
                         {QStringLiteral("verdict"), verdictKey(facts.verdict)},
                         {QStringLiteral("group"), facts.group},
                         {QStringLiteral("groupPending"), facts.groupPending},
                         {QStringLiteral("holders"), QJsonArray::fromStringList(facts.holders)}};
        ports.append(port);
    }
    QJsonArray grabbers;
    for (const Grabber &grabber : report.grabbers)
        grabbers.append(
            QJsonObject{{QStringLiteral("name"), grabber.name}, {QStringLiteral("fix"), grabber.fix}});
    const QJsonObject search{{QStringLiteral("result"), probeKey(report.probe)},
                             {QStringLiteral("com"), report.foundPort},
                             {QStringLiteral("baud"), report.baud},
                             {QStringLiteral("meter"), report.meter}};
    return QJsonObject{{QStringLiteral("ports"), ports},
                       {QStringLiteral("grabbers"), grabbers},
                       {QStringLiteral("search"), search},
                       {QStringLiteral("logFolder"), logFolder()}};
}

} // namespace ConnectionCheck
