#include "PrintJobs.h"

#include "Archive.h"
#include "CLogin.h"
#include "CPrint.h"
#include "ErrorFrame.h"
#include "FileWrites.h"
#include "MainWindowContext.h"
#include "SharedObjects.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QPageSetupDialog>
#include <QPrinterInfo>
#include <QPrintPreviewDialog>
#include <QSettings>

namespace PrintJobs {

namespace {

// The desktop program's settings store, also when meravo-cli prints: one Page Setup for both.
const QString kStore = QStringLiteral("Meravo");
const QString kPaperKey = QStringLiteral("Print/Paper");
const QString kOrientationKey = QStringLiteral("Print/Orientation");
const QString kMarginsKey = QStringLiteral("Print/Margins");

// Sizes are kept in millimetres as "w h" text with a point, whatever the locale.
QString millimetres(std::initializer_list<double> values)
{
    QStringList parts;
    for (double value : values)
        parts << QString::number(value, 'f', 2);
    return parts.join(u' ');
}

QList<double> readMillimetres(const QString &text, qsizetype count)
{
    QList<double> values;
    for (const QString &part : text.split(u' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const double value = part.toDouble(&ok);
        if (!ok || value < 0 || value > 10000)
            return {};
        values << value;
    }
    return values.size() == count ? values : QList<double>();
}

QPageSize defaultPaper()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    const QPageSize size = printer.isNull() ? QPageSize() : printer.defaultPageSize();
    return size.isValid() ? size : QPageSize(QPageSize::A4);
}

// Installs a target and a last page for one job, and takes them back whatever happens.
class Installed {
public:
    // The preview's own printer keeps the page settings its tool bar changed.
    Installed(CPrint &print, QtPrintTarget &target, const Job &job, bool applyPageLayout = true)
        : m_print(print), m_target(target), m_previous(print.target())
    {
        if (applyPageLayout)
            target.setPageLayout(pageLayout());
        target.setExtraPage(job.extraPage);
        print.setTarget(&target);
    }
    ~Installed()
    {
        m_print.setTarget(m_previous);
        m_target.setExtraPage({});
    }
    Installed(const Installed &) = delete;
    Installed &operator=(const Installed &) = delete;

private:
    CPrint &m_print;
    QtPrintTarget &m_target;
    PrintTarget *m_previous;
};

} // namespace

QPageLayout pageLayout()
{
    const QSettings settings(kStore, kStore);
    QPageSize paper = defaultPaper();
    const QList<double> size = readMillimetres(settings.value(kPaperKey).toString(), 2);
    if (!size.isEmpty() && size[0] > 0 && size[1] > 0)
        paper = QPageSize(QSizeF(size[0], size[1]), QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    const QPageLayout::Orientation orientation =
        settings.value(kOrientationKey).toString() == QLatin1String("landscape") ? QPageLayout::Landscape
                                                                                 : QPageLayout::Portrait;
    QMarginsF margins(10, 10, 10, 10);
    const QList<double> stored = readMillimetres(settings.value(kMarginsKey).toString(), 4);
    if (!stored.isEmpty())
        margins = QMarginsF(stored[0], stored[1], stored[2], stored[3]);
    QPageLayout layout(paper, orientation, QMarginsF(), QPageLayout::Millimeter);
    // Margins the paper cannot take (a large margin on a small paper) fall back to the default.
    if (!layout.setMargins(margins))
        layout.setMargins(QMarginsF(10, 10, 10, 10));
    return layout;
}

void setPageLayout(const QPageLayout &layout)
{
    QSettings settings(kStore, kStore);
    const QSizeF size = layout.pageSize().size(QPageSize::Millimeter);
    settings.setValue(kPaperKey, millimetres({size.width(), size.height()}));
    settings.setValue(kOrientationKey, layout.orientation() == QPageLayout::Landscape
                                           ? QStringLiteral("landscape")
                                           : QStringLiteral("portrait"));
    const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
    settings.setValue(kMarginsKey,
                      millimetres({margins.left(), margins.top(), margins.right(), margins.bottom()}));
}

bool run(CPrint &print, QtPrintTarget &target, const Job &job)
{
    const Installed installed(print, target, job);
    return job.print(print);
}

bool print(CPrint &print, const Job &job)
{
    if (auto *target = dynamic_cast<QtPrintTarget *>(print.target()))
        return run(print, *target, job);
    return job.print(print);
}

bool printRecorded(MainWindowContext &main, const Job &job, const QString &what)
{
    SharedObjects &shared = main.shared();
    const bool ok = print(*shared.print, job);
    if (ok && shared.archive->enabled()) {
        TrailAction entry;
        entry.action = QStringLiteral("print");
        entry.object = what;
        entry.login = shared.login->UserName();
        entry.details = {{QStringLiteral("printer"), shared.print->PrinterName()}};
        shared.archive->record(entry);
    }
    return ok;
}

bool writePdf(CPrint &print, const Job &job, const QString &path)
{
    FileWrites::ReplaceByRename file(path);
    const auto failed = [&path](const QString &reason) {
        ErrorFrame::report(TextTable::text(TextTable::FileWriteFailed).arg(path, reason));
        return false;
    };
    if (!file.open())
        return failed(file.errorString());
    bool ok = false;
    {
        // The PDF goes through the temporary file's checked device: a printer that writes a file by
        // its name cannot tell a full disk, and Qt's PDF writer stops at a short write without a word.
        QtPrintTarget target(file.device(), path);
        ok = run(print, target, job);
    }
    if (!ok)
        return false; // the printout told why
    return file.commit() || failed(file.errorString());
}

bool pageSetup(QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(pageLayout());
    QPageSetupDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("dlgPageSetup"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setPageLayout(printer.pageLayout());
    return true;
}

void preview(QWidget *parent, CPrint &print, const Job &job)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    const auto printer = info.isNull() ? std::make_unique<QPrinter>(QPrinter::HighResolution)
                                       : std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    printer->setPageLayout(pageLayout());
    QPrintPreviewDialog dialog(printer.get(), parent);
    dialog.setObjectName(QStringLiteral("dlgPrintPreview"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&print, &job, &dialog](QPrinter *target) {
                         // A long printout lets events through while it runs; the preview must not
                         // paint its pages then, one of them still being drawn (that crashed).
                         dialog.setUpdatesEnabled(false);
                         QtPrintTarget qtTarget(*target);
                         const Installed installed(print, qtTarget, job, false);
                         job.print(print);
                         dialog.setUpdatesEnabled(true);
                     });
    dialog.exec();
}

bool saveAsPdf(QWidget *parent, MainWindowContext &main, const Job &job, const QString &proposal)
{
    UserDialogs &dialogs = main.dialogs();
    const QString path = dialogs.saveFileName(
        parent, TextTable::text(TextTable::SaveAsCaption), proposal,
        UserDialogs::filter(TextTable::text(TextTable::PdfFilter), QStringLiteral("*.pdf")));
    if (path.isEmpty())
        return false;
    main.SetMousePointer(11);
    const bool ok = writePdf(*main.shared().print, job, path);
    main.SetMousePointer(0);
    if (!ok)
        dialogs.error(parent, TextTable::text(TextTable::PdfNotWritten));
    return ok;
}

} // namespace PrintJobs
