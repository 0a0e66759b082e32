// Fuzzes the framer of the meter's answers: however the line cuts the bytes, the answer and its state
// are those of the bytes up to the first cut that ends in an end marker, or of all of them.
// Input layout: byte 0 is the cap (in bytes, 0 = no cap below the input's size), byte 1 seeds the cut
// lengths, the rest is what the line delivers.
#include "AnswerFramer.h"
#include "CCommunication.h"
#include "Cp1252.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>

namespace {

AnswerFramer::State stateOfWhole(const QByteArray &bytes, qint64 cap)
{
    if (bytes.size() > cap)
        return AnswerFramer::State::TooLong;
    if (bytes.endsWith(CCommunication::answerOK().toLatin1()))
        return AnswerFramer::State::Complete;
    if (bytes.endsWith(CCommunication::answerError().toLatin1()))
        return AnswerFramer::State::Rejected;
    return AnswerFramer::State::NeedMore;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray line =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);
    const qint64 cap = data[0] == 0 ? qint64(size) : qint64(data[0]);
    unsigned seed = data[1];

    AnswerFramer framer(cap);
    qsizetype fed = 0;
    while (fed < line.size() && !framer.finished()) {
        seed = seed * 1103515245U + 12345U;
        const qsizetype length = std::min<qsizetype>(line.size() - fed, qsizetype(1 + (seed >> 16) % 16));
        const AnswerFramer::State state = framer.feed(line.constData() + fed, length);
        fed += length;
        CHECK(state == framer.state());
        CHECK(framer.bytes() == fed);
    }
    // Bytes after the end change nothing.
    const QString answer = framer.answer();
    if (framer.finished()) {
        framer.feed(line.constData(), line.size());
        CHECK(framer.answer() == answer && framer.bytes() == fed);
    }

    // The framer stopped at a cut: what it holds is what the bytes up to there say as a whole.
    const QByteArray taken = line.left(fed);
    CHECK(framer.state() == stateOfWhole(taken, cap));
    CHECK(framer.lineEnds() == taken.count('\n'));
    if (framer.state() == AnswerFramer::State::TooLong)
        CHECK(answer.isEmpty());
    else
        CHECK(answer == Cp1252::decode(taken));
    CHECK(framer.finished() || fed == line.size());
    return 0;
}
