#include "DateText.h"

#include "NumberText.h"

#include <QList>
#include <QLocale>

namespace DateText {

namespace {

// A date or time part: any number, taken to the nearest 16-bit integer (half to even); a part that is
// no number at all or does not fit is refused.
bool readInt(QStringView text, int &value)
{
    // Plain digits, the usual case, without the number parser: the same result, read faster.
    if (!text.isEmpty() && text.size() <= 5) {
        int number = 0;
        qsizetype i = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
            number = number * 10 + (text[i].unicode() - u'0');
        if (i == text.size()) {
            value = number;
            return number <= 32767;
        }
    }
    bool ok = false;
    const double number = QLocale::c().toDouble(text.trimmed(), &ok);
    qint16 rounded = 0;
    if (!ok || !NumberText::ToInt16(number, &rounded))
        return false;
    value = rounded;
    return true;
}

// Splits at sep into exactly `parts` pieces, the last keeping the rest; false when there are fewer.
bool splitParts(QStringView text, QChar sep, int parts, QStringView *out)
{
    for (int i = 0; i + 1 < parts; ++i) {
        const qsizetype at = text.indexOf(sep);
        if (at < 0)
            return false;
        out[i] = text.first(at);
        text = text.sliced(at + 1);
    }
    out[parts - 1] = text;
    return true;
}

} // namespace

bool readDate(QStringView text, QDate &date, int forms)
{
    QStringView parts[3];
    int month = 0, day = 0, year = 0;
    if ((forms & Slashed) && text.contains(u'/')) {
        if (!splitParts(text, u'/', 3, parts) || !readInt(parts[0], month) || !readInt(parts[1], day) ||
            !readInt(parts[2], year))
            return false;
    } else if ((forms & Dotted) && text.contains(u'.')) {
        if (!splitParts(text, u'.', 3, parts) || !readInt(parts[0], day) || !readInt(parts[1], month) ||
            !readInt(parts[2], year))
            return false;
    } else {
        return false;
    }
    // Two-digit years as the platform's date forming reads them.
    if (year >= 0 && year <= 99)
        year += year < 30 ? 2000 : 1900;
    // The platform's dates run from year 100 to 9999.
    if (year < 100 || year > 9999)
        return false;
    const QDate read(year, month, day);
    if (!read.isValid())
        return false;
    date = read;
    return true;
}

bool readTime(QStringView text, QTime &time, bool secondsOptional)
{
    QStringView parts[3];
    int hour = 0, minute = 0, second = 0;
    if (splitParts(text, u':', 3, parts)) {
        if (!readInt(parts[0], hour) || !readInt(parts[1], minute) || !readInt(parts[2], second))
            return false;
    } else if (!secondsOptional || !splitParts(text, u':', 2, parts) || !readInt(parts[0], hour) ||
               !readInt(parts[1], minute)) {
        return false;
    }
    const QTime read(hour, minute, second);
    if (!read.isValid())
        return false;
    time = read;
    return true;
}

} // namespace DateText
