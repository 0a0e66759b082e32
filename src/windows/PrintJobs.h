#pragma once
// Where a printout goes: the printer, the print preview or a PDF file. Each runs CPrint on a
// QtPrintTarget with the page settings of Page Setup, so all three show the same pages.
#include "QtPrintTarget.h"

#include <QPageLayout>

#include <functional>

class CPrint;
class MainWindowContext;
class QWidget;

namespace PrintJobs {

// One printout: what CPrint prints, and the window's optional last page.
struct Job {
    std::function<bool(CPrint &)> print;
    QtPrintTarget::ExtraPage extraPage;
};

// Paper size, orientation and margins as set in Page Setup, kept per user; until then the default
// printer's paper (A4 without one), portrait, 10 mm margins.
QPageLayout pageLayout();
void setPageLayout(const QPageLayout &layout);

// Prints job on target, which print uses for this job only.
bool run(CPrint &print, QtPrintTarget &target, const Job &job);

// Prints job on the printer print has, with the page settings and last page when it is a Qt printer.
bool print(CPrint &print, const Job &job);

// Prints job on the program's printer and records it in the activity trail (what: the printout's
// subject, e.g. the file or the meter).
bool printRecorded(MainWindowContext &main, const Job &job, const QString &what);

// Writes the printout to a PDF file, atomically (FileWrites); a file error is reported with its cause.
bool writePdf(CPrint &print, const Job &job, const QString &path);

// Asks for a PDF file's name (proposal: the name offered) and writes job there; a failure is told.
bool saveAsPdf(QWidget *parent, MainWindowContext &main, const Job &job, const QString &proposal);

// The page settings dialog; true when the user accepted it (the settings are then kept).
bool pageSetup(QWidget *parent);

// The print preview of job, modal; printing from it prints what it shows.
void preview(QWidget *parent, CPrint &print, const Job &job);

} // namespace PrintJobs
