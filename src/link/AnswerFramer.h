#pragma once
// Where one answer of the meter ends. The framer is fed the bytes as they come and says whether the
// answer is complete; it does no I/O and reads no clock, so every way the line may split an answer is
// testable without a port, and the link's wait only moves bytes and time.
#include <QByteArray>
#include <QString>

class AnswerFramer {
public:
    enum class State {
        NeedMore, // no end marker yet
        Complete, // ends in the answer-OK marker
        Rejected, // ends in the error marker: the meter refused the command
        TooLong,  // more bytes than the cap before an end marker; the answer is void
    };

    explicit AnswerFramer(qint64 cap) : m_cap(cap) {}

    // Takes the next bytes of the line. Once the answer is complete, rejected or too long, further bytes
    // are ignored: they belong to no answer this exchange waits for.
    State feed(const char *data, qsizetype size);
    State feed(const QByteArray &bytes) { return feed(bytes.constData(), bytes.size()); }

    State state() const { return m_state; }
    bool finished() const { return m_state != State::NeedMore; }
    // The answer decoded from the line's code page, end marker included; empty when it was too long.
    const QString &answer() const { return m_answer; }
    qint64 bytes() const { return m_bytes; }
    // Line feeds so far: one a dataset in a listing.
    qint64 lineEnds() const { return m_lineEnds; }

private:
    qint64 m_cap;
    State m_state = State::NeedMore;
    QString m_answer;
    qint64 m_bytes = 0;
    qint64 m_lineEnds = 0;
};
