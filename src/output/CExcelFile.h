#pragma once
// Writes a spreadsheet file in the BIFF2 record format, one record per call, with no spreadsheet
// program needed. The file appears under its name only when CloseFile succeeds: a failed or abandoned
// file leaves no partial file and any previous file of that name intact.
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <memory>

namespace FileWrites {
class ReplaceByRename;
}

class CExcelFile {
public:
    // 0 is success and -1 a second CreateFile; the others are distinct and non-zero.
    enum Status : qint16 {
        Ok = 0,
        AlreadyOpen = -1,
        InvalidArgument = 5,
        Overflow = 6,
        TypeMismatch = 13,
        NotOpen = 52,
        WriteFailed = 57,
        PermissionDenied = 70,
        FileAccessError = 75,
        PathNotFound = 76,
    };
    enum ValueType { IntegerValue = 0, NumberValue = 1, TextValue = 2 };
    enum MarginRecord { LeftMargin = 38, RightMargin = 39, TopMargin = 40, BottomMargin = 41 };
    enum Alignment { AlignGeneral = 0, AlignLeft = 1, AlignCentre = 2, AlignRight = 3, AlignFilled = 4 };

    // The highest row and column number WriteValue takes (1-based).
    static constexpr qint32 kMaxRow = 65535;

    CExcelFile();
    ~CExcelFile();
    CExcelFile(const CExcelFile &) = delete;
    CExcelFile &operator=(const CExcelFile &) = delete;

    qint16 CreateFile(const QString &FileName);
    qint16 CloseFile();

    qint16 WriteValue(qint32 ValueType, qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked,
                      qint32 lrow, qint32 lcol, const QVariant &value);
    // The typed cell writers WriteValue ends in, for callers that have the value at hand.
    qint16 WriteInteger(qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked, qint32 lrow, qint32 lcol,
                        qint16 value);
    qint16 WriteNumber(qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked, qint32 lrow, qint32 lcol,
                       double value);
    qint16 WriteLabel(qint32 CellFontUsed, qint32 Alignment, qint32 HiddenLocked, qint32 lrow, qint32 lcol,
                      QStringView value);

    qint16 SetMargin(qint32 Margin, double MarginValue);
    qint16 SetColumnWidth(qint32 FirstColumn, qint32 LastColumn, qint16 WidthValue);
    qint16 SetFont(const QString &FontName, qint16 FontHeight, qint32 FontFormat);
    qint16 SetHeader(const QString &HeaderText);
    qint16 SetFooter(const QString &FooterText);
    qint16 SetFilePassword(const QString &PasswordText);
    qint16 PrintGridLines(bool fPrint);
    qint16 ProtectSpreadsheet(bool fProtect);

    bool isOpen() const { return m_file != nullptr; }
    // The platform's text for the last file error.
    QString errorString() const { return m_errorString; }

private:
    qint16 cellHeader(quint16 number, quint16 dataLength, qint32 font, qint32 alignment, qint32 hiddenLocked,
                      qint32 row, qint32 col);
    qint16 endRecord();
    qint16 textRecord(quint16 number, const QString &text);
    qint16 append(const QByteArray &record);
    bool flushBuffer();
    void discard();

    std::unique_ptr<FileWrites::ReplaceByRename> m_file;
    QByteArray m_buffer;
    bool m_failed = false;
    QString m_errorString;
};
