#include "QcRules.h"

#include "TextTable.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace QcRules {

Statistics statistics(std::span<const double> values)
{
    Statistics stats;
    stats.n = qint64(values.size());
    if (values.empty())
        return stats;
    double sum = 0;
    for (const double v : values)
        sum += v;
    stats.mean = sum / double(values.size());
    if (values.size() < 2)
        return stats;
    double squares = 0;
    for (const double v : values)
        squares += (v - stats.mean) * (v - stats.mean);
    stats.s = std::sqrt(squares / double(values.size() - 1));
    return stats;
}

double zScore(double value, double centre, double s)
{
    if (s > 0)
        return (value - centre) / s;
    if (value == centre)
        return 0;
    return value > centre ? std::numeric_limits<double>::infinity()
                          : -std::numeric_limits<double>::infinity();
}

namespace {

// Lengths of the runs ending at the current point.
struct Runs {
    int above = 0;
    int below = 0;
    int rising = 0;
    int falling = 0;
    int alternating = 0; // differences alternating in sign
    int within = 0;
    int outside = 0;
    int lastStep = 0; // sign of the previous difference

    void extendTo(std::span<const double> z, size_t i)
    {
        const double v = z[i];
        above = v > 0 ? above + 1 : 0;
        below = v < 0 ? below + 1 : 0;
        within = std::fabs(v) < 1 ? within + 1 : 0;
        outside = std::fabs(v) > 1 ? outside + 1 : 0;
        int step = 0;
        if (i > 0)
            step = v > z[i - 1] ? 1 : v < z[i - 1] ? -1 : 0;
        rising = step > 0 ? rising + 1 : 0;
        falling = step < 0 ? falling + 1 : 0;
        alternating = step == 0 ? 0 : (lastStep != 0 && step == -lastStep ? alternating + 1 : 1);
        lastStep = step;
    }

    // The tests a run completes: 2, 3, 4, 7 and 8.
    Mask broken() const
    {
        Mask m = 0;
        if (above >= 9 || below >= 9)
            m |= bit(NineOneSide);
        if (rising >= 5 || falling >= 5)
            m |= bit(SixTrend);
        if (alternating >= 13)
            m |= bit(FourteenAlternate);
        if (within >= 15)
            m |= bit(FifteenWithin);
        if (outside >= 8)
            m |= bit(EightBeyondOneS);
        return m;
    }
};

// Points among the last window ones up to i beyond zone s on one side (side > 0: above).
int beyondZone(std::span<const double> z, size_t i, size_t window, double zone, int side)
{
    int n = 0;
    for (size_t k = i + 1 > window ? i + 1 - window : 0; k <= i; ++k)
        n += side > 0 ? (z[k] > zone) : (z[k] < -zone);
    return n;
}

// The tests of the zones the point itself lies in: 1, 5 and 6.
Mask zonesBroken(std::span<const double> z, size_t i)
{
    const double v = z[i];
    Mask m = 0;
    if (std::fabs(v) > 3)
        m |= bit(BeyondAction);
    if ((v > 2 && beyondZone(z, i, 3, 2, 1) >= 2) || (v < -2 && beyondZone(z, i, 3, 2, -1) >= 2))
        m |= bit(TwoOfThreeWarning);
    if ((v > 1 && beyondZone(z, i, 5, 1, 1) >= 4) || (v < -1 && beyondZone(z, i, 5, 1, -1) >= 4))
        m |= bit(FourOfFiveOneS);
    return m;
}

} // namespace

void judge(std::span<const double> z, Mask enabled, std::vector<Mask> &flags)
{
    flags.assign(z.size(), 0);
    Runs runs;
    for (size_t i = 0; i < z.size(); ++i) {
        runs.extendTo(z, i);
        flags[i] = Mask((runs.broken() | zonesBroken(z, i)) & enabled);
    }
}

QString name(Rule rule)
{
    return TextTable::text(TextTable::QcRule1 + int(rule));
}

QString names(Mask mask)
{
    QStringList list;
    for (int r = 0; r < Count; ++r)
        if (mask & bit(Rule(r)))
            list.append(name(Rule(r)));
    return list.join(QStringLiteral("; "));
}

} // namespace QcRules
