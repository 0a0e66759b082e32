#pragma once
// Where an export's cells go: a BIFF2 sheet or a workbook. CExportExcel decides what each cell is
// (the same for both); a writer only knows its file's limits and how to write a cell there.
#include <QString>
#include <QStringView>

#include <memory>

class SheetWriter {
public:
    enum Alignment { AlignLeft, AlignRight };

    virtual ~SheetWriter() = default;

    // The writer for a file name: a workbook for ".xlsx" (any case), a BIFF2 sheet otherwise.
    static std::unique_ptr<SheetWriter> forFile(const QString &path);

    // Datasets that fit below the header block.
    virtual qint32 maxDatasets() const = 0;
    // Refuses the datasets beyond maxDatasets: the refusal tells the user what file can take them.
    virtual void refuseTooManyDatasets() = 0;

    // The file's layout: margins, font and grid lines of a printed sheet; false on a file error.
    virtual bool create(const QString &path) = 0;
    virtual bool setColumnWidths(int columns, int width) = 0;
    // Rows and columns count from 1; rows are written in order. A text the file cannot take is refused.
    virtual bool writeText(qint32 row, qint32 col, QStringView text, Alignment alignment) = 0;
    // A whole number from 0 to 65535 (the BIFF2 INTEGER cell's range).
    virtual bool writeInteger(qint32 row, qint32 col, quint16 value, Alignment alignment) = 0;
    virtual bool writeNumber(qint32 row, qint32 col, double value, Alignment alignment) = 0;
    // The file appears under its name only when close succeeds.
    virtual bool close() = 0;
    // The platform's or the library's text for the last file error.
    virtual QString errorString() const = 0;
    // Why content was refused (a text longer than a cell holds, too many datasets), in the user's words;
    // empty while nothing was. Without it, "Export error!" alone would leave the user searching.
    const QString &refusal() const { return m_refusal; }

protected:
    QString m_refusal;
};
