#include "CExportExcel.h"

#include "CDevice.h"
#include "CExcelFile.h"
#include "ErrorFrame.h"
#include "LocaleTexts.h"
#include "NumberText.h"
#include "RecordWalk.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <cmath>
#include <exception>
#include <utility>

namespace {

constexpr qint32 kFont0 = 0;
constexpr qint32 kNormal = 0;
constexpr qint32 kHeaderRow = 8;

// Plain whole numbers (the usual case) are read without the number parser.
bool readPlainInteger(QStringView text, double &value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    qsizetype i = (text[0] == u'-') ? 1 : 0;
    if (i == text.size())
        return false;
    qint64 number = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        number = number * 10 + (c - u'0');
    }
    value = double(text[0] == u'-' ? -number : number);
    return true;
}

} // namespace

bool CExportExcel::SetMVals(const MeasuredValues &values, const QString &strFileName)
{
    try {
        // The writer discards its file unless CloseFile succeeds, so any early end leaves no file.
        CExcelFile excel;
        // A file error (no permission, disk full) is told with its cause; the caller adds its own message.
        auto fileFailed = [&excel, &strFileName] {
            if (!excel.errorString().isEmpty())
                ErrorFrame::report(
                    TextTable::text(TextTable::FileWriteFailed).arg(strFileName, excel.errorString()));
            return false;
        };
        if (excel.CreateFile(strFileName) != CExcelFile::Ok)
            return fileFailed();
        if (excel.PrintGridLines(false) || excel.SetMargin(CExcelFile::TopMargin, 1.5) ||
            excel.SetMargin(CExcelFile::LeftMargin, 1.5) || excel.SetMargin(CExcelFile::RightMargin, 1.5) ||
            excel.SetMargin(CExcelFile::BottomMargin, 1.5) || excel.SetFont(QStringLiteral("Arial"), 10, 0))
            return fileFailed();
        Run run;
        run.excel = &excel;
        const bool written = WriteSheet(run, values);
        // Cells that could not be converted are told once, with their count and the first of them.
        const std::pair<const Skipped &, int> skipped[] = {{run.notWhole, TextTable::IntegerCellsLeftEmpty},
                                                           {run.tooLarge, TextTable::NumberCellsLeftEmpty}};
        for (const auto &[cells, textNumber] : skipped) {
            if (cells.count > 0)
                ErrorFrame::report(TextTable::text(textNumber)
                                       .arg(cells.count)
                                       .arg(cells.row)
                                       .arg(cells.column)
                                       .arg(cells.text));
        }
        if (!written)
            return fileFailed();
        return excel.CloseFile() == CExcelFile::Ok || fileFailed();
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool CExportExcel::WriteSheet(Run &run, const MeasuredValues &values)
{
    QStringList headers(14);
    QList<qint16> widths(14);
    QList<qint32> valueTypes(14);
    const int n = m_device.GetTableConfig(headers, widths, valueTypes, values.meter);
    if (n == 0)
        return false;
    if (!WriteHeaderBlock(run, headers, n, values))
        return false;
    return WriteDataRows(run, values.datasets, n, valueTypes);
}

bool CExportExcel::WriteHeaderBlock(Run &run, const QStringList &headers, int n, const MeasuredValues &values)
{
    using TextTable::text;
    CExcelFile &excel = *run.excel;
    if (excel.SetColumnWidth(1, n, 10))
        return false;
    const QString lines[] = {
        text(1063) + u' ' + values.meter,
        text(1064) + u' ' + values.serialNumber,
        text(1176) + u' ' + values.user,
        text(1049) + u' ' + LocaleTexts::shortDate(values.date.date()),
        text(1050) + u' ' + LocaleTexts::longTime(values.date.time()),
    };
    qint32 row = 2;
    for (const QString &line : lines) {
        if (!WriteLabel(excel, CExcelFile::AlignLeft, row++, 1, line))
            return false;
    }
    for (int c = 0; c < n; ++c) {
        if (!WriteLabel(excel, CExcelFile::AlignLeft, kHeaderRow, c + 1, headers[c]))
            return false;
    }
    return true;
}

bool CExportExcel::WriteDataRows(Run &run, const QString &strMVals, int n, const QList<qint32> &valueTypes)
{
    if (n >= 15)
        return false;
    RecordWalk walk(strMVals, n);
    if (!walk.ok())
        return false;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    while (walk.next()) {
        if (walk.recordNumber() > kMaxDatasets) {
            ErrorFrame::report(TextTable::text(TextTable::ExportTooManyDatasets).arg(kMaxDatasets));
            return false;
        }
        if (!WriteDataRow(run, walk, qint32(kHeaderRow + walk.recordNumber()), n, valueTypes))
            return false;
        // Windows stay responsive during a long export; a few times a second is enough.
        if (sinceEvents.elapsed() >= 50) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
    }
    return true;
}

bool CExportExcel::WriteDataRow(Run &run, const RecordWalk &record, qint32 row, int n,
                                const QList<qint32> &valueTypes)
{
    if (record.fieldCount() < n || valueTypes.size() < n)
        return false;
    CExcelFile &excel = *run.excel;
    for (int c = 0; c < n; ++c) {
        Conversion conversion = Conversion::Done;
        const Cell cell = ConvertField(record.field(c), valueTypes[c], conversion);
        if (conversion != Conversion::Done) {
            Skipped &skipped = conversion == Conversion::NotWhole ? run.notWhole : run.tooLarge;
            if (skipped.count++ == 0)
                skipped = {1, row, c + 1, record.field(c).toString()};
        }
        qint16 status = CExcelFile::Ok;
        switch (cell.kind) {
        case Cell::None:
            break;
        case Cell::Integer:
            status = excel.WriteInteger(kFont0, cell.alignment, kNormal, row, c + 1, qint16(cell.integer));
            break;
        case Cell::Number:
            status = excel.WriteNumber(kFont0, cell.alignment, kNormal, row, c + 1, cell.number);
            break;
        case Cell::Text:
            if (!WriteLabel(excel, cell.alignment, row, c + 1, cell.text))
                return false;
            break;
        }
        if (status != CExcelFile::Ok)
            return false;
    }
    return true;
}

bool CExportExcel::WriteLabel(CExcelFile &excel, qint32 alignment, qint32 row, qint32 col, QStringView text)
{
    const qint16 status = excel.WriteLabel(kFont0, alignment, kNormal, row, col, text);
    // The caller's "Export error!" alone would leave the user searching for the culprit.
    if (status == CExcelFile::Overflow && text.size() > 255)
        ErrorFrame::report(TextTable::text(TextTable::ExportTextTooLong).arg(row).arg(col).arg(text.size()));
    return status == CExcelFile::Ok;
}

CExportExcel::Cell CExportExcel::ConvertField(QStringView text, qint32 valueType, Conversion &conversion)
{
    Cell cell;
    conversion = Conversion::Done;
    if (text.isEmpty())
        return cell;
    switch (valueType) {
    case 0: {
        double value = 0;
        bool ok = readPlainInteger(text, value);
        if (!ok)
            value = QLocale::c().toDouble(text.trimmed(), &ok);
        if (!ok || !std::isfinite(value)) {
            conversion = Conversion::NotWhole;
            return cell;
        }
        cell.alignment = CExcelFile::AlignRight;
        // Readers take the INTEGER record's value as unsigned: a whole number outside 0 to 65535 (a
        // negative one would read as 65536 minus it) goes into a NUMBER cell with its exact value.
        value = std::nearbyint(value);
        if (value >= 0 && value <= 65535) {
            cell.kind = Cell::Integer;
            cell.integer = quint16(value);
        } else {
            cell.kind = Cell::Number;
            cell.number = value;
        }
        return cell;
    }
    case 1:
        cell.number = NumberText::Val(text.toString());
        if (!std::isfinite(cell.number)) {
            conversion = Conversion::TooLarge;
            return cell;
        }
        cell.kind = Cell::Number;
        cell.alignment = CExcelFile::AlignRight;
        return cell;
    default:
        cell.kind = Cell::Text;
        cell.text = text;
        cell.alignment = CExcelFile::AlignLeft;
        return cell;
    }
}
