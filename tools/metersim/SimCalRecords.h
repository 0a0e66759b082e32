#pragma once
// The simulated meter's last calibration records: the pH record ("U.586"), the short turbidity
// record ("U.585") and the extended one ("U.587"), each the payload exactly as the meter sends it.
#include <QByteArray>
#include <QStringList>

class MeterSim;

class SimCalRecords {
public:
    // Registers the record commands on the simulator.
    explicit SimCalRecords(MeterSim &sim);

    QByteArray ph;
    QByteArray turbidity;
    QByteArray turbidityExtended;

    // A pH record with 0 to 3 points in the smallest reply that holds them (16, 18, 21 or 24 fields).
    static QByteArray phRecord(int points, int qualityCode = 3, int bufferSet = 1);
    // A short turbidity record (8 fields).
    static QByteArray shortTurbidityRecord();
    // An extended turbidity record with the mode text and the nominal values of its standards.
    static QByteArray extendedTurbidityRecord(const QString &mode, const QStringList &standards);

    // Sets a record by kind: "ph", "turb" or "turb-ext".
    bool set(const QString &kind, const QByteArray &payload, QString *error = nullptr);
    // Lines "ph=...", "turb=...", "turb-ext=..."; blank lines and lines starting with # are skipped.
    bool loadFile(const QString &path, QString *error = nullptr);
};
