#include "RecordingPrintTarget.h"

bool RecordingPrintTarget::setFontSize(double points)
{
    fontSize = points;
    return true;
}

double RecordingPrintTarget::textWidth(const QString &text) const
{
    return double(text.size()) * charWidth * (fontSize > 0 ? fontSize / 11.0 : 1.0);
}

double RecordingPrintTarget::textHeight(const QString &) const
{
    return lineHeight * (fontSize > 0 ? fontSize / 11.0 : 1.0);
}

RecordingPrintTarget::Document &RecordingPrintTarget::current()
{
    if (!m_open) {
        documents.append(Document{{QStringList()}, false, false});
        m_open = true;
    }
    return documents.last();
}

bool RecordingPrintTarget::printLine(const QString &text)
{
    if (failLines)
        return false;
    current().pages.last().append(text);
    return true;
}

bool RecordingPrintTarget::newPage()
{
    current().pages.append(QStringList());
    return true;
}

bool RecordingPrintTarget::endDocument()
{
    current().ended = true;
    m_open = false;
    return true;
}

void RecordingPrintTarget::abortDocument()
{
    if (m_open)
        documents.last().aborted = true;
    m_open = false;
}

QStringList RecordingPrintTarget::lastLines() const
{
    QStringList lines;
    if (!documents.isEmpty())
        for (const QStringList &page : documents.last().pages)
            lines += page;
    return lines;
}
