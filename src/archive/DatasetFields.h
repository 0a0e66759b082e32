#pragma once
// The fields of a dataset by name, whatever the meter's layout: the archive, its queries and its
// outputs speak of "Value1" or "Code", never of a position in a 7-, 10- or 14-field record.
#include <QString>
#include <QStringView>

#include <array>

namespace DatasetFields {

enum Field {
    No,
    Date,
    Time,
    SampleId,
    Program,
    Cit,
    Code, // the AR/BV/Cal column of the photometers, the AQA/Cal column of the Klaro 7
    Dilution,
    Value1,
    Unit1,
    Status1,
    Value2,
    Unit2,
    Status2,
    CalDate,
    CalTime,
    Count
};

using Values = std::array<QString, Count>;

// The named field that position i of a record of the layout (7, 10 or 14 fields) carries; Count
// when the layout has no such position.
Field atPosition(int layout, int position);
// The position of a named field in a record of the layout, or -1 when the layout lacks it.
int positionOf(int layout, Field field);

// The names used on the command line, in CSV and JSON output and in database columns.
QString name(Field field);       // "Value1"
QString columnName(Field field); // "value1"

// What a meter writes into a field. Its own editors take texts of at most 15 characters and its table
// shows the dataset number as a 16-bit whole number; the width leaves room beyond either.
constexpr int kMaxChars = 32;
constexpr int kMaxNumber = 32767;

enum class Fault {
    None,
    TooLong,  // wider than kMaxChars
    Control,  // a control character: the meter writes printable text
    NoNumber, // the dataset number is not a whole number 1 to kMaxNumber
    NoDate,   // not a date that exists (day.month.year or month/day/year)
    NoTime,   // not a time of day that exists (hour:minute, seconds optional)
};

// Whether a meter can have written text as the field. Date and Time must be there; the calibration
// date and time of a meter never calibrated may be empty.
Fault check(Field field, QStringView text);

// A record's fields by name.
template <typename FieldAt> Values fromRecord(int layout, FieldAt fieldAt)
{
    Values values;
    for (int i = 0; i < layout; ++i) {
        const Field f = atPosition(layout, i);
        if (f != Count)
            values[size_t(f)] = fieldAt(i).toString();
    }
    return values;
}

} // namespace DatasetFields
