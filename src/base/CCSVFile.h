#pragma once
// The text-file layer: a whole text written to a file and a whole file read as one text, in the
// single-byte code page the Windows counterpart uses. Writes are atomic: a failed write leaves the
// previous file as it was.
#include <QString>
#include <QStringList>

#include <functional>

// What became of reading or writing a file: the failure told apart, and the words for the user
// (naming the file), so the caller chooses whether and how to tell them.
struct FileResult {
    enum class Failure {
        None,
        Unreadable, // the file could not be opened or read
        Empty,      // the file holds nothing
        Unwritable, // the file could not be written; the previous one is as it was
        Refused,    // the content does not fit the file (a field that would shift the ones behind
                    // it, a date that does not exist, more rows than the format holds): nothing written
    };
    Failure failure = Failure::None;
    // The words for the user naming the file and the cause; empty where the caller words it itself.
    QString message{};
    // What else the user is to learn about the file, written or not (cells left empty), before message.
    QStringList notes{};

    bool ok() const { return failure == Failure::None; }
    QStringList messages() const
    {
        QStringList all = notes;
        if (!message.isEmpty())
            all.append(message);
        return all;
    }
};

class CCSVFile {
public:
    // The one rule of every ';'-separated file: a field holding ';' or a line break would shift the
    // fields or lines behind it, so the file could not be read back.
    static bool FieldFits(const QString &field);
    // The first field that does not fit, told with the text of textNumber (%1: the field).
    static FileResult CheckFields(const QStringList &fields, int textNumber);

    FileResult Write(const QString &strFileName, const QString &strStream);
    // The bytes as they are, with the same rules (files in an encoding of their own).
    FileResult WriteRaw(const QString &strFileName, const QByteArray &bytes);
    // Reads the file with room for extra characters at the end (callers that append to the text).
    FileResult Read(QString &strStream, const QString &strFileName, qsizetype reserveExtra = 0);

    // The same, with a failure reported to the error handler (callers that tell nothing themselves).
    static bool FieldsFit(const QStringList &fields, int textNumber);
    bool WriteFile(const QString &strFileName, const QString &strStream);
    bool WriteBytes(const QString &strFileName, const QByteArray &bytes);
    bool ReadFile(QString &strStream, const QString &strFileName);
    bool ReadFile(QString &strStream, const QString &strFileName, qsizetype reserveExtra);

private:
    // Writes size bytes that chunk(from, n, out) puts into out, n at a time; returns what it put.
    FileResult WriteChunks(const QString &strFileName, qsizetype size,
                           const std::function<qsizetype(qsizetype, qsizetype, char *)> &chunk);
};
