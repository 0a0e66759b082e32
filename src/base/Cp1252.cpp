#include "Cp1252.h"

namespace {

// 0x80-0x9F; the five bytes the code page leaves undefined map to the control characters of the same
// value, as the platform's own conversion does, so such bytes survive a round trip.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

namespace Cp1252 {

void appendDecoded(QString &target, const char *data, qsizetype size)
{
    const qsizetype start = target.size();
    target.resize(start + size);
    QChar *out = target.data() + start;
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(kHigh[byte - 0x80]) : QChar(byte);
    }
}

QString decode(const QByteArray &bytes)
{
    QString text;
    appendDecoded(text, bytes.constData(), bytes.size());
    return text;
}

QByteArray encode(const QString &text, bool *lossless)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    bool all = true;
    char *out = bytes.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out[i] = static_cast<char>(c);
            continue;
        }
        char mapped = '?';
        bool found = false;
        for (int k = 0; k < 32; ++k) {
            if (kHigh[k] == c) {
                mapped = static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        }
        all = all && found;
        out[i] = mapped;
    }
    if (lossless)
        *lossless = all;
    return bytes;
}

} // namespace Cp1252
