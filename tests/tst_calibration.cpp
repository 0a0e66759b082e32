// The calibration line and the measuring-range check: the worked example to its digits, an
// independent least-squares computation, the Student factor, and every way the calculation fails.
#include "CCalibration.h"
#include "CMath.h"
#include "SharedObjects.h"
#include "TestSupport.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

struct Line {
    double a0 = 0, a1 = 0, ym = 0, xm = 0, sx0 = 0, vx0 = 0, xn = 0, xb = 0;
};

bool calculate(const SharedObjects &shared, const QList<double> &x, const QList<double> &y, Line &r,
               qint16 count = -1)
{
    return shared.calibration->Calculate(r.a0, r.a1, r.ym, r.xm, r.sx0, r.vx0, r.xn, r.xb, x, y,
                                         count < 0 ? qint16(x.size()) : count);
}

// Equal to the digits given (rounded or cut off): within one unit of the last digit.
bool near(double actual, double expected, double unit)
{
    return std::fabs(actual - expected) < unit;
}

} // namespace

class TestCalibration : public QObject {
    Q_OBJECT
private slots:
    void workedExampleToTheDigitsGiven();
    void tenPointsAgainstIndependentComputation();
    void studentFactorFromPolynomial();
    void exactLineHasNoSpread();
    void failures();
    void negativeSlope();
    void zeroMeanConcentrationIsAFault();
    void measuringRange();
    void mathHelpers();
};

void TestCalibration::workedExampleToTheDigitsGiven()
{
    SharedObjects shared;
    Line r;
    QVERIFY(calculate(shared, {0, 1, 2, 3}, {0.05, 0.25, 0.44, 0.66}, r));
    QVERIFY(near(r.a1, 0.202, 1e-12));
    QVERIFY(near(r.a0, 0.047, 1e-12));
    QVERIFY(near(r.xm, 1.5, 1e-12));
    QVERIFY(near(r.ym, 0.35, 1e-12));
    QVERIFY2(near(r.sx0, 0.046964, 1e-6), qPrintable(QString::number(r.sx0, 'g', 17)));
    QVERIFY2(near(r.vx0, 3.131, 1e-3), qPrintable(QString::number(r.vx0, 'g', 17)));
    QVERIFY2(near(r.xn, 0.503855, 1e-6), qPrintable(QString::number(r.xn, 'g', 17)));
    QVERIFY2(near(r.xb, 0.746932, 1e-6), qPrintable(QString::number(r.xb, 'g', 17)));
    // The steps in double precision match to the last few bits.
    QVERIFY(std::fabs(r.xn - 0.5038551204082589) < 1e-14);
    QVERIFY(std::fabs(r.xb - 0.746931587278965) < 1e-14);
}

void TestCalibration::tenPointsAgainstIndependentComputation()
{
    // Reference values computed once with Python 3.11: statistics.linear_regression for slope and
    // intercept, plain sums for the residual spread, and the limits from their closed forms.
    SharedObjects shared;
    const QList<double> x = {0.5, 1, 2, 3, 4, 5, 6, 7, 8, 10};
    const QList<double> y = {0.061, 0.118, 0.229, 0.352, 0.455, 0.571, 0.69, 0.79, 0.912, 1.13};
    Line r;
    QVERIFY(calculate(shared, x, y, r));
    QVERIFY(std::fabs(r.a1 - 0.11271002556092019) < 1e-13);
    QVERIFY(std::fabs(r.a0 - 0.006698381141721055) < 1e-13);
    QVERIFY(std::fabs(r.xm - 4.65) < 1e-13);
    QVERIFY(std::fabs(r.ym - 0.5308) < 1e-13);
    QVERIFY(std::fabs(r.sx0 - 0.04250661029875009) < 1e-12);
    QVERIFY(std::fabs(r.vx0 - 0.9141206515860234) < 1e-10);
    QVERIFY(std::fabs(r.xn - 0.22639209585621056) < 1e-12);
    QVERIFY(std::fabs(r.xb - 0.33910033167107734) < 1e-12);

    // Slope and intercept once more from the normal equations, another way round.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double n = x.size();
    const double b = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    QVERIFY(std::fabs(r.a1 - b) < 1e-12);
    QVERIFY(std::fabs(r.a0 - (sy - b * sx) / n) < 1e-12);

    // Only the first intCnt points count.
    Line first;
    QVERIFY(calculate(shared, x, y, first, 4));
    QVERIFY(std::fabs(first.xm - 1.625) < 1e-15);
}

void TestCalibration::studentFactorFromPolynomial()
{
    SharedObjects shared;
    // Two-sided 95 % quantiles of Student's t distribution (statistical tables, 3 decimals).
    const double table[10] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228};
    for (int f = 1; f <= 10; ++f) {
        double t = 0;
        QVERIFY(shared.calibration->StudentFactor(t, f));
        QVERIFY2(std::fabs(t - table[f - 1]) / table[f - 1] < 1e-3, qPrintable(QString::number(t)));
    }
    double t = 0;
    QVERIFY(shared.calibration->StudentFactor(t, 1));
    QVERIFY(near(t, 12.706, 1e-3));
    QVERIFY(shared.calibration->StudentFactor(t, 2));
    QVERIFY(near(t, 4.3005, 1e-4));
    QVERIFY(shared.calibration->StudentFactor(t, 3));
    QVERIFY(near(t, 3.1842, 1e-4));
    QVERIFY(shared.calibration->StudentFactor(t, 5));
    QVERIFY(near(t, 2.5713, 1e-4));
    QVERIFY(shared.calibration->StudentFactor(t, 10));
    QVERIFY(near(t, 2.2278, 1e-4));
    QVERIFY(shared.calibration->StudentFactor(t, 1e9));
    QVERIFY(near(t, 1.96, 1e-2));
}

void TestCalibration::exactLineHasNoSpread()
{
    SharedObjects shared;
    Line r;
    QVERIFY(calculate(shared, {1, 2, 3}, {2, 4, 6}, r));
    QCOMPARE(r.a1, 2.0);
    QCOMPARE(r.a0, 0.0);
    QCOMPARE(r.sx0, 0.0);
    QCOMPARE(r.vx0, 0.0);
    QCOMPARE(r.xn, 0.0);
    QCOMPARE(r.xb, 0.0);
}

void TestCalibration::failures()
{
    SharedObjects shared;
    ErrorRecorder errors;
    Line r;
    QVERIFY(!calculate(shared, {1, 2}, {2, 4}, r));       // no degrees of freedom
    QVERIFY(!calculate(shared, {2, 2, 2}, {1, 2, 3}, r)); // all X equal
    QVERIFY(!calculate(shared, {1, 2, 3}, {5, 5, 5}, r)); // all Y equal: slope 0
    QVERIFY(!calculate(shared, {1, 2, 3}, {1, 2}, r, 3)); // Y shorter than the count
    QVERIFY(!calculate(shared, {1, 2}, {1, 2, 3}, r, 3)); // X shorter than the count
    // Equal values without an exact binary form: rounding leaves a spread near 1e-33, not 0.
    for (double v : {0.1, 0.7}) {
        QVERIFY(!calculate(shared, {v, v, v}, {0.1, 0.2, 0.35}, r));
        QVERIFY(!calculate(shared, {0.5, 1.1, 2.3}, {v, v, v}, r));
        QVERIFY(!calculate(shared, {0.1, 0.2, 0.35}, {v, v, v}, r));
    }
    // Expected failures say nothing.
    QCOMPARE(errors.reports, QStringList());
}

void TestCalibration::negativeSlope()
{
    SharedObjects shared;
    Line r;
    QVERIFY(calculate(shared, {0, 1, 2, 3}, {0.66, 0.44, 0.25, 0.05}, r));
    QVERIFY(r.a1 < 0);
    QVERIFY(r.sx0 < 0);
    QVERIFY(r.vx0 < 0);
    QVERIFY(shared.calibration->CheckMeasRange(0.0f, 3.0f, r.a0, r.a1));
}

void TestCalibration::zeroMeanConcentrationIsAFault()
{
    SharedObjects shared;
    ErrorRecorder errors;
    Line r;
    QVERIFY(!calculate(shared, {-1, 0, 1}, {0.1, 0.2, 0.31}, r));
    QCOMPARE(errors.reports.size(), 1);
    errors.reports.clear();
    QVERIFY(!calculate(shared, {0, 1e300, 2e300}, {0, 1e300, 2e300}, r));
    QCOMPARE(errors.reports.size(), 1);
}

void TestCalibration::measuringRange()
{
    SharedObjects shared;
    const CCalibration &c = *shared.calibration;
    QVERIFY(c.CheckMeasRange(0, 10, 0, 0.2f));
    QVERIFY(!c.CheckMeasRange(0, 10.5f, 0, 0.2f));
    QVERIFY(!c.CheckMeasRange(0, 10, 0, 0));
    QVERIFY(c.CheckMeasRange(-1, 10, 0, 0.2f));
    QVERIFY(!c.CheckMeasRange(-1.1f, 10, 0, 0.2f));
    // Negative slope: the bounds are exchanged.
    QVERIFY(c.CheckMeasRange(-10, 1, 0, -0.2f));
    QVERIFY(!c.CheckMeasRange(-10.5f, 1, 0, -0.2f));
    // Values beyond single precision or not numbers are outside every range.
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {inf, -inf, std::numeric_limits<float>::quiet_NaN()})
        QVERIFY(!c.CheckMeasRange(0, 0, 0, v) && !c.CheckMeasRange(0, 1, v, 0.2f) &&
                !c.CheckMeasRange(0, v, 0, 0.2f));
    // Single precision: 10 sits exactly on the bound as computed in floats.
    QVERIFY(c.CheckMeasRange(0, (2.0f - 0.1f) / 0.19f, 0.1f, 0.19f));
}

void TestCalibration::mathHelpers()
{
    CMath m;
    double v = 0;
    QVERIFY(m.ArrayMax(v, {1, 5, 3}, 3, 0));
    QCOMPARE(v, 5.0);
    QVERIFY(m.ArrayMax(v, {1, 5, 3}, 3, 9));
    QCOMPARE(v, 9.0);
    QVERIFY(m.ArrayMin(v, {1, -5, 3}, 2, 0));
    QCOMPARE(v, -5.0);
    QVERIFY(!m.ArrayMin(v, {1}, 2, 0));
    QVERIFY(m.ArraySum(v, {1, 2, 3, 4}, 3));
    QCOMPARE(v, 6.0);
    QVERIFY(m.ArraySquareSumOffs(v, {1, 3}, 2, 2));
    QCOMPARE(v, 2.0);
    QVERIFY(!m.ArrayProductSumOffs(v, {1, 2, 3}, {1, 2}, 0, 0, 3));
    QVERIFY(m.ArrayProductSumOffs(v, {1, 2, 3}, {1, 2}, 0, 0, 2));
    QCOMPARE(v, 5.0);
    QVERIFY(m.PolynomValue(v, 2, {1, 2, 3}, 3)); // 1 + 2x + 3x^2
    QCOMPARE(v, 17.0);
    QVERIFY(m.PolynomValue(v, 2, {1, 2, 3}, 2));
    QCOMPARE(v, 5.0);
    QVERIFY(!m.PolynomValue(v, 2, {1, 2, 3}, 4));
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
