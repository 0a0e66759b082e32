#include "CExportExcel.h"

#include "CDevice.h"
#include "LocaleTexts.h"
#include "NumberText.h"
#include "RecordWalk.h"
#include "SheetWriters.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <cmath>
#include <exception>
#include <utility>

namespace {

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
        m_last = Export(values, strFileName);
    } catch (const std::exception &e) {
        m_last = {FileResult::Failure::Unwritable, QString::fromLocal8Bit(e.what()), {}};
    }
    return m_last.ok();
}

FileResult CExportExcel::Export(const MeasuredValues &values, const QString &strFileName)
{
    // The writer discards its file unless close succeeds, so any early end leaves no file.
    const std::unique_ptr<SheetWriter> sheet = SheetWriter::forFile(strFileName);
    FileResult result;
    // A file error (no permission, disk full) is told with its cause; the caller adds its own message.
    const auto fileFailed = [&sheet, &strFileName, &result] {
        result.failure =
            sheet->refusal().isEmpty() ? FileResult::Failure::Unwritable : FileResult::Failure::Refused;
        if (!sheet->errorString().isEmpty())
            result.message =
                TextTable::text(TextTable::FileWriteFailed).arg(strFileName, sheet->errorString());
        return result;
    };
    if (!sheet->create(strFileName))
        return fileFailed();
    Run run;
    run.sheet = sheet.get();
    const bool written = WriteSheet(run, values);
    if (!sheet->refusal().isEmpty())
        result.notes.append(sheet->refusal());
    result.notes += SkippedNotes(run);
    if (!written || !sheet->close())
        return fileFailed();
    return result;
}

QStringList CExportExcel::SkippedNotes(const Run &run)
{
    // Cells that could not be converted are told once, with their count and the first of them.
    const std::pair<const Skipped &, int> skipped[] = {{run.notWhole, TextTable::IntegerCellsLeftEmpty},
                                                       {run.tooLarge, TextTable::NumberCellsLeftEmpty}};
    // The cell's text as far as a message can show it (a damaged file's field can be 100 MB).
    constexpr qsizetype kQuoted = 80;
    QStringList notes;
    for (const auto &[cells, textNumber] : skipped) {
        if (cells.count > 0)
            notes.append(
                TextTable::text(textNumber)
                    .arg(cells.count)
                    .arg(cells.row)
                    .arg(cells.column)
                    .arg(cells.text.size() > kQuoted
                             ? cells.text.left(kQuoted) + QStringLiteral("... [%1]").arg(cells.text.size())
                             : cells.text));
    }
    return notes;
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
    if (!WriteDataRows(run, values.datasets, n, valueTypes))
        return false;
    // The notes of archived datasets after the meter's own columns, which keep their places.
    if (values.notes.isEmpty())
        return true;
    SheetWriter &sheet = *run.sheet;
    if (!sheet.writeText(kHeaderRow, n + 1, TextTable::text(TextTable::ArchiveNotesColumn),
                         SheetWriter::AlignLeft))
        return false;
    for (qsizetype i = 0; i < values.notes.size() && i < sheet.maxDatasets(); ++i)
        if (!values.notes[i].isEmpty() &&
            !sheet.writeText(qint32(kHeaderRow + 1 + i), n + 1, values.notes[i], SheetWriter::AlignLeft))
            return false;
    return true;
}

bool CExportExcel::WriteHeaderBlock(Run &run, const QStringList &headers, int n, const MeasuredValues &values)
{
    using TextTable::text;
    SheetWriter &sheet = *run.sheet;
    if (!sheet.setColumnWidths(values.notes.isEmpty() ? n : n + 1, 10))
        return false;
    const QString lines[] = {
        text(TextTable::MeterLabel) + u' ' + values.meter,
        text(TextTable::SerialNumberLabel) + u' ' + values.serialNumber,
        text(TextTable::UserLabel) + u' ' + values.user,
        text(TextTable::DateLabel) + u' ' + LocaleTexts::shortDate(values.date.date()),
        text(TextTable::TimeLabel) + u' ' + LocaleTexts::longTime(values.date.time()),
    };
    qint32 row = 2;
    for (const QString &line : lines) {
        if (!sheet.writeText(row++, 1, line, SheetWriter::AlignLeft))
            return false;
    }
    for (int c = 0; c < n; ++c) {
        if (!sheet.writeText(kHeaderRow, c + 1, headers[c], SheetWriter::AlignLeft))
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
        if (walk.recordNumber() > run.sheet->maxDatasets()) {
            run.sheet->refuseTooManyDatasets();
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
    SheetWriter &sheet = *run.sheet;
    for (int c = 0; c < n; ++c) {
        Conversion conversion = Conversion::Done;
        const Cell cell = ConvertField(record.field(c), valueTypes[c], conversion);
        if (conversion != Conversion::Done) {
            Skipped &skipped = conversion == Conversion::NotWhole ? run.notWhole : run.tooLarge;
            if (skipped.count++ == 0)
                skipped = {1, row, c + 1, record.field(c).toString()};
        }
        bool ok = true;
        switch (cell.kind) {
        case Cell::None:
            break;
        case Cell::Integer:
            ok = sheet.writeInteger(row, c + 1, cell.integer, SheetWriter::AlignRight);
            break;
        case Cell::Number:
            ok = sheet.writeNumber(row, c + 1, cell.number, SheetWriter::AlignRight);
            break;
        case Cell::Text:
            // A limit ("<0.05") stands aligned with the numbers of its column.
            ok = sheet.writeText(row, c + 1, cell.text,
                                 valueTypes[c] == 1 ? SheetWriter::AlignRight : SheetWriter::AlignLeft);
            break;
        }
        if (!ok)
            return false;
    }
    return true;
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
        // A result beyond the meter's range ("<0.05", ">2.5") is no number: as a NUMBER cell it read as 0.
        if (text.trimmed().startsWith(u'<') || text.trimmed().startsWith(u'>')) {
            cell.kind = Cell::Text;
            cell.text = text;
            return cell;
        }
        cell.number = NumberText::Val(text.toString());
        if (!std::isfinite(cell.number)) {
            conversion = Conversion::TooLarge;
            return cell;
        }
        cell.kind = Cell::Number;
        return cell;
    default:
        cell.kind = Cell::Text;
        cell.text = text;
        return cell;
    }
}
