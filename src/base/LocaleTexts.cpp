#include "LocaleTexts.h"

#include <QLocale>
#include <QRegularExpression>

namespace LocaleTexts {

QString shortDate(const QDate &date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString longTime(const QTime &time)
{
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    format.remove(zone);
    return locale.toString(time, format.trimmed());
}

} // namespace LocaleTexts
