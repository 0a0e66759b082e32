#include "frmTrail.h"

#include "Archive.h"
#include "CLogin.h"
#include "CPrint.h"
#include "MainWindowContext.h"
#include "PrintJobs.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "TrailReport.h"
#include "TrailTableModel.h"
#include "UserDialogs.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <memory>

namespace {

using TextField = FilterTextField<TrailFilter>;
const TextField kTextFields[] = {
    {"txtUser", TextTable::UserLabel, &TrailFilter::user},
    {"txtAction", TextTable::TrailActionField, &TrailFilter::action},
    {"txtObject", TextTable::TrailObjectField, &TrailFilter::object},
};

using DateField = FilterDateField<TrailFilter>;
const DateField kDateFields[] = {
    {"txtFrom", TextTable::ArchiveFromField, &TrailFilter::from},
    {"txtTo", TextTable::ArchiveToField, &TrailFilter::to},
};

} // namespace

frmTrail::frmTrail(MainWindowContext &main, QWidget *owner)
    : FilterWindow(main, owner), m_model(new TrailTableModel(*main.shared().archive, this))
{
    setObjectName(QStringLiteral("frmTrail"));
    TextApplier::tag(this, TextTable::TrailTitle);

    QGroupBox *filterBox = buildFilterBox();
    setUpTable();
    QHBoxLayout *bottom = buildButtonRow();

    layOut(filterBox, bottom);
    resize(1080, 560);
    start(m_model, kHelpContext);
}

// The dates first, then the texts, three to a row; Search and Clear at the end.
QGroupBox *frmTrail::buildFilterBox()
{
    FilterBoxBuilder box(this, 3);
    for (const DateField &f : kDateFields)
        box.addDateField(f.name, f.caption);
    for (const TextField &f : kTextFields)
        box.addField(f.name, f.caption)->setMaxLength(ArchiveFilter::kMaxText);
    return box.finish([this] { search(); }, [this] { clearFilter(); });
}

void frmTrail::setUpTable()
{
    setUpPagedTable("tblTrail", m_model);
    m_table->horizontalHeader()->setStretchLastSection(true);
}

QHBoxLayout *frmTrail::buildButtonRow()
{
    auto *printButton = namedButton(this, "cmdPrint", TextTable::MenuFilePrint);
    auto *pdfButton = namedButton(this, "cmdPdf", TextTable::PdfButton);
    auto *closeButton = namedButton(this, "cmdClose", TextTable::CommLogClose);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_count);
    bottom->addStretch();
    bottom->addWidget(printButton);
    bottom->addWidget(pdfButton);
    bottom->addWidget(closeButton);
    connect(printButton, &QPushButton::clicked, this, &frmTrail::printReport);
    connect(pdfButton, &QPushButton::clicked, this, &frmTrail::saveReportAsPdf);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    return bottom;
}

frmTrail *frmTrail::open(MainWindowContext &main)
{
    QWidget &frame = main.frameWidget();
    auto *window = frame.findChild<frmTrail *>(QStringLiteral("frmTrail"), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new frmTrail(main, &frame);
        window->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        window->search();
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

bool frmTrail::readFilter(TrailFilter *filter)
{
    for (const TextField &f : kTextFields)
        filter->*f.value = field(f.name)->text().trimmed();
    for (const DateField &f : kDateFields) {
        if (!readDate(f.name, &(filter->*f.value)))
            return false;
    }
    showMessage(QString());
    return true;
}

void frmTrail::search()
{
    TrailFilter filter;
    if (!readFilter(&filter))
        return;
    Archive::Result result = m_model->setFilter(filter);
    qint64 count = 0;
    if (result)
        result = m_main.shared().archive->trailCount(filter, &count);
    if (!result) {
        showMessage(result.message);
        m_count->clear();
        return;
    }
    m_count->setText(TextTable::text(TextTable::TrailCount).arg(QLocale().toString(count)));
    m_table->resizeColumnsToContents();
    // Objects and details can be long (paths, JSON): their columns show the start, the tooltip the
    // whole, so the reason stays in view.
    for (const auto &[column, most] :
         {std::pair{TrailReport::Object, 280}, std::pair{TrailReport::Details, 220}})
        m_table->setColumnWidth(column, std::min(m_table->columnWidth(column), most));
}

void frmTrail::clearFilter()
{
    clearFields();
    search();
}

bool frmTrail::printReport()
{
    return report(false);
}

bool frmTrail::saveReportAsPdf()
{
    return report(true);
}

bool frmTrail::report(bool toPdf)
{
    SharedObjects &shared = m_main.shared();
    UserDialogs &dialogs = m_main.dialogs();
    CPrint &print = *shared.print;
    if (!toPdf && !print.PrinterAvailable()) {
        if (dialogs.message(this, TextTable::text(TextTable::InformationCaption),
                            TextTable::text(TextTable::NoPrinterOfferPdf), UserDialogs::Icon::Question,
                            UserDialogs::Yes | UserDialogs::No) != UserDialogs::Yes)
            return false;
        toPdf = true;
    }
    // What the filter finds when printed, not what the window had: the trail may have grown since.
    const TrailFilter filter = m_model->filter();
    QList<TrailEntry> entries;
    if (const Archive::Result result = shared.archive->trail(filter, &entries); !result) {
        showMessage(result.message);
        return false;
    }
    const QString login = shared.login->UserName();
    auto table = std::make_shared<TablePrintout>(
        TrailReport::printout(entries, filter, login, QDateTime::currentDateTime()));
    const PrintJobs::Job job{[table](CPrint &p) { return p.PrintTablePrintout(*table); }, {}};
    if (toPdf) {
        const QString proposal = TextTable::text(TextTable::TrailTitle) + QStringLiteral(".pdf");
        return PrintJobs::saveAsPdf(this, m_main, job, proposal);
    }
    m_main.SetMousePointer(11);
    const bool ok = PrintJobs::printRecorded(m_main, job, QStringLiteral("trail"));
    m_main.SetMousePointer(0);
    if (!ok)
        dialogs.error(this, TextTable::text(TextTable::PrintError));
    return ok;
}
