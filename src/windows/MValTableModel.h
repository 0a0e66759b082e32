#pragma once
// The document's grid over the raw dataset text: rows are found in one linear pass, fields are cut
// out of the text only for the cells on screen, so a large file opens at once and costs little memory.
#include "CDevice.h"

#include <QAbstractTableModel>
#include <QList>

class MValTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit MValTableModel(QObject *parent = nullptr);
    // The most characters a cell shows; a longer field is cut and its length noted.
    static constexpr qsizetype kMaxCellChars = 1000;

    // An empty grid of the given size (no header texts).
    void setBlank(int columns, int rows);
    // Empties every cell and header, keeping the size.
    void clearCells();
    // The layout's columns and one row per record of the raw text (one empty row when there is none).
    // False when the layout has more columns than a record can hold.
    bool fill(const QString &rawText, const QList<TableColumn> &layout);

    int recordCount() const { return int(m_offsets.size()); }
    QList<TableColumn> columns() const { return m_columns; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString m_text;
    QList<qsizetype> m_offsets; // where each record's line starts in m_text
    QList<TableColumn> m_columns;
    int m_blankColumns = 0;
    int m_blankRows = 0;
    bool m_filled = false;
};
