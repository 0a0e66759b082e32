#pragma once
// Prints on a Qt printer: the system's default printer (CUPS on Linux), or a PDF file.
#include "PrintTarget.h"

#include <QFont>
#include <QPainter>
#include <QPrinter>

#include <memory>

class QtPrintTarget : public PrintTarget {
public:
    // The system's default printer.
    QtPrintTarget();
    // A PDF file instead of a printer (its name is what PrinterName reports).
    explicit QtPrintTarget(const QString &pdfPath);
    ~QtPrintTarget() override;

    QString printerName() const override;
    int printerCount() const override;
    bool setFontSize(double points) override;
    double printableWidth() const override;
    double printableHeight() const override;
    double textWidth(const QString &text) const override;
    double textHeight(const QString &text) const override;
    bool printLine(const QString &text) override;
    bool newPage() override;
    bool endDocument() override;
    void abortDocument() override;

private:
    bool begin();
    QRectF printableRect() const;

    std::unique_ptr<QPrinter> m_printer;
    QString m_pdfPath;
    QFont m_font;
    std::unique_ptr<QPainter> m_painter;
    double m_y = 0;
};
