#pragma once
// Reads a written workbook back before it replaces the previous file: the writing library cannot tell
// every failed write (its temporary files are written without checks), so what it produced is checked.
#include <QString>

namespace WorkbookCheck {

// Every member of the zip file at path inflates to its stated size and checksum, and the worksheet
// (sheetMember) is a whole document with rows <row> elements (any number when rows is -1; *rowsFound
// tells how many). Empty when it is so, else what is wrong. Memory stays bounded whatever the size.
QString verify(const QString &path, const QByteArray &sheetMember, qint64 rows, qint64 *rowsFound = nullptr);

} // namespace WorkbookCheck
