#include "frmDocument.h"

#include "Archive.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CExportExcel.h"
#include "CImportMVal.h"
#include "CLogin.h"
#include "CMeasVal.h"
#include "Commands.h"
#include "CPrint.h"
#include "CSerialLink.h"
#include "FileNames.h"
#include "FileWrites.h"
#include "frmWait.h"
#include "HeaderBand.h"
#include "ImportFollowUp.h"
#include "LocaleTexts.h"
#include "MainWindowContext.h"
#include "MValTableModel.h"
#include "SharedObjects.h"
#include "TellUser.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "Twips.h"
#include "UserDialogs.h"
#include "ValueChart.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QSettings>
#include <QSplitter>
#include <QTableView>

namespace {

const QDateTime kInitialDate(QDate(2000, 1, 1), QTime(0, 0, 0));
const QString kChartShownKey = QStringLiteral("Chart/Shown");
const QString kChartOnPrintoutKey = QStringLiteral("Chart/OnPrintout");
const QString kTablePrintoutKey = QStringLiteral("Print/AsTable");

} // namespace

frmDocument::frmDocument(MainWindowContext &main)
    : m_main(main), m_picHead(new HeaderBand(this, false)), m_fraHeader(new QGroupBox(this)),
      m_archiveNote(new QLabel(m_fraHeader)), m_split(new QSplitter(Qt::Horizontal, this)),
      m_grid(new QTableView(m_split)), m_model(new MValTableModel(this)),
      m_chart(new ValueChart(main.dialogs(), m_split))
{
    setObjectName(QStringLiteral("frmDocument"));
    TextApplier::tag(this, TextTable::Datasets);

    m_fraHeader->setObjectName(QStringLiteral("fraHeader"));
    TextApplier::tag(m_fraHeader, TextTable::ToolImportCaption);
    auto *form = new QGridLayout(m_fraHeader);
    const int captions[5] = {TextTable::MeterLabel, TextTable::SerialNumberLabel, TextTable::UserLabel,
                             TextTable::DateLabel, TextTable::TimeLabel};
    const char *names[5] = {"lblMeter", "lblSerNo", "lblUser", "lblPCDate", "lblPCTime"};
    for (int i = 0; i < 5; ++i) {
        auto *caption = new QLabel(m_fraHeader);
        caption->setObjectName(QString::fromLatin1(names[i]));
        TextApplier::tag(caption, captions[i]);
        m_values[i] = new QLabel(m_fraHeader);
        m_values[i]->setObjectName(QString::fromLatin1(names[i]) + QStringLiteral("Value"));
        m_values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Meter, serial number and user in the first columns; date and time beside them.
        const int row = i < 3 ? i : i - 3;
        const int column = i < 3 ? 0 : 2;
        form->addWidget(caption, row, column);
        form->addWidget(m_values[i], row, column + 1);
    }
    // Below the header's fields, across the band: the import's fate in the archive, told without a box.
    m_archiveNote->setObjectName(QStringLiteral("lblArchive"));
    m_archiveNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long report is cut at the band's edge instead of widening the window.
    m_archiveNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    form->addWidget(m_archiveNote, 3, 0, 1, 4);
    form->setColumnStretch(1, 2);
    form->setColumnStretch(3, 1);
    form->setColumnMinimumWidth(2, 60);

    m_grid->setObjectName(QStringLiteral("hfgMVals"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->setAlternatingRowColors(true);
    m_split->setObjectName(QStringLiteral("splValues"));
    m_split->setChildrenCollapsible(false);
    m_split->setStretchFactor(0, 2);
    m_split->setStretchFactor(1, 3);
    m_chart->hide();
    // A dataset clicked in the chart is shown in the table.
    connect(m_chart, &ValueChart::datasetPicked, this, [this](int record) {
        const QModelIndex index = m_model->index(record, 0);
        m_grid->setCurrentIndex(index);
        m_grid->scrollTo(index, QAbstractItemView::PositionAtCenter);
    });
    TextApplier::apply(this);
}

frmDocument::~frmDocument() = default;

void frmDocument::Load()
{
    m_picHead->load(*m_main.shared().ini);
    setWindowIcon(m_main.frameWidget().windowIcon());
    ClearHeader();
    m_model->setBlank(9, 19);
    layoutWindow();
    m_main.UpdateCommandStates(true);
    const SharedObjects &shared = m_main.shared();
    m_doc.meter = shared.device->DeviceName();
    m_doc.serialNumber = shared.device->SerialNumber();
    m_doc.user = shared.login->UserName();
    m_doc.date = kInitialDate;
    m_doc.datasets.clear();
    m_path.clear();
    m_modified = false;
    setChartShown(QSettings().value(kChartShownKey, false).toBool());
}

QString frmDocument::headerValue(int index) const
{
    return m_values[index]->text();
}

QString frmDocument::archiveNote() const
{
    return m_archiveNote->toolTip();
}

void frmDocument::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutWindow();
}

// The header frame is as high as its three rows need at the font in use (a larger system font, a
// scale factor), never lower than its place in twips.
int frmDocument::headerHeight() const
{
    return std::max(Twips::toPixels(1350, this), m_fraHeader->sizeHint().height());
}

// Where the grid starts: the picture band, the header frame and the gaps between them.
int frmDocument::gridTop() const
{
    return Twips::toPixels(750, this) + headerHeight() + Twips::toPixels(100, this);
}

// In twips, as laid out below: the header, 100 around the grid; what is left shows the grid's header
// row and several rows, and at the least a few.
QSize frmDocument::sizeHint() const
{
    return QSize(Twips::toPixels(7000, this), gridTop() + Twips::toPixels(100 + 2200, this));
}

QSize frmDocument::minimumSizeHint() const
{
    return QSize(Twips::toPixels(3600, this), gridTop() + Twips::toPixels(100 + 1500, this));
}

void frmDocument::layoutWindow()
{
    if (isMinimized())
        return;
    auto px = [this](int twips) { return Twips::toPixels(twips, this); };
    const int w = Twips::fromPixels(width(), this);
    m_picHead->setGeometry(0, 0, width(), px(700));
    m_picHead->logo()->setVisible(w > 3500);
    m_picHead->placeLogo(px(w - 3250));
    m_fraHeader->setGeometry(px(100), px(750), std::max(0, px(w - 200)), headerHeight());
    const int top = gridTop();
    const bool gridVisible = w > 200 && height() > top + px(100);
    m_split->setVisible(gridVisible);
    if (gridVisible)
        m_split->setGeometry(px(100), top, px(w - 200), height() - top - px(100));
}

bool frmDocument::isChartShown() const
{
    return !m_chart->isHidden();
}

void frmDocument::setChartShown(bool shown)
{
    m_main.commands().action(Command::ViewChart).setChecked(shown);
    if (shown == isChartShown())
        return;
    QSettings().setValue(kChartShownKey, shown);
    m_chart->setVisible(shown);
    if (shown) {
        updateChart();
        // Beside the table, the chart takes the larger part.
        const int total = m_split->width();
        m_split->setSizes({total * 2 / 5, total - total * 2 / 5});
        growForChart();
    }
}

void frmDocument::growForChart()
{
    // A window of normal size leaves the chart a strip; a user who turns it on wants to see it, so an
    // open window grows within the main window's free area. New windows keep their normal size.
    auto *window = qobject_cast<QMdiSubWindow *>(parentWidget());
    QWidget *area = window ? window->parentWidget() : nullptr;
    if (!window || !area || !window->isVisible() || window->isMaximized() || window->isMinimized())
        return;
    const QSize room = area->size();
    const QSize wanted = window->size().expandedTo(QSize(room.width() * 4 / 5, room.height() * 4 / 5));
    const QSize size = wanted.boundedTo(room);
    if (size == window->size())
        return;
    const QPoint at(std::clamp(window->x(), 0, room.width() - size.width()),
                    std::clamp(window->y(), 0, room.height() - size.height()));
    window->setGeometry(QRect(at, size));
}

bool frmDocument::chartOnPrintout()
{
    return QSettings().value(kChartOnPrintoutKey, false).toBool();
}

void frmDocument::setChartOnPrintout(bool on)
{
    QSettings().setValue(kChartOnPrintoutKey, on);
}

bool frmDocument::tablePrintout()
{
    return QSettings().value(kTablePrintoutKey, false).toBool();
}

void frmDocument::setTablePrintout(bool on)
{
    QSettings().setValue(kTablePrintoutKey, on);
}

void frmDocument::updateChart(bool evenHidden)
{
    // Built when it is seen (or printed): a document whose chart stays hidden pays nothing for it.
    if (!m_chartStale || (m_chart->isHidden() && !evenHidden))
        return;
    m_chartStale = false;
    // An empty document names no meter rather than "Meter: , S/N:".
    m_chart->setTitle(m_doc.meter.isEmpty()
                          ? QString()
                          : TextTable::text(TextTable::MeterLabel) + QLatin1Char(' ') + m_doc.meter +
                                QStringLiteral(", ") + TextTable::text(TextTable::SerialNumberLabel) +
                                QLatin1Char(' ') + m_doc.serialNumber,
                      proposedName(QStringLiteral("png")));
    m_chart->setDatasets(m_doc.datasets, int(m_main.shared().device->TableLayout(m_doc.meter).size()));
}

void frmDocument::SetMousePointer(int intMousePointerVal)
{
    const QCursor cursor(intMousePointerVal == 11 ? Qt::WaitCursor : Qt::ArrowCursor);
    setCursor(cursor);
    m_grid->setCursor(cursor);
}

void frmDocument::ClearHeader()
{
    for (QLabel *value : m_values)
        value->clear();
}

void frmDocument::ShowHeader()
{
    m_values[0]->setText(m_doc.meter);
    m_values[1]->setText(m_doc.serialNumber);
    m_values[2]->setText(m_doc.user);
    m_values[3]->setText(LocaleTexts::shortDate(m_doc.date.date()));
    m_values[4]->setText(LocaleTexts::longTime(m_doc.date.time()));
}

void frmDocument::ClearTable()
{
    m_model->clearCells();
}

bool frmDocument::ShowDocument(bool fill)
{
    ClearHeader();
    ClearTable();
    m_chartStale = fill;
    if (!fill) {
        // What a failed open left in the document is not shown, in the table or the chart.
        m_chart->setDatasets(QString(), 0);
        return true;
    }
    updateChart();
    ShowHeader();
    if (m_doc.datasets.isEmpty())
        return true;
    return FillTable();
}

bool frmDocument::FillTable()
{
    const QList<TableColumn> layout = m_main.shared().device->TableLayout(m_doc.meter);
    if (!m_model->fill(m_doc.datasets, layout))
        return false;
    // The layout's widths were made for a smaller font: they are the least a column gets, and a
    // column widens to its header and to the texts of the first and the last rows, so dates, times and
    // the numbers that grow towards the end ("1000" after "999") stay readable.
    const QFontMetrics metrics = m_grid->fontMetrics();
    const int padding = metrics.horizontalAdvance(QLatin1Char('M'));
    const int rows = m_model->rowCount();
    const int sample = 200;
    for (int i = 0; i < layout.size(); ++i) {
        int width = std::max(Twips::toPixels(layout[i].width, this),
                             metrics.horizontalAdvance(layout[i].header) + 2 * padding);
        for (int row = 0; row < rows;
             row = (row + 1 == sample && rows > 2 * sample) ? rows - sample : row + 1)
            width = std::max(width,
                             metrics.horizontalAdvance(m_model->index(row, i).data().toString()) + padding);
        m_grid->setColumnWidth(i, width);
    }
    return true;
}

void frmDocument::MenuImport()
{
    SharedObjects &shared = m_main.shared();
    m_main.SetMousePointer(11);
    frmWait &wait = m_main.waitDialog();
    if (!wait.ShowWithText(TextTable::text(TextTable::DataLoading))) {
        wait.Unload();
        m_main.SetMousePointer(0);
        m_main.dialogs().error(this, TextTable::text(TextTable::ImportError));
        return;
    }
    const QMetaObject::Connection progress = connect(
        &m_main.link(), &CSerialLink::transferProgress, &wait, [&wait](qint64 bytes, qint64 lineEnds) {
            wait.setProgress(bytes, std::max<qint64>(0, lineEnds - 1));
        });
    const QDateTime imported = QDateTime::currentDateTime();
    QString raw;
    const bool ok = shared.importMVal->GetMVals(raw);
    TellUser::link(shared.importMVal->linkResult());
    disconnect(progress);
    wait.Unload();
    m_main.SetMousePointer(0);
    // A failed import changes nothing: the document keeps what it had.
    if (!ok) {
        m_main.dialogs().error(this, TextTable::text(TextTable::ImportError));
        return;
    }
    m_doc.meter = shared.device->DeviceName();
    m_doc.serialNumber = shared.device->SerialNumber();
    m_doc.user = shared.login->UserName();
    m_doc.date = imported;
    m_doc.datasets = std::move(raw);
    if (!ShowDocument(true))
        m_main.dialogs().error(this, TextTable::text(TextTable::TableWriteError));
    m_modified = true;
    archiveImport(imported);
}

void frmDocument::archiveImport(const QDateTime &imported)
{
    SharedObjects &shared = m_main.shared();
    Archive &archive = *shared.archive;
    m_archiveNote->clear();
    m_archiveNote->setToolTip(QString());
    if (!archive.enabled())
        return;
    m_main.SetMousePointer(11);
    const ImportRecord record =
        ImportRecord::fromMeter(m_doc.datasets, imported, *shared.device, *shared.communication, m_doc.user);
    Archive::Summary summary;
    const Archive::Result result = archive.keep(record, &summary);
    const ImportFollowUp followUp = followUpImport(shared, result, summary);
    m_main.SetMousePointer(0);
    const QString report = followUp.notices.join(QLatin1Char('\n'));
    // The band shows what fits, in the warning colour when the import waits on this PC or was not
    // archived at all; the tool-tip holds the whole report.
    m_archiveNote->setText(QString(report).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    m_archiveNote->setToolTip(report);
    m_archiveNote->setStyleSheet(result && !summary.keptLocally ? QString()
                                                                : QStringLiteral("color: #b00000"));
    // A refused import is a loss for a lab that counts on its archive: the user must see it now.
    if (!result || followUp.outOfControl)
        m_main.dialogs().warning(this, report);
}

QString frmDocument::proposedName(const QString &extension) const
{
    Q_UNUSED(extension);
    return FileNames::safePart(m_doc.meter);
}

bool frmDocument::SaveDocument(QString &outPath, bool useExisting, const QString &existingPath)
{
    UserDialogs &dialogs = m_main.dialogs();
    if (m_doc.datasets.isEmpty()) {
        dialogs.information(this, TextTable::text(TextTable::NoDatasetsImported));
        return false;
    }
    QString path;
    if (useExisting && !existingPath.isEmpty() && QFileInfo::exists(existingPath) &&
        !FileWrites::checkTarget(existingPath)) {
        path = existingPath;
    } else {
        path = dialogs.saveFileName(
            this, TextTable::text(TextTable::SaveAsCaption), proposedName(QStringLiteral("csv")),
            UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv")));
        if (path.isEmpty())
            return false;
    }
    if (!m_main.shared().measVal->SaveFile(m_doc, path)) {
        TellUser::file(m_main.shared().measVal->lastResult());
        dialogs.error(this, TextTable::text(TextTable::SaveError));
        return false;
    }
    outPath = path;
    return true;
}

void frmDocument::saved(const QString &path)
{
    m_path = path;
    setWindowTitle(QFileInfo(path).fileName());
    m_modified = false;
}

void frmDocument::MenuFileSave()
{
    if (m_path.isEmpty()) {
        MenuFileSaveAs();
        return;
    }
    QString path;
    if (SaveDocument(path, true, m_path))
        saved(path);
}

void frmDocument::MenuFileSaveAs()
{
    QString path;
    if (SaveDocument(path, false, QString()))
        saved(path);
}

void frmDocument::MenuExport()
{
    UserDialogs &dialogs = m_main.dialogs();
    if (m_doc.datasets.isEmpty()) {
        dialogs.information(this, TextTable::text(TextTable::NoDatasetsImported));
        return;
    }
    const QString path = dialogs.saveFileName(
        this, TextTable::text(TextTable::SaveAsCaption), proposedName(QStringLiteral("xls")),
        UserDialogs::filter(TextTable::text(TextTable::ExcelWorkbookFilter), QStringLiteral("*.xls")) +
            QStringLiteral(";;") +
            UserDialogs::filter(TextTable::text(TextTable::XlsxFilter), QStringLiteral("*.xlsx")));
    if (path.isEmpty())
        return;
    m_main.SetMousePointer(11);
    const bool ok = m_main.shared().exportExcel->SetMVals(m_doc, path);
    TellUser::file(m_main.shared().exportExcel->lastResult());
    m_main.SetMousePointer(0);
    if (!ok)
        dialogs.error(this, TextTable::text(TextTable::ExportError));
}

void frmDocument::MenuFilePrint()
{
    PrintDocument();
}

bool frmDocument::PrintDocument()
{
    UserDialogs &dialogs = m_main.dialogs();
    if (m_doc.datasets.isEmpty()) {
        dialogs.information(this, TextTable::text(TextTable::NoDatasetsImported));
        return false;
    }
    CPrint &print = *m_main.shared().print;
    if (!print.PrinterAvailable()) {
        // Without a printer the printout can still go to a file.
        if (dialogs.message(this, TextTable::text(TextTable::InformationCaption),
                            TextTable::text(TextTable::NoPrinterOfferPdf), UserDialogs::Icon::Question,
                            UserDialogs::Yes | UserDialogs::No) != UserDialogs::Yes)
            return false;
        return MenuFilePdf();
    }
    const int answer = dialogs.message(this, TextTable::text(TextTable::InformationCaption),
                                       TextTable::text(TextTable::PrintOnPrinterLabel) + QLatin1Char(' ') +
                                           print.PrinterName(),
                                       UserDialogs::Icon::Information, UserDialogs::Yes | UserDialogs::No);
    if (answer != UserDialogs::Yes)
        return false;
    m_main.SetMousePointer(11);
    const QString what =
        m_path.isEmpty() ? QStringLiteral("%1 %2").arg(m_doc.meter, m_doc.serialNumber) : m_path;
    const bool ok = PrintJobs::printRecorded(m_main, printJob(), what);
    m_main.SetMousePointer(0);
    if (!ok)
        dialogs.error(this, TextTable::text(TextTable::PrintError));
    return ok;
}

PrintJobs::Job frmDocument::printJob()
{
    QtPrintTarget::ExtraPage lastPage = m_extraPrintPage;
    if (!lastPage && chartOnPrintout())
        lastPage = [this](QPainter &painter, const QRectF &page) { drawChartPage(painter, page); };
    if (tablePrintout())
        return {[this](CPrint &print) { return print.PrintMValsTable(m_doc); }, lastPage};
    return {[this](CPrint &print) { return print.PrintMVals(m_doc); }, lastPage};
}

void frmDocument::drawChartPage(QPainter &painter, const QRectF &page)
{
    updateChart(true);
    // The page's width, in a screen's proportions, as far as the page's height allows.
    const QRectF area(page.topLeft(), QSizeF(page.width(), std::min(page.height(), page.width() * 0.7)));
    m_chart->render(painter, area);
}

bool frmDocument::MenuFilePdf()
{
    if (m_doc.datasets.isEmpty()) {
        m_main.dialogs().information(this, TextTable::text(TextTable::NoDatasetsImported));
        return false;
    }
    return PrintJobs::saveAsPdf(this, m_main, printJob(), proposedName(QStringLiteral("pdf")));
}

void frmDocument::MenuFilePrintPreview()
{
    if (m_doc.datasets.isEmpty()) {
        m_main.dialogs().information(this, TextTable::text(TextTable::NoDatasetsImported));
        return;
    }
    PrintJobs::preview(this, *m_main.shared().print, printJob());
}

void frmDocument::MenuFilePageSetup()
{
    PrintJobs::pageSetup(this);
}

void frmDocument::showArchived(MeasuredValues document)
{
    m_doc = std::move(document);
    m_path.clear();
    if (!ShowDocument(true))
        m_main.dialogs().error(this, TextTable::text(TextTable::TableWriteError));
    // The archive keeps these datasets: closing the window loses nothing.
    m_modified = false;
    setWindowTitle(TextTable::text(TextTable::ArchiveTitle) + QStringLiteral(" - ") + m_doc.meter +
                   QLatin1Char(' ') + m_doc.serialNumber);
}

void frmDocument::FillFromFile(const QString &strPath)
{
    UserDialogs &dialogs = m_main.dialogs();
    const qint16 status = m_main.shared().measVal->OpenFile(m_doc, strPath);
    TellUser::file(m_main.shared().measVal->lastResult());
    if (status != CMeasVal::Opened) {
        dialogs.error(this, TextTable::text(status == CMeasVal::InvalidFormat ? TextTable::InvalidCsvFormat
                                                                              : TextTable::FileReadError));
        ShowDocument(false);
        return;
    }
    if (!ShowDocument(true))
        dialogs.error(this, TextTable::text(TextTable::TableWriteError));
    saved(strPath);
}

bool frmDocument::HasUnsavedData() const
{
    // Imported data that was never saved counts too: closing must not lose an import silently.
    return m_modified && (!m_path.isEmpty() || !m_doc.datasets.isEmpty());
}

bool frmDocument::closeWindow()
{
    if (auto *window = qobject_cast<QMdiSubWindow *>(parentWidget()))
        return window->close();
    return close();
}

void frmDocument::closeEvent(QCloseEvent *event)
{
    if (HasUnsavedData()) {
        const int answer =
            m_main.dialogs().question(this,
                                      TextTable::text(TextTable::DataModified) + QStringLiteral("\r\n") +
                                          TextTable::text(TextTable::AskSaveData),
                                      UserDialogs::Yes | UserDialogs::No);
        // Dismissed (Escape, the box's close button): nothing closes, not the program either.
        if (answer != UserDialogs::Yes && answer != UserDialogs::No) {
            event->ignore();
            return;
        }
        if (answer == UserDialogs::Yes) {
            QString path;
            if (!SaveDocument(path, true, m_path)) {
                event->ignore();
                return;
            }
            saved(path);
        }
    }
    event->accept();
    m_main.UpdateCommandStates(false);
}
