#include "CCalProtocol.h"

#include "CCommunication.h"
#include "CCSVFile.h"
#include "CDevice.h"
#include "CLogin.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "FileNames.h"
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

const QString kCrLf = QStringLiteral("\r\n");
const QString kLine1 = QStringLiteral("METER;SERNO;USER;PH");
const QString kLine3 =
    QStringLiteral("YEAR;MONTH;DAY;HOUR;MIN;SEC;INTERVAL;MODE;SLOPE;ASY;QUAL;SHOWF;SHOWPC");
const QString kLine5 = QStringLiteral("CALPTS;PH1;VOLT1;TEMP1;PH2;VOLT2;TEMP2;PH3;VOLT3;TEMP3");
const QString kLine7 = QStringLiteral("LOTTOTAL;EXPIRY;MANUF;STDLOW;STDMID;STDHIGH;STD4;STD5");
const QString kLine9 = QStringLiteral("CALPTS;TURB1;TURB2;TURB3;TURB4;TURB5");
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
        return TextTable::english(1228);
    default:
        return TextTable::english(1033);
    }
}

QString CCalProtocol::QualityShown(const QString &stored)
{
    // Record files hold the English words; the window and the printout show them in the chosen language.
    for (int number : {1228, 1033})
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
    const qsizetype n = f.size();
    if (n != 16 && n != 18 && n != 21 && n != 24)
        return false;
    r.IsPH = true;
    r.Year = f[1];
    r.Month = f[2];
    r.Day = f[3];
    r.Hour = f[4];
    r.Min = f[5];
    r.Sec = f[6];
    qint16 bufferSet = 0;
    if (!intValue(f[7], bufferSet))
        return false;
    r.Mode = bufferSet != 0 ? QStringLiteral("Bufmode NIST/DIN") : QStringLiteral("Bufmode TEC");
    if (n == 16)
        r.Mode.clear();
    r.Slope = f[8];
    r.Asy = f[9];
    qint16 quality = 0;
    if (!intValue(f[10], quality))
        return false;
    r.SensQuality = QualityText(quality);
    r.Interval = f[11];
    if (!boolValue(f[12], r.ShowTempF) || !boolValue(f[13], r.ShowSlopePC))
        return false;
    if (!intValue(f[14], r.NumCalPoints))
        return false;
    if (!countInRange(r.NumCalPoints, 3))
        return false;
    for (int i = 0; i < r.NumCalPoints; ++i) {
        if (17 + 3 * i >= n)
            return false;
        r.PHValues[size_t(i)] = f[15 + 3 * i];
        r.VoltageValues_mV[size_t(i)] = f[16 + 3 * i];
        r.TempValues_C[size_t(i)] = f[17 + 3 * i];
    }
    return true;
}

bool CCalProtocol::ParseTurbidityRecord(const QString &answer, CalProtocolData &r)
{
    r = CalProtocolData();
    QStringList f;
    if (!answerFields(answer, f))
        return false;
    const qsizetype n = f.size();
    if (n < 8 || n == 9)
        return false;
    r.IsPH = false;
    r.Year = f[1];
    r.Month = f[2];
    r.Day = f[3];
    r.Hour = f[4];
    r.Min = f[5];
    r.Sec = f[6];
    r.Interval = f[7];
    if (n == 8) {
        r.Mode = kShortMode;
        r.NumCalPoints = 3;
        r.CalStds_FNUNTU[0] = QStringLiteral("0.02");
        r.CalStds_FNUNTU[1] = QStringLiteral("10.0");
        r.CalStds_FNUNTU[2] = QStringLiteral("1000");
        return true;
    }
    r.Mode = f[8];
    if (!intValue(f[9], r.NumCalPoints))
        return false;
    if (!countInRange(r.NumCalPoints, 5))
        return false;
    if (n < qsizetype(r.NumCalPoints) + 10)
        return false;
    for (int i = 0; i < r.NumCalPoints; ++i)
        r.CalStds_FNUNTU[size_t(i)] = f[10 + i];
    return true;
}

bool CCalProtocol::RequestRecord(const QString &command, QString &answer)
{
    return m_communication.Exchange(command + kCrLf, answer);
}

bool CCalProtocol::UpdateFromMeter(bool fPH, bool fExtended)
{
    const CDevice &device = m_device;
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
        kLine1,
        QStringList{r.Meter, r.SerNo, r.User, boolText(r.IsPH)}.join(u';'),
        kLine3,
        QStringList{r.Year, r.Month, r.Day, r.Hour, r.Min, r.Sec, r.Interval, r.Mode, r.Slope, r.Asy,
                    r.SensQuality, boolText(r.ShowTempF), boolText(r.ShowSlopePC)}
            .join(u';'),
        kLine5,
        line6.join(u';'),
        kLine7,
        line8.join(u';'),
        kLine9,
        line10.join(u';'),
    };
    text = lines.join(kCrLf);
    return true;
}

bool CCalProtocol::SaveToFile(const QString &strFilePath) const
{
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
    if (!CCSVFile::FieldsFit(fields, TextTable::FieldBreaksRecordFile))
        return false;
    return CCSVFile().WriteFile(strFilePath, text);
}

bool CCalProtocol::ParseRecordText(const QString &text, CalProtocolData &r)
{
    const QStringList lines = TextSplit::split(text, kCrLf, 10);
    const qsizetype count = lines.size();
    if (count < 6)
        return false;
    if (lines[0] != kLine1 || lines[2] != kLine3 || lines[4] != kLine5)
        return false;
    const QString semicolon = QStringLiteral(";");

    const QStringList l2 = TextSplit::split(lines[1], semicolon, 4);
    if (l2.size() != 4)
        return false;
    r.Meter = l2[0];
    r.SerNo = l2[1];
    r.User = l2[2];
    if (!boolValue(l2[3], r.IsPH))
        return false;

    const QStringList l4 = TextSplit::split(lines[3], semicolon, 13);
    if (l4.size() != 13)
        return false;
    r.Year = l4[0];
    r.Month = l4[1];
    r.Day = l4[2];
    r.Hour = l4[3];
    r.Min = l4[4];
    r.Sec = l4[5];
    r.Interval = l4[6];
    r.Mode = l4[7];
    r.Slope = l4[8];
    r.Asy = l4[9];
    r.SensQuality = l4[10];
    if (!boolValue(l4[11], r.ShowTempF) || !boolValue(l4[12], r.ShowSlopePC))
        return false;

    const QStringList l6 = TextSplit::split(lines[5], semicolon, 10);
    if (l6.size() != 10)
        return false;
    if (!intValue(l6[0], r.NumCalPoints))
        return false;
    for (size_t i = 0; i < 3; ++i) {
        r.PHValues[i] = l6[1 + 3 * qsizetype(i)];
        r.VoltageValues_mV[i] = l6[2 + 3 * qsizetype(i)];
        r.TempValues_C[i] = l6[3 + 3 * qsizetype(i)];
    }

    if (count >= 7) {
        if (count < 8)
            return false;
        const QStringList l8 = TextSplit::split(lines[7], semicolon, 8);
        if (l8.size() < 6 || l8.size() == 7)
            return false;
        r.LOTTotal = l8[0];
        r.Expiry = l8[1];
        r.Manufacturer = l8[2];
        for (size_t i = 0; i < 3; ++i)
            r.LOTStds[i] = l8[3 + qsizetype(i)];
        if (l8.size() > 6) {
            r.LOTStds[3] = l8[6];
            r.LOTStds[4] = l8[7];
        }
    }

    if (count >= 9) {
        if (count < 10)
            return false;
        const QStringList l10 = TextSplit::split(lines[9], semicolon, 6);
        if (l10.size() < 6)
            return false;
        if (!intValue(l10[0], r.NumCalPoints))
            return false;
        for (size_t i = 0; i < 5; ++i)
            r.CalStds_FNUNTU[i] = l10[1 + qsizetype(i)];
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
    if (!QFileInfo(strFilePath).isFile())
        return false;
    QString text;
    if (!CCSVFile().ReadFile(text, strFilePath))
        return false;
    return ParseRecordText(text, m_record);
}
