#pragma once
// The text of a control chart report, the same for the printer, a PDF file and the command line:
// the definition, the limits of each period, the statistics, the violations and every value.
#include "QcChart.h"

namespace QcReport {

// The lines of the report; who and when printed it close it.
QStringList lines(const QcChart &chart, const QString &who, const QDateTime &when);
// "Period 1: centre ..., warning limits ... (pre-period of 20 values)".
QString periodLine(const QcChart &chart, int period);
// A value as the chart shows it, with the locale.
QString number(double value);

} // namespace QcReport
