#pragma once
// The single-byte code page of the meter's line and of every text file the program shares with its
// Windows counterpart. Every byte has a character, so decoding never loses anything.
#include <QByteArray>
#include <QString>

namespace Cp1252 {

QString decode(const QByteArray &bytes);
void appendDecoded(QString &target, const char *data, qsizetype size);

// Characters the code page lacks become '?'; *lossless (if given) tells whether any did.
QByteArray encode(const QString &text, bool *lossless = nullptr);

} // namespace Cp1252
