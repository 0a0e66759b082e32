#pragma once
// The archived datasets a filter finds, a page at a time: the view asks for more as it scrolls, so an
// archive of millions of datasets opens as fast as one of a hundred and holds only what was seen.
#include "Archive.h"

#include <QAbstractTableModel>

#include <algorithm>

class ArchiveTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The mark of a conflict, the meter, its serial number, every named field, the import's time and
    // user, and the notes and withdrawals kept beside the dataset since.
    enum Column {
        ConflictColumn,
        MeterColumn,
        SerialColumn,
        FirstField,
        ImportedColumn = FirstField + DatasetFields::Count,
        UserColumn,
        NotesColumn,
        ColumnCount
    };

    explicit ArchiveTableModel(Archive &archive, QObject *parent = nullptr);

    // Starts over with the filter and fetches its first page; the failure names why nothing shows.
    Archive::Result setFilter(const ArchiveFilter &filter);
    const ArchiveFilter &filter() const { return m_filter; }
    void setPageSize(int rows) { m_pageSize = std::max(1, rows); }
    const ArchivedRow &archivedRow(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // A later page could not be read (the server went away, the file was taken): the rows so far stay.
    void fetchFailed(const QString &message);

private:
    Archive::Result readPage(QList<ArchivedRow> *page);

    Archive &m_archive;
    ArchiveFilter m_filter;
    QList<ArchivedRow> m_rows;
    int m_pageSize = 500;
    bool m_complete = true;
};
