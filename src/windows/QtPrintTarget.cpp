#include "QtPrintTarget.h"

#include <QFontMetricsF>
#include <QPrinterInfo>
#include <QStringList>

#include <cmath>
#include <functional>

QtPrintTarget::QtPrintTarget()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    m_ownPrinter = info.isNull() ? std::make_unique<QPrinter>(QPrinter::HighResolution)
                                 : std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    m_printer = m_ownPrinter.get();
    m_device = m_printer;
    m_font = QFont();
}

QtPrintTarget::QtPrintTarget(const QString &pdfPath)
    : m_ownPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution)), m_printer(m_ownPrinter.get()),
      m_device(m_printer), m_pdfPath(pdfPath)
{
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(pdfPath);
    m_printer->setPageSize(QPageSize(QPageSize::A4));
}

QtPrintTarget::QtPrintTarget(QIODevice &device, const QString &name)
    : m_pdfWriter(std::make_unique<QPdfWriter>(&device)), m_device(m_pdfWriter.get()), m_pdfPath(name)
{
    // The resolution of a high-resolution PDF printer: the same pages as the printer's PDF.
    m_pdfWriter->setResolution(1200);
    m_pdfWriter->setPageSize(QPageSize(QPageSize::A4));
}

QtPrintTarget::QtPrintTarget(QPrinter &printer) : m_printer(&printer), m_device(&printer), m_borrowed(true) {}

QtPrintTarget::~QtPrintTarget()
{
    abortDocument();
}

QString QtPrintTarget::printerName() const
{
    if (!m_pdfPath.isEmpty())
        return m_pdfPath;
    if (m_borrowed)
        return m_printer->printerName();
    return QPrinterInfo::defaultPrinterName();
}

int QtPrintTarget::printerCount() const
{
    if (!m_pdfPath.isEmpty() || m_borrowed)
        return 1;
    return int(QPrinterInfo::availablePrinterNames().size());
}

bool QtPrintTarget::setFontSize(double points)
{
    m_font.setPointSizeF(points);
    if (m_painter)
        m_painter->setFont(m_font);
    return true;
}

QRectF QtPrintTarget::printableRect() const
{
    return m_device->pageLayout().paintRectPixels(resolution());
}

int QtPrintTarget::resolution() const
{
    return m_printer ? m_printer->resolution() : m_pdfWriter->resolution();
}

double QtPrintTarget::printableWidth() const
{
    return printableRect().width();
}

double QtPrintTarget::printableHeight() const
{
    return printableRect().height();
}

namespace {

// A tab starts a column: the text after it begins at the next tab stop, twelve digits apart in the
// font in use, so the columns of lines such as a record's points stand under each other. Calls
// place(x, part) for each part and returns where the line ends.
double placeColumns(const QString &text, const QFontMetricsF &metrics,
                    const std::function<void(double, const QString &)> &place)
{
    const double stop = 12 * metrics.horizontalAdvance(QLatin1Char('0'));
    double x = 0;
    const QStringList parts = text.split(u'\t');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            x = (std::floor(x / stop + 1e-9) + 1) * stop;
        if (place)
            place(x, parts[i]);
        x += metrics.horizontalAdvance(parts[i]);
    }
    return x;
}

} // namespace

double QtPrintTarget::textWidth(const QString &text) const
{
    return placeColumns(text, QFontMetricsF(m_font, m_device), {});
}

double QtPrintTarget::textHeight(const QString &text) const
{
    Q_UNUSED(text);
    return QFontMetricsF(m_font, m_device).height();
}

bool QtPrintTarget::begin()
{
    if (m_painter)
        return true;
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_device)) {
        m_painter.reset();
        return false;
    }
    m_painter->setFont(m_font);
    m_y = 0;
    return true;
}

bool QtPrintTarget::printLine(const QString &text)
{
    if (!begin())
        return false;
    const QFontMetricsF metrics(m_font, m_device);
    const double baseline = m_y + metrics.ascent();
    placeColumns(text, metrics, [this, baseline](double x, const QString &part) {
        m_painter->drawText(QPointF(x, baseline), part);
    });
    m_y += metrics.height();
    return true;
}

bool QtPrintTarget::printCells(const QList<double> &x, const QStringList &cells)
{
    if (!begin())
        return false;
    const QFontMetricsF metrics(m_font, m_device);
    const double baseline = m_y + metrics.ascent();
    for (qsizetype i = 0; i < cells.size() && i < x.size(); ++i)
        m_painter->drawText(QPointF(x[i], baseline), cells[i]);
    m_y += metrics.height();
    return true;
}

bool QtPrintTarget::printRule()
{
    if (!begin())
        return false;
    const QFontMetricsF metrics(m_font, m_device);
    const double y = m_y + metrics.height() / 2;
    m_painter->save();
    // Lighter than the letters' strokes, yet never thinner than a device pixel.
    m_painter->setPen(QPen(Qt::black, std::max(1.0, metrics.lineWidth() * 0.6)));
    m_painter->drawLine(QPointF(0, y), QPointF(printableRect().width(), y));
    m_painter->restore();
    m_y += metrics.height();
    return true;
}

bool QtPrintTarget::newPage()
{
    if (!begin())
        return false;
    m_y = 0;
    return m_device->newPage();
}

bool QtPrintTarget::endDocument()
{
    if (!m_painter)
        return begin() && endDocument();
    if (m_extraPage) {
        if (!m_device->newPage()) {
            abortDocument();
            return false;
        }
        m_painter->save();
        m_extraPage(*m_painter, QRectF(QPointF(0, 0), printableRect().size()));
        m_painter->restore();
    }
    const bool ok = m_painter->end();
    m_painter.reset();
    return ok;
}

void QtPrintTarget::abortDocument()
{
    if (!m_painter)
        return;
    if (m_printer)
        m_printer->abort();
    m_painter->end();
    m_painter.reset();
}
