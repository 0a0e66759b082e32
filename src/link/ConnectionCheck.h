#pragma once
// What stands between the program and the meter: each serial device with a verdict on whether this
// session may use it, the known services that grab USB serial adapters, and (when asked) the
// result of the meter search. The CLI's doctor and the desktop program's connection check both
// print this report.
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class CDevice;
class CCommunication;

namespace ConnectionCheck {

enum class Verdict { Usable, NoPermission, InUse, Vanished, NotSerial };

struct PortFacts {
    int port = 0;
    QString device;
    QString usbId; // "vvvv:pppp", empty for a device that is not on USB
    QString manufacturer;
    QString description;
    Verdict verdict = Verdict::Usable;
    QString group;             // owning group of a device this session may not open
    bool groupPending = false; // the user is listed in group, but this session does not have it yet
    QStringList holders;       // "pid name" of the other processes that have the device open
};

struct Grabber {
    QString name;
    QString fix; // the one command that removes it
};

enum class Probe { NotRun, Found, NotFound, FirmwareTooOld };

struct Report {
    QList<PortFacts> ports;
    QList<Grabber> grabbers;
    Probe probe = Probe::NotRun;
    int foundPort = 0;
    QString baud;
    QString meter;
};

// The verdict on one device path, as this session sees it now.
PortFacts examine(int port, const QString &device);

// Every port of the port map, and the grabbers found on this system.
Report collect();

// Runs the meter search as the meter commands do and notes what answered.
void probe(Report &report, CDevice &device, const CCommunication &communication, bool onlyKlaro7);

// 0 when the search recognised a meter; without a search, 0 when at least one port is usable.
int exitCode(const Report &report);

QString text(const Report &report);
QJsonObject json(const Report &report);

} // namespace ConnectionCheck
