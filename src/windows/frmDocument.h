#pragma once
// One set of measured values: a header with meter, serial number, user, date and time, and a grid
// with one row per dataset; filled by an import from the meter or from a measured-value file.
#include "MeasuredValues.h"
#include "PrintJobs.h"
#include "QtPrintTarget.h"

#include <QDateTime>
#include <QWidget>

class MainWindowContext;
class MValTableModel;
class QGroupBox;
class HeaderBand;
class QLabel;
class QSplitter;
class QTableView;
class ValueChart;

class frmDocument : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10000;

    explicit frmDocument(MainWindowContext &main);
    ~frmDocument() override;

    // The load step: header, blank grid, command states, initial document state.
    void Load();

    void MenuFileSave();
    void MenuFileSaveAs();
    void MenuFilePrint();
    void MenuFilePrintPreview();
    void MenuFilePageSetup();
    // The printout as a PDF file the user chooses.
    bool MenuFilePdf();
    void MenuImport();
    void MenuExport();
    void SetMousePointer(int intMousePointerVal);
    void FillFromFile(const QString &strPath);
    // Datasets taken from the archive: shown as an import is, but with nothing unsaved to lose.
    void showArchived(MeasuredValues document);
    // The chart of the values beside the table; the choice is remembered for the next documents.
    void setChartShown(bool shown);
    bool isChartShown() const;
    // The chart as the last page of every document's printout, preview and PDF (remembered per user).
    static bool chartOnPrintout();
    static void setChartOnPrintout(bool on);
    // Every document's printout, preview and PDF as a table instead of the list (remembered per user).
    static bool tablePrintout();
    static void setTablePrintout(bool on);
    // Close as the window's own Close command does (with the unsaved-data question).
    bool closeWindow();

    // One more page at the end of this document's printouts (paper, preview and PDF); empty for none.
    void setExtraPrintPage(QtPrintTarget::ExtraPage draw) { m_extraPrintPage = std::move(draw); }

    // For tests and the screenshots.
    QTableView *grid() const { return m_grid; }
    MValTableModel *model() const { return m_model; }
    ValueChart *chart() const { return m_chart; }
    QString filePath() const { return m_path; }
    bool isModified() const { return m_modified; }
    QString rawData() const { return m_doc.datasets; }
    QString headerValue(int index) const; // 0 meter .. 4 time
    // What became of the last import in the archive ("Archive: 3 new, ..."); empty when not archived.
    QString archiveNote() const;

    // Restored (Cascade, or the window's Restore button), the document shows its header and several rows.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void growForChart();
    bool HasUnsavedData() const;
    bool SaveDocument(QString &outPath, bool useExisting, const QString &existingPath);
    bool PrintDocument();
    PrintJobs::Job printJob();
    void drawChartPage(QPainter &painter, const QRectF &page);
    bool ShowDocument(bool fill);
    void ShowHeader();
    void ClearHeader();
    bool FillTable();
    void ClearTable();
    void saved(const QString &path);
    QString proposedName(const QString &extension) const;
    int headerHeight() const;
    int gridTop() const;
    void layoutWindow();
    void updateChart(bool evenHidden = false);
    void archiveImport(const QDateTime &imported);

    MainWindowContext &m_main;
    // The document: what the meter delivered and where it is kept.
    MeasuredValues m_doc;
    QString m_path;
    bool m_modified = false;
    QtPrintTarget::ExtraPage m_extraPrintPage;

    HeaderBand *m_picHead;
    QGroupBox *m_fraHeader;
    QLabel *m_values[5];
    QLabel *m_archiveNote;
    QSplitter *m_split;
    QTableView *m_grid;
    MValTableModel *m_model;
    ValueChart *m_chart;
    bool m_chartStale = true;
};
