#pragma once
// The text-file layer: a whole text written to a file and a whole file read as one text, in the
// single-byte code page the Windows counterpart uses. Writes are atomic: a failed write leaves the
// previous file as it was.
#include <QString>

class CCSVFile {
public:
    bool WriteFile(const QString &strFileName, const QString &strStream);
    bool ReadFile(QString &strStream, const QString &strFileName);

    // Reads the file with room for extra characters at the end (callers that append to the text).
    bool ReadFile(QString &strStream, const QString &strFileName, qsizetype reserveExtra);
};
