// Fuzzes the readers of calibration records: the pH and turbidity answers of the meter and the
// record file, on the whole input decoded as the single-byte code page; a record file that reads
// is written and read again unchanged.
#include "CCalProtocol.h"
#include "Cp1252.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

bool same(const CalProtocolData &a, const CalProtocolData &b)
{
    return a.Valid == b.Valid && a.Meter == b.Meter && a.SerNo == b.SerNo && a.User == b.User &&
           a.IsPH == b.IsPH && a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour &&
           a.Min == b.Min && a.Sec == b.Sec && a.Interval == b.Interval && a.Mode == b.Mode &&
           a.NumCalPoints == b.NumCalPoints && a.Slope == b.Slope && a.Asy == b.Asy &&
           a.SensQuality == b.SensQuality && a.ShowTempF == b.ShowTempF && a.ShowSlopePC == b.ShowSlopePC &&
           a.PHValues == b.PHValues && a.VoltageValues_mV == b.VoltageValues_mV &&
           a.TempValues_C == b.TempValues_C && a.CalStds_FNUNTU == b.CalStds_FNUNTU &&
           a.LOTTotal == b.LOTTotal && a.Expiry == b.Expiry && a.Manufacturer == b.Manufacturer &&
           a.LOTStds == b.LOTStds;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = Cp1252::decode(bytes);

    CalProtocolData record;
    if (CCalProtocol::ParsePHRecord(text, record)) {
        CHECK(record.IsPH);
        CHECK(record.NumCalPoints >= 0 && record.NumCalPoints <= 3);
        CHECK(!record.SensQuality.isEmpty());
    }
    if (CCalProtocol::ParseTurbidityRecord(text, record)) {
        CHECK(!record.IsPH);
        CHECK(record.NumCalPoints >= 0 && record.NumCalPoints <= 5);
    }

    CalProtocolData fromFile;
    if (CCalProtocol::ParseRecordText(text, fromFile)) {
        CHECK(fromFile.Valid);
        QString written;
        CHECK(CCalProtocol::BuildRecordText(fromFile, written));
        CalProtocolData again;
        CHECK(CCalProtocol::ParseRecordText(written, again));
        CHECK(same(again, fromFile));
        QString rewritten;
        CHECK(CCalProtocol::BuildRecordText(again, rewritten));
        CHECK(rewritten == written);
    } else {
        CHECK(!fromFile.Valid);
    }
    return 0;
}
