#pragma once
// The meter's last calibration record (pH or turbidity) with the lot data of the standards: read
// from the meter, handed to the record windows and printing, saved and read as record files.
#include "CCSVFile.h"
#include "LinkResult.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class CCommunication;
class CDevice;
class CLogin;

struct CalProtocolData {
    bool Valid = false;
    QString Meter;
    QString SerNo;
    QString User;
    bool IsPH = false;
    QString Year, Month, Day, Hour, Min, Sec;
    QString Interval;
    QString Mode;
    qint16 NumCalPoints = 0;
    QString Slope;
    QString Asy;
    QString SensQuality;
    bool ShowTempF = false;
    bool ShowSlopePC = false;
    std::array<QString, 3> PHValues;
    std::array<QString, 3> VoltageValues_mV;
    std::array<QString, 3> TempValues_C;
    std::array<QString, 5> CalStds_FNUNTU;
    QString LOTTotal;
    QString Expiry;
    QString Manufacturer;
    std::array<QString, 5> LOTStds;
};

class CCalProtocol {
public:
    CCalProtocol(CCommunication &communication, const CDevice &device, const CLogin &login)
        : m_communication(communication), m_device(device), m_login(login)
    {
    }

    bool UpdateFromMeter(bool fPH, bool fExtended);
    // How the link served the last UpdateFromMeter, with what the user is to be told about it (a lost
    // line, a port that cannot be opened); the caller tells it.
    const LinkResult &linkResult() const { return m_linkResult; }
    bool IsProtocolValid() const { return m_record.Valid; }
    bool IsProtocolPH() const { return m_record.IsPH; }
    bool GetProtocolDate(qint16 &nYear, qint16 &nMonth, qint16 &nDay) const;
    bool GetProtocolHeader(QString &strMeter, QString &strSerNo, QString &strUser) const;
    bool GetProtocolTurbidity(QString &strMeter, QString &strSerNo, QString &strUser, QString &strCalData,
                              QString &strCalTime, QString &strCalInterval_d, QString &strCalMode,
                              qint16 &nNumCalPoints, QStringList &strCalStds_FNUNTU) const;
    bool GetProtocolPH(QString &strMeter, QString &strSerNo, QString &strUser, QString &strCalData,
                       QString &strCalTime, QString &strCalInterval_d, QString &strMode, QString &strSlope,
                       QString &strAsy, QString &strSensQuality, bool &fShowTempF, bool &fShowSlopePC,
                       qint16 &nNumCalPoints, QStringList &strPHValues, QStringList &strVoltageValues_mV,
                       QStringList &strTempValues_C) const;
    bool SaveToFile(const QString &strFilePath) const;
    // How the last SaveToFile or ReadFromFile went with the file itself, with the words for the user
    // (the caller tells them before its own message).
    const FileResult &lastFileResult() const { return m_lastFile; }
    // Why the record read is none a meter writes (more points than it holds, a date that does not
    // exist); empty when it could be. Such a record reads (the windows refuse it field by field), but
    // a printout of it is refused before it starts.
    QString implausibility() const;
    bool ReadFromFile(const QString &strFilePath);
    double TempGetFahrenheit(double TempGradCelsius) const;
    bool SetChargeID(const QString &strLOTTotal, const QString &strExpiry, const QString &strManufacturer,
                     const QStringList &strLOTStds);
    bool GetChargeID(QString &strLOTTotal, QString &strExpiry, QString &strManufacturer,
                     QStringList &strLOTStds) const;
    // The name the record windows propose: "CalProt " + kind word + " " + year, month and day run
    // together ("pH", "Turb" or "Turb " + mode); false for an empty record.
    bool ProposedFileName(const QString &kindWord, QString &name) const;

    const CalProtocolData &record() const { return m_record; }
    // Told of every record read from the meter, once it is read whole.
    void setReadObserver(std::function<void(const CalProtocolData &)> observer)
    {
        m_read = std::move(observer);
    }
    void ClearRecord() { m_record = CalProtocolData(); }

    // The wire and file forms, free of any state (the parsers clear the record first).
    static bool ParsePHRecord(const QString &answer, CalProtocolData &record);
    static bool ParseTurbidityRecord(const QString &answer, CalProtocolData &record);
    static bool BuildRecordText(const CalProtocolData &record, QString &text);
    static bool ParseRecordText(const QString &text, CalProtocolData &record);
    static QString QualityText(qint16 code);
    // The sensor quality as the user reads it: a stored word of the text table in the chosen language.
    static QString QualityShown(const QString &stored);
    // Date and time in the system's short-date and long-time formats; out-of-range parts carry over.
    static QString FormatDate(qint16 year, qint16 month, qint16 day);
    static QString FormatTime(qint16 hour, qint16 minute, qint16 second);

private:
    bool RequestRecord(const QString &command, QString &answer);
    bool DateAndTime(QString &strCalData, QString &strCalTime) const;

    CCommunication &m_communication;
    mutable FileResult m_lastFile;
    LinkResult m_linkResult;
    const CDevice &m_device;
    const CLogin &m_login;
    CalProtocolData m_record;
    std::function<void(const CalProtocolData &)> m_read;
};
