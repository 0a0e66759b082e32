#include "TrailTableModel.h"

#include "TrailReport.h"

#include <QBrush>
#include <QColor>

TrailTableModel::TrailTableModel(Archive &archive, QObject *parent)
    : QAbstractTableModel(parent), m_archive(archive)
{
}

Archive::Result TrailTableModel::setFilter(const TrailFilter &filter)
{
    beginResetModel();
    m_filter = filter;
    m_rows.clear();
    QList<TrailEntry> page;
    const Archive::Result result = readPage(&page);
    m_rows = std::move(page);
    endResetModel();
    return result;
}

Archive::Result TrailTableModel::readPage(QList<TrailEntry> *page)
{
    // One entry more than a page tells whether another page follows.
    TrailFilter filter = m_filter;
    filter.afterSeq = m_rows.isEmpty() ? 0 : m_rows.last().seq;
    filter.limit = m_pageSize + 1;
    const Archive::Result result = m_archive.trail(filter, page);
    m_complete = !result || page->size() <= m_pageSize;
    if (page->size() > m_pageSize)
        page->resize(m_pageSize);
    return result;
}

int TrailTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TrailTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : TrailReport::ColumnCount;
}

QVariant TrailTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const TrailEntry &entry = m_rows.at(index.row());
    const auto column = TrailReport::Column(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return TrailReport::cell(entry, column);
    case Qt::BackgroundRole:
        return entry.clockBack ? QVariant(QBrush(QColor(255, 221, 170))) : QVariant();
    case Qt::ToolTipRole: {
        // Long details and objects are read in the tooltip; a marked entry says why on every cell.
        QStringList lines;
        if (entry.clockBack)
            lines << TrailReport::clockBackNote(entry);
        if (column == TrailReport::Details || column == TrailReport::Object || column == TrailReport::Reason)
            lines << TrailReport::cell(entry, column);
        if (column == TrailReport::Account && entry.osUid >= 0)
            lines << QStringLiteral("uid %1").arg(entry.osUid);
        lines.removeAll(QString());
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(u'\n'));
    }
    default:
        return {};
    }
}

QVariant TrailTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= TrailReport::ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return TrailReport::header(TrailReport::Column(section));
}

bool TrailTableModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_complete;
}

void TrailTableModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || m_complete)
        return;
    const qsizetype before = m_rows.size();
    QList<TrailEntry> page;
    const Archive::Result result = readPage(&page);
    if (!page.isEmpty()) {
        beginInsertRows(QModelIndex(), int(before), int(before + page.size() - 1));
        m_rows.append(page);
        endInsertRows();
    }
    if (!result)
        emit fetchFailed(result.message);
}
