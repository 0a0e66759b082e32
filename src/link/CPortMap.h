#pragma once
// Maps the port numbers the user sees (COM 1 .. COM 256) to serial devices, and tells whether a
// port can be used now. MERAVO_PORTS (a ':'-separated device list, port n = n-th entry, empty entries
// leave gaps) pins the map; otherwise the system's serial devices in natural order (COMn on Windows).
#include "LinkResult.h"

#include <QList>
#include <QString>

class CPortMap {
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 256;

    // Takes a fresh look at the devices; the map stays as it is between refreshes.
    void refresh();

    // The device of port n, or "" when there is none.
    QString device(int portNum) const;

    // The device of port n exists and can be opened now. A device this user may not open, or that
    // another program holds, counts as existing: opening it then tells the user what to do.
    bool portExists(int portNum) const;

    // The ports that have a device, ascending (not checked for openability).
    QList<int> ports() const;

    // "COM 3 (/dev/ttyUSB0)": how a port is named where the user can see it.
    QString displayName(int portNum) const;

    // Why opening the device failed, in words the user can act on; portName is how the user knows the
    // port, systemText the platform's own description.
    static LinkResult classifyOpenFailure(const QString &device, const QString &portName,
                                          const QString &systemText);
    static QString describeOpenFailure(const QString &device, const QString &portName,
                                       const QString &systemText);

private:
    void ensureLoaded() const;
    mutable bool m_loaded = false;
    mutable QList<QString> m_devices; // index n-1 is port n
};
