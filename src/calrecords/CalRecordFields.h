#pragma once
// Where each field of a calibration record stands, in one place: in the meter's pH and turbidity record
// answers and on the lines of a record file. The parsers, the file reader and the writer take the
// positions from here, so a layout is changed once.
#include <QString>

#include <array>

namespace CalRecordFields {

// The six fields of the time of calibration, year first; both answers hold them from field 1 on.
constexpr int kTimeFields = 6;
constexpr int kAnswerTime = 1;

// The pH record answer: the time, then these fields, then each calibration point as pH, mV, degC.
namespace PHAnswer {
constexpr int BufferSet = 7;
constexpr int Slope = 8;
constexpr int Asy = 9;
constexpr int Quality = 10;
constexpr int Interval = 11;
constexpr int ShowTempF = 12;
constexpr int ShowSlopePC = 13;
constexpr int Points = 14;
constexpr int kMaxPoints = 3;
constexpr int kPointWidth = 3;
constexpr int pointPH(int i)
{
    return 15 + kPointWidth * i;
}
constexpr int pointVoltage(int i)
{
    return 16 + kPointWidth * i;
}
constexpr int pointTemperature(int i)
{
    return 17 + kPointWidth * i;
}
// The field counts a meter sends: the form without points (whose buffer mode is not shown), and those
// with room for one, two and three points; the point count decides how many are read.
constexpr int kCountWithoutPoints = 16;
constexpr std::array<int, 4> kCounts = {kCountWithoutPoints, 18, 21, 24};
} // namespace PHAnswer

// The turbidity record answer: the time, the interval; the long form adds the mode and the standards.
namespace TurbidityAnswer {
constexpr int Interval = 7;
constexpr int kShortCount = 8; // three fixed standards, no mode
constexpr int Mode = 8;
constexpr int Points = 9;
constexpr int FirstStandard = 10;
constexpr int kMaxPoints = 5;
} // namespace TurbidityAnswer

// A record file: ten lines, each line of values under a line of their names.
namespace File {
constexpr int kLines = 10;
constexpr int kLinesPHOnly = 6;      // files of pH records without lot data
constexpr int kLinesWithoutStds = 8; // files without the turbidity standards
inline const QString HeaderLine = QStringLiteral("METER;SERNO;USER;PH");
inline const QString TimeLine =
    QStringLiteral("YEAR;MONTH;DAY;HOUR;MIN;SEC;INTERVAL;MODE;SLOPE;ASY;QUAL;SHOWF;SHOWPC");
inline const QString PointsLine = QStringLiteral("CALPTS;PH1;VOLT1;TEMP1;PH2;VOLT2;TEMP2;PH3;VOLT3;TEMP3");
inline const QString LotLine = QStringLiteral("LOTTOTAL;EXPIRY;MANUF;STDLOW;STDMID;STDHIGH;STD4;STD5");
inline const QString StandardsLine = QStringLiteral("CALPTS;TURB1;TURB2;TURB3;TURB4;TURB5");

// Line 2: the header values.
namespace Header {
constexpr int Meter = 0, SerNo = 1, User = 2, IsPH = 3, kCount = 4;
}
// Line 4: the time (from field 0), then the record's values.
namespace Time {
constexpr int Interval = 6, Mode = 7, Slope = 8, Asy = 9, Quality = 10, ShowTempF = 11, ShowSlopePC = 12,
              kCount = 13;
}
// Line 6: the point count, then each point as pH, mV, degC.
namespace Points {
constexpr int Count = 0, kMaxPoints = 3, kCount = 1 + 3 * kMaxPoints;
constexpr int pointPH(int i)
{
    return 1 + 3 * i;
}
constexpr int pointVoltage(int i)
{
    return 2 + 3 * i;
}
constexpr int pointTemperature(int i)
{
    return 3 + 3 * i;
}
} // namespace Points
// Line 8: the lot data; older files have three standards' lots, newer ones five.
namespace Lot {
constexpr int Total = 0, Expiry = 1, Manufacturer = 2, FirstStandard = 3;
constexpr int kCountThree = 6, kCountFive = 8;
} // namespace Lot
// Line 10: the point count, then the five turbidity standards.
namespace Standards {
constexpr int Count = 0, First = 1, kMaxStandards = 5, kCount = 1 + kMaxStandards;
}

} // namespace File

} // namespace CalRecordFields
