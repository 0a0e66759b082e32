#pragma once
// Array sums and polynomial evaluation for the calibration line. Every operation fails when the
// array holds fewer elements than it is asked to use.
#include <QList>

class CMath {
public:
    bool ArrayMax(double &dblArrayMax, const QList<double> &dblArray, qint16 intCnt, double dblStart) const;
    bool ArrayMin(double &dblArrayMin, const QList<double> &dblArray, qint16 intCnt, double dblStart) const;
    bool ArraySum(double &dblArraySum, const QList<double> &dblArray, qint16 intCnt) const;
    bool ArraySquareSumOffs(double &dblArraySquareSumOffs, const QList<double> &dblArray, double dblOffs,
                            qint16 intCnt) const;
    bool ArrayProductSumOffs(double &dblArrayProductSumOffs, const QList<double> &dblArrayX,
                             const QList<double> &dblArrayY, double dblOffsX, double dblOffsY,
                             qint16 intCnt) const;
    // Sum of dblCoeffs[k] * dblX^k for k below intPolyOrder, by Horner's scheme.
    bool PolynomValue(double &dblPolynomValue, double dblX, const QList<double> &dblCoeffs,
                      qint16 intPolyOrder) const;
};
