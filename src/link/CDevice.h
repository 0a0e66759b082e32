#pragma once
// The meter that was last recognised (online flag, name, serial number, firmware, variant) and what
// each model can do. Predicates that take a name answer for that name, also offline (data from
// files); with an empty name they answer for the recognised meter.
#include "LinkResult.h"

#include <QList>
#include <QString>
#include <QStringList>

class CCommunication;
class CSerialLink;
class MeterSession;

// One column of a measured-value table.
struct TableColumn {
    QString header;
    qint16 width;     // twips
    qint32 valueType; // 0 whole number, 1 decimal number, 2 text
};

// One meter model and what it can do.
struct MeterModel {
    // The family decides the measured-value table (Klaro 4: 7 columns, Klaro 7: 10, others: 14), the
    // edition that accepts the meter, and whether it keeps user-defined programs.
    enum Family { Photometer, Klaro4, Klaro7 };
    const char *name;
    int minimumFirmware; // as ParseFirmwareVersion gives it
    Family family;
    bool ph;
    bool turbidity;
    bool reducedUserMethods; // program numbers 900 to 949 only
    bool calLineWithoutVariant;
    bool keepsPrograms() const { return family == Photometer; }
};

class CDevice {
public:
    enum RecogniseResult : qint16 { Recognised = 0, NotFound = -1, FirmwareTooOld = -2 };

    CDevice(CSerialLink *link, CCommunication &communication) : m_link(link), m_communication(communication)
    {
    }

    bool Online() const { return m_online; }
    void setOnline(bool fOnline) { m_online = fOnline; }
    QString DeviceName() const { return m_deviceName; }
    QString SerialNumber() const { return m_serialNumber; }
    qint16 firmwareVersion() const { return m_firmware; }
    bool variantFlag() const { return m_variant; }

    qint16 Recognise(QString &strDeviceName, QString &strSerNum, bool fOnlyKlaro7);
    qint16 Identify(bool fOnlyKlaro7);
    // How the link served the last Recognise or Identify, with what the user is to be told (the
    // search's unusable ports, a lost line); the caller tells it.
    const LinkResult &linkResult() const { return m_linkResult; }

    // The payload of an accepted answer (without its opening CR LF and its end marker).
    static bool StripAnswer(const QString &answer, QString &payload);
    // The same for an answer whose payload must be one line (identification texts); false for a
    // payload with a line break.
    static bool StripLine(const QString &answer, QString &payload);
    // "2.42" gives 242, "1.6" gives 106.
    static bool ParseFirmwareVersion(const QString &text, qint16 &version);
    // Whether the name is one the program accepts, in the normal or the Klaro 7 edition.
    static bool IsKnownModel(const QString &name, bool fOnlyKlaro7);
    static int MinimumFirmware(const QString &name);
    // The model of that name; nullptr for a name the program does not know.
    static const MeterModel *findModel(const QString &name);

    bool IsKlaro4(const QString &strDeviceName) const;
    bool IsKlaro7(const QString &strDeviceName) const;
    bool HasReducedUserMethods(const QString &strDeviceName) const;
    bool SupportsCalLine(const QString &strDeviceName) const;
    bool SupportsPH() const;
    bool SupportsTurbidity() const;
    // Whether the meter keeps user-defined programs (the Klaro meters keep none); true for a name the
    // program does not know and offline without a name.
    bool keepsPrograms(const QString &strDeviceName) const;

    // The measured-value table of the model: 7, 10 or 14 columns.
    QList<TableColumn> TableLayout(const QString &strDeviceName) const;
    // The same into caller-sized arrays; 0 when an array holds fewer than 14 elements.
    qint16 GetTableConfig(QStringList &strColHeaders, QList<qint16> &intColWidths, QList<qint32> &curValTypes,
                          const QString &strDeviceName) const;

private:
    // The identification answers as they came, read in one session and parsed after it.
    struct IdentityAnswers {
        QString name;
        QString serial;
        QString variant;
    };
    qint16 ReadIdentity(MeterSession &session, IdentityAnswers &answers);
    qint16 ParseIdentity(const IdentityAnswers &answers, bool fOnlyKlaro7);

    // The model of the name, or of the recognised meter when the name is empty (none offline).
    const MeterModel *modelFor(const QString &strDeviceName) const;

    CSerialLink *m_link;
    CCommunication &m_communication;
    bool m_online = false;
    QString m_deviceName;
    QString m_serialNumber;
    qint16 m_firmware = 0;
    bool m_variant = false;
    LinkResult m_linkResult;
};
