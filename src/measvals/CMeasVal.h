#pragma once
// Turns a document's measured values (raw dataset text, meter, serial number, user, import time)
// into the text of a measured-value file and back.
#include "CCSVFile.h"
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
    // How the last SaveFile or OpenFile ended, with the words for the user where the file itself
    // failed (the caller tells them, before its own message); none for a missing or unreadable file
    // of the wrong format, which the caller words itself.
    const FileResult &lastResult() const { return m_last; }

    // The workers, public for the fuzz harness and the benchmarks. BuildFileText reports a refusal to
    // the error handler; BuildText leaves it to the caller.
    bool BuildFileText(QString &strText, const MeasuredValues &values) const;
    FileResult BuildText(QString &strText, const MeasuredValues &values) const;
    // Takes the text (moved in, turned into the raw text in place so a large file is not copied).
    static bool ParseFileText(QString strText, MeasuredValues &values);

private:
    const CDevice &m_device;
    FileResult m_last;
};
