#include "RecordWalk.h"

namespace {

// Position of the first CR LF, or -1.
qsizetype findLineEnd(QStringView text)
{
    qsizetype from = 0;
    while (true) {
        const qsizetype cr = text.indexOf(u'\r', from);
        if (cr < 0 || cr + 1 >= text.size())
            return -1;
        if (text[cr + 1] == u'\n')
            return cr;
        from = cr + 1;
    }
}

} // namespace

RecordWalk::RecordWalk(const QString &strMVals, int fieldCount)
    : m_text(strMVals), m_rest(m_text), m_fieldCount(fieldCount),
      m_ok(strMVals.size() >= 2 && fieldCount >= 0 && fieldCount <= kMaxFields)
{
}

bool RecordWalk::extract(QStringView &rest, QStringView *fields, int fieldCount)
{
    const qsizetype end = findLineEnd(rest);
    // A line of fewer than 2 characters is the end marker ("!" or "?").
    if (end < 2)
        return false;
    QStringView line = rest.first(end);
    rest = rest.sliced(end);
    for (int d = 0; d < fieldCount; ++d) {
        const qsizetype semicolon = line.indexOf(u';');
        if (semicolon >= 0) {
            fields[d] = line.first(semicolon);
            line = line.sliced(semicolon + 1);
        } else {
            fields[d] = line;
            line = QStringView();
        }
    }
    return true;
}

bool RecordWalk::next()
{
    if (!m_ok)
        return false;
    // Each record is preceded by the CR LF that ended the one before (or by the reply's head).
    m_rest = m_rest.size() >= 2 ? m_rest.sliced(2) : QStringView();
    std::array<QStringView, kMaxFields> found{};
    QStringView rest = m_rest;
    if (!extract(rest, found.data(), m_fieldCount)) {
        m_ok = false;
        return false;
    }
    m_line = m_rest.first(rest.data() - m_rest.data());
    m_rest = rest;
    m_fields = found;
    ++m_records;
    return true;
}

QStringList RecordWalk::fields() const
{
    QStringList list;
    list.reserve(m_fieldCount);
    for (int i = 0; i < m_fieldCount; ++i)
        list.append(m_fields[size_t(i)].toString());
    return list;
}
