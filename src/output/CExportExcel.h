#pragma once
// Writes one document's measured values into a spreadsheet file: a header block with meter, serial
// number, user, date and time, the column headers of the meter's table and one row per dataset. The
// file name picks the format: a workbook for .xlsx, a BIFF2 sheet otherwise; the cells are the same.
#include "CCSVFile.h"
#include "MeasuredValues.h"

#include <QString>
#include <QStringView>

class RecordWalk;
class SheetWriter;
class CDevice;

class CExportExcel {
public:
    // Rows 1 to 8 hold the header block, so a BIFF2 sheet of 65,535 rows holds this many datasets.
    static constexpr qint32 kFirstDataRow = 9;
    static constexpr qint32 kMaxDatasets = 65535 - 8;

    explicit CExportExcel(const CDevice &device) : m_device(device) {}

    bool SetMVals(const MeasuredValues &values, const QString &strFileName);
    // How the last SetMVals ended, with what the user is to learn: cells left empty (also when the
    // file was written), content the file cannot take, the file error with its cause. The caller tells
    // it, before its own message.
    const FileResult &lastResult() const { return m_last; }

private:
    // Cells left empty because their text could not be converted: told once per kind, with the first.
    struct Skipped {
        qint64 count = 0;
        qint32 row = 0;
        qint32 column = 0;
        QString text;
    };
    // What one export gathers along the way.
    struct Run {
        SheetWriter *sheet = nullptr;
        Skipped notWhole; // whole-number columns
        Skipped tooLarge; // number columns: beyond a double
    };
    enum class Conversion { Done, NotWhole, TooLarge };
    struct Cell {
        enum Kind { None, Integer, Number, Text } kind = None;
        quint16 integer = 0; // the BIFF2 INTEGER record holds 0 to 65535
        double number = 0;
        QStringView text;
    };

    FileResult Export(const MeasuredValues &values, const QString &strFileName);
    static QStringList SkippedNotes(const Run &run);
    bool WriteSheet(Run &run, const MeasuredValues &values);
    bool WriteHeaderBlock(Run &run, const QStringList &headers, int n, const MeasuredValues &values);
    bool WriteDataRows(Run &run, const QString &strMVals, int n, const QList<qint32> &valueTypes);
    bool WriteDataRow(Run &run, const RecordWalk &record, qint32 row, int n, const QList<qint32> &valueTypes);
    static Cell ConvertField(QStringView text, qint32 valueType, Conversion &conversion);

    const CDevice &m_device;
    FileResult m_last;
};
