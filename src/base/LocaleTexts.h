#pragma once
// Dates and times as the system shows them: the short date format and the long time format (the
// latter without a time-zone name, which the long time format of the desktop never carries).
// Follows QLocale's default locale, so a test can fix it.
#include <QDate>
#include <QString>
#include <QTime>

namespace LocaleTexts {

QString shortDate(const QDate &date);
QString longTime(const QTime &time);

} // namespace LocaleTexts
