#include "TrailTableModel.h"

#include "TrailReport.h"

#include <QBrush>
#include <QColor>

TrailTableModel::TrailTableModel(Archive &archive, QObject *parent)
    : PagedRowsModel(parent), m_archive(archive)
{
}

Archive::Result TrailTableModel::setFilter(const TrailFilter &filter)
{
    m_filter = filter;
    return restart();
}

Archive::Result TrailTableModel::readRows(const TrailEntry *last, int limit, QList<TrailEntry> *page)
{
    TrailFilter filter = m_filter;
    filter.afterSeq = last ? last->seq : 0;
    filter.limit = limit;
    return m_archive.trail(filter, page);
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
