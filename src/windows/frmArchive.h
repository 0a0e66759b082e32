#pragma once
// The lab's archive in a window: datasets found by meter, program, unit, sample ID, status, code,
// user and dates, read a page at a time, and opened as ordinary documents to save, export, print or
// chart them. Also the adding of existing measured-value files to the archive.
#include "FilterWindow.h"

class ArchiveTableModel;
class MainWindowContext;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
struct ArchiveFilter;

class frmArchive : public FilterWindow {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 40000;

    frmArchive(MainWindowContext &main, QWidget *owner);

    void search() override;
    // Empties the filter fields and shows everything.
    void clearFilter();
    // The selected datasets, or every one the filter finds when none is selected, as documents: one
    // per meter, since a document holds the datasets of one meter's layout.
    void openAsDocuments();

    // Asks for measured-value files and archives them in one transaction, with a progress dialog
    // whose Cancel leaves the archive as it was; false when nothing was archived.
    static bool addFiles(MainWindowContext &main, QWidget *parent);

    // Walks the trail and the archived bytes (an anchor noted earlier asked for first), with a progress
    // dialog whose Cancel stops it, and tells the verdict.
    void verifyTrail();
    // Corrections of the selected datasets, each with its text asked for: a note kept beside them,
    // or their withdrawal from queries and outputs.
    void annotateSelected();
    void withdrawSelected();

    // For tests and the screenshots.
    ArchiveTableModel *model() const { return m_model; }

private:
    QGroupBox *buildFilterBox();
    void setUpTable();
    QHBoxLayout *buildButtonRow();
    bool readFilter(ArchiveFilter *filter);
    void correctSelected(bool withdraw);

    ArchiveTableModel *m_model;
    QCheckBox *m_conflictsOnly;
    QCheckBox *m_withdrawn;
};
