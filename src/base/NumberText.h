#pragma once
// Number readings with the exact rules the stored data and the meter rely on: a lenient leading-number
// read and rounding to 16-bit integers half to even.
#include <QString>

namespace NumberText {

// Reads the number at the start of the text: blanks, tabs and line feeds are skipped anywhere, an
// optional sign, digits with one decimal point, an optional exponent (E or D); reading stops at the
// first character that does not belong to a number; no digits give 0. The decimal point is "." whatever
// the locale. A number too large for a double gives an infinity. isNumber tells whether a digit was read.
double Val(const QString &text, bool *isNumber = nullptr);

// Rounds half to even to a 16-bit integer; false when the value does not fit.
bool ToInt16(double value, qint16 *result);

} // namespace NumberText
