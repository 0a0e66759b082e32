// Fuzzes the worklist reader: a worklist it takes has each key once, with a sample ID that is not
// empty and holds no control character; one it refuses names the file and keeps nothing.
#include "FuzzFile.h"
#include "FuzzSupport.h"
#include "Worklist.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = Fuzz::asFile(bytes);
    Worklist list;
    QString error;
    if (!list.read(path, &error)) {
        CHECK(error.contains(path));
        CHECK(list.entries().isEmpty());
        return 0;
    }
    CHECK(list.path() == path);
    for (auto entry = list.entries().cbegin(); entry != list.entries().cend(); ++entry) {
        CHECK(!entry.key().isEmpty());
        CHECK(!entry->sampleId.isEmpty());
        for (const QChar c : entry->sampleId)
            CHECK(c.category() != QChar::Other_Control);
        CHECK(entry->line >= 2);
    }
    return 0;
}
