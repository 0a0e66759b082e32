#include "DatasetFields.h"

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

} // namespace

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
