#include "CDevice.h"

#include "CCommunication.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "NumberText.h"
#include "TextTable.h"

namespace {

const QStringList &klaro4Names()
{
    static const QStringList names = {QStringLiteral("Klaro 4 T"), QStringLiteral("Klaro 4 IR")};
    return names;
}

const QStringList &klaro7Names()
{
    static const QStringList names = {QStringLiteral("Klaro 7 T"), QStringLiteral("Klaro 7 IR")};
    return names;
}

const QStringList &reducedNames()
{
    static const QStringList names = {QStringLiteral("Q-95"), QStringLiteral("Lumora STD")};
    return names;
}

const QStringList &phNames()
{
    static const QStringList names = {QStringLiteral("Lumora Turb"), QStringLiteral("Lumora"),
                                      QStringLiteral("Lumora pH"),   QStringLiteral("Q-95 Pro"),
                                      QStringLiteral("Q-95 Turb"),   QStringLiteral("DEVICENAME")};
    return names;
}

const QStringList &turbidityNames()
{
    static const QStringList names = {QStringLiteral("Klaro 4 T"),   QStringLiteral("Klaro 4 IR"),
                                      QStringLiteral("Klaro 7 IR"),  QStringLiteral("Klaro 7 T"),
                                      QStringLiteral("Lumora Turb"), QStringLiteral("Q-95 Turb"),
                                      QStringLiteral("DEVICENAME")};
    return names;
}

// Turbidity photometers offer standard adjustment only with one of the variant codes.
const QStringList &noCalLineNames()
{
    static const QStringList names = {QStringLiteral("Lumora Turb"), QStringLiteral("Q-95 Turb")};
    return names;
}

const QStringList &allModels()
{
    static const QStringList names = {
        QStringLiteral("Lumora"),     QStringLiteral("Lumora pH"),  QStringLiteral("Lumora Turb"),
        QStringLiteral("Lumora STD"), QStringLiteral("Q-95"),       QStringLiteral("Q-95 Pro"),
        QStringLiteral("Q-95 Turb"),  QStringLiteral("DEVICENAME"), QStringLiteral("Klaro 4 IR"),
        QStringLiteral("Klaro 4 T"),  QStringLiteral("Klaro 7 IR"), QStringLiteral("Klaro 7 T")};
    return names;
}

const QStringList &variantCodes()
{
    static const QStringList codes = {QStringLiteral("027291"), QStringLiteral("027290"),
                                      QStringLiteral("030909"), QStringLiteral("030910")};
    return codes;
}

QString command(const char *text)
{
    return QString::fromLatin1(text) + QStringLiteral("\r\n");
}

} // namespace

bool CDevice::IsKnownModel(const QString &name, bool fOnlyKlaro7)
{
    return fOnlyKlaro7 ? klaro7Names().contains(name) : allModels().contains(name);
}

int CDevice::MinimumFirmware(const QString &name)
{
    if (klaro4Names().contains(name))
        return 160;
    if (klaro7Names().contains(name))
        return 242;
    return 180;
}

qint16 CDevice::Recognise(QString &strDeviceName, QString &strSerNum, bool fOnlyKlaro7)
{
    strDeviceName.clear();
    strSerNum.clear();
    m_online = false;
    if (!m_communication.Scan())
        return NotFound;
    const qint16 result = Identify(fOnlyKlaro7);
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

    CSerialLink &link = *m_link;
    const CCommunication &comm = m_communication;
    if (!link.BeginExchange(comm.COMPort(), comm.Baudrate()))
        return NotFound;

    QString answer;
    QString nameAnswer;
    QString serialAnswer;
    QString variantAnswer;
    auto give_up = [&link](qint16 code) {
        link.COMDeinit();
        return code;
    };

    if (!link.COMSendAndReceive(command("U.597"), answer))
        return give_up(NotFound);
    QString payload;
    // A meter that rejects the version command has firmware that is too old.
    if (!StripLine(answer, payload))
        return give_up(FirmwareTooOld);
    if (!ParseFirmwareVersion(payload, m_firmware))
        return give_up(FirmwareTooOld);
    if (!link.COMSendAndReceive(command("U.595"), nameAnswer))
        return give_up(NotFound);
    if (!link.COMSendAndReceive(command("U.596"), serialAnswer))
        return give_up(NotFound);
    if (m_firmware >= 200 && !link.COMSendAndReceive(command("U.592"), variantAnswer))
        return give_up(NotFound);
    if (!link.COMDeinit())
        return NotFound;

    if (!StripLine(nameAnswer, m_deviceName))
        return NotFound;
    if (!IsKnownModel(m_deviceName, fOnlyKlaro7))
        return NotFound;
    if (m_firmware < MinimumFirmware(m_deviceName))
        return give_up(FirmwareTooOld);
    if (!StripLine(serialAnswer, m_serialNumber))
        return NotFound;
    if (m_firmware < 200)
        return Recognised;
    // The variant answer is only searched for codes; it may run over several lines.
    QString variant;
    if (!StripAnswer(variantAnswer, variant))
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

bool CDevice::nameIn(const QString &strDeviceName, const QStringList &names) const
{
    if (!strDeviceName.isEmpty())
        return names.contains(strDeviceName);
    return m_online && names.contains(m_deviceName);
}

bool CDevice::IsKlaro4(const QString &strDeviceName) const
{
    return nameIn(strDeviceName, klaro4Names());
}

bool CDevice::IsKlaro7(const QString &strDeviceName) const
{
    return nameIn(strDeviceName, klaro7Names());
}

bool CDevice::HasReducedUserMethods(const QString &strDeviceName) const
{
    return nameIn(strDeviceName, reducedNames());
}

bool CDevice::SupportsCalLine(const QString &strDeviceName) const
{
    if (m_variant)
        return true;
    return !nameIn(strDeviceName, noCalLineNames());
}

bool CDevice::SupportsPH() const
{
    return m_online && phNames().contains(m_deviceName);
}

bool CDevice::SupportsTurbidity() const
{
    return m_online && turbidityNames().contains(m_deviceName);
}

QList<TableColumn> CDevice::TableLayout(const QString &strDeviceName) const
{
    using TextTable::text;
    QList<TableColumn> columns = {
        {text(1037), 500, 0},
        {text(1038), 800, 2},
        {text(1039), 800, 2},
        {QStringLiteral("ID"), 500, 0},
    };
    const bool klaro4 = IsKlaro4(strDeviceName);
    if (klaro4 || IsKlaro7(strDeviceName)) {
        columns += {{text(1065), 800, 1}, {text(1066), 1000, 2}, {text(1067), 800, 2}};
        if (!klaro4)
            columns += {{text(1241), 1600, 2}, {text(1242), 1000, 2}, {text(1243), 800, 2}};
        return columns;
    }
    columns += {
        {QStringLiteral("PROG"), 800, 0},
        {text(1040), 1000, 2},
        {text(1041), 1000, 2},
        {text(1042), 800, 2},
        {text(1043), 800, 1},
        {text(1044), 1000, 2},
        {text(1045), 800, 2},
        {text(1046), 800, 1},
        {text(1047), 1000, 2},
        {text(1048), 800, 2},
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
