#include "DatasetFields.h"

#include "DateText.h"

namespace DatasetFields {
namespace {

constexpr std::array<Field, 7> kKlaro4 = {No, Date, Time, SampleId, Value1, Unit1, Status1};
constexpr std::array<Field, 10> kKlaro7 = {No,    Date,    Time, SampleId, Value1,
                                           Unit1, Status1, Code, CalDate,  CalTime};
constexpr std::array<Field, 14> kPhotometer = {No,       Date,   Time,  SampleId, Program, Cit,   Code,
                                               Dilution, Value1, Unit1, Status1,  Value2,  Unit2, Status2};

const char *const kNames[Count] = {"No",    "Date",     "Time",    "Id",     "Program", "Cit",
                                   "Code",  "Dilution", "Value1",  "Unit1",  "Status1", "Value2",
                                   "Unit2", "Status2",  "CalDate", "CalTime"};
const char *const kColumns[Count] = {"no",    "date",     "time",     "sample_id", "program", "cit",
                                     "code",  "dilution", "value1",   "unit1",     "status1", "value2",
                                     "unit2", "status2",  "cal_date", "cal_time"};

bool printable(QStringView text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

bool datasetNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    int number = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number >= 1 && number <= kMaxNumber;
}

} // namespace

Fault check(Field field, QStringView text)
{
    if (text.size() > kMaxChars)
        return Fault::TooLong;
    if (!printable(text))
        return Fault::Control;
    QDate date;
    QTime time;
    switch (field) {
    case No:
        return datasetNumber(text) ? Fault::None : Fault::NoNumber;
    case CalDate:
        if (text.isEmpty())
            return Fault::None;
        [[fallthrough]];
    case Date:
        return DateText::readDate(text, date) ? Fault::None : Fault::NoDate;
    case CalTime:
        if (text.isEmpty())
            return Fault::None;
        [[fallthrough]];
    case Time:
        return DateText::readTime(text, time, true) ? Fault::None : Fault::NoTime;
    default:
        return Fault::None;
    }
}

Field atPosition(int layout, int position)
{
    if (position < 0)
        return Count;
    switch (layout) {
    case 7:
        return position < 7 ? kKlaro4[size_t(position)] : Count;
    case 10:
        return position < 10 ? kKlaro7[size_t(position)] : Count;
    case 14:
        return position < 14 ? kPhotometer[size_t(position)] : Count;
    default:
        return Count;
    }
}

int positionOf(int layout, Field field)
{
    for (int i = 0; i < layout; ++i)
        if (atPosition(layout, i) == field)
            return i;
    return -1;
}

QString name(Field field)
{
    return field < Count ? QString::fromLatin1(kNames[field]) : QString();
}

QString columnName(Field field)
{
    return field < Count ? QString::fromLatin1(kColumns[field]) : QString();
}

} // namespace DatasetFields
