#include "QcChart.h"

#include "DateText.h"
#include "NumberText.h"
#include "TextTable.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// A range of duplicate pairs: s of the range is d3/d2 times the mean range (n = 2), so the action
// limit R + 3 s is the familiar 3.267 R.
constexpr double kRangeSigmaPerMean = 0.853 / 1.128;

struct Field3 {
    DatasetFields::Field value;
    DatasetFields::Field unit;
    DatasetFields::Field status;
};

Field3 fieldsOf(int valueNumber)
{
    if (valueNumber == 2)
        return {DatasetFields::Value2, DatasetFields::Unit2, DatasetFields::Status2};
    return {DatasetFields::Value1, DatasetFields::Unit1, DatasetFields::Status1};
}

QString shown(double v)
{
    return QLocale().toString(v, 'g', 6);
}

} // namespace

QString QcPoint::verdict() const
{
    QStringList why;
    if (!judged)
        why.append(excluded);
    for (int r = 0; r < QcRules::Count; ++r)
        if (flags & QcRules::bit(QcRules::Rule(r)))
            why.append(QString::number(r + 1));
    return why.join(QStringLiteral(", "));
}

QString QcPoint::when() const
{
    const QLocale locale;
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (time.isValid())
        text += QLatin1Char(' ') + locale.toString(time, QLocale::ShortFormat);
    return text;
}

namespace {

// Why a value is not judged, empty when it is. One rule for the chart, the report and the command
// line: a value the meter could not give as a number in its range, or gave with a status other than
// OK, is shown and never judged.
QString exclusion(const QcPoint &p, QChar sign, const QString &status, bool isNumber)
{
    if (p.withdrawn)
        return TextTable::text(TextTable::QcWithdrawn);
    if (sign == u'<' || sign == u'>' || status == QLatin1String("<") || status == QLatin1String(">"))
        return TextTable::text(TextTable::QcOutOfRange);
    if (!isNumber || !std::isfinite(p.value))
        return TextTable::text(TextTable::QcNotNumber);
    if (status.compare(QLatin1String("OK"), Qt::CaseInsensitive) != 0)
        return TextTable::text(TextTable::QcStatusNotOk).arg(status);
    return {};
}

// The point of an archived row; none when the row is not of the control sample or lacks the value.
std::optional<QcPoint> pointOf(const QcDefinition &definition, const Field3 &f, const ArchivedRow &row)
{
    const QString &sampleId = row.fields[DatasetFields::SampleId];
    if (!definition.idMatches(sampleId))
        return std::nullopt;
    QString text = row.fields[f.value].trimmed();
    if (text.isEmpty())
        return std::nullopt; // the meter measured no such value
    QcPoint p;
    p.datasetId = row.id;
    p.serial = row.serial;
    p.sampleId = sampleId.trimmed();
    p.program = row.fields[DatasetFields::Program].trimmed();
    bool numbered = false;
    p.number = row.fields[DatasetFields::No].trimmed().toLongLong(&numbered);
    if (!numbered)
        p.number = -1;
    p.withdrawn = row.withdrawn;
    p.notes = row.notes;
    QDate date;
    QTime time;
    const bool hasDate = DateText::readDate(row.fields[DatasetFields::Date], date);
    const bool hasTime = DateText::readTime(row.fields[DatasetFields::Time], time, true);
    // Numbers, not texts or QDateTime: a hundred thousand values are ordered in milliseconds.
    if (hasDate) {
        p.date = date;
        p.order = date.toJulianDay() * 86400 + (hasTime ? time.msecsSinceStartOfDay() / 1000 : 0);
    }
    if (hasTime)
        p.time = time;
    const QString unit = row.fields[f.unit].trimmed();
    const QString status = row.fields[f.status].trimmed();
    p.digits = text;
    p.text = unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
    bool isNumber = false;
    const QChar sign = text.front();
    p.value = NumberText::Val(sign == u'<' || sign == u'>' ? text.mid(1) : text, &isNumber);
    p.excluded = exclusion(p, sign, status, isNumber);
    p.judged = p.excluded.isEmpty();
    p.unit = unit;
    return p;
}

// A definition kept before each had to name its program: the program of its first judged value, and
// values of another method shown, never judged with it.
void keepOneProgram(const QcDefinition &definition, QList<QcPoint> &points)
{
    if (!definition.program.isEmpty())
        return; // the archive's filter took that program only
    QString program;
    for (QcPoint &p : points) {
        if (!p.judged)
            continue;
        if (program.isNull())
            program = p.program;
        if (p.program != program) {
            p.judged = false;
            p.excluded = TextTable::text(TextTable::QcOtherProgram).arg(p.program, program);
        }
    }
}

// A unit that changes inside a control sample is never mixed into it: the definition's unit, or that
// of its first judged value in time, and values in any other are shown, not judged.
void keepOneUnit(QList<QcPoint> &points, QString &unit)
{
    for (const QcPoint &p : points)
        if (unit.isEmpty() && p.judged)
            unit = p.unit;
    for (QcPoint &p : points)
        if (p.judged && p.unit != unit) {
            p.judged = false;
            p.excluded = TextTable::text(TextTable::QcOtherUnit).arg(p.unit, unit);
        }
}

// Decimals of a number as the meter wrote it.
int decimalsOf(const QString &digits)
{
    const qsizetype point = std::max(digits.lastIndexOf(u'.'), digits.lastIndexOf(u','));
    return point < 0 ? 0 : int(digits.size() - point - 1);
}

QString pairKey(const QcPoint &p, qint64 number)
{
    return QStringList{p.serial, p.sampleId, QString::number(p.date.toJulianDay()), QString::number(number)}
        .join(QChar(0x1f));
}

// A duplicate is one sample measured twice in a row: the same meter, sample ID and date and
// consecutive dataset numbers. Never paired by position: one value left out would shift every later
// pair. Partner indices, -1 for a value without one.
QList<int> partnersOf(const QList<QcPoint> &points)
{
    QHash<QString, int> byNumber;
    for (int i = 0; i < points.size(); ++i)
        if (points[i].number >= 0 && points[i].date.isValid())
            byNumber.insert(pairKey(points[i], points[i].number), i);
    QList<int> partner(points.size(), -1);
    for (int i = 0; i < points.size(); ++i) {
        if (partner[i] >= 0 || points[i].number < 0 || !points[i].date.isValid())
            continue;
        const int j = byNumber.value(pairKey(points[i], points[i].number + 1), -1);
        if (j >= 0 && partner[j] < 0) {
            partner[i] = j;
            partner[j] = i;
        }
    }
    return partner;
}

// Each pair of judged duplicates one point, its range, where the later of the two stands; a value
// whose duplicate is missing or not judged is shown and never judged.
QList<QcPoint> rangesOfPairs(const QList<QcPoint> &points)
{
    const QList<int> partner = partnersOf(points);
    QList<QcPoint> pairs;
    for (int i = 0; i < points.size(); ++i) {
        const int j = partner[i];
        QcPoint p = points[i];
        if (j >= 0 && p.judged && points[j].judged) {
            if (j > i)
                continue;
            const QcPoint &first = points[j];
            p.pairId = first.datasetId;
            p.value = std::fabs(p.value - first.value);
            p.digits =
                QString::number(p.value, 'f', std::max(decimalsOf(p.digits), decimalsOf(first.digits)));
            p.text = first.text + QStringLiteral(" / ") + p.text;
        } else if (p.judged) {
            p.judged = false;
            p.excluded = TextTable::text(j < 0 ? TextTable::QcNoDuplicate : TextTable::QcPairNotJudged);
        }
        pairs.append(p);
    }
    return pairs;
}

// The chart's values as its kind plots them: recoveries in percent, duplicates as their ranges.
void plotAsKind(const QcDefinition &definition, QList<QcPoint> &points, QString &unit)
{
    if (definition.kind == QcDefinition::Recovery) {
        for (QcPoint &p : points) {
            p.value = p.value / definition.spiked * 100.0;
            p.digits = QString::number(p.value, 'g', 6);
        }
        unit = QStringLiteral("%");
    } else if (definition.kind == QcDefinition::Range) {
        points = rangesOfPairs(points);
    }
}

// The pre-period's limits kept for this definition, or null. The first kept stands: a second could
// only come from two PCs completing the pre-period at once, with the same values.
const QcRevision *keptPrePeriod(const QcDefinition &definition, const QList<QcRevision> &revisions)
{
    const QJsonObject key = definition.chartKey();
    for (const QcRevision &r : revisions)
        if (r.prePeriod && r.chartKey == key)
            return &r;
    return nullptr;
}

// The pre-period's limits from the chart's first judged values; false, with the chart's waiting told,
// while there are too few of them or they give no spread.
bool limitsFromFirstValues(QcChart &chart, QcRevision *limits)
{
    const QcDefinition &definition = chart.definition;
    QList<int> judged;
    for (int i = 0; i < chart.points.size() && judged.size() < definition.prePeriod; ++i)
        if (chart.points[i].judged)
            judged.append(i);
    if (judged.size() < definition.prePeriod) {
        chart.waiting =
            TextTable::text(TextTable::QcPrePeriodOpen).arg(judged.size()).arg(definition.prePeriod);
        return false;
    }
    std::vector<double> values;
    for (const int i : judged) {
        const QcPoint &p = chart.points[i];
        values.push_back(p.value);
        limits->basis.append({p.datasetId, p.pairId, p.value, p.digits});
    }
    const QcRules::Statistics st = QcRules::statistics(values);
    limits->centre = st.mean;
    limits->s = definition.kind == QcDefinition::Range ? st.mean * kRangeSigmaPerMean : st.s;
    // Limits on the centre itself would call every other value a violation.
    if (!(limits->s > 0)) {
        chart.waiting = TextTable::text(TextTable::QcFlatPrePeriod).arg(definition.prePeriod);
        return false;
    }
    limits->n = st.n;
    limits->prePeriod = true;
    limits->chartKey = definition.chartKey();
    limits->afterOrder = chart.points[judged.last()].order;
    limits->afterId = chart.points[judged.last()].datasetId;
    return true;
}

// The limits the chart starts with: the target's, those kept when its pre-period was complete, or
// (not kept yet) those of its first judged values; false while there are none.
bool firstLimits(QcChart &chart, const QList<QcRevision> &revisions, QcPeriod *first)
{
    const QcDefinition &definition = chart.definition;
    if (definition.fromTarget) {
        first->fromTarget = true;
        first->centre = definition.target;
        first->s = definition.targetS;
        return true;
    }
    QcRevision limits;
    if (const QcRevision *kept = keptPrePeriod(definition, revisions)) {
        limits = *kept;
    } else if (limitsFromFirstValues(chart, &limits)) {
        chart.unkeptLimits = limits;
    } else {
        return false;
    }
    QSet<qint64> basis;
    for (const QcBasisValue &b : std::as_const(limits.basis))
        basis.insert(b.datasetId);
    for (QcPoint &p : chart.points)
        p.inBasis = basis.contains(p.datasetId);
    first->prePeriod = true;
    first->n = limits.n;
    first->centre = limits.centre;
    first->s = limits.s;
    return true;
}

// A period per revision, from the first value after the one it was set after, and each period's last
// point.
void addRevisions(QcChart &chart, const QList<QcRevision> &revisions, double lowerBound)
{
    for (const QcRevision &r : revisions) {
        if (r.prePeriod)
            continue; // the first period's
        QcPeriod period;
        period.lowerBound = lowerBound;
        period.centre = r.centre;
        period.s = r.s;
        period.n = r.n;
        period.revisedUtc = r.atUtc;
        period.login = r.login;
        QcPoint after;
        after.order = r.afterOrder;
        after.datasetId = r.afterId;
        const auto at = std::upper_bound(chart.points.begin(), chart.points.end(), after,
                                         [](const QcPoint &a, const QcPoint &b) { return a.before(b); });
        period.first = int(at - chart.points.begin());
        chart.periods.append(period);
    }
    for (int k = 0; k < chart.periods.size(); ++k)
        chart.periods[k].last =
            k + 1 < chart.periods.size() ? chart.periods[k + 1].first - 1 : int(chart.points.size()) - 1;
}

// Each judged point against its period's limits, and how many were judged since the last limits.
void judgePeriods(QcChart &chart)
{
    std::vector<double> z;
    std::vector<QcRules::Mask> flags;
    for (int k = 0; k < chart.periods.size(); ++k) {
        const QcPeriod &period = chart.periods[k];
        z.clear();
        QList<int> at;
        for (int i = period.first; i <= period.last; ++i) {
            chart.points[i].period = k;
            if (!chart.points[i].judged)
                continue;
            chart.points[i].z = QcRules::zScore(chart.points[i].value, period.centre, period.s);
            z.push_back(chart.points[i].z);
            at.append(i);
        }
        QcRules::judge(z, chart.definition.rules, flags);
        chart.sinceRevision = 0;
        for (qsizetype j = 0; j < at.size(); ++j) {
            chart.points[at[j]].flags = flags[size_t(j)];
            chart.sinceRevision += chart.points[at[j]].inBasis ? 0 : 1;
        }
    }
    chart.revisionDue = chart.sinceRevision >= chart.definition.revisionAfter;
}

} // namespace

QcChart QcChart::build(const QcDefinition &definition, const QList<ArchivedRow> &rows,
                       const QList<QcRevision> &revisions)
{
    QcChart chart;
    chart.definition = definition;
    chart.unit = definition.unit;
    const Field3 f = fieldsOf(definition.value);
    QList<QcPoint> points;
    for (const ArchivedRow &row : rows)
        if (std::optional<QcPoint> p = pointOf(definition, f, row))
            points.append(std::move(*p));
    std::sort(points.begin(), points.end(), [](const QcPoint &a, const QcPoint &b) { return a.before(b); });
    keepOneProgram(definition, points);
    keepOneUnit(points, chart.unit);
    plotAsKind(definition, points, chart.unit);
    chart.points = points;

    const double lowerBound =
        definition.kind == QcDefinition::Range ? 0.0 : -std::numeric_limits<double>::infinity();
    QcPeriod first;
    first.lowerBound = lowerBound;
    if (firstLimits(chart, revisions, &first)) {
        chart.periods.append(first);
        addRevisions(chart, revisions, lowerBound);
        judgePeriods(chart);
    }
    chart.restrictTo(QDate(), QDate());
    return chart;
}

void QcChart::restrictTo(const QDate &from, const QDate &to)
{
    if (from.isValid() || to.isValid()) {
        QList<QcPoint> kept;
        QList<int> newIndex(points.size(), -1);
        for (int i = 0; i < points.size(); ++i) {
            const QDate d = points[i].date;
            if ((from.isValid() && (!d.isValid() || d < from)) || (to.isValid() && (!d.isValid() || d > to)))
                continue;
            newIndex[i] = int(kept.size());
            kept.append(points[i]);
        }
        points = kept;
        for (QcPeriod &p : periods) {
            p.first = std::numeric_limits<int>::max();
            p.last = -1;
        }
        for (int i = 0; i < points.size(); ++i)
            if (points[i].period >= 0) {
                QcPeriod &p = periods[points[i].period];
                p.first = std::min(p.first, i);
                p.last = std::max(p.last, i);
            }
    }
    std::vector<double> values;
    violations.fill(0);
    for (const QcPoint &p : points) {
        if (!p.judged)
            continue;
        values.push_back(p.value);
        for (int r = 0; r < QcRules::Count; ++r)
            violations[size_t(r)] += (p.flags & QcRules::bit(QcRules::Rule(r))) ? 1 : 0;
    }
    statistics = QcRules::statistics(values);
}

QString QcChart::revise(qint64 n, QcRevision *revision) const
{
    std::vector<double> basis;
    qint64 judged = 0;
    for (auto p = points.crbegin(); p != points.crend(); ++p) {
        judged += p->judged ? 1 : 0;
        if (p->judged && qint64(basis.size()) < n)
            basis.push_back(p->value);
    }
    if (n < QcDefinition::kMinPrePeriod)
        return TextTable::text(TextTable::QcBadPrePeriod).arg(QcDefinition::kMinPrePeriod);
    if (judged < n)
        return TextTable::text(TextTable::QcTooFewValues).arg(judged).arg(n);
    std::reverse(basis.begin(), basis.end());
    const QcRules::Statistics st = QcRules::statistics(basis);
    const double s = definition.kind == QcDefinition::Range ? st.mean * kRangeSigmaPerMean : st.s;
    if (!(s > 0))
        return TextTable::text(TextTable::QcFlatRevision).arg(n);
    revision->afterOrder = points.last().order;
    revision->afterId = points.last().datasetId;
    revision->centre = st.mean;
    revision->s = s;
    revision->n = st.n;
    return QString();
}

QStringList QcChart::verdicts(const QcPoint &point) const
{
    QStringList lines;
    if (point.period < 0)
        return lines;
    const QcPeriod &period = periods[point.period];
    for (int r = 0; r < QcRules::Count; ++r) {
        if (!(point.flags & QcRules::bit(QcRules::Rule(r))))
            continue;
        if (r == QcRules::BeyondAction) {
            const bool upper = point.z > 0;
            lines.append(TextTable::text(upper ? TextTable::QcAboveAction : TextTable::QcBelowAction)
                             .arg(definition.name, point.text, shown(period.limit(upper ? 3 : -3))));
        } else {
            lines.append(TextTable::text(TextTable::QcBrokeRule)
                             .arg(definition.name, point.text, QcRules::name(QcRules::Rule(r))));
        }
    }
    return lines;
}

const QcPoint *QcChart::lastJudged() const
{
    for (auto p = points.crbegin(); p != points.crend(); ++p)
        if (p->judged && p->period >= 0)
            return &*p;
    return nullptr;
}
