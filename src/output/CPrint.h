#pragma once
// Prints measured values and the calibration record as plain text lines with its own pagination,
// on whatever PrintTarget the program installed (the system printer in the desktop program).
#include "MeasuredValues.h"

#include <QDateTime>
#include <QString>

#include <functional>

class PrintTarget;
class CCalProtocol;
class CDevice;

// A table on paper: the title, the lines of who and when (two texts beside each other a line) and the
// columns, each as wide as its widest cell.
struct TablePrintout {
    QString title;
    QStringList fields; // "Label value" texts
    QStringList headers;
    QList<QStringList> rows;
};

class CPrint {
public:
    static constexpr int kIndent = 12;

    CPrint(const CDevice &device, const CCalProtocol &calProtocol);

    // The printer to use (not owned); without one no printer is available.
    void setTarget(PrintTarget *target) { m_target = target; }
    PrintTarget *target() const { return m_target; }
    // The clock for the printing date of calibration records (tests fix it).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    QString PrinterName() const;
    bool PrinterAvailable() const;
    bool PrintMVals(const MeasuredValues &values);
    // The same values for paper records: the table's columns side by side, each as wide as its widest
    // cell, with the header block, the column headers and "page n of m" on every page.
    bool PrintMValsTable(const MeasuredValues &values);
    bool PrintCalProtocol();
    // Any table with the layout of PrintMValsTable.
    bool PrintTablePrintout(const TablePrintout &table);
    // A report of ready lines (a control chart's limits, values and violations), each cut to the
    // paper's width, paginated like the other printouts.
    bool PrintReport(const QStringList &lines);

    qint16 linesPerPage() const { return m_linesPerPage; }
    // A printed line is cut, never wrapped, to what fits the paper's width, which no paper takes beyond
    // this many characters: longer lines and fields (a 100 MB line of a damaged file) are cut to it
    // before anything is measured or laid out, so such a file prints as fast as any other.
    static constexpr qsizetype kMaxLineChars = 2000;

private:
    bool StartJob();
    bool PrintLine(QString text);
    bool PrintTopMargin();
    bool PrintIndented(const QString &text);
    bool PrintRecordHeader(bool fPH, const QString &strMeter, const QString &strSerNo,
                           const QString &strUser);
    bool PrintMValsHeader(const MeasuredValues &values);
    bool PrintTable(const QString &strDeviceName, const QString &strMVals);
    bool PrintColumnHeaders(const QStringList &headers, int n);
    bool PrintRows(const QString &strMVals, int n);
    bool PrintRecordBody(bool fPH);
    bool PrintTablePages(const MeasuredValues &values);
    bool PrintTableLayout(const TablePrintout &table);
    struct TableSheet;
    double MeasureTable(TableSheet &sheet) const;
    bool FitTableFont(TableSheet &sheet);
    static void SplitTableSections(TableSheet &sheet);
    QStringList CutCells(const TableSheet &sheet, const QList<int> &section, const QList<double> &x,
                         const QStringList &cells) const;
    bool PrintTableFields(const TableSheet &sheet);
    bool PrintTablePage(const TableSheet &sheet, qsizetype page, qsizetype pages);
    QString CutToWidth(QString text, double width) const;
    bool Finish(bool ok);

    const CDevice &m_device;
    const CCalProtocol &m_calProtocol;
    PrintTarget *m_target = nullptr;
    std::function<QDateTime()> m_clock;
    qint16 m_linesOnPage = 0;
    qint16 m_linesPerPage = 0;
};
