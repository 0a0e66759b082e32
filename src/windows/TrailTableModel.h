#pragma once
// The trail entries a filter finds, a page at a time, like the archive's datasets: a trail of a million
// entries opens as fast as one of ten.
#include "Archive.h"

#include <QAbstractTableModel>

#include <algorithm>

class TrailTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrailTableModel(Archive &archive, QObject *parent = nullptr);

    // Starts over with the filter and fetches its first page; the failure names why nothing shows.
    Archive::Result setFilter(const TrailFilter &filter);
    const TrailFilter &filter() const { return m_filter; }
    void setPageSize(int rows) { m_pageSize = std::max(1, rows); }
    const TrailEntry &entry(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    void fetchFailed(const QString &message);

private:
    Archive::Result readPage(QList<TrailEntry> *page);

    Archive &m_archive;
    TrailFilter m_filter;
    QList<TrailEntry> m_rows;
    int m_pageSize = 500;
    bool m_complete = true;
};
