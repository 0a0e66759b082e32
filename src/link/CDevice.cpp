#include "CDevice.h"

#include "CCommunication.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "MeterSession.h"
#include "NumberText.h"
#include "Protocol.h"
#include "TextTable.h"

namespace {

// Every model the program knows and what it can do; each predicate below is answered from here.
const MeterModel kModels[] = {
    // name, minimum firmware, family, pH, turbidity, reduced user methods, calibration line without
    // a variant code (turbidity photometers offer it only with one)
    {"Lumora", 180, MeterModel::Photometer, true, false, false, true},
    {"Lumora pH", 180, MeterModel::Photometer, true, false, false, true},
    {"Lumora Turb", 180, MeterModel::Photometer, true, true, false, false},
    {"Lumora STD", 180, MeterModel::Photometer, false, false, true, true},
    {"Q-95", 180, MeterModel::Photometer, false, false, true, true},
    {"Q-95 Pro", 180, MeterModel::Photometer, true, false, false, true},
    {"Q-95 Turb", 180, MeterModel::Photometer, true, true, false, false},
    {"DEVICENAME", 180, MeterModel::Photometer, true, true, false, true},
    {"Klaro 4 IR", 160, MeterModel::Klaro4, false, true, false, true},
    {"Klaro 4 T", 160, MeterModel::Klaro4, false, true, false, true},
    {"Klaro 7 IR", 242, MeterModel::Klaro7, false, true, false, true},
    {"Klaro 7 T", 242, MeterModel::Klaro7, false, true, false, true},
};

// The firmware asked of a name the table does not know.
constexpr int kDefaultMinimumFirmware = 180;

const QStringList &variantCodes()
{
    static const QStringList codes = {QStringLiteral("027291"), QStringLiteral("027290"),
                                      QStringLiteral("030909"), QStringLiteral("030910")};
    return codes;
}

} // namespace

const MeterModel *CDevice::findModel(const QString &name)
{
    for (const MeterModel &model : kModels)
        if (name == QLatin1String(model.name))
            return &model;
    return nullptr;
}

bool CDevice::IsKnownModel(const QString &name, bool fOnlyKlaro7)
{
    const MeterModel *model = findModel(name);
    // The Klaro 7 edition accepts its own meters only.
    return model && (!fOnlyKlaro7 || model->family == MeterModel::Klaro7);
}

int CDevice::MinimumFirmware(const QString &name)
{
    const MeterModel *model = findModel(name);
    return model ? model->minimumFirmware : kDefaultMinimumFirmware;
}

qint16 CDevice::Recognise(QString &strDeviceName, QString &strSerNum, bool fOnlyKlaro7)
{
    strDeviceName.clear();
    strSerNum.clear();
    m_online = false;
    const bool found = m_communication.Scan();
    m_linkResult = m_communication.lastResult();
    if (!found)
        return NotFound;
    const LinkResult search = m_linkResult;
    const qint16 result = Identify(fOnlyKlaro7);
    m_linkResult = search.then(m_linkResult);
    if (result != Recognised)
        return result;
    strDeviceName = m_deviceName;
    strSerNum = m_serialNumber;
    m_online = true;
    return Recognised;
}

qint16 CDevice::Identify(bool fOnlyKlaro7)
{
    m_deviceName.clear();
    m_serialNumber.clear();
    m_firmware = 0;
    m_variant = false;

    IdentityAnswers answers;
    qint16 read = NotFound;
    {
        MeterSession session(*m_link, m_communication.COMPort(), m_communication.Baudrate());
        read = ReadIdentity(session, answers);
        m_linkResult = session.result();
    }
    // The answers are read with the line let go.
    return read == Recognised ? ParseIdentity(answers, fOnlyKlaro7) : read;
}

qint16 CDevice::ReadIdentity(MeterSession &session, IdentityAnswers &answers)
{
    if (!session.isOpen())
        return NotFound;
    QString answer;
    if (!session.send(Protocol::line(Protocol::FirmwareVersion), answer))
        return NotFound;
    QString payload;
    // A meter that rejects the version command has firmware that is too old.
    if (!StripLine(answer, payload))
        return FirmwareTooOld;
    if (!ParseFirmwareVersion(payload, m_firmware))
        return FirmwareTooOld;
    if (!session.send(Protocol::line(Protocol::DeviceName), answers.name))
        return NotFound;
    if (!session.send(Protocol::line(Protocol::SerialNumber), answers.serial))
        return NotFound;
    if (m_firmware >= 200 && !session.send(Protocol::line(Protocol::Variant), answers.variant))
        return NotFound;
    return Recognised;
}

qint16 CDevice::ParseIdentity(const IdentityAnswers &answers, bool fOnlyKlaro7)
{
    if (!StripLine(answers.name, m_deviceName))
        return NotFound;
    if (!IsKnownModel(m_deviceName, fOnlyKlaro7))
        return NotFound;
    if (m_firmware < MinimumFirmware(m_deviceName))
        return FirmwareTooOld;
    if (!StripLine(answers.serial, m_serialNumber))
        return NotFound;
    if (m_firmware < 200)
        return Recognised;
    // The variant answer is only searched for codes; it may run over several lines.
    QString variant;
    if (!StripAnswer(answers.variant, variant))
        return NotFound;
    for (const QString &code : variantCodes())
        m_variant = m_variant || variant.contains(code);
    return Recognised;
}

bool CDevice::StripAnswer(const QString &answer, QString &payload)
{
    payload.clear();
    if (answer.right(CCommunication::kLenAnswerEnd) != CCommunication::answerOK())
        return false;
    if (answer.size() < 8) {
        ErrorFrame::report(TextTable::text(TextTable::AnswerTooShort));
        return false;
    }
    // Two answers run together are not one answer.
    if (!CCommunication::IsAccepted(answer))
        return false;
    payload = answer.mid(2, answer.size() - 8);
    return true;
}

bool CDevice::StripLine(const QString &answer, QString &payload)
{
    if (!StripAnswer(answer, payload))
        return false;
    // Identification texts go into file headers, the status bar and file names: one line each. The
    // payload stays as read, as after any other failed step.
    return CCommunication::IsOneLine(payload);
}

bool CDevice::ParseFirmwareVersion(const QString &text, qint16 &version)
{
    const qsizetype dot = text.indexOf(u'.');
    if (dot < 0 || dot == 0 || dot == text.size() - 1 || text.size() < 4)
        return false;
    qint16 major = 0;
    qint16 minor = 0;
    if (!NumberText::ToInt16(NumberText::Val(text.left(dot)), &major) ||
        !NumberText::ToInt16(NumberText::Val(text.mid(dot + 1)), &minor))
        return false;
    const int combined = int(major) * 100 + int(minor);
    if (combined < -32768 || combined > 32767)
        return false;
    version = qint16(combined);
    return true;
}

const MeterModel *CDevice::modelFor(const QString &strDeviceName) const
{
    if (!strDeviceName.isEmpty())
        return findModel(strDeviceName);
    return m_online ? findModel(m_deviceName) : nullptr;
}

bool CDevice::IsKlaro4(const QString &strDeviceName) const
{
    const MeterModel *model = modelFor(strDeviceName);
    return model && model->family == MeterModel::Klaro4;
}

bool CDevice::IsKlaro7(const QString &strDeviceName) const
{
    const MeterModel *model = modelFor(strDeviceName);
    return model && model->family == MeterModel::Klaro7;
}

bool CDevice::HasReducedUserMethods(const QString &strDeviceName) const
{
    const MeterModel *model = modelFor(strDeviceName);
    return model && model->reducedUserMethods;
}

bool CDevice::SupportsCalLine(const QString &strDeviceName) const
{
    if (m_variant)
        return true;
    const MeterModel *model = modelFor(strDeviceName);
    return !model || model->calLineWithoutVariant;
}

bool CDevice::SupportsPH() const
{
    const MeterModel *model = modelFor(QString());
    return model && model->ph;
}

bool CDevice::SupportsTurbidity() const
{
    const MeterModel *model = modelFor(QString());
    return model && model->turbidity;
}

bool CDevice::keepsPrograms(const QString &strDeviceName) const
{
    // Unknown, and offline without a name: programs are still worked on as files.
    const MeterModel *model = modelFor(strDeviceName);
    return !model || model->keepsPrograms();
}

QList<TableColumn> CDevice::TableLayout(const QString &strDeviceName) const
{
    using TextTable::text;
    QList<TableColumn> columns = {
        {text(TextTable::ColumnNumber), 500, 0},
        {text(TextTable::ColumnDate), 800, 2},
        {text(TextTable::ColumnTime), 800, 2},
        {QStringLiteral("ID"), 500, 0},
    };
    const MeterModel *model = modelFor(strDeviceName);
    const bool klaro4 = model && model->family == MeterModel::Klaro4;
    if (klaro4 || (model && model->family == MeterModel::Klaro7)) {
        columns += {{text(TextTable::ColumnValue), 800, 1},
                    {text(TextTable::ColumnUnit), 1000, 2},
                    {text(TextTable::ColumnStatus), 800, 2}};
        if (!klaro4)
            columns += {{text(TextTable::ColumnAqaCal), 1600, 2},
                        {text(TextTable::ColumnDateCal), 1000, 2},
                        {text(TextTable::ColumnTimeCal), 800, 2}};
        return columns;
    }
    columns += {
        {QStringLiteral("PROG"), 800, 0},          {text(TextTable::ColumnCitation), 1000, 2},
        {text(TextTable::ColumnArBvCal), 1000, 2}, {text(TextTable::ColumnDilution), 800, 2},
        {text(TextTable::ColumnValue1), 800, 1},   {text(TextTable::ColumnUnit1), 1000, 2},
        {text(TextTable::ColumnStatus1), 800, 2},  {text(TextTable::ColumnValue2), 800, 1},
        {text(TextTable::ColumnUnit2), 1000, 2},   {text(TextTable::ColumnStatus2), 800, 2},
    };
    return columns;
}

qint16 CDevice::GetTableConfig(QStringList &strColHeaders, QList<qint16> &intColWidths,
                               QList<qint32> &curValTypes, const QString &strDeviceName) const
{
    if (strColHeaders.size() < 14 || intColWidths.size() < 14 || curValTypes.size() < 14)
        return 0;
    const QList<TableColumn> columns = TableLayout(strDeviceName);
    for (qsizetype i = 0; i < columns.size(); ++i) {
        strColHeaders[i] = columns[i].header;
        intColWidths[i] = columns[i].width;
        curValTypes[i] = columns[i].valueType;
    }
    return qint16(columns.size());
}
