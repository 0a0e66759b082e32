#include "SheetWriters.h"

#include "CExcelFile.h"
#include "FileWrites.h"
#include "TextTable.h"
#include "WorkbookCheck.h"

#include <QFile>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <utility>

#include <locale.h>
#include <xlsxwriter.h>

namespace {

constexpr qint32 kHeaderRows = 8;

// The BIFF2 record format: 65,535 rows, texts of 255 Windows-1252 characters.
class Biff2Writer : public SheetWriter {
public:
    static constexpr qint32 kMaxDatasets = CExcelFile::kMaxRow - kHeaderRows;

    qint32 maxDatasets() const override { return kMaxDatasets; }
    void refuseTooManyDatasets() override;
    bool create(const QString &path) override
    {
        if (m_excel.CreateFile(path) != CExcelFile::Ok)
            return false;
        return !(m_excel.PrintGridLines(false) || m_excel.SetMargin(CExcelFile::TopMargin, 1.5) ||
                 m_excel.SetMargin(CExcelFile::LeftMargin, 1.5) ||
                 m_excel.SetMargin(CExcelFile::RightMargin, 1.5) ||
                 m_excel.SetMargin(CExcelFile::BottomMargin, 1.5) ||
                 m_excel.SetFont(QStringLiteral("Arial"), 10, 0));
    }
    bool setColumnWidths(int columns, int width) override
    {
        return m_excel.SetColumnWidth(1, columns, qint16(width)) == CExcelFile::Ok;
    }
    bool writeText(qint32 row, qint32 col, QStringView text, Alignment alignment) override
    {
        const qint16 status = m_excel.WriteLabel(kFont0, align(alignment), kNormal, row, col, text);
        if (status == CExcelFile::Overflow && text.size() > 255)
            m_refusal = TextTable::text(TextTable::ExportTextTooLong).arg(row).arg(col).arg(text.size());
        return status == CExcelFile::Ok;
    }
    bool writeInteger(qint32 row, qint32 col, quint16 value, Alignment alignment) override
    {
        return m_excel.WriteInteger(kFont0, align(alignment), kNormal, row, col, qint16(value)) ==
               CExcelFile::Ok;
    }
    bool writeNumber(qint32 row, qint32 col, double value, Alignment alignment) override
    {
        return m_excel.WriteNumber(kFont0, align(alignment), kNormal, row, col, value) == CExcelFile::Ok;
    }
    bool close() override { return m_excel.CloseFile() == CExcelFile::Ok; }
    QString errorString() const override { return m_excel.errorString(); }

private:
    static constexpr qint32 kFont0 = 0;
    static constexpr qint32 kNormal = 0;
    static qint32 align(Alignment alignment)
    {
        return alignment == AlignRight ? CExcelFile::AlignRight : CExcelFile::AlignLeft;
    }

    CExcelFile m_excel;
};

// A workbook in constant-memory mode: rows go to a temporary file as they come, so the memory stays
// flat whatever the number of datasets. The library writes by file name, so the workbook is written
// next to the target and renamed over it at the end (FileWrites). The library's own temporary files go
// into a private folder there (never a full /tmp; removed with it, also on a signal), and since it writes
// them without checking, its row file is checked after every cell and the finished workbook is read back
// before it is committed.
class XlsxWriter : public SheetWriter {
public:
    static constexpr qint32 kMaxDatasets = LXW_ROW_MAX - kHeaderRows;
    static constexpr qsizetype kMaxText = 32767;

    // The library writes numbers with the C library's printf: under a comma-decimal locale 1.25 would
    // go into the file as "1,25", which every reader takes for 1. This thread writes in the C locale.
    XlsxWriter() : m_cNumbers(::newlocale(LC_NUMERIC_MASK, "C", ::duplocale(LC_GLOBAL_LOCALE)))
    {
        if (m_cNumbers)
            m_previousLocale = ::uselocale(m_cNumbers);
    }
    ~XlsxWriter() override
    {
        if (m_book)
            lxw_workbook_free(m_book);
        if (m_cNumbers) {
            ::uselocale(m_previousLocale);
            ::freelocale(m_cNumbers);
        }
    }
    XlsxWriter(const XlsxWriter &) = delete;
    XlsxWriter &operator=(const XlsxWriter &) = delete;

    qint32 maxDatasets() const override { return kMaxDatasets; }
    void refuseTooManyDatasets() override
    {
        m_refusal = TextTable::text(TextTable::XlsxTooManyDatasets).arg(kMaxDatasets);
    }
    bool create(const QString &path) override
    {
        m_file = std::make_unique<FileWrites::ReplaceByRename>(path);
        if (!m_file->open()) {
            m_error = m_file->errorString();
            return false;
        }
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        m_tmpdir = QFile::encodeName(m_file->scratchFolder());
        if (m_tmpdir.isEmpty()) {
            m_error = m_file->errorString();
            return false;
        }
        options.tmpdir = m_tmpdir.data();
        m_book = workbook_new_opt(QFile::encodeName(m_file->temporaryPath()).constData(), &options);
        m_sheet = m_book ? workbook_add_worksheet(m_book, nullptr) : nullptr;
        if (!m_sheet)
            return failed(LXW_ERROR_MEMORY_MALLOC_FAILED);
        for (auto [format, alignment] : {std::pair{&m_left, LXW_ALIGN_LEFT}, {&m_right, LXW_ALIGN_RIGHT}}) {
            *format = workbook_add_format(m_book);
            if (!*format)
                return failed(LXW_ERROR_MEMORY_MALLOC_FAILED);
            format_set_font_name(*format, "Arial");
            format_set_font_size(*format, 10);
            format_set_align(*format, uint8_t(alignment));
        }
        worksheet_set_margins(m_sheet, 1.5, 1.5, 1.5, 1.5);
        return true;
    }
    bool setColumnWidths(int columns, int width) override
    {
        return columns < 1 || ok(worksheet_set_column(m_sheet, 0, lxw_col_t(columns - 1), width, nullptr));
    }
    bool writeText(qint32 row, qint32 col, QStringView text, Alignment alignment) override
    {
        if (text.size() > kMaxText) {
            m_refusal = TextTable::text(TextTable::XlsxTextTooLong).arg(row).arg(col).arg(text.size());
            return false;
        }
        m_utf8 = text.toUtf8();
        errno = 0;
        return ok(worksheet_write_string(m_sheet, lxw_row_t(row - 1), lxw_col_t(col - 1), m_utf8.constData(),
                                         format(alignment)),
                  row);
    }
    bool writeInteger(qint32 row, qint32 col, quint16 value, Alignment alignment) override
    {
        return writeNumber(row, col, value, alignment);
    }
    bool writeNumber(qint32 row, qint32 col, double value, Alignment alignment) override
    {
        errno = 0;
        return ok(
            worksheet_write_number(m_sheet, lxw_row_t(row - 1), lxw_col_t(col - 1), value, format(alignment)),
            row);
    }
    bool close() override
    {
        if (!m_book)
            return false;
        const bool rowsWritten = rowFileIntact(true);
        const lxw_error error = workbook_close(m_book); // frees the workbook, written or not
        m_book = nullptr;
        m_sheet = nullptr;
        if (!rowsWritten)
            return false;
        if (error != LXW_NO_ERROR)
            return failed(error);
        const QString damage = WorkbookCheck::verify(m_file->temporaryPath(),
                                                     QByteArrayLiteral("xl/worksheets/sheet1.xml"), m_rows);
        if (!damage.isEmpty()) {
            m_error = TextTable::text(TextTable::WrittenFileIncomplete).arg(damage);
            return false;
        }
        if (!m_file->commit()) {
            m_error = m_file->errorString();
            return false;
        }
        return true;
    }
    QString errorString() const override { return m_error; }

private:
    lxw_format *format(Alignment alignment) const { return alignment == AlignRight ? m_right : m_left; }
    bool ok(lxw_error error) { return error == LXW_NO_ERROR || failed(error); }
    // A cell of row went in, and the rows before it reached the library's row file.
    bool ok(lxw_error error, qint32 row)
    {
        if (!ok(error))
            return false;
        if (row != m_lastRow) {
            m_lastRow = row;
            ++m_rows;
        }
        return rowFileIntact(false);
    }
    // The library writes its row file with the C library's buffered calls and never looks at their
    // outcome: a write that failed (a full disk, a file-size limit) shows as the file's error flag,
    // with the system's reason still in errno right after the call that hit it.
    bool rowFileIntact(bool flush)
    {
        FILE *rows = m_sheet ? m_sheet->optimize_tmpfile : nullptr;
        if (!rows)
            return true;
        const int before = errno;
        if ((flush && std::fflush(rows) != 0) || std::ferror(rows)) {
            const int reason = errno != 0 ? errno : before;
            m_error = FileWrites::systemText(reason != 0 ? reason : EIO);
            return false;
        }
        return true;
    }
    bool failed(lxw_error error)
    {
        m_error = QString::fromUtf8(lxw_strerror(error));
        return false;
    }

    locale_t m_cNumbers;
    locale_t m_previousLocale = LC_GLOBAL_LOCALE;
    std::unique_ptr<FileWrites::ReplaceByRename> m_file;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_left = nullptr;
    lxw_format *m_right = nullptr;
    QByteArray m_utf8;
    QByteArray m_tmpdir;
    qint32 m_lastRow = 0;
    qint64 m_rows = 0;
    QString m_error;
};

void Biff2Writer::refuseTooManyDatasets()
{
    m_refusal =
        TextTable::text(TextTable::ExportTooManyDatasets).arg(kMaxDatasets).arg(XlsxWriter::kMaxDatasets);
}

} // namespace

std::unique_ptr<SheetWriter> SheetWriter::forFile(const QString &path)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return std::make_unique<XlsxWriter>();
    return std::make_unique<Biff2Writer>();
}
