#pragma once
// A control sample's chart: its values in time order, each with the limits it was judged by and the
// rules it broke. Built from archived rows alone, so the window, the report, the command line and the
// judgement at import read one and the same chart.
#include "Archive.h"
#include "QcDefinition.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

struct QcPoint {
    qint64 datasetId = 0;
    qint64 pairId = 0; // range charts: the other dataset of the pair
    QDate date;        // invalid when the dataset's date does not read
    QTime time;        // invalid when its time does not read
    qint64 order = -1; // the date and time in seconds: orders the values, with the dataset id
    QString serial;
    QString sampleId;
    QString program;
    qint64 number = -1; // the meter's dataset number; -1 when it does not read
    QString text;       // the value as the meter gave it, with its unit
    QString digits;     // the value as the meter gave it (a range or recovery: with its digits)
    QString unit;
    double value = 0;
    bool judged = false;
    QString excluded; // why a value is not judged (and not in the limits): shown, never hidden
    bool withdrawn = false;
    QStringList notes;
    bool inBasis = false; // one of the values the pre-period's limits came from
    int period = -1;      // index into QcChart::periods, -1 before the first limits
    double z = 0;
    QcRules::Mask flags = 0;

    // Date and time in the user's form.
    QString when() const;
    // What the table and the report say of it: why it is not judged, or the numbers of the tests it
    // broke, comma-separated.
    QString verdict() const;
    bool before(const QcPoint &other) const
    {
        return order != other.order ? order < other.order : datasetId < other.datasetId;
    }
};

struct QcPeriod {
    int first = 0; // point indices, inclusive
    int last = -1;
    double centre = 0;
    double s = 0;
    qint64 n = 0;           // values the limits were computed from (0: from a target)
    bool prePeriod = false; // limits from the chart's first values, which they also judge
    bool fromTarget = false;
    QDateTime revisedUtc; // a revision: when and by whom
    QString login;
    double lowerBound = -std::numeric_limits<double>::infinity(); // 0 for a range chart

    double limit(double sigmas) const { return std::max(lowerBound, centre + sigmas * s); }
};

struct QcChart {
    QcDefinition definition;
    QString unit;
    QList<QcPoint> points;
    QList<QcPeriod> periods;
    QString waiting; // no limits yet: why (pre-period incomplete, all its values equal), for the user
    // The pre-period's limits as its first values give them, not yet kept: the next judgement keeps
    // them, and from then on they stand whatever values arrive or are withdrawn.
    std::optional<QcRevision> unkeptLimits;
    qint64 sinceRevision = 0; // judged values since the last limits were set
    bool revisionDue = false;
    QcRules::Statistics statistics; // of the judged values shown
    std::array<qint64, QcRules::Count> violations{};

    // The chart of a control sample over archived rows (any order; withdrawn rows are kept as points
    // but never judged) and its revisions, oldest first.
    static QcChart build(const QcDefinition &definition, const QList<ArchivedRow> &rows,
                         const QList<QcRevision> &revisions);
    // New limits from the last n judged values, starting after the newest value; empty problem on
    // success (too few values, or all of them equal).
    QString revise(qint64 n, QcRevision *revision) const;
    // Keeps only the points dated within [from, to] (either may be invalid) for showing.
    void restrictTo(const QDate &from, const QDate &to);
    // One line per rule a point broke: "Control sample 'X': 12.4 mg/l beyond the upper action limit
    // (11.9)".
    QStringList verdicts(const QcPoint &point) const;
    // The last judged point, or null.
    const QcPoint *lastJudged() const;
};
