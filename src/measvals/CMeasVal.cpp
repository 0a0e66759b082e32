#include "CMeasVal.h"

#include "CCSVFile.h"
#include "CDevice.h"
#include "DateText.h"
#include "ErrorFrame.h"
#include "LineEnd.h"
#include "TextTable.h"

#include <QFileInfo>
#include <QStringView>

#include <exception>

namespace {

const QString kTail = QStringLiteral("\r\n!\r\n>");

// Splits at sep into at most maxParts pieces; the last keeps the rest.
QList<QStringView> splitLimited(QStringView text, QChar sep, int maxParts)
{
    QList<QStringView> parts;
    while (parts.size() + 1 < maxParts) {
        const qsizetype at = text.indexOf(sep);
        if (at < 0)
            break;
        parts.append(text.first(at));
        text = text.sliced(at + 1);
    }
    parts.append(text);
    return parts;
}

} // namespace

const QString &CMeasVal::fileHeader()
{
    static const QString text = QStringLiteral("METER;S/N;USER;DATE;TIME");
    return text;
}

const QString &CMeasVal::headerKlaro()
{
    static const QString text = QStringLiteral("NO;DATE;TIME;ID;VALUE;UNIT;VALID;FLAGS;CALDATE;CALTIME");
    return text;
}

const QString &CMeasVal::headerLumora()
{
    static const QString text =
        QStringLiteral("NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2");
    return text;
}

const QString &CMeasVal::headerSevenFields()
{
    static const QString text = QStringLiteral("NO;DATE;TIME;ID;VALUE;UNIT;VALID");
    return text;
}

bool CMeasVal::SaveFile(const MeasuredValues &values, const QString &strFileName)
{
    try {
        QString text;
        m_last = BuildText(text, values);
        if (m_last.ok())
            m_last = CCSVFile().Write(strFileName, text);
        return m_last.ok();
    } catch (const std::exception &e) {
        m_last = {FileResult::Failure::Unwritable, QString::fromLocal8Bit(e.what())};
        return false;
    }
}

bool CMeasVal::BuildFileText(QString &strText, const MeasuredValues &values) const
{
    const FileResult built = BuildText(strText, values);
    if (!built.ok())
        ErrorFrame::report(built.message);
    return built.ok();
}

FileResult CMeasVal::BuildText(QString &strText, const MeasuredValues &values) const
{
    const QString &strMeter = values.meter;
    const QString &strMVals = values.datasets;
    const QDateTime &curDate = values.date;
    if (FileResult fit =
            CCSVFile::CheckFields({strMeter, values.serialNumber, values.user}, TextTable::FieldBreaksFile);
        !fit.ok())
        return fit;
    const QDate date = curDate.date();
    const QTime time = curDate.time();
    if (!date.isValid() || !time.isValid())
        return {FileResult::Failure::Refused, TextTable::text(TextTable::InvalidImportDate)};
    const CDevice &device = m_device;
    const QString &header =
        (device.IsKlaro7(strMeter) || device.IsKlaro4(strMeter)) ? headerKlaro() : headerLumora();
    const QString line2 = strMeter + u';' + values.serialNumber + u';' + values.user + u';' +
                          QStringLiteral("%1/%2/%3;%4:%5:%6")
                              .arg(date.month())
                              .arg(date.day())
                              .arg(date.year())
                              .arg(time.hour())
                              .arg(time.minute())
                              .arg(time.second());
    // The records without the reply's framing: its first 2 and last 6 characters.
    const qsizetype records = strMVals.size() > 7 ? strMVals.size() - 8 : 0;
    QString text;
    text.reserve(fileHeader().size() + line2.size() + header.size() + 8 + records);
    text += fileHeader();
    text += kCrLf;
    text += line2;
    text += kCrLf;
    text += kCrLf;
    text += header;
    text += kCrLf;
    if (records > 0)
        text += QStringView(strMVals).sliced(2, records);
    strText = std::move(text);
    return {};
}

qint16 CMeasVal::OpenFile(MeasuredValues &values, const QString &strFileName)
{
    m_last = {};
    try {
        const QFileInfo info(strFileName);
        if (info.exists() && !info.isFile()) {
            // A folder or a device is there, but no file to read: not "missing".
            m_last = {FileResult::Failure::Unreadable,
                      TextTable::text(TextTable::FileReadFailed)
                          .arg(strFileName, TextTable::text(TextTable::NotRegularFile))};
            return ReadFailed;
        }
        if (!info.isFile())
            return FileMissing;
        QString text;
        // Room for the reply's end marker, which the parser appends in place.
        m_last = CCSVFile().Read(text, strFileName, kTail.size());
        if (!m_last.ok())
            return ReadFailed;
        return ParseFileText(std::move(text), values) ? Opened : InvalidFormat;
    } catch (const std::exception &e) {
        m_last = {FileResult::Failure::Unreadable, QString::fromLocal8Bit(e.what())};
        return RuntimeError;
    }
}

bool CMeasVal::ParseFileText(QString strText, MeasuredValues &values)
{
    values = MeasuredValues();
    values.date = QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0));

    // The first four lines; the fifth piece is everything after them.
    qsizetype ends[4];
    qsizetype from = 0;
    for (qsizetype &end : ends) {
        end = strText.indexOf(kCrLf, from);
        if (end < 0)
            return false;
        from = end + 2;
    }
    const QStringView text(strText);
    const QStringView line1 = text.first(ends[0]);
    const QStringView line2 = text.sliced(ends[0] + 2, ends[1] - ends[0] - 2);
    const QStringView line4 = text.sliced(ends[2] + 2, ends[3] - ends[2] - 2);
    if (line1 != fileHeader())
        return false;
    if (line4 != headerSevenFields() && line4 != headerLumora() && line4 != headerKlaro())
        return false;

    const QList<QStringView> fields = splitLimited(line2, u';', 5);
    QString *outputs[] = {&values.meter, &values.serialNumber, &values.user};
    for (int i = 0; i < 3; ++i) {
        if (fields.size() <= i)
            return false;
        *outputs[i] = fields[i].toString();
    }
    if (fields.size() < 5)
        return false;
    QDate date;
    QTime time;
    if (!DateText::readDate(fields[3], date, DateText::Slashed) || !DateText::readTime(fields[4], time))
        return false;
    values.date = QDateTime(date, time);

    // CR LF + the records + the end marker: the CR LF that ends line 4 becomes the reply's head, so
    // the text turns into the raw text in place.
    strText.remove(0, ends[3]);
    strText += kTail;
    values.datasets = std::move(strText);
    return true;
}
