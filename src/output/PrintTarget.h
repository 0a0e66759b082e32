#pragma once
// What printing needs from a printer: its name, whether one exists, text measures and the page
// operations. The desktop program draws on the system printer; tests record lines and pages. Sizes are
// in the target's own units; only their ratios matter.
#include <QString>

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
    virtual bool newPage() = 0;
    virtual bool endDocument() = 0;
    // Drops a document that failed part-way instead of sending half of it to the printer.
    virtual void abortDocument() = 0;
};
