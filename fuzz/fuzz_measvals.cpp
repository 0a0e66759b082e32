// Fuzzes the reader of measured-value files and the record walk over the raw dataset text: a file that
// reads is written and read again unchanged, and the walk and the record-by-record cut agree.
#include "CImportMVal.h"
#include "CMeasVal.h"
#include "Cp1252.h"
#include "FuzzSupport.h"
#include "RecordWalk.h"
#include "SharedObjects.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace {

void checkWalk(const QString &raw, int fieldCount)
{
    RecordWalk walk(raw, fieldCount);
    QString rest = raw;
    QStringList fields(RecordWalk::kMaxFields);
    while (true) {
        const bool walked = walk.next();
        bool cut = rest.size() >= 2;
        if (cut) {
            rest.remove(0, 2);
            cut = CImportMVal::ExtractNextRecSet(fields, rest, qint16(fieldCount));
        }
        CHECK(walked == cut);
        if (!walked)
            break;
        for (int i = 0; i < fieldCount; ++i)
            CHECK(walk.field(i) == fields[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    static SharedObjects shared;
    const QString text = Cp1252::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    for (int fields : {7, 10, 14})
        checkWalk(text, fields);

    QString raw, meter, serNo, user;
    QDateTime date;
    if (!CMeasVal::ParseFileText(text, raw, meter, serNo, user, date))
        return 0;
    checkWalk(raw, 14);
    QString written;
    if (!shared.measVal->BuildFileText(written, raw, meter, serNo, user, date))
        return 0; // texts a file cannot hold are refused on writing
    QString raw2, meter2, serNo2, user2;
    QDateTime date2;
    CHECK(CMeasVal::ParseFileText(written, raw2, meter2, serNo2, user2, date2));
    CHECK(raw2 == raw && meter2 == meter && serNo2 == serNo && user2 == user && date2 == date);
    return 0;
}
