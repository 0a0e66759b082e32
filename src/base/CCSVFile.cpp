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

FileResult fileError(FileResult::Failure failure, TextTable::Extension kind, const QString &fileName,
                     const QString &what)
{
    return {failure, TextTable::text(kind).arg(fileName, what)};
}

bool told(const FileResult &result)
{
    if (!result.ok())
        ErrorFrame::report(result.message);
    return result.ok();
}

} // namespace

bool CCSVFile::FieldFits(const QString &field)
{
    return !field.contains(u';') && !field.contains(u'\r') && !field.contains(u'\n');
}

FileResult CCSVFile::CheckFields(const QStringList &fields, int textNumber)
{
    for (const QString &field : fields) {
        if (!FieldFits(field))
            return {FileResult::Failure::Refused, TextTable::text(textNumber).arg(field)};
    }
    return {};
}

bool CCSVFile::FieldsFit(const QStringList &fields, int textNumber)
{
    return told(CheckFields(fields, textNumber));
}

bool CCSVFile::WriteFile(const QString &strFileName, const QString &strStream)
{
    return told(Write(strFileName, strStream));
}

bool CCSVFile::WriteBytes(const QString &strFileName, const QByteArray &bytes)
{
    return told(WriteRaw(strFileName, bytes));
}

bool CCSVFile::ReadFile(QString &strStream, const QString &strFileName)
{
    return told(Read(strStream, strFileName, 0));
}

bool CCSVFile::ReadFile(QString &strStream, const QString &strFileName, qsizetype reserveExtra)
{
    return told(Read(strStream, strFileName, reserveExtra));
}

FileResult CCSVFile::Write(const QString &strFileName, const QString &strStream)
{
    return WriteChunks(strFileName, strStream.size(), [&strStream](qsizetype from, qsizetype n, char *out) {
        return encodeChunk(QStringView(strStream).sliced(from, n), out);
    });
}

FileResult CCSVFile::WriteRaw(const QString &strFileName, const QByteArray &bytes)
{
    return WriteChunks(strFileName, bytes.size(), [&bytes](qsizetype from, qsizetype n, char *out) {
        std::copy_n(bytes.constData() + from, n, out);
        return n;
    });
}

FileResult CCSVFile::WriteChunks(const QString &strFileName, qsizetype size,
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
        if (!ok || !file.commit())
            return fileError(FileResult::Failure::Unwritable, TextTable::FileWriteFailed, strFileName,
                             file.errorString());
        return {};
    } catch (const std::exception &e) {
        return fileError(FileResult::Failure::Unwritable, TextTable::FileWriteFailed, strFileName,
                         QString::fromLocal8Bit(e.what()));
    }
}

FileResult CCSVFile::Read(QString &strStream, const QString &strFileName, qsizetype reserveExtra)
{
    const auto unreadable = [&strFileName](const QString &what) {
        return fileError(FileResult::Failure::Unreadable, TextTable::FileReadFailed, strFileName, what);
    };
    try {
        QFile file(strFileName);
        if (!file.open(QIODevice::ReadOnly))
            return unreadable(file.errorString());
        const qint64 size = file.size();
        // Reading past the end of an empty file is an error of the text stream too.
        if (size <= 0)
            return fileError(FileResult::Failure::Empty, TextTable::FileReadFailed, strFileName,
                             TextTable::text(TextTable::FileEmpty));
        QString text;
        text.reserve(qsizetype(size) + reserveExtra);
        QByteArray chunk(qsizetype(std::min<qint64>(size, kChunk)), Qt::Uninitialized);
        while (true) {
            const qint64 n = file.read(chunk.data(), chunk.size());
            if (n < 0)
                return unreadable(file.errorString());
            if (n == 0)
                break;
            Cp1252::appendDecoded(text, chunk.constData(), qsizetype(n));
        }
        strStream = std::move(text);
        return {};
    } catch (const std::exception &e) {
        return unreadable(QString::fromLocal8Bit(e.what()));
    }
}
