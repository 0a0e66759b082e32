#pragma once
// The archived datasets a filter finds, a page at a time: the view asks for more as it scrolls, so an
// archive of millions of datasets opens as fast as one of a hundred and holds only what was seen.
#include "PagedTableModel.h"

class ArchiveTableModel : public PagedRowsModel<ArchivedRow> {
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
    const ArchivedRow &archivedRow(int row) const { return m_rows.at(row); }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    Archive::Result readRows(const ArchivedRow *last, int limit, QList<ArchivedRow> *page) override;

    Archive &m_archive;
    ArchiveFilter m_filter;
};
