#include "CCalProtocol.h"

#include "CalRecordFields.h"
#include "CCommunication.h"
#include "CCSVFile.h"
#include "CDevice.h"
#include "CLogin.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "FileNames.h"
#include "LineEnd.h"
#include "LocaleTexts.h"
#include "NumberText.h"
#include "Protocol.h"
#include "TextSplit.h"
#include "TextTable.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

namespace Fields = CalRecordFields;
const QString kShortMode = QStringLiteral("3-P StdCAL");

bool isNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return number.match(text.trimmed()).hasMatch();
}

bool readNumber(const QString &text, double &value)
{
    if (!isNumber(text))
        return false;
    value = NumberText::Val(text.trimmed());
    return std::isfinite(value);
}

// Digits with an optional sign; a fractional part goes to the nearest integer (half to even).
bool intValue(const QString &text, qint16 &result)
{
    double value = 0.0;
    if (readNumber(text, value) && NumberText::ToInt16(value, &result))
        return true;
    // A number that does not fit is told apart from text that is no number.
    ErrorFrame::report(
        TextTable::text(isNumber(text) ? TextTable::OutOfRange : TextTable::NotANumber).arg(text));
    return false;
}

// A number (0 false, anything else true) or the words True and False.
bool boolValue(const QString &text, bool &result)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
        result = true;
        return true;
    }
    if (trimmed.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) {
        result = false;
        return true;
    }
    double value = 0.0;
    if (readNumber(trimmed, value)) {
        result = value != 0.0;
        return true;
    }
    ErrorFrame::report(TextTable::text(TextTable::NotANumber).arg(text));
    return false;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// The framing of an accepted answer cut off; the rest, one line, split at ",".
bool answerFields(const QString &answer, QStringList &fields)
{
    if (answer.right(CCommunication::kLenAnswerEnd) != CCommunication::answerOK())
        return false;
    const QString rest = answer.left(answer.size() - CCommunication::kLenAnswerEnd);
    if (rest.size() < 2) {
        ErrorFrame::report(TextTable::text(TextTable::AnswerTooShort));
        return false;
    }
    if (!CCommunication::IsAccepted(answer))
        return false;
    const QString payload = rest.mid(2);
    if (!CCommunication::IsOneLine(payload))
        return false;
    fields = TextSplit::split(payload, QStringLiteral(","));
    return true;
}

// A count of points or standards: none to the record's maximum.
// The six time fields from position first on.
void readTime(const QStringList &fields, qsizetype first, CalProtocolData &r)
{
    QString *const time[Fields::kTimeFields] = {&r.Year, &r.Month, &r.Day, &r.Hour, &r.Min, &r.Sec};
    for (qsizetype i = 0; i < Fields::kTimeFields; ++i)
        *time[i] = fields[first + i];
}

bool countInRange(qint16 count, qint16 maximum)
{
    return count >= 0 && count <= maximum;
}

void fillOut(QStringList &list, qsizetype size)
{
    while (list.size() < size)
        list.append(QString());
}

} // namespace

QString CCalProtocol::QualityText(qint16 code)
{
    switch (code) {
    case 1:
        return QStringLiteral("-");
    case 2:
        return QStringLiteral("+");
    case 3:
        return QStringLiteral("++");
    case 4:
        return QStringLiteral("+++");
    case 5:
        return TextTable::english(TextTable::DefaultMode);
    default:
        return TextTable::english(TextTable::ErrorCaption);
    }
}

QString CCalProtocol::QualityShown(const QString &stored)
{
    // Record files hold the English words; the window and the printout show them in the chosen language.
    for (int number : {TextTable::DefaultMode, TextTable::ErrorCaption})
        if (stored == TextTable::english(number))
            return TextTable::text(number);
    return stored;
}

bool CCalProtocol::ParsePHRecord(const QString &answer, CalProtocolData &r)
{
    r = CalProtocolData();
    QStringList f;
    if (!answerFields(answer, f))
        return false;
    namespace PH = Fields::PHAnswer;
    const qsizetype n = f.size();
    if (std::find(PH::kCounts.begin(), PH::kCounts.end(), n) == PH::kCounts.end())
        return false;
    r.IsPH = true;
    readTime(f, Fields::kAnswerTime, r);
    qint16 bufferSet = 0;
    if (!intValue(f[PH::BufferSet], bufferSet))
        return false;
    r.Mode = bufferSet != 0 ? QStringLiteral("Bufmode NIST/DIN") : QStringLiteral("Bufmode TEC");
    if (n == PH::kCountWithoutPoints)
        r.Mode.clear();
    r.Slope = f[PH::Slope];
    r.Asy = f[PH::Asy];
    qint16 quality = 0;
    if (!intValue(f[PH::Quality], quality))
        return false;
    r.SensQuality = QualityText(quality);
    r.Interval = f[PH::Interval];
    if (!boolValue(f[PH::ShowTempF], r.ShowTempF) || !boolValue(f[PH::ShowSlopePC], r.ShowSlopePC))
        return false;
    if (!intValue(f[PH::Points], r.NumCalPoints))
        return false;
    if (!countInRange(r.NumCalPoints, PH::kMaxPoints))
        return false;
    for (int i = 0; i < r.NumCalPoints; ++i) {
        if (PH::pointTemperature(i) >= n)
            return false;
        r.PHValues[size_t(i)] = f[PH::pointPH(i)];
        r.VoltageValues_mV[size_t(i)] = f[PH::pointVoltage(i)];
        r.TempValues_C[size_t(i)] = f[PH::pointTemperature(i)];
    }
    return true;
}

bool CCalProtocol::ParseTurbidityRecord(const QString &answer, CalProtocolData &r)
{
    r = CalProtocolData();
    QStringList f;
    if (!answerFields(answer, f))
        return false;
    namespace Turb = Fields::TurbidityAnswer;
    const qsizetype n = f.size();
    // The long form holds at least the mode and the point count.
    if (n < Turb::kShortCount || n == Turb::Mode + 1)
        return false;
    r.IsPH = false;
    readTime(f, Fields::kAnswerTime, r);
    r.Interval = f[Turb::Interval];
    if (n == Turb::kShortCount) {
        r.Mode = kShortMode;
        r.NumCalPoints = 3;
        r.CalStds_FNUNTU[0] = QStringLiteral("0.02");
        r.CalStds_FNUNTU[1] = QStringLiteral("10.0");
        r.CalStds_FNUNTU[2] = QStringLiteral("1000");
        return true;
    }
    r.Mode = f[Turb::Mode];
    if (!intValue(f[Turb::Points], r.NumCalPoints))
        return false;
    if (!countInRange(r.NumCalPoints, Turb::kMaxPoints))
        return false;
    if (n < qsizetype(r.NumCalPoints) + Turb::FirstStandard)
        return false;
    for (int i = 0; i < r.NumCalPoints; ++i)
        r.CalStds_FNUNTU[size_t(i)] = f[Turb::FirstStandard + i];
    return true;
}

bool CCalProtocol::RequestRecord(const QString &command, QString &answer)
{
    const bool ok = m_communication.Exchange(command + kCrLf, answer);
    m_linkResult = m_communication.lastResult();
    return ok;
}

bool CCalProtocol::UpdateFromMeter(bool fPH, bool fExtended)
{
    const CDevice &device = m_device;
    m_linkResult = {};
    if (!device.Online()) {
        ClearRecord();
        return true;
    }
    QString answer;
    bool ok = false;
    if (fPH)
        ok = RequestRecord(Protocol::ReadPHRecord, answer) && ParsePHRecord(answer, m_record);
    else
        ok = RequestRecord(fExtended ? Protocol::ReadTurbidityRecordExtended : Protocol::ReadTurbidityRecord,
                           answer) &&
             ParseTurbidityRecord(answer, m_record);
    if (!ok) {
        ClearRecord();
        return false;
    }
    m_record.Meter = device.DeviceName();
    m_record.SerNo = device.SerialNumber();
    m_record.User = m_login.UserName();
    m_record.Valid = true;
    if (m_read)
        m_read(m_record);
    return true;
}

bool CCalProtocol::GetProtocolDate(qint16 &nYear, qint16 &nMonth, qint16 &nDay) const
{
    if (!m_record.Valid)
        return false;
    qint16 y = 0;
    qint16 m = 0;
    qint16 d = 0;
    if (!intValue(m_record.Year, y) || !intValue(m_record.Month, m) || !intValue(m_record.Day, d))
        return false;
    nYear = y;
    nMonth = m;
    nDay = d;
    return true;
}

bool CCalProtocol::GetProtocolHeader(QString &strMeter, QString &strSerNo, QString &strUser) const
{
    if (!m_record.Valid)
        return false;
    strMeter = m_record.Meter;
    strSerNo = m_record.SerNo;
    strUser = m_record.User;
    return true;
}

QString CCalProtocol::FormatDate(qint16 year, qint16 month, qint16 day)
{
    // Years below 30 are 20xx, 30 to 99 are 19xx; a month or day beyond its range carries over.
    int y = year;
    if (y >= 0 && y < 30)
        y += 2000;
    else if (y >= 30 && y < 100)
        y += 1900;
    const QDate date = QDate(y, 1, 1).addMonths(month - 1).addDays(day - 1);
    return LocaleTexts::shortDate(date);
}

QString CCalProtocol::FormatTime(qint16 hour, qint16 minute, qint16 second)
{
    const int seconds = hour * 3600 + minute * 60 + second;
    return LocaleTexts::longTime(QTime(0, 0).addSecs(seconds));
}

bool CCalProtocol::DateAndTime(QString &strCalData, QString &strCalTime) const
{
    qint16 y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!intValue(m_record.Year, y) || !intValue(m_record.Month, mo) || !intValue(m_record.Day, d) ||
        !intValue(m_record.Hour, h) || !intValue(m_record.Min, mi) || !intValue(m_record.Sec, s))
        return false;
    strCalData = FormatDate(y, mo, d);
    strCalTime = FormatTime(h, mi, s);
    return true;
}

bool CCalProtocol::GetProtocolTurbidity(QString &strMeter, QString &strSerNo, QString &strUser,
                                        QString &strCalData, QString &strCalTime, QString &strCalInterval_d,
                                        QString &strCalMode, qint16 &nNumCalPoints,
                                        QStringList &strCalStds_FNUNTU) const
{
    if (!m_record.Valid || m_record.IsPH)
        return false;
    GetProtocolHeader(strMeter, strSerNo, strUser);
    if (!DateAndTime(strCalData, strCalTime))
        return false;
    strCalInterval_d = m_record.Interval;
    strCalMode = m_record.Mode;
    nNumCalPoints = m_record.NumCalPoints;
    if (!countInRange(m_record.NumCalPoints, 5))
        return false;
    fillOut(strCalStds_FNUNTU, m_record.NumCalPoints);
    for (int i = 0; i < m_record.NumCalPoints; ++i)
        strCalStds_FNUNTU[i] = m_record.CalStds_FNUNTU[size_t(i)];
    return true;
}

bool CCalProtocol::GetProtocolPH(QString &strMeter, QString &strSerNo, QString &strUser, QString &strCalData,
                                 QString &strCalTime, QString &strCalInterval_d, QString &strMode,
                                 QString &strSlope, QString &strAsy, QString &strSensQuality,
                                 bool &fShowTempF, bool &fShowSlopePC, qint16 &nNumCalPoints,
                                 QStringList &strPHValues, QStringList &strVoltageValues_mV,
                                 QStringList &strTempValues_C) const
{
    if (!m_record.Valid || !m_record.IsPH)
        return false;
    GetProtocolHeader(strMeter, strSerNo, strUser);
    if (!DateAndTime(strCalData, strCalTime))
        return false;
    strCalInterval_d = m_record.Interval;
    strMode = m_record.Mode;
    strSlope = m_record.Slope;
    strAsy = m_record.Asy;
    strSensQuality = QualityShown(m_record.SensQuality);
    fShowTempF = m_record.ShowTempF;
    fShowSlopePC = m_record.ShowSlopePC;
    nNumCalPoints = m_record.NumCalPoints;
    if (!countInRange(m_record.NumCalPoints, 3))
        return false;
    fillOut(strPHValues, m_record.NumCalPoints);
    fillOut(strVoltageValues_mV, m_record.NumCalPoints);
    fillOut(strTempValues_C, m_record.NumCalPoints);
    for (int i = 0; i < m_record.NumCalPoints; ++i) {
        strPHValues[i] = m_record.PHValues[size_t(i)];
        strVoltageValues_mV[i] = m_record.VoltageValues_mV[size_t(i)];
        strTempValues_C[i] = m_record.TempValues_C[size_t(i)];
    }
    return true;
}

double CCalProtocol::TempGetFahrenheit(double TempGradCelsius) const
{
    const double fahrenheit = TempGradCelsius * 9.0 / 5.0 + 32.0;
    if (!std::isfinite(fahrenheit)) {
        ErrorFrame::report(TextTable::text(TextTable::CalculationFault));
        return 0.0;
    }
    return fahrenheit;
}

bool CCalProtocol::SetChargeID(const QString &strLOTTotal, const QString &strExpiry,
                               const QString &strManufacturer, const QStringList &strLOTStds)
{
    if (strLOTStds.size() < 5)
        return false;
    m_record.LOTTotal = strLOTTotal;
    m_record.Expiry = strExpiry;
    m_record.Manufacturer = strManufacturer;
    for (int i = 0; i < 5; ++i)
        m_record.LOTStds[size_t(i)] = strLOTStds[i];
    return true;
}

bool CCalProtocol::GetChargeID(QString &strLOTTotal, QString &strExpiry, QString &strManufacturer,
                               QStringList &strLOTStds) const
{
    strLOTTotal = m_record.LOTTotal;
    strExpiry = m_record.Expiry;
    strManufacturer = m_record.Manufacturer;
    fillOut(strLOTStds, 5);
    for (int i = 0; i < 5; ++i)
        strLOTStds[i] = m_record.LOTStds[size_t(i)];
    return true;
}

bool CCalProtocol::ProposedFileName(const QString &kindWord, QString &name) const
{
    qint16 year = 0;
    qint16 month = 0;
    qint16 day = 0;
    if (!GetProtocolDate(year, month, day))
        return false;
    auto twoDigits = [](qint16 value) {
        const QString digits = QString::number(std::abs(int(value))).rightJustified(2, u'0');
        return value < 0 ? QStringLiteral("-") + digits : digits;
    };
    name = QStringLiteral("CalProt ") + FileNames::safePart(kindWord) + u' ' + QString::number(year) +
           twoDigits(month) + twoDigits(day);
    return true;
}

// ---- record files -----------------------------------------------------------------------------

bool CCalProtocol::BuildRecordText(const CalProtocolData &r, QString &text)
{
    if (!r.Valid)
        return false;
    const QString points = QString::number(r.NumCalPoints);
    QStringList line6 = {points};
    for (size_t i = 0; i < 3; ++i)
        line6 << r.PHValues[i] << r.VoltageValues_mV[i] << r.TempValues_C[i];
    QStringList line8 = {r.LOTTotal, r.Expiry, r.Manufacturer};
    for (const QString &lot : r.LOTStds)
        line8 << lot;
    QStringList line10 = {points};
    for (const QString &standard : r.CalStds_FNUNTU)
        line10 << standard;
    const QStringList lines = {
        Fields::File::HeaderLine,
        QStringList{r.Meter, r.SerNo, r.User, boolText(r.IsPH)}.join(u';'),
        Fields::File::TimeLine,
        QStringList{r.Year, r.Month, r.Day, r.Hour, r.Min, r.Sec, r.Interval, r.Mode, r.Slope, r.Asy,
                    r.SensQuality, boolText(r.ShowTempF), boolText(r.ShowSlopePC)}
            .join(u';'),
        Fields::File::PointsLine,
        line6.join(u';'),
        Fields::File::LotLine,
        line8.join(u';'),
        Fields::File::StandardsLine,
        line10.join(u';'),
    };
    text = lines.join(kCrLf);
    return true;
}

bool CCalProtocol::SaveToFile(const QString &strFilePath) const
{
    m_lastFile = {};
    QString text;
    if (!BuildRecordText(m_record, text))
        return false;
    const CalProtocolData &r = m_record;
    QStringList fields = {r.Meter, r.SerNo,       r.User,     r.Year,     r.Month,       r.Day,
                          r.Hour,  r.Min,         r.Sec,      r.Interval, r.Mode,        r.Slope,
                          r.Asy,   r.SensQuality, r.LOTTotal, r.Expiry,   r.Manufacturer};
    for (size_t i = 0; i < 3; ++i)
        fields << r.PHValues[i] << r.VoltageValues_mV[i] << r.TempValues_C[i];
    for (size_t i = 0; i < 5; ++i)
        fields << r.LOTStds[i] << r.CalStds_FNUNTU[i];
    // A field that would shift the layout is refused: what is saved must read back.
    m_lastFile = CCSVFile::CheckFields(fields, TextTable::FieldBreaksRecordFile);
    if (m_lastFile.ok())
        m_lastFile = CCSVFile().Write(strFilePath, text);
    return m_lastFile.ok();
}

namespace {

// Each line of a record file into the record; false when the line does not have its layout.

bool readHeaderLine(const QString &line, CalProtocolData &r)
{
    namespace Header = Fields::File::Header;
    const QStringList l2 = TextSplit::split(line, QStringLiteral(";"), Header::kCount);
    if (l2.size() != Header::kCount)
        return false;
    r.Meter = l2[Header::Meter];
    r.SerNo = l2[Header::SerNo];
    r.User = l2[Header::User];
    return boolValue(l2[Header::IsPH], r.IsPH);
}

bool readTimeLine(const QString &line, CalProtocolData &r)
{
    namespace Time = Fields::File::Time;
    const QStringList l4 = TextSplit::split(line, QStringLiteral(";"), Time::kCount);
    if (l4.size() != Time::kCount)
        return false;
    readTime(l4, 0, r);
    r.Interval = l4[Time::Interval];
    r.Mode = l4[Time::Mode];
    r.Slope = l4[Time::Slope];
    r.Asy = l4[Time::Asy];
    r.SensQuality = l4[Time::Quality];
    return boolValue(l4[Time::ShowTempF], r.ShowTempF) && boolValue(l4[Time::ShowSlopePC], r.ShowSlopePC);
}

bool readPointsLine(const QString &line, CalProtocolData &r)
{
    namespace Points = Fields::File::Points;
    const QStringList l6 = TextSplit::split(line, QStringLiteral(";"), Points::kCount);
    if (l6.size() != Points::kCount)
        return false;
    if (!intValue(l6[Points::Count], r.NumCalPoints))
        return false;
    for (int i = 0; i < Points::kMaxPoints; ++i) {
        r.PHValues[size_t(i)] = l6[Points::pointPH(i)];
        r.VoltageValues_mV[size_t(i)] = l6[Points::pointVoltage(i)];
        r.TempValues_C[size_t(i)] = l6[Points::pointTemperature(i)];
    }
    return true;
}

bool readLotLine(const QString &line, CalProtocolData &r)
{
    namespace Lot = Fields::File::Lot;
    const QStringList l8 = TextSplit::split(line, QStringLiteral(";"), Lot::kCountFive);
    if (l8.size() != Lot::kCountThree && l8.size() != Lot::kCountFive)
        return false;
    r.LOTTotal = l8[Lot::Total];
    r.Expiry = l8[Lot::Expiry];
    r.Manufacturer = l8[Lot::Manufacturer];
    for (qsizetype i = 0; i + Lot::FirstStandard < l8.size(); ++i)
        r.LOTStds[size_t(i)] = l8[Lot::FirstStandard + i];
    return true;
}

bool readStandardsLine(const QString &line, CalProtocolData &r)
{
    namespace Standards = Fields::File::Standards;
    const QStringList l10 = TextSplit::split(line, QStringLiteral(";"), Standards::kCount);
    if (l10.size() < Standards::kCount)
        return false;
    if (!intValue(l10[Standards::Count], r.NumCalPoints))
        return false;
    for (int i = 0; i < Standards::kMaxStandards; ++i)
        r.CalStds_FNUNTU[size_t(i)] = l10[Standards::First + i];
    return true;
}

} // namespace

bool CCalProtocol::ParseRecordText(const QString &text, CalProtocolData &r)
{
    namespace File = Fields::File;
    const QStringList lines = TextSplit::split(text, kCrLf, File::kLines);
    const qsizetype count = lines.size();
    if (count < File::kLinesPHOnly)
        return false;
    if (lines[0] != File::HeaderLine || lines[2] != File::TimeLine || lines[4] != File::PointsLine)
        return false;
    if (!readHeaderLine(lines[1], r) || !readTimeLine(lines[3], r) || !readPointsLine(lines[5], r))
        return false;
    if (count > File::kLinesPHOnly && (count < File::kLinesWithoutStds || !readLotLine(lines[7], r)))
        return false;
    if (count > File::kLinesWithoutStds) {
        if (count < File::kLines || !readStandardsLine(lines[9], r))
            return false;
        r.Valid = true;
        return true;
    }

    // Without the standards block a turbidity record is the short record of three fixed standards.
    if (!r.IsPH) {
        r.Mode = kShortMode;
        r.NumCalPoints = 3;
        r.CalStds_FNUNTU[0] = QStringLiteral("0.02");
        r.CalStds_FNUNTU[1] = QStringLiteral("10.0");
        r.CalStds_FNUNTU[2] = QStringLiteral("1000");
    }
    r.Valid = true;
    return true;
}

QString CCalProtocol::implausibility() const
{
    const CalProtocolData &r = m_record;
    const QString outOfRange = TextTable::text(TextTable::OutOfRange);
    if (r.NumCalPoints < 0 || r.NumCalPoints > (r.IsPH ? 3 : 5))
        return outOfRange.arg(r.NumCalPoints);
    const QString parts[] = {r.Year, r.Month, r.Day, r.Hour, r.Min, r.Sec};
    if (std::all_of(std::begin(parts), std::end(parts), [](const QString &part) { return part.isEmpty(); }))
        return {};
    int values[6] = {};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return outOfRange.arg(parts[i]);
    }
    if (values[0] < 1 || values[0] > 9999 || !QDate(values[0], values[1], values[2]).isValid())
        return outOfRange.arg(QStringLiteral("%1-%2-%3").arg(r.Year, r.Month, r.Day));
    if (!QTime(values[3], values[4], values[5]).isValid())
        return outOfRange.arg(QStringLiteral("%1:%2:%3").arg(r.Hour, r.Min, r.Sec));
    return {};
}

bool CCalProtocol::ReadFromFile(const QString &strFilePath)
{
    ClearRecord();
    m_lastFile = {};
    if (!QFileInfo(strFilePath).isFile())
        return false;
    QString text;
    m_lastFile = CCSVFile().Read(text, strFilePath);
    if (!m_lastFile.ok())
        return false;
    return ParseRecordText(text, m_record);
}
