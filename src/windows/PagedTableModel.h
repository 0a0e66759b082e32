#pragma once
// A table read from the archive a page at a time: the view asks for more as it scrolls, so millions of
// rows open as fast as a hundred and only what was seen is held. Each page is read one row ahead, so
// the view never asks for a page that is not there.
#include "Archive.h"

#include <QAbstractTableModel>
#include <QList>

#include <algorithm>

class PagedTableModel : public QAbstractTableModel {
    Q_OBJECT
signals:
    // A later page could not be read (the server went away, the file was taken): the rows so far stay.
    void fetchFailed(const QString &message);

protected:
    using QAbstractTableModel::QAbstractTableModel;
};

template <typename Row> class PagedRowsModel : public PagedTableModel {
public:
    void setPageSize(int rows) { m_pageSize = std::max(1, rows); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    bool canFetchMore(const QModelIndex &parent) const override { return !parent.isValid() && !m_complete; }
    void fetchMore(const QModelIndex &parent) override
    {
        if (parent.isValid() || m_complete)
            return;
        const qsizetype before = m_rows.size();
        QList<Row> page;
        const Archive::Result result = readPage(&page);
        if (!page.isEmpty()) {
            beginInsertRows(QModelIndex(), int(before), int(before + page.size() - 1));
            m_rows.append(page);
            endInsertRows();
        }
        if (!result)
            emit fetchFailed(result.message);
    }

protected:
    using PagedTableModel::PagedTableModel;

    // Up to limit rows after last (null: from the first), in order.
    virtual Archive::Result readRows(const Row *last, int limit, QList<Row> *page) = 0;

    // Starts over (a new filter) with the first page; the failure names why nothing shows.
    Archive::Result restart()
    {
        beginResetModel();
        m_rows.clear();
        QList<Row> page;
        const Archive::Result result = readPage(&page);
        m_rows = std::move(page);
        endResetModel();
        return result;
    }

    QList<Row> m_rows;

private:
    Archive::Result readPage(QList<Row> *page)
    {
        const Archive::Result result =
            readRows(m_rows.isEmpty() ? nullptr : &m_rows.last(), m_pageSize + 1, page);
        // A page that failed is not tried again and again while the view scrolls.
        m_complete = !result || page->size() <= m_pageSize;
        if (page->size() > m_pageSize)
            page->resize(m_pageSize);
        return result;
    }

    int m_pageSize = 500;
    bool m_complete = true;
};
