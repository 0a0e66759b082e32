// Fuzzes the readers of the meter's identification answers: the framing cut, the version text, the
// lenient number reading and the model and variant checks, on bytes decoded as the line's code page.
// Input layout: the whole input is one answer; split at NUL bytes it is also the answers to the
// version, name, serial-number and variant commands of one identification.
#include "CCommunication.h"
#include "CDevice.h"
#include "Cp1252.h"
#include "FuzzSupport.h"
#include "NumberText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QStringList &variantCodes()
{
    static const QStringList codes = {QStringLiteral("027291"), QStringLiteral("027290"),
                                      QStringLiteral("030909"), QStringLiteral("030910")};
    return codes;
}

void checkNumber(const QString &text)
{
    const double value = NumberText::Val(text);
    CHECK(!std::isnan(value));
    qint16 rounded = 0;
    if (NumberText::ToInt16(value, &rounded))
        CHECK(std::fabs(value - double(rounded)) <= 0.5);
    else
        CHECK(!std::isfinite(value) || value <= -32768.5 || value >= 32767.5);
}

// Returns whether the text reads as a version.
bool checkVersion(const QString &text, qint16 &version)
{
    version = -1;
    if (!CDevice::ParseFirmwareVersion(text, version))
        return false;
    const qsizetype dot = text.indexOf(u'.');
    CHECK(dot > 0 && dot < text.size() - 1 && text.size() >= 4);
    qint16 major = 0;
    qint16 minor = 0;
    CHECK(NumberText::ToInt16(NumberText::Val(text.left(dot)), &major));
    CHECK(NumberText::ToInt16(NumberText::Val(text.mid(dot + 1)), &minor));
    CHECK(int(version) == int(major) * 100 + int(minor));
    return true;
}

// Cuts the payload; checks the cut against the framing and that only a too-short answer is reported.
bool checkStrip(const QString &answer, QString &payload)
{
    payload = QStringLiteral("stale");
    const int reportsBefore = Fuzz::reports();
    const bool ok = CDevice::StripAnswer(answer, payload);
    const bool marked = answer.endsWith(CCommunication::answerOK());
    if (ok) {
        CHECK(marked && answer.size() >= 8);
        CHECK(payload == answer.mid(2, answer.size() - 8));
        CHECK(Fuzz::reports() == reportsBefore);
    } else {
        CHECK(payload.isEmpty());
        CHECK(Fuzz::reports() == reportsBefore + ((marked && answer.size() < 8) ? 1 : 0));
    }
    return ok;
}

void checkModel(const QString &name)
{
    const bool normal = CDevice::IsKnownModel(name, false);
    const bool klaro7Edition = CDevice::IsKnownModel(name, true);
    // The Klaro 7 edition accepts a subset of the normal edition's models.
    CHECK(!klaro7Edition || normal);
    const int minimum = CDevice::MinimumFirmware(name);
    CHECK(minimum == 160 || minimum == 180 || minimum == 242);
    CHECK(!klaro7Edition || minimum == 242);
}

// The identification after the link is done with: the answers to "U.597", "U.595", "U.596", "U.592".
// Returns 0, -1 or -2 as the meter recognition does.
int identifyFromAnswers(const QList<QString> &answers, bool onlyKlaro7)
{
    QString payload;
    if (!checkStrip(answers.value(0), payload))
        return -2;
    qint16 firmware = 0;
    if (!checkVersion(payload, firmware))
        return -2;
    QString name;
    if (!checkStrip(answers.value(1), name))
        return -1;
    checkModel(name);
    if (!CDevice::IsKnownModel(name, onlyKlaro7))
        return -1;
    if (firmware < CDevice::MinimumFirmware(name))
        return -2;
    QString serial;
    if (!checkStrip(answers.value(2), serial))
        return -1;
    if (firmware < 200)
        return 0;
    QString variant;
    if (!checkStrip(answers.value(3), variant))
        return -1;
    bool variantFlag = false;
    for (const QString &code : variantCodes())
        variantFlag = variantFlag || variant.contains(code);
    (void)variantFlag;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    // The line's code page gives every byte a character, so nothing is lost on the way in.
    const QString answer = Cp1252::decode(bytes);
    CHECK(answer.size() == bytes.size());
    bool lossless = false;
    CHECK(Cp1252::encode(answer, &lossless) == bytes);
    CHECK(lossless);

    checkNumber(answer);
    qint16 version = 0;
    checkVersion(answer, version);
    checkModel(answer);

    QString payload;
    if (checkStrip(answer, payload)) {
        checkNumber(payload);
        checkVersion(payload, version);
        checkModel(payload);
    }

    const QList<QString> answers = answer.split(QChar(u'\0'));
    const int normal = identifyFromAnswers(answers, false);
    const int klaro7 = identifyFromAnswers(answers, true);
    CHECK(normal == 0 || normal == -1 || normal == -2);
    // Whatever the Klaro 7 edition accepts, the normal edition accepts too.
    CHECK(klaro7 != 0 || normal == 0);
    return 0;
}
