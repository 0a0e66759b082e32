#pragma once
// The trail entries a filter finds, a page at a time, like the archive's datasets: a trail of a million
// entries opens as fast as one of ten.
#include "PagedTableModel.h"

class TrailTableModel : public PagedRowsModel<TrailEntry> {
    Q_OBJECT
public:
    explicit TrailTableModel(Archive &archive, QObject *parent = nullptr);

    // Starts over with the filter and fetches its first page; the failure names why nothing shows.
    Archive::Result setFilter(const TrailFilter &filter);
    const TrailFilter &filter() const { return m_filter; }
    const TrailEntry &entry(int row) const { return m_rows.at(row); }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    Archive::Result readRows(const TrailEntry *last, int limit, QList<TrailEntry> *page) override;

    Archive &m_archive;
    TrailFilter m_filter;
};
