// Fuzzes the readers of user-defined programs: the program file, the program list answer and the
// program read answer, each on the whole input (decoded as the single-byte code page), and checks
// that what reads back is written and read again unchanged.
#include "CCommunication.h"
#include "Cp1252.h"
#include "CUsrDefProg.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void checkProgramFile(const QString &text)
{
    ProgramRecord program;
    if (!CUsrDefProg::ParseProgramText(text, program))
        return;
    // Written in the current layout and read again, every text stays as it was.
    const QString written = CUsrDefProg::BuildProgramText(program);
    ProgramRecord again;
    CHECK(CUsrDefProg::ParseProgramText(written, again));
    CHECK(again == program);
}

void checkListAnswer(const QString &answer)
{
    const std::optional<QStringList> numbers = CUsrDefProg::ParseListReply(answer);
    if (!numbers)
        return;
    CHECK(numbers->size() <= CUsrDefProg::kSlots);
    for (const QString &number : *numbers)
        CHECK(!number.contains(QStringLiteral("\r\n")));
    if (numbers->isEmpty())
        return;
    // The list framed as the meter frames it reads back the same.
    const QString framed =
        QStringLiteral("\r\n") + numbers->join(QStringLiteral("\r\n")) + CCommunication::answerOK();
    const std::optional<QStringList> again = CUsrDefProg::ParseListReply(framed);
    CHECK(again && *again == *numbers);
}

void checkReadAnswer(const QString &answer)
{
    ProgramRecord record;
    if (!CUsrDefProg::ParseProgramReply(answer, record))
        return;
    CHECK(record.NO.size() <= 3);
    CHECK(record.CALREQ == QStringLiteral("0") || record.CALREQ == QStringLiteral("1"));
    // A number of fewer than 3 characters took part of the opening line break: it cannot be framed again.
    if (record.NO.size() < 3)
        return;
    const QStringList fields = {record.NO,       record.MODEL,  record.CUV,          record.LAMBDA,
                                record.MRB,      record.MRE,    QStringLiteral("0"), record.E0,
                                record.SLOPE,    record.RES,    record.FORM,         record.UNIT,
                                record.BLANKREQ, record.CALPSB, record.CALREQ};
    ProgramRecord again;
    CHECK(CUsrDefProg::ParseProgramReply(
        QStringLiteral("\r\n") + fields.join(u';') + CCommunication::answerOK(), again));
    CHECK(again == record);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = Cp1252::decode(bytes);
    checkProgramFile(text);
    checkListAnswer(text);
    checkReadAnswer(text);
    // Store commands carry the 14 values the meter keeps, joined by commas.
    ProgramRecord program;
    if (CUsrDefProg::ParseProgramText(text, program))
        CHECK(CUsrDefProg::BuildStoreCommand(QStringLiteral("U.500#14,"), program)
                  .startsWith(QStringLiteral("U.500#14,")));
    return 0;
}
