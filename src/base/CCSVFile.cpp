#include "CCSVFile.h"

#include "Cp1252.h"
#include "ErrorFrame.h"
#include "FileWrites.h"
#include "TextTable.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace {

// Encoding and reading go chunk by chunk so a large file is never held twice in bytes and text.
constexpr qsizetype kChunk = 64 * 1024;

// One byte per character; characters the code page lacks become what the codec makes of them.
qsizetype encodeChunk(QStringView text, char *out)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            out[i] = char(c);
        else
            out[i] = Cp1252::encode(QString(QChar(c))).at(0);
    }
    return text.size();
}

void reportFileError(TextTable::Extension kind, const QString &fileName, const QString &what)
{
    ErrorFrame::report(TextTable::text(kind).arg(fileName, what));
}

} // namespace

bool CCSVFile::FieldFits(const QString &field)
{
    return !field.contains(u';') && !field.contains(u'\r') && !field.contains(u'\n');
}

bool CCSVFile::FieldsFit(const QStringList &fields, int textNumber)
{
    for (const QString &field : fields) {
        if (!FieldFits(field)) {
            ErrorFrame::report(TextTable::text(textNumber).arg(field));
            return false;
        }
    }
    return true;
}

bool CCSVFile::WriteFile(const QString &strFileName, const QString &strStream)
{
    return Write(strFileName, strStream.size(), [&strStream](qsizetype from, qsizetype n, char *out) {
        return encodeChunk(QStringView(strStream).sliced(from, n), out);
    });
}

bool CCSVFile::WriteBytes(const QString &strFileName, const QByteArray &bytes)
{
    return Write(strFileName, bytes.size(), [&bytes](qsizetype from, qsizetype n, char *out) {
        std::copy_n(bytes.constData() + from, n, out);
        return n;
    });
}

bool CCSVFile::Write(const QString &strFileName, qsizetype size,
                     const std::function<qsizetype(qsizetype, qsizetype, char *)> &chunk)
{
    try {
        // The target's checks, a temporary file beside it, every write checked, sync and rename: the
        // rules of every writer (FileWrites).
        FileWrites::ReplaceByRename file(strFileName);
        bool ok = file.open();
        QByteArray bytes(kChunk, Qt::Uninitialized);
        for (qsizetype from = 0; ok && from < size; from += kChunk) {
            const qsizetype n = chunk(from, std::min(kChunk, size - from), bytes.data());
            ok = file.write(bytes.constData(), n);
        }
        if (!ok || !file.commit()) {
            reportFileError(TextTable::FileWriteFailed, strFileName, file.errorString());
            return false;
        }
        return true;
    } catch (const std::exception &e) {
        reportFileError(TextTable::FileWriteFailed, strFileName, QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool CCSVFile::ReadFile(QString &strStream, const QString &strFileName)
{
    return ReadFile(strStream, strFileName, 0);
}

bool CCSVFile::ReadFile(QString &strStream, const QString &strFileName, qsizetype reserveExtra)
{
    try {
        QFile file(strFileName);
        if (!file.open(QIODevice::ReadOnly)) {
            reportFileError(TextTable::FileReadFailed, strFileName, file.errorString());
            return false;
        }
        const qint64 size = file.size();
        // Reading past the end of an empty file is an error of the text stream too.
        if (size <= 0) {
            reportFileError(TextTable::FileReadFailed, strFileName, TextTable::text(TextTable::FileEmpty));
            return false;
        }
        QString text;
        text.reserve(qsizetype(size) + reserveExtra);
        QByteArray chunk(qsizetype(std::min<qint64>(size, kChunk)), Qt::Uninitialized);
        while (true) {
            const qint64 n = file.read(chunk.data(), chunk.size());
            if (n < 0) {
                reportFileError(TextTable::FileReadFailed, strFileName, file.errorString());
                return false;
            }
            if (n == 0)
                break;
            Cp1252::appendDecoded(text, chunk.constData(), qsizetype(n));
        }
        strStream = std::move(text);
        return true;
    } catch (const std::exception &e) {
        reportFileError(TextTable::FileReadFailed, strFileName, QString::fromLocal8Bit(e.what()));
        return false;
    }
}
