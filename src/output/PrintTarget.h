#pragma once
// What printing needs from a printer: its name, whether one exists, text measures and the page
// operations. The desktop program draws on the system printer; tests record lines and pages. Sizes are
// in the target's own units; only their ratios matter.
#include <QList>
#include <QString>
#include <QStringList>

class PrintTarget {
public:
    virtual ~PrintTarget() = default;

    virtual QString printerName() const = 0;
    virtual int printerCount() const = 0;

    virtual bool setFontSize(double points) = 0;
    virtual double printableWidth() const = 0;
    virtual double printableHeight() const = 0;
    virtual double textWidth(const QString &text) const = 0;
    virtual double textHeight(const QString &text) const = 0;

    // The first line after endDocument or abortDocument begins a new document.
    virtual bool printLine(const QString &text) = 0;
    // A table's line: each cell starts at its x. A target that only knows lines still keeps the cells
    // apart and in order.
    virtual bool printCells(const QList<double> &x, const QStringList &cells)
    {
        Q_UNUSED(x);
        return printLine(cells.join(u'\t'));
    }
    // A thin rule across the line's height; where nothing can be drawn the line stays empty, so both
    // kinds of target count the same lines per page.
    virtual bool printRule() { return printLine(QString()); }
    virtual bool newPage() = 0;
    virtual bool endDocument() = 0;
    // Drops a document that failed part-way instead of sending half of it to the printer.
    virtual void abortDocument() = 0;
};
