#include "CPrint.h"

#include "CCalProtocol.h"
#include "CDevice.h"
#include "ErrorFrame.h"
#include "LocaleTexts.h"
#include "NumberText.h"
#include "PrintTarget.h"
#include "RecordWalk.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>

namespace {

const QString &indent()
{
    static const QString text(CPrint::kIndent, u' ');
    return text;
}

// "0.0" with the system's decimal separator, as the record windows show it.
QString oneDecimal(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value + 0.0, 'f', 1);
}

QString labelled(int textNumber, const QString &value)
{
    return TextTable::text(textNumber) + u' ' + value;
}

} // namespace

CPrint::CPrint(const CDevice &device, const CCalProtocol &calProtocol)
    : m_device(device), m_calProtocol(calProtocol), m_clock([] { return QDateTime::currentDateTime(); })
{
}

QString CPrint::PrinterName() const
{
    return m_target ? m_target->printerName() : QString();
}

bool CPrint::PrinterAvailable() const
{
    return m_target && m_target->printerCount() > 0;
}

bool CPrint::StartJob()
{
    if (!m_target)
        return false;
    if (!m_target->setFontSize(11))
        return false;
    const double lineHeight = m_target->textHeight(QStringLiteral("test"));
    qint16 lines = 0;
    if (lineHeight <= 0 || !NumberText::ToInt16(m_target->printableHeight() / lineHeight - 2, &lines))
        lines = 0;
    // A page must take the two top lines and one more, or every line would open a new page forever.
    if (lines < 3) {
        ErrorFrame::report(TextTable::text(TextTable::PrintAreaTooSmall));
        return false;
    }
    m_linesPerPage = lines;
    m_linesOnPage = 0;
    return true;
}

bool CPrint::PrintLine(QString text)
{
    // Lines are cut, never wrapped: the longest start of the text that fits the width.
    if (text.size() > kMaxLineChars)
        text.truncate(kMaxLineChars);
    text = CutToWidth(std::move(text), m_target->printableWidth());
    if (m_linesOnPage >= m_linesPerPage) {
        if (!m_target->newPage())
            return false;
        m_linesOnPage = 0;
        if (!PrintTopMargin())
            return false;
    }
    if (!m_target->printLine(text))
        return false;
    ++m_linesOnPage;
    return true;
}

QString CPrint::CutToWidth(QString text, double width) const
{
    if (m_target->textWidth(text) > width) {
        qsizetype fits = 0;
        qsizetype tooLong = text.size();
        while (tooLong - fits > 1) {
            const qsizetype mid = fits + (tooLong - fits) / 2;
            if (m_target->textWidth(text.left(mid)) > width)
                tooLong = mid;
            else
                fits = mid;
        }
        text.truncate(fits);
    }
    return text;
}

bool CPrint::PrintTopMargin()
{
    return PrintLine(QString()) && PrintLine(QString());
}

bool CPrint::PrintIndented(const QString &text)
{
    return PrintLine(indent() + text);
}

bool CPrint::Finish(bool ok)
{
    if (ok)
        return m_target->endDocument();
    // A job that failed part-way is dropped, not printed in half.
    if (m_target)
        m_target->abortDocument();
    return false;
}

bool CPrint::PrintMVals(const MeasuredValues &values)
{
    try {
        if (!StartJob())
            return Finish(false);
        return Finish(PrintMValsHeader(values) && PrintTable(values.meter, values.datasets));
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return Finish(false);
    }
}

bool CPrint::PrintReport(const QStringList &lines)
{
    try {
        if (!StartJob() || !PrintTopMargin())
            return Finish(false);
        for (const QString &line : lines)
            if (!PrintIndented(line))
                return Finish(false);
        return Finish(true);
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return Finish(false);
    }
}

bool CPrint::PrintMValsHeader(const MeasuredValues &values)
{
    return PrintTopMargin() && PrintIndented(labelled(TextTable::MeterLabel, values.meter)) &&
           PrintIndented(labelled(TextTable::SerialNumberLabel, values.serialNumber)) &&
           PrintIndented(labelled(TextTable::UserLabel, values.user)) &&
           PrintIndented(labelled(TextTable::DateLabel, LocaleTexts::shortDate(values.date.date()))) &&
           PrintIndented(labelled(TextTable::TimeLabel, LocaleTexts::longTime(values.date.time()))) &&
           PrintLine(QString());
}

bool CPrint::PrintTable(const QString &strDeviceName, const QString &strMVals)
{
    QStringList headers(14);
    QList<qint16> widths(14);
    QList<qint32> valueTypes(14);
    const int n = m_device.GetTableConfig(headers, widths, valueTypes, strDeviceName);
    if (n == 0)
        return false;
    return PrintColumnHeaders(headers, n) && PrintRows(strMVals, n);
}

bool CPrint::PrintColumnHeaders(const QStringList &headers, int n)
{
    QString line;
    for (int c = 0; c < n; ++c)
        line += headers[c] + QStringLiteral("; ");
    return PrintIndented(line);
}

bool CPrint::PrintRows(const QString &strMVals, int n)
{
    RecordWalk walk(strMVals, n);
    if (!walk.ok())
        return false;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    QString line;
    while (walk.next()) {
        line = indent();
        for (int c = 0; c < n && line.size() <= kMaxLineChars; ++c) {
            line += walk.field(c).left(kMaxLineChars);
            line += QStringLiteral("; ");
        }
        if (!PrintLine(line))
            return false;
        // Windows stay responsive during a long printout; a few times a second is enough.
        if (sinceEvents.elapsed() >= 50) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
    }
    return true;
}

bool CPrint::PrintMValsTable(const MeasuredValues &values)
{
    try {
        if (!StartJob())
            return Finish(false);
        return Finish(PrintTablePages(values));
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return Finish(false);
    }
}

bool CPrint::PrintTablePages(const MeasuredValues &values)
{
    const QList<TableColumn> columns = m_device.TableLayout(values.meter);
    const int n = int(columns.size());
    if (n == 0)
        return false;
    RecordWalk walk(values.datasets, n);
    if (!walk.ok())
        return false;
    TablePrintout table;
    table.title = TextTable::text(TextTable::TablePrintoutTitle);
    const QString when =
        LocaleTexts::shortDate(values.date.date()) + u' ' + LocaleTexts::longTime(values.date.time());
    table.fields = {labelled(TextTable::MeterLabel, values.meter),
                    labelled(TextTable::SerialNumberLabel, values.serialNumber),
                    labelled(TextTable::UserLabel, values.user), labelled(TextTable::DateLabel, when)};
    for (const TableColumn &column : columns)
        table.headers << column.header;
    // The notes of archived datasets after the meter's own columns.
    const bool notes = !values.notes.isEmpty();
    if (notes)
        table.headers << TextTable::text(TextTable::ArchiveNotesColumn);
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    while (walk.next()) {
        QStringList row;
        for (int c = 0; c < n; ++c)
            row << walk.field(c).left(kMaxLineChars).toString();
        if (notes)
            row << values.notes.value(table.rows.size()).left(kMaxLineChars);
        table.rows << row;
        if (sinceEvents.elapsed() >= 50) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
    }

    return PrintTableLayout(table);
}

bool CPrint::PrintTablePrintout(const TablePrintout &table)
{
    try {
        if (!StartJob())
            return Finish(false);
        return Finish(!table.headers.isEmpty() && PrintTableLayout(table));
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return Finish(false);
    }
}

// The table as set on the paper: each column as wide as its widest cell at the font size chosen,
// the sections the columns are printed in, and the rows a page takes.
struct CPrint::TableSheet {
    explicit TableSheet(const TablePrintout &printout) : table(printout) {}

    const TablePrintout &table;
    double width = 0; // printable
    QList<double> widths;
    double gap = 0;
    QList<QList<int>> sections;
    int rowsPerPage = 0;
    qsizetype sectionPages = 1;

    QList<double> place(const QList<int> &section) const
    {
        QList<double> x{0.0};
        for (qsizetype i = 1; i < section.size(); ++i)
            x << x.last() + widths[section[i - 1]] + gap;
        return x;
    }
};

double CPrint::MeasureTable(TableSheet &sheet) const
{
    const TablePrintout &table = sheet.table;
    const int n = int(table.headers.size());
    sheet.widths = QList<double>(n, 0.0);
    for (int c = 0; c < n; ++c)
        sheet.widths[c] = m_target->textWidth(table.headers[c]);
    for (const QStringList &row : table.rows)
        for (int c = 0; c < n; ++c)
            sheet.widths[c] = std::max(sheet.widths[c], m_target->textWidth(row[c]));
    sheet.gap = m_target->textWidth(QStringLiteral("00"));
    return std::accumulate(sheet.widths.begin(), sheet.widths.end(), sheet.gap * (n - 1));
}

// Each column as wide as its widest cell, two digits apart; a table wider than the paper is set
// smaller, down to a size still read without a loupe.
bool CPrint::FitTableFont(TableSheet &sheet)
{
    double fontSize = 10;
    if (!m_target->setFontSize(fontSize))
        return false;
    if (const double total = MeasureTable(sheet); total > sheet.width) {
        fontSize = std::max(7.0, std::floor(fontSize * sheet.width / total * 2) / 2);
        if (!m_target->setFontSize(fontSize))
            return false;
        MeasureTable(sheet);
    }
    return true;
}

// Still too wide, the columns go into sections printed one after another, each led by the
// datasets' numbers: a cut value would be read as another value. Only a column wider than the
// paper beside the numbers is cut.
void CPrint::SplitTableSections(TableSheet &sheet)
{
    const QList<double> &widths = sheet.widths;
    sheet.sections = {{0}};
    double used = widths[0];
    for (int c = 1; c < widths.size(); ++c) {
        if (sheet.sections.last().size() > 1 && used + sheet.gap + widths[c] > sheet.width) {
            sheet.sections.append(QList<int>{0});
            used = widths[0];
        }
        sheet.sections.last() << c;
        used += sheet.gap + widths[c];
    }
}

QStringList CPrint::CutCells(const TableSheet &sheet, const QList<int> &section, const QList<double> &x,
                             const QStringList &cells) const
{
    QStringList shown;
    for (qsizetype i = 0; i < section.size(); ++i)
        shown << CutToWidth(cells[section[i]], std::min(sheet.widths[section[i]], sheet.width - x[i]));
    return shown;
}

bool CPrint::PrintTableFields(const TableSheet &sheet)
{
    const QStringList &fields = sheet.table.fields;
    const double half = sheet.width / 2;
    const QList<double> halves{0, half};
    for (qsizetype f = 0; f < fields.size(); f += 2) {
        QStringList cells{CutToWidth(fields[f], half - sheet.gap)};
        if (f + 1 < fields.size())
            cells << CutToWidth(fields[f + 1], half);
        if (!m_target->printCells(halves.mid(0, cells.size()), cells))
            return false;
    }
    return true;
}

bool CPrint::PrintTablePage(const TableSheet &sheet, qsizetype page, qsizetype pages)
{
    const TablePrintout &table = sheet.table;
    const QList<int> &section = sheet.sections[page / sheet.sectionPages];
    const QList<double> x = sheet.place(section);
    if (page > 0 && !m_target->newPage())
        return false;
    if (!(m_target->printLine(CutToWidth(table.title, sheet.width)) && PrintTableFields(sheet) &&
          m_target->printLine(QString()) && m_target->printRule() &&
          m_target->printCells(x, CutCells(sheet, section, x, table.headers)) && m_target->printRule()))
        return false;
    const qsizetype first = page % sheet.sectionPages * sheet.rowsPerPage;
    const qsizetype last = std::min<qsizetype>(table.rows.size(), first + sheet.rowsPerPage);
    for (qsizetype r = first; r < last; ++r)
        if (!m_target->printCells(x, CutCells(sheet, section, x, table.rows[r])))
            return false;
    // The foot stands at the page's bottom, also on a last page that is not full.
    for (qsizetype r = last - first; r < sheet.rowsPerPage; ++r)
        if (!m_target->printLine(QString()))
            return false;
    const QString number = TextTable::text(TextTable::PageOfPages).arg(page + 1).arg(pages);
    return m_target->printRule() &&
           m_target->printCells({std::max(0.0, sheet.width - m_target->textWidth(number))}, {number});
}

bool CPrint::PrintTableLayout(const TablePrintout &table)
{
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    TableSheet sheet(table);
    sheet.width = m_target->printableWidth();
    if (!FitTableFont(sheet))
        return false;
    SplitTableSections(sheet);

    const double lineHeight = m_target->textHeight(QStringLiteral("test"));
    const int lines = lineHeight > 0 ? int(std::min(m_target->printableHeight() / lineHeight, 30000.0)) : 0;
    // Title, the lines of who and when, a space, the column headers between rules; a rule and the
    // page number at the foot.
    const int fieldLines = int(table.fields.size() + 1) / 2;
    const int kHeadLines = 5 + fieldLines;
    constexpr int kFootLines = 2;
    sheet.rowsPerPage = lines - kHeadLines - kFootLines;
    if (sheet.rowsPerPage < 1) {
        ErrorFrame::report(TextTable::text(TextTable::PrintAreaTooSmall));
        return false;
    }
    sheet.sectionPages =
        std::max<qsizetype>(1, (table.rows.size() + sheet.rowsPerPage - 1) / sheet.rowsPerPage);
    const qsizetype pages = sheet.sectionPages * sheet.sections.size();
    for (qsizetype page = 0; page < pages; ++page) {
        if (!PrintTablePage(sheet, page, pages))
            return false;
        if (sinceEvents.elapsed() >= 50) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
    }
    return true;
}

bool CPrint::PrintCalProtocol()
{
    try {
        // A record no meter writes fails half-way through the pages: refused first, with the reason.
        if (const QString why = m_calProtocol.implausibility(); !why.isEmpty()) {
            ErrorFrame::report(why);
            return false;
        }
        if (!StartJob())
            return Finish(false);
        const CCalProtocol &record = m_calProtocol;
        QString meter, serial, user;
        if (!record.GetProtocolHeader(meter, serial, user))
            return Finish(false);
        const bool ph = record.IsProtocolPH();
        return Finish(PrintRecordHeader(ph, meter, serial, user) && PrintRecordBody(ph));
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return Finish(false);
    }
}

bool CPrint::PrintRecordHeader(bool fPH, const QString &strMeter, const QString &strSerNo,
                               const QString &strUser)
{
    const QDateTime now = m_clock();
    return PrintTopMargin() &&
           PrintIndented(
               TextTable::text(fPH ? TextTable::CalRecordPhCaption : TextTable::CalRecordTurbidityCaption)) &&
           PrintIndented(LocaleTexts::shortDate(now.date()) + u' ' + LocaleTexts::longTime(now.time())) &&
           PrintLine(QString()) && PrintIndented(labelled(TextTable::MeterLabel, strMeter)) &&
           PrintIndented(labelled(TextTable::SerialNumberLabel, strSerNo)) &&
           PrintIndented(labelled(TextTable::UserLabel, strUser)) && PrintLine(QString());
}

bool CPrint::PrintRecordBody(bool fPH)
{
    const CCalProtocol &record = m_calProtocol;
    QString meter, serial, user, date, time, interval, mode;
    qint16 points = 0;
    if (fPH) {
        QString slope, asymmetry, sensor;
        bool fahrenheit = false;
        bool slopePercent = false;
        QStringList ph(3), mV(3), celsius(3);
        if (!record.GetProtocolPH(meter, serial, user, date, time, interval, mode, slope, asymmetry, sensor,
                                  fahrenheit, slopePercent, points, ph, mV, celsius))
            return false;
        const QString slopeText =
            slopePercent ? oneDecimal(NumberText::Val(slope) / -59.16 * 100.0) + QStringLiteral(" %")
                         : slope + QStringLiteral(" mV/pH");
        if (!(PrintIndented(labelled(TextTable::DateLabel, date)) &&
              PrintIndented(labelled(TextTable::TimeLabel, time)) &&
              PrintIndented(labelled(TextTable::IntervalLabel, interval) + u' ' +
                            TextTable::text(TextTable::Days)) &&
              PrintIndented(labelled(TextTable::ModeLabel, mode)) &&
              PrintIndented(labelled(TextTable::CalSlopeLabel, slopeText)) &&
              PrintIndented(labelled(TextTable::AsymmetryLabel, asymmetry) + QStringLiteral(" mV")) &&
              PrintIndented(labelled(TextTable::SensorLabel, sensor)) && PrintLine(QString())))
            return false;
        for (int k = 0; k < std::min<int>(points, 3); ++k) {
            const QString temperature =
                fahrenheit ? oneDecimal(record.TempGetFahrenheit(NumberText::Val(celsius.value(k)))) +
                                 QStringLiteral(" \u00b0F")
                           : celsius.value(k) + QStringLiteral(" \u00b0C");
            if (!PrintIndented(QStringLiteral("#%1\t").arg(k + 1) + ph.value(k) + u'\t' + mV.value(k) +
                               QStringLiteral(" mV\t") + temperature))
                return false;
        }
        return PrintLine(QString());
    }

    QStringList standards(5);
    QString lotTotal, expiry, manufacturer;
    QStringList lots(5);
    if (!record.GetProtocolTurbidity(meter, serial, user, date, time, interval, mode, points, standards) ||
        !record.GetChargeID(lotTotal, expiry, manufacturer, lots))
        return false;
    if (!(PrintIndented(labelled(TextTable::DateLabel, date)) &&
          PrintIndented(labelled(TextTable::TimeLabel, time)) &&
          PrintIndented(labelled(TextTable::IntervalLabel, interval) + u' ' +
                        TextTable::text(TextTable::Days)) &&
          PrintIndented(labelled(TextTable::ModeLabel, mode)) && PrintLine(QString()) &&
          PrintIndented(labelled(TextTable::SetLotNumberLabel, lotTotal)) &&
          PrintIndented(labelled(TextTable::ExpiryDateLabel, expiry)) &&
          PrintIndented(labelled(TextTable::ManufacturerLabel, manufacturer))))
        return false;
    if (points >= 6)
        return false;
    for (int k = 0; k < points; ++k) {
        if (!PrintIndented(standards.value(k) + QStringLiteral(" FNU/NTU: ") + lots.value(k) + u' ' +
                           TextTable::text(TextTable::Ok)))
            return false;
    }
    return PrintLine(QString());
}
