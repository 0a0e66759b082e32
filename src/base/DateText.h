#pragma once
// Dates and times written as numbers: the files' month/day/year and the meter's day.month.year, read
// whatever the locale, with one rule for the parts and for two-digit years.
#include <QDate>
#include <QStringView>
#include <QTime>

namespace DateText {

enum Form { Slashed = 1, Dotted = 2 };

// Month/day/year (Slashed) or day.month.year (Dotted), as forms allows. Each part is any number taken
// to the nearest 16-bit integer; years 0-29 are 2000-2029 and 30-99 are 1930-1999; the date must
// exist and lie in the years 100 to 9999.
bool readDate(QStringView text, QDate &date, int forms = Slashed | Dotted);
// Hour:minute:second; without secondsOptional the seconds must be there.
bool readTime(QStringView text, QTime &time, bool secondsOptional = false);

} // namespace DateText
