#pragma once
// Control charts in a window: per control sample its values with the limits of each period, the
// values that broke a test marked and explained, a table of the values, the statistics; new and
// changed definitions, new limits on purpose, an image, the printed and the PDF report.
#include "QcChart.h"

#include <QDialog>

class MainWindowContext;
class ControlChartPlot;
class QcPointModel;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QSplitter;
class QTableView;

class frmControlChart : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 40100;

    frmControlChart(MainWindowContext &main, QWidget *owner);
    ~frmControlChart() override;

    // Reads the definitions again and shows the one named (the first when it is not there).
    void reload(const QString &name = QString());
    // Shows the control sample chosen in the list.
    void showSample();
    // The definition dialog, for a new control sample or for a new version of the one shown.
    void defineSample(bool change);
    // Asks for N and sets new limits from the last N values.
    void reviseLimits();
    void saveImage();
    void printReport();
    void saveReportAsPdf();

    // For tests and the benchmark.
    const QcChart &chart() const { return m_chart; }
    ControlChartPlot *plot() const { return m_plot; }
    QTableView *table() const { return m_table; }
    QString statisticsText() const;
    QString message() const;
    QStringList reportLines() const;

private:
    QHBoxLayout *buildSampleRow();
    QHBoxLayout *buildOutputRow();
    QSplitter *buildValuesView();
    void showMessage(const QString &text);

    MainWindowContext &m_main;
    QcChart m_chart;
    QComboBox *m_samples;
    QCheckBox *m_withdrawn;
    ControlChartPlot *m_plot;
    QcPointModel *m_model;
    QTableView *m_table;
    QLabel *m_statistics;
    QLabel *m_message;
};

// The definition of a control sample, as the command line's "qc define" takes it.
class QcDefinitionDialog : public QDialog {
    Q_OBJECT
public:
    QcDefinitionDialog(const QcDefinition &definition, bool change, QWidget *parent);
    QcDefinition definition() const;
};
