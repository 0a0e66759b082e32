#pragma once
// Prints on a Qt printer: the system's default printer (CUPS on Linux), or a PDF file.
#include "PrintTarget.h"

#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <functional>
#include <memory>

class QtPrintTarget : public PrintTarget {
public:
    // Draws one more page after a printout's last page (a window's own picture of the values): the
    // painter stands at the printable area's top left, page is that area in the painter's coordinates.
    using ExtraPage = std::function<void(QPainter &painter, const QRectF &page)>;

    // The system's default printer.
    QtPrintTarget();
    // A PDF file instead of a printer (its name is what PrinterName reports).
    explicit QtPrintTarget(const QString &pdfPath);
    // A PDF document written to device (not owned), which keeps the state of every write; name is what
    // PrinterName reports.
    QtPrintTarget(QIODevice &device, const QString &name);
    // A printer set up by someone else (the print preview's); not owned.
    explicit QtPrintTarget(QPrinter &printer);
    ~QtPrintTarget() override;

    QString printerName() const override;
    int printerCount() const override;
    bool setFontSize(double points) override;
    double printableWidth() const override;
    double printableHeight() const override;
    double textWidth(const QString &text) const override;
    double textHeight(const QString &text) const override;
    bool printLine(const QString &text) override;
    bool printCells(const QList<double> &x, const QStringList &cells) override;
    bool printRule() override;
    bool newPage() override;
    bool endDocument() override;
    void abortDocument() override;

    // Every document printed from now on ends with this page (none when empty); paper, preview and PDF
    // alike, since they all print through a target like this.
    void setExtraPage(ExtraPage draw) { m_extraPage = std::move(draw); }
    const ExtraPage &extraPage() const { return m_extraPage; }
    // Paper, orientation and margins of the documents printed from now on.
    void setPageLayout(const QPageLayout &layout) { m_device->setPageLayout(layout); }

private:
    bool begin();
    QRectF printableRect() const;
    int resolution() const;

    std::unique_ptr<QPrinter> m_ownPrinter;
    QPrinter *m_printer = nullptr; // none for a PDF document on a device
    std::unique_ptr<QPdfWriter> m_pdfWriter;
    QPagedPaintDevice *m_device = nullptr; // the printer or the PDF writer
    bool m_borrowed = false;
    QString m_pdfPath;
    QFont m_font;
    std::unique_ptr<QPainter> m_painter;
    double m_y = 0;
    ExtraPage m_extraPage;
};
