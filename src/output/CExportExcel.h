#pragma once
// Writes one document's measured values into a spreadsheet file: a header block with meter, serial
// number, user, date and time, the column headers of the meter's table and one row per dataset.
#include <QDateTime>
#include <QString>
#include <QStringView>

class CExcelFile;
class RecordWalk;
struct SharedObjects;

class CExportExcel {
public:
    // Rows 1 to 8 hold the header block, so a sheet of 65,535 rows holds this many datasets.
    static constexpr qint32 kFirstDataRow = 9;
    static constexpr qint32 kMaxDatasets = 65535 - 8;

    explicit CExportExcel(SharedObjects &shared) : m_shared(shared) {}

    bool SetMVals(const QString &strMVals, const QString &strMeter, const QString &strSerNo,
                  const QString &strUser, const QDateTime &curDate, const QString &strFileName);

private:
    // What one export gathers along the way: cells left empty, reported once at the end.
    struct Run {
        CExcelFile *excel = nullptr;
        qint64 emptyCells = 0;
        qint32 firstRow = 0;
        qint32 firstColumn = 0;
        QString firstText;
    };
    struct Cell {
        enum Kind { None, Integer, Number, Text } kind = None;
        quint16 integer = 0; // the INTEGER record holds 0 to 65535
        double number = 0;
        QStringView text;
        qint32 alignment = 0;
    };

    bool WriteSheet(Run &run, const QString &strMVals, const QString &strMeter, const QString &strSerNo,
                    const QString &strUser, const QDateTime &curDate);
    bool WriteHeaderBlock(Run &run, const QStringList &headers, int n, const QString &strMeter,
                          const QString &strSerNo, const QString &strUser, const QDateTime &curDate);
    bool WriteDataRows(Run &run, const QString &strMVals, int n, const QList<qint32> &valueTypes);
    bool WriteDataRow(Run &run, const RecordWalk &record, qint32 row, int n, const QList<qint32> &valueTypes);
    static Cell ConvertField(QStringView text, qint32 valueType, bool &conversionError);

    SharedObjects &m_shared;
};
