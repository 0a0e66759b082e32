#include "CCalibration.h"

#include "CMath.h"
#include "ErrorFrame.h"
#include "TextTable.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// A division by zero or an overflow ends the calculation as an unexpected error.
bool fault()
{
    ErrorFrame::report(TextTable::text(TextTable::CalculationFault));
    return false;
}

template <typename... T> bool finite(T... values)
{
    return (std::isfinite(values) && ...);
}

// Below this share of the data's own size a spread is rounding noise: values like 0.1 or 0.7 that have
// no exact binary form leave a spread near 1e-17 where the exact one is 0.
constexpr double kRelativeTolerance = 1e-10;

// The largest magnitude among the first count values.
double largestMagnitude(const CMath &math, const QList<double> &values, qint16 count)
{
    double largest = 0.0;
    double smallest = 0.0;
    math.ArrayMax(largest, values, count, 0.0);
    math.ArrayMin(smallest, values, count, 0.0);
    return std::max(largest, -smallest);
}

// Whether a root-mean-square spread is no spread at all, measured against the values' size.
bool negligible(double rmsSpread, double magnitude)
{
    return rmsSpread <= kRelativeTolerance * magnitude;
}

} // namespace

bool CCalibration::StudentFactor(double &dblT, double dblF) const
{
    static const QList<double> coefficients = {0.673214, 1.197423, 0.822983, -0.151507};
    if (dblF == 0.0)
        return fault();
    const double u = 1.0 / dblF;
    double p = 0.0;
    if (!m_math.PolynomValue(p, u, coefficients, 4))
        return false;
    dblT = std::exp(p);
    return finite(dblT) ? true : fault();
}

bool CCalibration::Calculate(double &dblA0, double &dblA1, double &dblYM, double &dblXM, double &dblSX0,
                             double &dblVX0, double &dblXN, double &dblXB, const QList<double> &dblArrayX,
                             const QList<double> &dblArrayY, qint16 intCnt) const
{
    const CMath &math = m_math;
    if (intCnt < 3)
        return false;
    const double n = intCnt;

    double sumX = 0.0;
    double sumY = 0.0;
    if (!math.ArraySum(sumX, dblArrayX, intCnt) || !math.ArraySum(sumY, dblArrayY, intCnt))
        return false;
    const double xm = sumX / n;
    const double ym = sumY / n;

    double qxy = 0.0;
    double qx = 0.0;
    if (!math.ArrayProductSumOffs(qxy, dblArrayX, dblArrayY, xm, ym, intCnt) ||
        !math.ArraySquareSumOffs(qx, dblArrayX, xm, intCnt))
        return false;
    if (!finite(xm, ym, qxy, qx))
        return fault();
    // All concentrations equal, also when rounding left a trace of spread.
    if (negligible(std::sqrt(qx / n), largestMagnitude(math, dblArrayX, intCnt)))
        return false;

    const double b = qxy / qx;
    const double a = ym - b * xm;
    dblA1 = b;
    dblA0 = a;
    dblYM = ym;
    dblXM = xm;

    double residual = 0.0;
    for (qint16 i = 0; i < intCnt; ++i) {
        const double d = dblArrayX[i] * b + a - dblArrayY[i];
        residual += d * d;
    }
    const double s = std::sqrt(residual / (n - 2.0));
    if (!finite(b, a, s))
        return fault();
    // A flat line (all absorbances equal): the rise the slope gives over the concentrations' spread
    // vanishes against the absorbances' size.
    if (b == 0.0 || negligible(std::fabs(b) * std::sqrt(qx / n), largestMagnitude(math, dblArrayY, intCnt)))
        return false;

    dblSX0 = s / b;
    if (xm == 0.0)
        return fault();
    dblVX0 = dblSX0 * 100.0 / xm;

    double t = 0.0;
    if (!StudentFactor(t, n - 2.0))
        return false;

    // Concentration deviations of a concentration v and of an absorbance v from their centres.
    const double spread = s * t / b;
    auto dx = [&](double v, double m) { return spread * std::sqrt(1.0 + 1.0 / n + (v - m) * (v - m) / qx); };
    auto dy = [&](double v, double m) {
        return spread * std::sqrt(1.0 + 1.0 / n + (v - m) * (v - m) / (b * b * qx));
    };

    const double yk = a + b * dy(a, ym);
    dblXN = 2.0 * dy(yk, ym);
    const double x1 = dx(0.0, xm);
    const double yb = a + 2.0 * b * dx(x1, xm);
    dblXB = dy(yb, ym) + (yb - a) / b;
    if (!finite(dblSX0, dblVX0, dblXN, dblXB))
        return fault();
    return true;
}

bool CCalibration::CheckMeasRange(float sngMRB, float sngMRE, float sngE0, float sngSlope) const
{
    // A value beyond single precision (or not a number) is outside any range the meter can show.
    if (!finite(sngMRB, sngMRE, sngE0, sngSlope) || sngSlope == 0.0f)
        return false;
    float hi = (2.0f - sngE0) / sngSlope;
    float lo = (-sngE0 - 0.2f) / sngSlope;
    if (!std::isfinite(hi) || !std::isfinite(lo))
        return fault();
    if (lo > hi)
        std::swap(lo, hi);
    return sngMRE <= hi && sngMRB >= lo;
}
