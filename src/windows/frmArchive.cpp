#include "frmArchive.h"

#include "Archive.h"
#include "ArchiveTableModel.h"
#include "CLogin.h"
#include "frmControlChart.h"
#include "frmDocument.h"
#include "frmTrail.h"
#include "ImportFollowUp.h"
#include "MainWindowContext.h"
#include "MeasuredValues.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>

#include <algorithm>

namespace {

using TextField = FilterTextField<ArchiveFilter>;
const TextField kTextFields[] = {
    {"txtMeter", TextTable::ArchiveMeterField, &ArchiveFilter::meter},
    {"txtProgram", TextTable::ArchiveProgramField, &ArchiveFilter::program},
    {"txtUnit", TextTable::UnitLabel, &ArchiveFilter::unit},
    {"txtId", TextTable::ArchiveIdField, &ArchiveFilter::idText},
    {"txtStatus", TextTable::ArchiveStatusField, &ArchiveFilter::status},
    {"txtCode", TextTable::ArchiveCodeField, &ArchiveFilter::code},
    {"txtUser", TextTable::UserLabel, &ArchiveFilter::user},
};

using DateField = FilterDateField<ArchiveFilter>;
const DateField kDateFields[] = {
    {"txtFrom", TextTable::ArchiveFromField, &ArchiveFilter::from},
    {"txtTo", TextTable::ArchiveToField, &ArchiveFilter::to},
};

// A menu text as a title: without its access key and its dots.
QString title(int number)
{
    QString text = TextTable::text(number);
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1String("...")))
        text.chop(3);
    return text;
}

// The rows as one document of their meter: the record lines framed as the meter sends them.
MeasuredValues asDocument(const QList<const ArchivedRow *> &rows, const QString &user)
{
    MeasuredValues document;
    document.meter = rows.first()->meter;
    document.serialNumber = rows.first()->serial;
    document.user = user;
    document.date = QDateTime::currentDateTime();
    QString text = QStringLiteral("\r\n");
    bool noted = false;
    for (const ArchivedRow *row : rows) {
        text += row->line + QStringLiteral("\r\n");
        document.notes << row->notes.join(QStringLiteral("; "));
        noted = noted || !row->notes.isEmpty();
    }
    if (!noted)
        document.notes.clear();
    text += QStringLiteral("!\r\n>");
    document.datasets = std::move(text);
    return document;
}

} // namespace

frmArchive::frmArchive(MainWindowContext &main, QWidget *owner)
    : FilterWindow(main, owner), m_model(new ArchiveTableModel(*main.shared().archive, this)),
      m_conflictsOnly(new QCheckBox(this)), m_withdrawn(new QCheckBox(this))
{
    setObjectName(QStringLiteral("frmArchive"));
    TextApplier::tag(this, TextTable::ArchiveTitle);

    QGroupBox *filterBox = buildFilterBox();
    setUpTable();
    QHBoxLayout *bottom = buildButtonRow();

    layOut(filterBox, bottom);
    resize(980, 560);

    connect(m_withdrawn, &QCheckBox::toggled, this, &frmArchive::search);
    connect(m_table, &QTableView::doubleClicked, this, &frmArchive::openAsDocuments);
    start(m_model, kHelpContext);
}

// The filter fields four to a row, the two check boxes among them, Search and Clear at the end.
QGroupBox *frmArchive::buildFilterBox()
{
    FilterBoxBuilder box(this, 4);
    for (const TextField &f : kTextFields)
        box.addField(f.name, f.caption);
    box.addCheckBox(m_conflictsOnly, "chkConflicts", TextTable::ArchiveConflictsOnly);
    for (const DateField &f : kDateFields)
        box.addDateField(f.name, f.caption);
    box.addCheckBox(m_withdrawn, "chkWithdrawn", TextTable::ArchiveShowWithdrawn);
    return box.finish([this] { search(); }, [this] { clearFilter(); });
}

void frmArchive::setUpTable()
{
    setUpPagedTable("tblDatasets", m_model);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

// The count on the left; the ways on from the archive, its corrections, Open and Close on the right.
QHBoxLayout *frmArchive::buildButtonRow()
{
    auto *openButton = namedButton(this, "cmdOpenDocument", TextTable::ArchiveOpenDocument);
    auto *closeButton = namedButton(this, "cmdClose", TextTable::CommLogClose);
    auto *chartsButton = namedButton(this, "cmdControlCharts", TextTable::QcMenu);
    auto *trailButton = namedButton(this, "cmdTrail", TextTable::TrailMenu);
    auto *verifyButton = namedButton(this, "cmdVerify", TextTable::ArchiveVerify);
    auto *annotateButton = namedButton(this, "cmdAnnotate", TextTable::ArchiveAnnotate);
    auto *withdrawButton = namedButton(this, "cmdWithdraw", TextTable::ArchiveWithdraw);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_count);
    bottom->addStretch();
    bottom->addWidget(chartsButton);
    bottom->addWidget(trailButton);
    bottom->addWidget(verifyButton);
    bottom->addSpacing(12);
    bottom->addWidget(annotateButton);
    bottom->addWidget(withdrawButton);
    bottom->addWidget(openButton);
    bottom->addWidget(closeButton);

    connect(openButton, &QPushButton::clicked, this, &frmArchive::openAsDocuments);
    connect(chartsButton, &QPushButton::clicked, this, [this] {
        auto *window = new frmControlChart(m_main, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(trailButton, &QPushButton::clicked, this, [this] { frmTrail::open(m_main); });
    connect(verifyButton, &QPushButton::clicked, this, &frmArchive::verifyTrail);
    connect(annotateButton, &QPushButton::clicked, this, &frmArchive::annotateSelected);
    connect(withdrawButton, &QPushButton::clicked, this, &frmArchive::withdrawSelected);
    return bottom;
}

bool frmArchive::readFilter(ArchiveFilter *filter)
{
    for (const TextField &f : kTextFields)
        filter->*f.value = field(f.name)->text().trimmed();
    filter->conflictsOnly = m_conflictsOnly->isChecked();
    filter->includeWithdrawn = m_withdrawn->isChecked();
    for (const DateField &f : kDateFields) {
        if (!readDate(f.name, &(filter->*f.value)))
            return false;
    }
    const QString problem = filter->problem();
    showMessage(problem);
    return problem.isEmpty();
}

void frmArchive::search()
{
    ArchiveFilter filter;
    if (!readFilter(&filter))
        return;
    Archive::Result result = m_model->setFilter(filter);
    qint64 count = 0;
    if (result)
        result = m_main.shared().archive->count(filter, &count);
    if (!result) {
        showMessage(result.message);
        m_count->clear();
        return;
    }
    m_count->setText(TextTable::text(TextTable::ArchiveCount).arg(QLocale().toString(count)));
    m_table->resizeColumnsToContents();
}

void frmArchive::clearFilter()
{
    clearFields();
    m_conflictsOnly->setChecked(false);
    {
        const QSignalBlocker quiet(m_withdrawn);
        m_withdrawn->setChecked(false);
    }
    search();
}

void frmArchive::openAsDocuments()
{
    QList<int> selected;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        selected.append(index.row());
    std::sort(selected.begin(), selected.end());
    QList<ArchivedRow> all;
    QList<const ArchivedRow *> rows;
    if (selected.isEmpty()) {
        if (const Archive::Result result = m_main.shared().archive->query(m_model->filter(), 0, 0, &all);
            !result) {
            showMessage(result.message);
            return;
        }
        for (const ArchivedRow &row : all)
            rows.append(&row);
    } else {
        for (int row : selected)
            rows.append(&m_model->archivedRow(row));
    }
    if (rows.isEmpty()) {
        showMessage(TextTable::text(TextTable::ArchiveNothing));
        return;
    }
    // One document per meter, in the order the meters first appear.
    QList<QList<const ArchivedRow *>> meters;
    for (const ArchivedRow *row : rows) {
        auto same = std::find_if(meters.begin(), meters.end(), [row](const QList<const ArchivedRow *> &m) {
            return m.first()->serial == row->serial && m.first()->meter == row->meter;
        });
        if (same == meters.end())
            meters.append(QList<const ArchivedRow *>{row});
        else
            same->append(row);
    }
    const QString user = m_main.shared().login->UserName();
    for (const QList<const ArchivedRow *> &meter : meters)
        if (frmDocument *document = m_main.addDocumentWindow())
            document->showArchived(asDocument(meter, user));
    m_main.frameWidget().activateWindow();
}

bool frmArchive::addFiles(MainWindowContext &main, QWidget *parent)
{
    UserDialogs &dialogs = main.dialogs();
    const QStringList paths = dialogs.openFileNames(
        parent, title(TextTable::ArchiveAddMenu),
        UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv")));
    if (paths.isEmpty())
        return false;
    SharedObjects &shared = main.shared();
    const QDateTime now = QDateTime::currentDateTime();
    QList<ImportRecord> records;
    QStringList refused;
    for (const QString &path : paths) {
        ImportRecord record;
        if (QString problem; !ImportRecord::readFile(path, now, &record, &problem)) {
            refused.append(problem);
        } else {
            record.login = shared.login->UserName();
            records.append(std::move(record));
        }
    }
    if (!refused.isEmpty())
        dialogs.warning(parent, TextTable::text(TextTable::ArchiveFilesRefused) + QLatin1Char('\n') +
                                    refused.join(QLatin1Char('\n')));
    if (records.isEmpty())
        return false;

    QProgressDialog progress(parent);
    progress.setObjectName(QStringLiteral("dlgArchiveAdd"));
    progress.setWindowTitle(title(TextTable::ArchiveAddMenu));
    progress.setCancelButtonText(TextTable::text(TextTable::Cancel));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setRange(0, int(records.size()));
    progress.setLabelText(TextTable::text(TextTable::ArchiveAdding));
    progress.show();
    QElapsedTimer clock;
    clock.start();
    const QLocale locale;
    const auto update = [&](qint64 done, qint64 total) {
        const double rate = double(done) / std::max(0.001, double(clock.elapsed()) / 1000.0);
        const qint64 left = rate > 0 ? qint64(double(total - done) / rate) : 0;
        progress.setLabelText(TextTable::text(TextTable::ArchiveAdding) + QLatin1Char('\n') +
                              TextTable::text(TextTable::ArchiveAddProgress)
                                  .arg(locale.toString(done), locale.toString(total),
                                       locale.toString(qint64(rate)), locale.toString(left)));
        progress.setValue(int(done));
        // The dialog's Cancel is read between two files: the work runs on this thread.
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
    Archive::Summary summary;
    const Archive::Result result = shared.archive->keepAll(records, &summary, update);
    progress.close();
    if (result.failure == Archive::Result::Cancelled) {
        dialogs.information(parent, result.message);
        return false;
    }
    const ImportFollowUp followUp = followUpImport(shared, result, summary);
    const QString report = followUp.notices.join(QLatin1Char('\n'));
    if (!result || followUp.outOfControl)
        dialogs.warning(parent, report);
    else
        dialogs.information(parent, report);
    return bool(result);
}

void frmArchive::verifyTrail()
{
    UserDialogs &dialogs = m_main.dialogs();
    SharedObjects &shared = m_main.shared();
    const QString heading = title(TextTable::ArchiveVerify);
    QString anchor;
    if (!dialogs.inputText(this, heading, TextTable::text(TextTable::ArchiveAnchorPrompt), QString(), &anchor,
                           200))
        return;
    qint64 anchorSeq = 0;
    QString anchorHash;
    if (!anchor.trimmed().isEmpty() && !Trail::readAnchor(anchor, &anchorSeq, &anchorHash)) {
        dialogs.warning(this,
                        TextTable::text(TextTable::ArchiveAnchorInvalid).arg(anchor.left(80).simplified()));
        return;
    }
    QProgressDialog progress(this);
    progress.setObjectName(QStringLiteral("dlgTrailVerify"));
    progress.setWindowTitle(heading);
    progress.setCancelButtonText(TextTable::text(TextTable::Cancel));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setRange(0, 0);
    progress.setLabelText(TextTable::text(TextTable::ArchiveVerifying));
    progress.show();
    const QLocale locale;
    const auto update = [&](qint64 done, qint64 total) {
        progress.setRange(0, 1000);
        progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
        progress.setLabelText(TextTable::text(TextTable::ArchiveVerifying) + QLatin1Char('\n') +
                              TextTable::text(TextTable::ArchiveVerifyProgress)
                                  .arg(locale.toString(done), locale.toString(total)));
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
    TrailVerdict verdict;
    const Archive::Result result =
        shared.archive->verify(&verdict, anchorSeq, anchorHash, shared.login->UserName(), update);
    progress.close();
    if (result.failure == Archive::Result::Cancelled) {
        dialogs.information(this, result.message);
        return;
    }
    // A verdict that could not itself be recorded is still told, as the command line tells it.
    if (!result && verdict.entries == 0) {
        dialogs.warning(this, result.message);
        return;
    }
    if (!verdict.intact) {
        dialogs.warning(this,
                        TextTable::text(TextTable::TrailBroken).arg(verdict.brokenSeq).arg(verdict.problem));
        return;
    }
    QString text = TextTable::text(TextTable::TrailIntact).arg(verdict.entries).arg(verdict.imports);
    // The head after the verdict's own entry: the one to note now.
    if (TrailEntry head; shared.archive->trailHead(&head) && head.seq > 0)
        text += QStringLiteral("\n\n") + TextTable::text(TextTable::TrailHeadNote)
                                             .arg(QStringLiteral("%1:%2").arg(head.seq).arg(head.hash));
    dialogs.information(this, text);
}

void frmArchive::annotateSelected()
{
    correctSelected(false);
}

void frmArchive::withdrawSelected()
{
    correctSelected(true);
}

void frmArchive::correctSelected(bool withdraw)
{
    UserDialogs &dialogs = m_main.dialogs();
    SharedObjects &shared = m_main.shared();
    QList<qint64> ids;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        ids.append(m_model->archivedRow(index.row()).id);
    if (ids.isEmpty()) {
        dialogs.information(this, TextTable::text(TextTable::ArchiveSelectFirst));
        return;
    }
    std::sort(ids.begin(), ids.end());
    const QString heading = title(withdraw ? TextTable::ArchiveWithdraw : TextTable::ArchiveAnnotate);
    const QString prompt =
        TextTable::text(withdraw ? TextTable::ArchiveWithdrawPrompt : TextTable::ArchiveAnnotatePrompt)
            .arg(QLocale().toString(ids.size()));
    QString text;
    if (!dialogs.inputText(this, heading, prompt, QString(), &text, 1000))
        return;
    if (text.trimmed().isEmpty()) {
        dialogs.warning(this, TextTable::text(TextTable::TrailReasonMissing));
        return;
    }
    const QString login = shared.login->UserName();
    for (qint64 id : ids) {
        const Archive::Result result =
            withdraw ? shared.archive->withdraw(id, text, login) : shared.archive->annotate(id, text, login);
        if (!result) {
            // The datasets before it keep their correction, each with its own entry in the trail.
            dialogs.warning(this, result.message);
            break;
        }
    }
    search();
}
