#pragma once
// A control sample: which archived datasets are its values, what kind of chart they make, where its
// limits come from and which tests judge it. Kept in the archive as JSON, so every PC of a lab reads
// the same definition; a change is a new version, never an edit.
#include "ArchiveFilter.h"
#include "QcRules.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

struct QcDefinition {
    enum Kind {
        Standard, // individual values of a standard or a spiked standard
        Blank,
        Recovery, // value / spiked amount, in %
        Range,    // |a - b| of duplicate pairs, consecutive values taken two by two
    };

    QString name;
    QString meter;     // serial number; empty: every meter
    QString program;   // exact; empty: every program
    int value = 1;     // Value 1 or Value 2
    QString idPattern; // part of the sample ID, or a pattern with * and ?
    QString code;      // the code column's value, exact ("AQA", "BV")
    Kind kind = Standard;
    double spiked = 0; // recovery: the amount added
    QString unit;      // empty: the unit of the first value
    int prePeriod = 20;
    bool fromTarget = false; // limits from a target value and its s instead of a pre-period
    double target = 0;
    double targetS = 0;
    int revisionAfter = 60; // values since the last limits after which a revision is due
    QcRules::Mask rules = QcRules::kAll;

    static constexpr int kMinPrePeriod = 2;

    QJsonObject toJson() const;
    static QcDefinition fromJson(const QJsonObject &json);
    // Empty when the definition can be kept; otherwise why not, for the user.
    QString problem() const;
    // What decides which values the chart holds and how it plots them: limits fixed for one
    // definition apply to a later version only while this stays the same.
    QJsonObject chartKey() const;
    // What the archive is asked for (a pattern's wildcards are matched afterwards).
    ArchiveFilter filter() const;
    bool idMatches(const QString &sampleId) const;

    static QString kindName(Kind kind); // "standard", "blank", "recovery", "range"
    static bool readKind(const QString &text, Kind *kind);
};

// One value limits were computed from, as it was when they were set.
struct QcBasisValue {
    qint64 datasetId = 0;
    qint64 pairId = 0; // range charts: the other dataset of the pair
    double value = 0;
    QString text;
};

// Limits kept as a fact of the chart. The first ones (prePeriod) come from the chart's first values
// and judge every value before the first revision, also values archived later with an earlier date;
// a revision judges the values after the one named by afterOrder/afterId. Earlier values keep the
// limits they were judged by.
struct QcRevision {
    qint64 afterOrder = -1; // QcPoint::order and datasetId of the last value of the basis
    qint64 afterId = 0;
    double centre = 0;
    double s = 0;
    qint64 n = 0;
    QDateTime atUtc;
    QString login;
    bool prePeriod = false;
    QJsonObject chartKey; // pre-period: QcDefinition::chartKey of the definition they were set for
    QList<QcBasisValue> basis;

    QJsonObject toJson() const;
    static QcRevision fromJson(const QJsonObject &json);
};
