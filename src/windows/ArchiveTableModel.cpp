#include "ArchiveTableModel.h"

#include "TextTable.h"

#include <QBrush>
#include <QColor>
#include <QFont>

namespace {

// The column headers of the document tables where a field has one; the meters' own abbreviations else.
QString fieldHeader(DatasetFields::Field field)
{
    using namespace DatasetFields;
    switch (field) {
    case No:
        return TextTable::text(TextTable::ColumnNumber);
    case Date:
        return TextTable::text(TextTable::ColumnDate);
    case Time:
        return TextTable::text(TextTable::ColumnTime);
    case SampleId:
        return QStringLiteral("ID");
    case Program:
        return QStringLiteral("PROG");
    case Cit:
        return TextTable::text(TextTable::ColumnCitation);
    case Code:
        return TextTable::text(TextTable::ColumnArBvCal);
    case Dilution:
        return TextTable::text(TextTable::ColumnDilution);
    case Value1:
        return TextTable::text(TextTable::ColumnValue1);
    case Unit1:
        return TextTable::text(TextTable::ColumnUnit1);
    case Status1:
        return TextTable::text(TextTable::ColumnStatus1);
    case Value2:
        return TextTable::text(TextTable::ColumnValue2);
    case Unit2:
        return TextTable::text(TextTable::ColumnUnit2);
    case Status2:
        return TextTable::text(TextTable::ColumnStatus2);
    case CalDate:
        return TextTable::text(TextTable::ColumnDateCal);
    case CalTime:
        return TextTable::text(TextTable::ColumnTimeCal);
    case Count:
        break;
    }
    return QString();
}

} // namespace

ArchiveTableModel::ArchiveTableModel(Archive &archive, QObject *parent)
    : PagedRowsModel(parent), m_archive(archive)
{
}

Archive::Result ArchiveTableModel::setFilter(const ArchiveFilter &filter)
{
    m_filter = filter;
    return restart();
}

Archive::Result ArchiveTableModel::readRows(const ArchivedRow *last, int limit, QList<ArchivedRow> *page)
{
    return m_archive.query(m_filter, last ? last->id : 0, limit, page);
}

int ArchiveTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ArchiveTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const ArchivedRow &row = m_rows.at(index.row());
    if (role == Qt::BackgroundRole)
        return row.conflict ? QVariant(QBrush(QColor(255, 221, 170))) : QVariant();
    if (role == Qt::ToolTipRole) {
        QStringList lines;
        if (row.conflict)
            lines << TextTable::text(TextTable::ArchiveConflictTip);
        if (row.withdrawn)
            lines << TextTable::text(TextTable::ArchiveWithdrawnTip).arg(row.withdrawnReason);
        for (const QString &note : row.notes)
            if (!row.withdrawn || note != row.withdrawnReason)
                lines << note;
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(u'\n'));
    }
    if (role == Qt::FontRole && row.withdrawn) {
        QFont font;
        font.setStrikeOut(true);
        return font;
    }
    if (role == Qt::ForegroundRole && row.withdrawn)
        return QBrush(QColor(128, 128, 128));
    if (role != Qt::DisplayRole)
        return {};
    const int column = index.column();
    switch (column) {
    case ConflictColumn:
        return row.conflict ? TextTable::text(TextTable::ArchiveConflict) : QString();
    case MeterColumn:
        return row.meter;
    case SerialColumn:
        return row.serial;
    case ImportedColumn:
        return row.importedUtc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case UserColumn:
        return row.login;
    case NotesColumn:
        return row.notes.join(QStringLiteral("; "));
    default:
        return row.fields[size_t(column - FirstField)];
    }
}

QVariant ArchiveTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ConflictColumn:
        return TextTable::text(TextTable::ArchiveConflict);
    case MeterColumn:
        return TextTable::text(TextTable::Meter);
    case SerialColumn:
        return TextTable::text(TextTable::ColumnSerialNumber);
    case ImportedColumn:
        return TextTable::text(TextTable::ArchiveImported);
    case UserColumn:
        return TextTable::text(TextTable::ArchiveImportedBy);
    case NotesColumn:
        return TextTable::text(TextTable::ArchiveNotesColumn);
    default:
        return fieldHeader(DatasetFields::Field(section - FirstField));
    }
}
