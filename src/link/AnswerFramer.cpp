#include "AnswerFramer.h"

#include "CCommunication.h"
#include "Cp1252.h"

#include <cstring>

AnswerFramer::State AnswerFramer::feed(const char *data, qsizetype size)
{
    if (finished() || size <= 0)
        return m_state;
    Cp1252::appendDecoded(m_answer, data, size);
    m_bytes += size;
    for (const char *p = data, *end = data + size;
         (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))) != nullptr; ++p)
        ++m_lineEnds;
    // The cap wins over a marker in the same bytes: the answer was longer than the link accepts.
    if (m_bytes > m_cap) {
        m_answer.clear();
        m_state = State::TooLong;
        return m_state;
    }
    // Both markers end in '>' and the decoded text has one character a byte, so only the last six
    // characters can hold a marker that ends the answer.
    const QStringView tail =
        QStringView(m_answer).last(std::min<qsizetype>(m_answer.size(), CCommunication::kLenAnswerEnd));
    if (tail == CCommunication::answerOK())
        m_state = State::Complete;
    else if (tail == CCommunication::answerError())
        m_state = State::Rejected;
    return m_state;
}
