#pragma once
// The meter's command texts, in one place. A command goes on the line as its text followed by CR LF
// (Protocol::line); commands ending in "," take their arguments joined by ",".
#include "LineEnd.h"

#include <QString>

namespace Protocol {

inline const QString &LineEnd = kCrLf;

// Identification and framing.
inline const QString Attention = QStringLiteral("U.400"); // opens every exchange; its answer is not used
inline const QString FirmwareVersion = QStringLiteral("U.597");
inline const QString DeviceName = QStringLiteral("U.595");
inline const QString SerialNumber = QStringLiteral("U.596");
inline const QString Variant = QStringLiteral("U.592"); // asked from firmware 2.00 on
inline const QString EndTransfer = QStringLiteral("U.999");

// Measured values.
inline const QString ReadDatasets = QStringLiteral("U.581");

// User-defined programs.
inline const QString ListPrograms = QStringLiteral("U.512");
inline const QString ReadProgram = QStringLiteral("U.513#1,");
inline const QString StoreProgram = QStringLiteral("U.500#14,");
inline const QString ModifyProgram = QStringLiteral("U.502#14,");
inline const QString DeleteProgram = QStringLiteral("U.521#1,");
inline const QString DeleteAllPrograms = QStringLiteral("U.520");

// Calibration records.
inline const QString ReadTurbidityRecord = QStringLiteral("U.585");
inline const QString ReadPHRecord = QStringLiteral("U.586");
inline const QString ReadTurbidityRecordExtended = QStringLiteral("U.587");

// The command as it goes on the line.
inline QString line(const QString &command)
{
    return command + LineEnd;
}

} // namespace Protocol
