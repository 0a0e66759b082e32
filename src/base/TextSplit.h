#pragma once
// Splitting with the rules the file and answer layouts were defined with: at most `limit` pieces (the
// last keeps the rest of the text), and an empty text gives no pieces at all.
#include <QString>
#include <QStringList>

namespace TextSplit {

inline QStringList split(const QString &text, const QString &separator, int limit = -1)
{
    QStringList pieces;
    if (text.isEmpty())
        return pieces;
    qsizetype from = 0;
    while (limit < 0 || pieces.size() < limit - 1) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            break;
        pieces.append(text.mid(from, at - from));
        from = at + separator.size();
    }
    pieces.append(text.mid(from));
    return pieces;
}

} // namespace TextSplit
