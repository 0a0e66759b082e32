#pragma once
// Turns a document's measured values (raw dataset text, meter, serial number, user, import time)
// into the text of a measured-value file and back.
#include "MeasuredValues.h"

#include <QString>

class CDevice;

class CMeasVal {
public:
    enum OpenStatus : qint16 {
        Opened = 0,
        RuntimeError = -1,
        FileMissing = -2,
        ReadFailed = -3,
        InvalidFormat = -4,
    };

    static const QString &fileHeader();        // line 1
    static const QString &headerKlaro();       // line 4 of Klaro 4 and Klaro 7 files
    static const QString &headerLumora();      // line 4 of every other meter's files
    static const QString &headerSevenFields(); // accepted on reading, never written

    explicit CMeasVal(const CDevice &device) : m_device(device) {}

    bool SaveFile(const MeasuredValues &values, const QString &strFileName);
    qint16 OpenFile(MeasuredValues &values, const QString &strFileName);

    // The workers, public for the fuzz harness and the benchmarks.
    bool BuildFileText(QString &strText, const MeasuredValues &values) const;
    // Takes the text (moved in, turned into the raw text in place so a large file is not copied).
    static bool ParseFileText(QString strText, MeasuredValues &values);

private:
    const CDevice &m_device;
};
