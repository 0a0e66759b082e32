#pragma once
// Names taken from data (a meter name, a program number, a meter's mode text) become part of proposed
// file names: whatever a file name cannot hold is left out, and so are blanks at either end.
#include <QString>

namespace FileNames {

inline QString safePart(const QString &text)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f && !forbidden.contains(c))
            result.append(c);
    return result.trimmed();
}

} // namespace FileNames
