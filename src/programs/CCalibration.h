#pragma once
// The calibration line of a user-defined program: intercept, slope and the statistical
// characteristics from up to ten value pairs, and the check of a measuring range against the
// meter's absorbance range.
#include <QList>

class CMath;

class CCalibration {
public:
    explicit CCalibration(const CMath &math) : m_math(math) {}

    bool Calculate(double &dblA0, double &dblA1, double &dblYM, double &dblXM, double &dblSX0, double &dblVX0,
                   double &dblXN, double &dblXB, const QList<double> &dblArrayX,
                   const QList<double> &dblArrayY, qint16 intCnt) const;
    bool CheckMeasRange(float sngMRB, float sngMRE, float sngE0, float sngSlope) const;

    // The two-sided 95 % Student factor for f degrees of freedom.
    bool StudentFactor(double &dblT, double dblF) const;

private:
    const CMath &m_math;
};
