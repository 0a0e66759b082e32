#pragma once
// The statistics and the eight run tests of a Shewhart chart, on plain numbers: no archive, no window,
// so every caller (import, window, report, command line) judges a value the same way.
#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace QcRules {

// In the order of the standard's tests 1 to 8.
enum Rule {
    BeyondAction,      // one point beyond +-3 s
    NineOneSide,       // 9 in a row on one side of the centre
    SixTrend,          // 6 in a row steadily rising or falling
    FourteenAlternate, // 14 in a row alternating up and down
    TwoOfThreeWarning, // 2 of 3 beyond +-2 s on one side
    FourOfFiveOneS,    // 4 of 5 beyond +-1 s on one side
    FifteenWithin,     // 15 in a row within +-1 s
    EightBeyondOneS,   // 8 in a row beyond +-1 s, either side
    Count
};

using Mask = std::uint8_t;
constexpr Mask bit(Rule rule)
{
    return Mask(1U << unsigned(rule));
}
constexpr Mask kAll = 0xFF;
// "Action and warning limits only": a point beyond an action limit, two of three beyond a warning limit.
constexpr Mask kLimitsOnly = bit(BeyondAction) | bit(TwoOfThreeWarning);

struct Statistics {
    qint64 n = 0;
    double mean = 0;
    double s = 0; // sample standard deviation (n - 1); 0 below two values
};

// Two passes (mean, then the squared deviations from it): the running sums of one pass lose the
// digits of a series whose spread is small against its level.
Statistics statistics(std::span<const double> values);

// Where a value lies in s from the centre. With s = 0 (all pre-period values equal) every other
// value lies infinitely far: the limits have collapsed onto the centre.
double zScore(double value, double centre, double s);

// The rules each point of one period breaks, a Mask per point, for the z-scores of the period in
// order. A point is flagged when it completes a pattern (and, for the "2 of 3" and "4 of 5" tests,
// lies itself in the zone); a run that goes on flags every further point.
void judge(std::span<const double> z, Mask enabled, std::vector<Mask> &flags);

// The rule's short description, in the user's language.
QString name(Rule rule);
// The names of the rules in a mask, joined with "; ".
QString names(Mask mask);

} // namespace QcRules
