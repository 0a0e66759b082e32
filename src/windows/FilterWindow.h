#pragma once
// What the archive's windows that find records by a filter have in common: a box of filter fields laid
// out row by row with Search and Clear at its end, a message line for why nothing can be shown, a table
// read a page at a time and the count of what the filter finds.
#include <QDialog>

#include <functional>

class MainWindowContext;
class PagedTableModel;
class QAbstractItemModel;
class QCheckBox;
class QDate;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The settings every table of records shares: whole rows, read only, one line a row, no row numbers.
void setUpRecordTable(QTableView *table, const char *name, QAbstractItemModel *model);
// A button of the window by object name and caption number; buttons made one after another are
// tabbed through in that order.
QPushButton *namedButton(QWidget *owner, const char *name, int caption);
// The red line that tells why nothing can be shown; hidden while there is nothing to tell.
void setUpMessageLabel(QLabel *label);

// A filter field by name and caption, and the part of the filter it fills.
template <class Filter> struct FilterTextField {
    const char *name;
    int caption;
    QString Filter::*value;
};
template <class Filter> struct FilterDateField {
    const char *name;
    int caption;
    QDate Filter::*value;
};

// Lays the filter fields and check boxes of a filter box out in places of a grid, a given number to a row.
class FilterBoxBuilder {
public:
    FilterBoxBuilder(QWidget *owner, int perRow);

    QLineEdit *addField(const char *name, int caption, int toolTip = 0);
    // A date field, with its format shown while it is empty.
    QLineEdit *addDateField(const char *name, int caption);
    void addCheckBox(QCheckBox *box, const char *name, int caption);
    // Search and Clear in the rest of the last row; Enter in any field searches.
    QGroupBox *finish(const std::function<void()> &search, const std::function<void()> &clear);

private:
    int row() const;
    int column() const;

    QWidget *m_owner;
    int m_perRow;
    int m_place = 0;
    QGroupBox *m_box;
    QGridLayout *m_grid;
};

class FilterWindow : public QDialog {
    Q_OBJECT
public:
    // Reads the filter fields and shows what they find, or why nothing can be shown.
    virtual void search() = 0;

    // For tests and the screenshots.
    QTableView *table() const { return m_table; }
    QString message() const;
    QString countText() const;
    QLineEdit *field(const char *name) const;

protected:
    FilterWindow(MainWindowContext &main, QWidget *owner);

    // The records' table read a page at a time from the model, its rows striped.
    void setUpPagedTable(const char *name, PagedTableModel *model);
    // The filter box on top, the message line, the table taking what room is left, the button row.
    void layOut(QGroupBox *filterBox, QHBoxLayout *buttonRow);
    // Once the window is built: its help page on F1, its texts, and what the empty filter finds.
    void start(PagedTableModel *model, int helpContext);

    void showMessage(const QString &text);
    // The date in a filter field, or false with the message why it is none; an empty field leaves it.
    bool readDate(const char *name, QDate *date);
    void clearFields();

    MainWindowContext &m_main;
    QTableView *m_table;
    QLabel *m_message;
    QLabel *m_count;
};
