#pragma once
// One user-defined program with named fields, and the one place that knows the order of its fields on
// the meter's line and in program files. Every value is kept as text, as entered or received.
#include <QString>
#include <QStringList>

#include <array>

struct ProgramRecord {
    static constexpr int kPairs = 10;

    // An empty slot of the meter table has NO "0" and every other field empty.
    QString NO = QStringLiteral("0");
    QString MODEL, CUV, LAMBDA, MRB, MRE, E0, SLOPE, RES, FORM, UNIT;
    // Known on the PC side only (editor and files); the meter neither receives nor returns them.
    QString USER;
    std::array<QString, kPairs> valX; // concentrations of the calibration points, empty when unused
    std::array<QString, kPairs> valY; // their absorbances
    QString BLANKREQ, CALPSB, CALREQ; // "1" or "0"

    bool operator==(const ProgramRecord &) const = default;

    // The values the meter stores, in the order of its store command: NO to UNIT, then the three flags.
    QStringList toMeter() const;
    // The keys of those values, as files and messages name them.
    static QStringList meterKeys();
    // From values in that order (missing ones empty); the PC-side fields stay empty.
    static ProgramRecord fromMeter(const QStringList &values);

    // The values of a program file's second line: NO to UNIT, USER, then the three flags.
    QStringList toFile() const;
    // From a second line of 15 values, or of 12 (files without flags, which read as "0"); false for any
    // other count, leaving the record as it was. The pairs are not touched.
    bool setFromFile(const QStringList &values);

    // Every text of the program, for checks that hold for each of them.
    QStringList texts() const;
};
