#include "CMath.h"

namespace {
bool usable(const QList<double> &array, qint16 count)
{
    return count >= 0 && array.size() >= count;
}
} // namespace

bool CMath::ArrayMax(double &dblArrayMax, const QList<double> &dblArray, qint16 intCnt, double dblStart) const
{
    if (!usable(dblArray, intCnt))
        return false;
    double value = dblStart;
    for (qint16 i = 0; i < intCnt; ++i)
        if (dblArray[i] > value)
            value = dblArray[i];
    dblArrayMax = value;
    return true;
}

bool CMath::ArrayMin(double &dblArrayMin, const QList<double> &dblArray, qint16 intCnt, double dblStart) const
{
    if (!usable(dblArray, intCnt))
        return false;
    double value = dblStart;
    for (qint16 i = 0; i < intCnt; ++i)
        if (dblArray[i] < value)
            value = dblArray[i];
    dblArrayMin = value;
    return true;
}

bool CMath::ArraySum(double &dblArraySum, const QList<double> &dblArray, qint16 intCnt) const
{
    if (!usable(dblArray, intCnt))
        return false;
    double sum = 0.0;
    for (qint16 i = 0; i < intCnt; ++i)
        sum += dblArray[i];
    dblArraySum = sum;
    return true;
}

bool CMath::ArraySquareSumOffs(double &dblArraySquareSumOffs, const QList<double> &dblArray, double dblOffs,
                               qint16 intCnt) const
{
    if (!usable(dblArray, intCnt))
        return false;
    double sum = 0.0;
    for (qint16 i = 0; i < intCnt; ++i)
        sum += (dblArray[i] - dblOffs) * (dblArray[i] - dblOffs);
    dblArraySquareSumOffs = sum;
    return true;
}

bool CMath::ArrayProductSumOffs(double &dblArrayProductSumOffs, const QList<double> &dblArrayX,
                                const QList<double> &dblArrayY, double dblOffsX, double dblOffsY,
                                qint16 intCnt) const
{
    if (!usable(dblArrayX, intCnt) || !usable(dblArrayY, intCnt))
        return false;
    double sum = 0.0;
    for (qint16 i = 0; i < intCnt; ++i)
        sum += (dblArrayX[i] - dblOffsX) * (dblArrayY[i] - dblOffsY);
    dblArrayProductSumOffs = sum;
    return true;
}

bool CMath::PolynomValue(double &dblPolynomValue, double dblX, const QList<double> &dblCoeffs,
                         qint16 intPolyOrder) const
{
    if (!usable(dblCoeffs, intPolyOrder))
        return false;
    double value = 0.0;
    for (int k = intPolyOrder - 1; k >= 0; --k)
        value = value * dblX + dblCoeffs[k];
    dblPolynomValue = value;
    return true;
}
