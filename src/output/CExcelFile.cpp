#include "CExcelFile.h"

#include "Cp1252.h"
#include "FileWrites.h"
#include "NumberText.h"
#include "TextTable.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QtEndian>

#include <bit>
#include <cerrno>
#include <cmath>

namespace {

// Records gather here and go to the file in large writes.
constexpr qsizetype kBufferSize = 64 * 1024;

// Version 2, document type 0x0010 (worksheet), the only single-sheet type BIFF2 readers know; then the
// code page (1252), so readers need not guess how the texts' bytes read.
const QByteArray &bofRecord()
{
    static const QByteArray bytes("\x09\x00\x04\x00\x02\x00\x10\x00"
                                  "\x42\x00\x02\x00\xE4\x04",
                                  14);
    return bytes;
}

const QByteArray &eofRecord()
{
    static const QByteArray bytes("\x0A\x00\x00\x00", 4);
    return bytes;
}

void put16(QByteArray &bytes, quint16 value)
{
    const quint16 le = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char *>(&le), 2);
}

void putDouble(QByteArray &bytes, double value)
{
    const quint64 le = qToLittleEndian(std::bit_cast<quint64>(value));
    bytes.append(reinterpret_cast<const char *>(&le), 8);
}

// One byte per character in the single-byte code page.
void appendText(QByteArray &bytes, QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            bytes.append(char(u));
        else
            bytes += Cp1252::encode(QString(c));
    }
}

bool isByte(qint32 value)
{
    return value >= 0 && value <= 255;
}

// Text handed to the writer is data, not user input: read with "." whatever the locale.
bool textToDouble(const QString &text, double &value)
{
    bool ok = false;
    value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

} // namespace

CExcelFile::CExcelFile()
{
    m_buffer.reserve(kBufferSize + 512);
}

CExcelFile::~CExcelFile()
{
    // An abandoned file is discarded, never left behind half-written.
    discard();
}

void CExcelFile::discard()
{
    m_file.reset(); // a file not committed goes
    m_buffer.clear();
    m_failed = false;
}

qint16 CExcelFile::CreateFile(const QString &FileName)
{
    if (m_file)
        return AlreadyOpen;
    const QFileInfo info(FileName);
    if (FileName.isEmpty() || !info.absoluteDir().exists()) {
        m_errorString = TextTable::text(TextTable::FolderMissing);
        return PathNotFound;
    }
    if (const FileWrites::Refusal refusal = FileWrites::checkTarget(FileName)) {
        m_errorString = refusal.reason;
        const bool permission = refusal.kind == FileWrites::Refusal::ReadOnly ||
                                refusal.kind == FileWrites::Refusal::NoPermission;
        return permission ? PermissionDenied : FileAccessError;
    }
    auto file = std::make_unique<FileWrites::ReplaceByRename>(FileName);
    if (!file->open()) {
        m_errorString = file->errorString();
        return !QFileInfo(info.absolutePath()).isWritable() ? PermissionDenied : FileAccessError;
    }
    m_file = std::move(file);
    m_buffer.clear();
    m_failed = false;
    m_errorString.clear();
    return append(bofRecord());
}

qint16 CExcelFile::CloseFile()
{
    if (!m_file)
        return NotOpen;
    m_buffer += eofRecord();
    // Every write was checked; any failure discards the new file before commit.
    const bool ok = !m_failed && flushBuffer();
    if (!ok) {
        discard();
        return WriteFailed;
    }
    const bool committed = m_file->commit();
    if (!committed)
        m_errorString = m_file->errorString();
    m_file.reset();
    m_buffer.clear();
    return committed ? Ok : WriteFailed;
}

bool CExcelFile::flushBuffer()
{
    if (m_failed)
        return false;
    if (m_buffer.isEmpty())
        return true;
    if (!m_file->write(m_buffer)) {
        m_errorString = m_file->errorString();
        m_failed = true;
        return false;
    }
    m_buffer.clear();
    return true;
}

qint16 CExcelFile::append(const QByteArray &record)
{
    if (!m_file)
        return NotOpen;
    if (m_failed)
        return WriteFailed;
    m_buffer += record;
    if (m_buffer.size() >= kBufferSize && !flushBuffer())
        return WriteFailed;
    return Ok;
}

qint16 CExcelFile::cellHeader(quint16 number, quint16 dataLength, qint32 font, qint32 alignment,
                              qint32 hiddenLocked, qint32 row, qint32 col)
{
    if (!m_file)
        return NotOpen;
    if (m_failed)
        return WriteFailed;
    if (row < 1 || row > kMaxRow || col < 1 || col > kMaxRow || !isByte(font) || !isByte(alignment) ||
        !isByte(hiddenLocked))
        return Overflow;
    // Cells go straight into the buffer: a large sheet costs no allocation per cell.
    put16(m_buffer, number);
    put16(m_buffer, dataLength);
    put16(m_buffer, quint16(row - 1));
    put16(m_buffer, quint16(col - 1));
    m_buffer.append(char(hiddenLocked));
    m_buffer.append(char(font));
    m_buffer.append(char(alignment));
    return Ok;
}

qint16 CExcelFile::endRecord()
{
    if (m_buffer.size() >= kBufferSize && !flushBuffer())
        return WriteFailed;
    return Ok;
}

qint16 CExcelFile::WriteInteger(qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked, qint32 lrow,
                                qint32 lcol, qint16 value)
{
    if (const qint16 status = cellHeader(0x0002, 9, CellFontUsed, Alignment, HiddenLocked, lrow, lcol))
        return status;
    put16(m_buffer, quint16(value));
    return endRecord();
}

qint16 CExcelFile::WriteNumber(qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked, qint32 lrow,
                               qint32 lcol, double value)
{
    // An infinity or NaN is no value a spreadsheet cell can show.
    if (m_file && !std::isfinite(value))
        return Overflow;
    if (const qint16 status = cellHeader(0x0003, 15, CellFontUsed, Alignment, HiddenLocked, lrow, lcol))
        return status;
    putDouble(m_buffer, value);
    return endRecord();
}

qint16 CExcelFile::WriteLabel(qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked, qint32 lrow,
                              qint32 lcol, QStringView value)
{
    if (!m_file)
        return NotOpen;
    if (value.size() > 255)
        return Overflow;
    if (const qint16 status =
            cellHeader(0x0004, quint16(8 + value.size()), CellFontUsed, Alignment, HiddenLocked, lrow, lcol))
        return status;
    m_buffer.append(char(value.size()));
    appendText(m_buffer, value);
    return endRecord();
}

qint16 CExcelFile::WriteValue(qint32 ValueType, qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked,
                              qint32 lrow, qint32 lcol, const QVariant &value)
{
    switch (ValueType) {
    case IntegerValue: {
        double number = 0;
        if (value.typeId() == QMetaType::QString) {
            if (!textToDouble(value.toString(), number))
                return TypeMismatch;
        } else if (value.isValid()) {
            bool ok = false;
            number = value.toDouble(&ok);
            if (!ok)
                return TypeMismatch;
        }
        qint16 integer = 0;
        if (!NumberText::ToInt16(number, &integer))
            return Overflow;
        return WriteInteger(CellFontUsed, Alignment, HiddenLocked, lrow, lcol, integer);
    }
    case NumberValue: {
        double number = 0;
        if (value.typeId() == QMetaType::QString) {
            if (!textToDouble(value.toString(), number))
                return TypeMismatch;
        } else if (value.isValid()) {
            bool ok = false;
            number = value.toDouble(&ok);
            if (!ok)
                return TypeMismatch;
        }
        return WriteNumber(CellFontUsed, Alignment, HiddenLocked, lrow, lcol, number);
    }
    case TextValue:
        if (value.isValid() && !value.canConvert<QString>())
            return TypeMismatch;
        return WriteLabel(CellFontUsed, Alignment, HiddenLocked, lrow, lcol, value.toString());
    default:
        // Other value types write nothing and are no error.
        return Ok;
    }
}

qint16 CExcelFile::SetMargin(qint32 Margin, double MarginValue)
{
    if (!m_file)
        return NotOpen;
    if (Margin < LeftMargin || Margin > BottomMargin)
        return InvalidArgument;
    QByteArray record;
    put16(record, quint16(Margin));
    put16(record, 8);
    putDouble(record, MarginValue);
    return append(record);
}

qint16 CExcelFile::SetColumnWidth(qint32 FirstColumn, qint32 LastColumn, qint16 WidthValue)
{
    if (!m_file)
        return NotOpen;
    if (FirstColumn < 1 || FirstColumn > 256 || LastColumn < 1 || LastColumn > 256 || WidthValue < -128 ||
        WidthValue > 127)
        return Overflow;
    QByteArray record;
    put16(record, 0x0024);
    put16(record, 4);
    record.append(char(FirstColumn - 1));
    record.append(char(LastColumn - 1));
    put16(record, quint16(qint16(WidthValue * 256)));
    return append(record);
}

qint16 CExcelFile::SetFont(const QString &FontName, qint16 FontHeight, qint32 FontFormat)
{
    if (!m_file)
        return NotOpen;
    const qint32 height = qint32(FontHeight) * 20;
    if (height < -32768 || height > 32767 || !isByte(FontFormat) || FontName.size() > 255)
        return Overflow;
    QByteArray record;
    put16(record, 0x0031);
    put16(record, quint16(5 + FontName.size()));
    put16(record, quint16(qint16(height)));
    record.append(char(FontFormat));
    record.append('\0');
    record.append(char(FontName.size()));
    appendText(record, FontName);
    return append(record);
}

qint16 CExcelFile::textRecord(quint16 number, const QString &text)
{
    if (!m_file)
        return NotOpen;
    if (text.size() > 255)
        return Overflow;
    QByteArray record;
    put16(record, number);
    put16(record, quint16(1 + text.size()));
    record.append(char(text.size()));
    appendText(record, text);
    return append(record);
}

qint16 CExcelFile::SetHeader(const QString &HeaderText)
{
    return textRecord(0x0014, HeaderText);
}

qint16 CExcelFile::SetFooter(const QString &FooterText)
{
    return textRecord(0x0015, FooterText);
}

qint16 CExcelFile::SetFilePassword(const QString &PasswordText)
{
    if (!m_file)
        return NotOpen;
    if (PasswordText.size() > 65535)
        return Overflow;
    QByteArray record;
    put16(record, 0x002F);
    put16(record, quint16(PasswordText.size()));
    appendText(record, PasswordText);
    return append(record);
}

qint16 CExcelFile::PrintGridLines(bool fPrint)
{
    if (!m_file)
        return NotOpen;
    QByteArray record;
    put16(record, 0x002B);
    put16(record, 2);
    put16(record, fPrint ? 1 : 0);
    return append(record);
}

qint16 CExcelFile::ProtectSpreadsheet(bool fProtect)
{
    if (!m_file)
        return NotOpen;
    QByteArray record;
    put16(record, 0x0012);
    put16(record, 2);
    put16(record, fProtect ? 1 : 0);
    return append(record);
}
