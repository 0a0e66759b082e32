#pragma once
// The activity trail in a window: who did what, when and on which PC, found by period, user, action and
// object, read a page at a time, and printed or saved as a PDF report of what the filter finds.
#include <QDialog>

class MainWindowContext;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QTableView;
class TrailTableModel;
struct TrailFilter;

class frmTrail : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 40000;

    frmTrail(MainWindowContext &main, QWidget *owner);

    // The one trail window of the program, opened or raised.
    static frmTrail *open(MainWindowContext &main);

    // Reads the filter fields and shows what they find, or why nothing can be shown.
    void search();
    void clearFilter();
    // The report of every entry the filter finds, with who printed it: on the printer or into a PDF file.
    bool printReport();
    bool saveReportAsPdf();

    // For tests and the screenshots.
    TrailTableModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    QString message() const;
    QString countText() const;
    QLineEdit *field(const char *name) const;

private:
    QGroupBox *buildFilterBox();
    void setUpTable();
    QHBoxLayout *buildButtonRow();
    bool readFilter(TrailFilter *filter);
    void showMessage(const QString &text);
    bool report(bool toPdf);

    MainWindowContext &m_main;
    TrailTableModel *m_model;
    QTableView *m_table;
    QLabel *m_message;
    QLabel *m_count;
};
