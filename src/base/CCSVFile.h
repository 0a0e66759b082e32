#pragma once
// The text-file layer: a whole text written to a file and a whole file read as one text, in the
// single-byte code page the Windows counterpart uses. Writes are atomic: a failed write leaves the
// previous file as it was.
#include <QString>
#include <QStringList>

#include <functional>

class CCSVFile {
public:
    // The one rule of every ';'-separated file: a field holding ';' or a line break would shift the
    // fields or lines behind it, so the file could not be read back.
    static bool FieldFits(const QString &field);
    // Reports the first field that does not fit with the text of textNumber (%1: the field).
    static bool FieldsFit(const QStringList &fields, int textNumber);

    bool WriteFile(const QString &strFileName, const QString &strStream);
    // The bytes as they are, with the same rules (files in an encoding of their own).
    bool WriteBytes(const QString &strFileName, const QByteArray &bytes);
    bool ReadFile(QString &strStream, const QString &strFileName);

    // Reads the file with room for extra characters at the end (callers that append to the text).
    bool ReadFile(QString &strStream, const QString &strFileName, qsizetype reserveExtra);

private:
    // Writes size bytes that chunk(from, n, out) puts into out, n at a time; returns what it put.
    bool Write(const QString &strFileName, qsizetype size,
               const std::function<qsizetype(qsizetype, qsizetype, char *)> &chunk);
};
