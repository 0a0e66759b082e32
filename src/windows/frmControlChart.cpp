#include "frmControlChart.h"

#include "CLogin.h"
#include "ControlChartPlot.h"
#include "CPrint.h"
#include "FilterWindow.h"
#include "MainWindowContext.h"
#include "PrintJobs.h"
#include "QcReport.h"
#include "QcStore.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

// The values of the chart shown, as the table beside it: a model, since a control sample may hold a
// hundred thousand values.
class QcPointModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setChart(const QcChart *chart)
    {
        beginResetModel();
        m_chart = chart;
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() || !m_chart ? 0 : int(m_chart->points.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 5; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return TextTable::text(TextTable::QcColDate + section);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!m_chart || !index.isValid())
            return {};
        const QcPoint &p = m_chart->points[index.row()];
        if (role == Qt::ForegroundRole)
            return !p.judged ? QVariant(QColor(Qt::gray))
                   : p.flags ? QVariant(QColor(200, 0, 0))
                             : QVariant();
        if (role == Qt::ToolTipRole) {
            QStringList lines;
            if (!p.judged)
                lines.append(p.excluded);
            for (int r = 0; r < QcRules::Count; ++r)
                if (p.flags & QcRules::bit(QcRules::Rule(r)))
                    lines.append(QcRules::name(QcRules::Rule(r)));
            return (lines + p.notes).join(QLatin1Char('\n'));
        }
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return p.when();
        case 1:
            return p.serial;
        case 2:
            return p.sampleId;
        case 3:
            return p.text;
        default:
            return p.verdict();
        }
    }

private:
    const QcChart *m_chart = nullptr;
};

frmControlChart::frmControlChart(MainWindowContext &main, QWidget *owner)
    : QDialog(owner), m_main(main), m_samples(new QComboBox(this)), m_withdrawn(new QCheckBox(this)),
      m_plot(new ControlChartPlot(this)), m_model(new QcPointModel(this)), m_table(new QTableView(this)),
      m_statistics(new QLabel(this)), m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("frmControlChart"));
    TextApplier::tag(this, TextTable::QcWindowTitle);
    QHBoxLayout *top = buildSampleRow();
    QHBoxLayout *bottom = buildOutputRow();
    QSplitter *splitter = buildValuesView();

    m_statistics->setObjectName(QStringLiteral("lblStatistics"));
    m_statistics->setWordWrap(true);
    m_statistics->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setUpMessageLabel(m_message);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_message);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_statistics);
    layout->addLayout(bottom);
    resize(1100, 640);

    connect(m_samples, &QComboBox::currentIndexChanged, this, &frmControlChart::showSample);
    connect(m_withdrawn, &QCheckBox::toggled, this, &frmControlChart::showSample);
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { m_main.showHelp(kHelpContext); });
    TextApplier::apply(this);
    reload();
}

// The control sample and what can be done with its definition.
QHBoxLayout *frmControlChart::buildSampleRow()
{
    m_samples->setObjectName(QStringLiteral("cboSample"));
    m_samples->setMinimumContentsLength(24);
    auto *newButton = namedButton(this, "cmdNew", TextTable::QcNew);
    auto *changeButton = namedButton(this, "cmdChange", TextTable::QcChange);
    auto *reviseButton = namedButton(this, "cmdRevise", TextTable::QcRevise);
    TextApplier::nameAndTag({{m_withdrawn, "chkWithdrawn", TextTable::QcShowWithdrawn, 0}});
    connect(newButton, &QPushButton::clicked, this, [this] { defineSample(false); });
    connect(changeButton, &QPushButton::clicked, this, [this] { defineSample(true); });
    connect(reviseButton, &QPushButton::clicked, this, &frmControlChart::reviseLimits);
    auto *top = new QHBoxLayout;
    top->addWidget(TextApplier::fieldLabel(this, m_samples, TextTable::QcSample));
    top->addWidget(m_samples, 1);
    for (QWidget *w : std::initializer_list<QWidget *>{newButton, changeButton, reviseButton, m_withdrawn})
        top->addWidget(w);
    return top;
}

// The chart's image, its report printed or as PDF, and Close.
QHBoxLayout *frmControlChart::buildOutputRow()
{
    auto *imageButton = namedButton(this, "cmdSaveImage", TextTable::QcSaveImage);
    auto *printButton = namedButton(this, "cmdPrint", TextTable::QcPrint);
    auto *pdfButton = namedButton(this, "cmdPdf", TextTable::QcPdf);
    auto *closeButton = namedButton(this, "cmdClose", TextTable::CommLogClose);
    connect(imageButton, &QPushButton::clicked, this, &frmControlChart::saveImage);
    connect(printButton, &QPushButton::clicked, this, &frmControlChart::printReport);
    connect(pdfButton, &QPushButton::clicked, this, &frmControlChart::saveReportAsPdf);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    for (QWidget *w : std::initializer_list<QWidget *>{imageButton, printButton, pdfButton, closeButton})
        bottom->addWidget(w);
    return bottom;
}

// The chart beside the table of its values.
QSplitter *frmControlChart::buildValuesView()
{
    setUpRecordTable(m_table, "tblValues", m_model);
    m_table->horizontalHeader()->setStretchLastSection(true);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_plot);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    // A row chosen in the table is brought into the chart's view.
    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex &index) {
        ControlChartPlot::Range r = m_plot->range();
        const double half = (r.x1 - r.x0) / 2;
        r.x0 = index.row() - half;
        r.x1 = index.row() + half;
        m_plot->setRange(r);
    });
    return splitter;
}

frmControlChart::~frmControlChart()
{
    // The plot and the table point at the chart, which goes first.
    m_plot->setChart(nullptr);
    m_model->setChart(nullptr);
}

void frmControlChart::showMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

QString frmControlChart::message() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

QString frmControlChart::statisticsText() const
{
    return m_statistics->text();
}

void frmControlChart::reload(const QString &name)
{
    QList<QcDefinition> list;
    const Archive::Result result = QcStore::definitions(*m_main.shared().archive, &list);
    const QSignalBlocker block(m_samples);
    const QString keep = name.isEmpty() ? m_samples->currentText() : name;
    m_samples->clear();
    for (const QcDefinition &d : list)
        m_samples->addItem(d.name);
    const int at = m_samples->findText(keep);
    m_samples->setCurrentIndex(at >= 0 ? at : 0);
    if (!result) {
        showMessage(result.message);
        return;
    }
    showSample();
}

void frmControlChart::showSample()
{
    m_plot->setChart(nullptr);
    m_model->setChart(nullptr);
    m_chart = QcChart();
    m_statistics->clear();
    if (m_samples->count() == 0) {
        showMessage(TextTable::text(TextTable::QcNoSamples));
        return;
    }
    Archive &archive = *m_main.shared().archive;
    QcDefinition d;
    bool found = false;
    Archive::Result result = QcStore::find(archive, m_samples->currentText(), &d, &found);
    if (result && found)
        result = QcStore::load(archive, d, m_withdrawn->isChecked(), &m_chart);
    if (!result) {
        showMessage(result.message);
        return;
    }
    showMessage(QString());
    m_plot->setChart(&m_chart);
    m_model->setChart(&m_chart);
    // Date, meter, ID and value read whole; the widths are measured on the first rows only, so a
    // long series opens as fast as a short one.
    m_table->horizontalHeader()->setResizeContentsPrecision(200);
    m_table->resizeColumnsToContents();
    QStringList lines;
    if (!m_chart.waiting.isEmpty())
        lines.append(m_chart.waiting);
    for (int k = 0; k < m_chart.periods.size(); ++k)
        lines.append(QcReport::periodLine(m_chart, k));
    lines.append(TextTable::text(TextTable::QcStatsLine)
                     .arg(m_chart.statistics.n)
                     .arg(QcReport::number(m_chart.statistics.mean), QcReport::number(m_chart.statistics.s)));
    QStringList counts;
    for (int r = 0; r < QcRules::Count; ++r)
        if (d.rules & QcRules::bit(QcRules::Rule(r)))
            counts.append(QStringLiteral("%1: %2").arg(r + 1).arg(m_chart.violations[size_t(r)]));
    lines.append(TextTable::text(TextTable::QcViolationsLine).arg(counts.join(QStringLiteral(", "))));
    if (m_chart.revisionDue)
        lines.append(TextTable::text(TextTable::QcRevisionDue).arg(d.name).arg(m_chart.sinceRevision));
    m_statistics->setText(lines.join(QLatin1Char('\n')));
}

void frmControlChart::defineSample(bool change)
{
    QcDefinition d;
    if (change) {
        if (m_samples->count() == 0)
            return;
        d = m_chart.definition;
    }
    QcDefinitionDialog dialog(d, change, this);
    while (dialog.exec() == QDialog::Accepted) {
        d = dialog.definition();
        const Archive::Result result =
            QcStore::define(*m_main.shared().archive, d, m_main.shared().login->UserName());
        if (result) {
            reload(d.name);
            return;
        }
        m_main.dialogs().warning(&dialog, result.message);
    }
}

void frmControlChart::reviseLimits()
{
    if (m_chart.definition.name.isEmpty())
        return;
    QString answer;
    if (!m_main.dialogs().inputText(this, TextTable::text(TextTable::QcRevise).remove(QLatin1Char('.')),
                                    TextTable::text(TextTable::QcReviseAsk),
                                    QString::number(m_chart.definition.prePeriod), &answer, 9))
        return;
    bool ok = false;
    const qint64 n = QLocale().toLongLong(answer.trimmed(), &ok);
    const Archive::Result result =
        ok ? QcStore::revise(*m_main.shared().archive, m_chart, n, m_main.shared().login->UserName())
           : Archive::Result{Archive::Result::Other,
                             TextTable::text(TextTable::QcBadPrePeriod).arg(QcDefinition::kMinPrePeriod)};
    if (!result) {
        m_main.dialogs().warning(this, result.message);
        return;
    }
    showSample();
}

void frmControlChart::saveImage()
{
    if (m_chart.definition.name.isEmpty())
        return;
    const QString filter =
        UserDialogs::filter(TextTable::text(TextTable::ChartPngFilter), QStringLiteral("*.png")) +
        QStringLiteral(";;") +
        UserDialogs::filter(TextTable::text(TextTable::ChartSvgFilter), QStringLiteral("*.svg"));
    const QString path = m_main.dialogs().saveFileName(this, TextTable::text(TextTable::SaveAsCaption),
                                                       m_chart.definition.name, filter);
    if (!path.isEmpty())
        m_plot->saveImage(path, m_plot->size().expandedTo(QSize(800, 500)));
}

QStringList frmControlChart::reportLines() const
{
    return QcReport::lines(m_chart, m_main.shared().login->UserName(), QDateTime::currentDateTime());
}

namespace {

PrintJobs::Job reportJob(const QcChart &chart, const ControlChartPlot::Range &range, const QStringList &lines)
{
    PrintJobs::Job job;
    job.print = [lines](CPrint &print) { return print.PrintReport(lines); };
    job.extraPage = [&chart, range](QPainter &painter, const QRectF &page) {
        ControlChartPlot::draw(painter, page, chart, range, false);
    };
    return job;
}

} // namespace

void frmControlChart::printReport()
{
    if (m_chart.definition.name.isEmpty())
        return;
    PrintJobs::printRecorded(m_main, reportJob(m_chart, m_plot->range(), reportLines()),
                             QStringLiteral("qc:") + m_chart.definition.name);
}

void frmControlChart::saveReportAsPdf()
{
    if (m_chart.definition.name.isEmpty())
        return;
    PrintJobs::saveAsPdf(this, m_main, reportJob(m_chart, m_plot->range(), reportLines()),
                         m_chart.definition.name);
}

// The definition dialog.

namespace {

QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &text)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QString shownNumber(double v)
{
    return v == 0 ? QString() : QLocale().toString(v, 'g', 15);
}

double typedNumber(const QLineEdit *edit)
{
    bool ok = false;
    const double v = QLocale().toDouble(edit->text().trimmed(), &ok);
    return ok ? v : std::nan("");
}

} // namespace

namespace {

// The definition dialog's fields, made in the order Tab goes through them.
struct QcDefinitionFields {
    QLineEdit *name, *meter, *program;
    QCheckBox *value2;
    QLineEdit *id, *code;
    QComboBox *kind;
    QLineEdit *spiked, *unit;
    QSpinBox *pre;
    QCheckBox *fromTarget;
    QLineEdit *target, *targetS;
    QSpinBox *revision;
    QComboBox *preset;
    QList<QCheckBox *> tests;

    QcDefinitionFields(QDialog *dialog, const QcDefinition &d, bool change)
        : name(lineEdit(dialog, "txtName", d.name)), meter(lineEdit(dialog, "txtMeter", d.meter)),
          program(lineEdit(dialog, "txtProgram", d.program)), value2(new QCheckBox(dialog)),
          id(lineEdit(dialog, "txtId", d.idPattern)), code(lineEdit(dialog, "txtCode", d.code)),
          kind(new QComboBox(dialog)), spiked(lineEdit(dialog, "txtSpiked", shownNumber(d.spiked))),
          unit(lineEdit(dialog, "txtUnit", d.unit)), pre(new QSpinBox(dialog)),
          fromTarget(new QCheckBox(dialog)),
          target(lineEdit(dialog, "txtTarget", d.fromTarget ? shownNumber(d.target) : QString())),
          targetS(lineEdit(dialog, "txtTargetS", d.fromTarget ? shownNumber(d.targetS) : QString())),
          revision(new QSpinBox(dialog)), preset(new QComboBox(dialog))
    {
        name->setReadOnly(change);
        value2->setObjectName(QStringLiteral("chkValue2"));
        value2->setChecked(d.value == 2);
        kind->setObjectName(QStringLiteral("cboKind"));
        for (int k = 0; k < 4; ++k)
            kind->addItem(TextTable::text(TextTable::QcKindStandard + k));
        kind->setCurrentIndex(int(d.kind));
        pre->setObjectName(QStringLiteral("spnPrePeriod"));
        pre->setRange(QcDefinition::kMinPrePeriod, 100000);
        pre->setValue(d.prePeriod);
        fromTarget->setObjectName(QStringLiteral("chkTarget"));
        fromTarget->setChecked(d.fromTarget);
        revision->setObjectName(QStringLiteral("spnRevision"));
        revision->setRange(1, 100000);
        revision->setValue(d.revisionAfter);
        preset->setObjectName(QStringLiteral("cboPreset"));
        for (const int t : {TextTable::QcPresetLimits, TextTable::QcPresetAll, TextTable::QcPresetOwn})
            preset->addItem(TextTable::text(t));
        for (int r = 0; r < QcRules::Count; ++r) {
            auto *box = new QCheckBox(
                QStringLiteral("%1  %2").arg(r + 1).arg(QcRules::name(QcRules::Rule(r))), dialog);
            box->setObjectName(QStringLiteral("chkTest%1").arg(r + 1));
            box->setChecked(d.rules & QcRules::bit(QcRules::Rule(r)));
            tests.append(box);
        }
        preset->setCurrentIndex(d.rules == QcRules::kLimitsOnly ? 0 : d.rules == QcRules::kAll ? 1 : 2);
    }

    // A preset ticks its tests; a test ticked by hand makes the choice one's own.
    // Only the fields that apply to the kind and the source of the limits are open.
    void link(QDialog *dialog) const
    {
        QObject::connect(preset, &QComboBox::activated, dialog, [tests = tests](int index) {
            for (int r = 0; r < QcRules::Count; ++r)
                if (index < 2)
                    tests[r]->setChecked(index == 1 ||
                                         (QcRules::kLimitsOnly & QcRules::bit(QcRules::Rule(r))));
        });
        for (QCheckBox *box : tests)
            QObject::connect(box, &QCheckBox::clicked, dialog,
                             [preset = preset] { preset->setCurrentIndex(2); });
        auto enable = [f = *this] {
            f.spiked->setEnabled(f.kind->currentIndex() == QcDefinition::Recovery);
            f.pre->setEnabled(!f.fromTarget->isChecked());
            f.target->setEnabled(f.fromTarget->isChecked());
            f.targetS->setEnabled(f.fromTarget->isChecked());
        };
        QObject::connect(kind, &QComboBox::currentIndexChanged, dialog, enable);
        QObject::connect(fromTarget, &QCheckBox::toggled, dialog, enable);
        enable();
    }

    QFormLayout *layOut(QDialog *dialog) const
    {
        auto *form = new QFormLayout;
        auto row = [&](int caption, QWidget *field) {
            form->addRow(TextApplier::fieldLabel(dialog, field, caption), field);
        };
        row(TextTable::QcFieldName, name);
        row(TextTable::QcFieldMeter, meter);
        row(TextTable::QcFieldProgram, program);
        form->addRow(QString(), value2);
        TextApplier::tag(value2, TextTable::QcFieldValue);
        row(TextTable::QcFieldId, id);
        row(TextTable::QcFieldCode, code);
        row(TextTable::QcFieldKind, kind);
        row(TextTable::QcFieldSpiked, spiked);
        row(TextTable::QcFieldUnit, unit);
        row(TextTable::QcFieldPrePeriod, pre);
        form->addRow(QString(), fromTarget);
        TextApplier::tag(fromTarget, TextTable::QcFieldTarget);
        auto *targetRow = new QHBoxLayout;
        targetRow->addWidget(target);
        targetRow->addWidget(targetS);
        auto *targetLabel = new QLabel(dialog);
        TextApplier::tag(targetLabel, TextTable::QcFieldTargetValue);
        form->addRow(targetLabel, targetRow);
        row(TextTable::QcFieldRevision, revision);
        row(TextTable::QcFieldPreset, preset);
        auto *testBox = new QVBoxLayout;
        for (QCheckBox *box : tests)
            testBox->addWidget(box);
        form->addRow(QString(), testBox);
        return form;
    }
};

} // namespace

QcDefinitionDialog::QcDefinitionDialog(const QcDefinition &d, bool change, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgQcDefinition"));
    TextApplier::tag(this, TextTable::QcDefineTitle);
    const QcDefinitionFields fields(this, d, change);
    fields.link(this);
    QFormLayout *form = fields.layOut(this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    TextApplier::apply(this);
}

QcDefinition QcDefinitionDialog::definition() const
{
    auto text = [this](const char *name) {
        return findChild<QLineEdit *>(QString::fromLatin1(name))->text().trimmed();
    };
    auto number = [this](const char *name) {
        return typedNumber(findChild<QLineEdit *>(QString::fromLatin1(name)));
    };
    auto checked = [this](const QString &name) { return findChild<QCheckBox *>(name)->isChecked(); };
    QcDefinition d;
    d.name = text("txtName");
    d.meter = text("txtMeter");
    d.program = text("txtProgram");
    d.value = checked(QStringLiteral("chkValue2")) ? 2 : 1;
    d.idPattern = text("txtId");
    d.code = text("txtCode");
    d.kind = QcDefinition::Kind(findChild<QComboBox *>(QStringLiteral("cboKind"))->currentIndex());
    if (d.kind == QcDefinition::Recovery)
        d.spiked = number("txtSpiked");
    d.unit = text("txtUnit");
    d.prePeriod = findChild<QSpinBox *>(QStringLiteral("spnPrePeriod"))->value();
    d.fromTarget = checked(QStringLiteral("chkTarget"));
    if (d.fromTarget) {
        d.target = number("txtTarget");
        d.targetS = number("txtTargetS");
    }
    d.revisionAfter = findChild<QSpinBox *>(QStringLiteral("spnRevision"))->value();
    d.rules = 0;
    for (int r = 0; r < QcRules::Count; ++r)
        if (checked(QStringLiteral("chkTest%1").arg(r + 1)))
            d.rules |= QcRules::bit(QcRules::Rule(r));
    return d;
}
