#include "MValTableModel.h"

#include "RecordWalk.h"

#include <array>

MValTableModel::MValTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void MValTableModel::setBlank(int columns, int rows)
{
    beginResetModel();
    m_text.clear();
    m_offsets.clear();
    m_columns.clear();
    m_blankColumns = columns;
    m_blankRows = rows;
    m_filled = false;
    endResetModel();
}

void MValTableModel::clearCells()
{
    const int columns = columnCount();
    const int rows = rowCount();
    setBlank(columns, rows);
}

bool MValTableModel::fill(const QString &rawText, const QList<TableColumn> &layout)
{
    if (layout.isEmpty() || layout.size() > RecordWalk::kMaxFields)
        return false;
    beginResetModel();
    m_text = rawText;
    m_columns = layout;
    m_offsets.clear();
    m_filled = true;
    // The same record rules as every other reader of the raw text; fields are not cut here.
    QStringView rest(m_text);
    std::array<QStringView, RecordWalk::kMaxFields> fields{};
    while (rest.size() >= 2) {
        rest = rest.sliced(2);
        const qsizetype start = rest.data() - m_text.constData();
        if (!RecordWalk::extract(rest, fields.data(), 0))
            break;
        m_offsets.append(start);
    }
    endResetModel();
    return true;
}

int MValTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    if (!m_filled)
        return m_blankRows;
    return std::max<int>(1, int(m_offsets.size()));
}

int MValTableModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_filled ? int(m_columns.size()) : m_blankColumns;
}

QVariant MValTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !m_filled || index.row() >= m_offsets.size())
        return QVariant();
    QStringView line = QStringView(m_text).sliced(m_offsets[index.row()]);
    std::array<QStringView, RecordWalk::kMaxFields> fields{};
    if (!RecordWalk::extract(line, fields.data(), int(m_columns.size())))
        return QVariant();
    // A cell shows at most what a column can (a 60 MB field of a damaged file would take minutes
    // to measure and lay out); the rest is marked as cut.
    const QStringView field = fields[size_t(index.column())];
    if (field.size() > kMaxCellChars)
        return field.first(kMaxCellChars).toString() + QStringLiteral("... [%1]").arg(field.size());
    return field.toString();
}

QVariant MValTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (m_filled && section < m_columns.size())
        return m_columns[section].header;
    return QString();
}
