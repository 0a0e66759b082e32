#pragma once
// The activity trail in a window: who did what, when and on which PC, found by period, user, action and
// object, read a page at a time, and printed or saved as a PDF report of what the filter finds.
#include "FilterWindow.h"

class MainWindowContext;
class QGroupBox;
class QHBoxLayout;
class TrailTableModel;
struct TrailFilter;

class frmTrail : public FilterWindow {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 40000;

    frmTrail(MainWindowContext &main, QWidget *owner);

    // The one trail window of the program, opened or raised.
    static frmTrail *open(MainWindowContext &main);

    void search() override;
    void clearFilter();
    // The report of every entry the filter finds, with who printed it: on the printer or into a PDF file.
    bool printReport();
    bool saveReportAsPdf();

    // For tests and the screenshots.
    TrailTableModel *model() const { return m_model; }

private:
    QGroupBox *buildFilterBox();
    void setUpTable();
    QHBoxLayout *buildButtonRow();
    bool readFilter(TrailFilter *filter);
    bool report(bool toPdf);

    TrailTableModel *m_model;
};
